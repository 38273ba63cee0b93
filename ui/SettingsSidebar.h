#pragma once

#include "SettingsPane.h"

#include <QMap>
#include <QWidget>

class QPushButton;

// The settings window's list of panes, in the main window sidebar's look. Tab reaches the
// entries; Up and Down move the selection between them.
class SettingsSidebar : public QWidget
{
    Q_OBJECT

public:
    SettingsSidebar(const QString &appName, QWidget *parent = nullptr);

    void setSelection(SettingsPane pane);

Q_SIGNALS:
    void selected(SettingsPane pane);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPushButton *entry(SettingsPane pane);

    QMap<SettingsPane, QPushButton *> m_entries;
};
