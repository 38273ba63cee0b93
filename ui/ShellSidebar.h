#pragma once

#include "ConnectorSummary.h"
#include "SidebarItem.h"

#include <QWidget>

class AppModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The native shell's sidebar: the brand, Home / Agent Keys / Advanced, the searchable app list
// with each app's connected-account count, and the status footer.
class ShellSidebar : public QWidget
{
    Q_OBJECT

public:
    explicit ShellSidebar(AppModel *model, QWidget *parent = nullptr);

    void setSelection(const SidebarItem &item);
    // What the app list shows when it has no row (loading, locked, searching, not loaded).
    QString emptyListText() const;
    QString serviceFooterText() const;
    QString handoffFooterText() const;

Q_SIGNALS:
    void selected(const SidebarItem &item);

private:
    void render();
    void renderList();
    QList<ConnectorSummary> filteredConnectors() const;
    QPushButton *navButton(const QString &objectName, const QString &title, const QString &accessibleName,
                           const SidebarItem &item);
    void markSelection();

    AppModel *m_model;
    QPushButton *m_homeButton;
    QPushButton *m_agentKeysButton;
    QPushButton *m_advancedButton;
    QLineEdit *m_searchField;
    QVBoxLayout *m_appRows;
    QLabel *m_emptyLabel;
    QLabel *m_serviceFooter;
    QLabel *m_handoffFooter;
    SidebarItem m_selection;
    QList<ConnectorSummary> m_shownConnectors;
    QList<int> m_shownCounts;
};
