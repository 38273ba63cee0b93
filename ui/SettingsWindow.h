#pragma once

#include "SettingsPane.h"

#include <QMap>
#include <QWidget>

class AppModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class SettingsSidebar;

// "Torvane Settings": a sidebar of panes (general, security and secrets, agents, providers,
// recovery, updates, support), the first one shown unless "TVN_SETTINGS_INITIAL_SECTION" names
// another. Every value is read from the model; the window keeps only the pane selection.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{680, 720};
    static constexpr QSize minimumContentSize{540, 480};
    // Stored inverted: true when the user turned "Follow system appearance" off.
    static const QString forceDarkAppearanceKey;

    SettingsWindow(AppModel *model, const QString &updateBehavior, bool updatesEnabled, QWidget *parent = nullptr);

    SettingsPane selectedPane() const { return m_selected; }
    void selectPane(SettingsPane pane);

Q_SIGNALS:
    void checkForUpdatesRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *generalPane();
    QWidget *securityPane();
    QWidget *keyringTrustCard(QWidget *parent);
    QWidget *agentsPane();
    QWidget *providersPane();
    QWidget *recoveryPane();
    QWidget *updatesPane(const QString &updateBehavior, bool updatesEnabled);
    QWidget *supportPane();
    // A scrolling pane titled with the pane's name; `content` receives its cards.
    QWidget *pane(SettingsPane which, QVBoxLayout **content);
    void checkLocalService();
    void draftSupportEmail();
    // Counts of operator data, or what unlocks them while they cannot be read.
    QString operatorCount(int count, const QString &singular, const QString &plural) const;
    void render();
    void renderSecurity();

    AppModel *m_model;
    SettingsSidebar *m_sidebar = nullptr;
    QStackedWidget *m_panes = nullptr;
    QMap<SettingsPane, QWidget *> m_paneWidgets;
    SettingsPane m_selected = SettingsPane::general;
    bool m_checkingService = false;

    QLabel *m_serviceTitle = nullptr;
    QLabel *m_serviceDetail = nullptr;
    QPushButton *m_checkService = nullptr;
    QLabel *m_serviceRegistration = nullptr;
    QLabel *m_localVaultSummary = nullptr;
    QLabel *m_hardwareSealedUnlock = nullptr;
    QLabel *m_systemLoginUnlock = nullptr;
    QLabel *m_keychainSummary = nullptr;
    QLabel *m_keychainMessage = nullptr;
    QWidget *m_legacyControls = nullptr;
    QPushButton *m_checkKeychain = nullptr;
    QPushButton *m_repairOperatorItem = nullptr;
    QPushButton *m_showRepairAll = nullptr;
    QPushButton *m_repairAll = nullptr;
    QLabel *m_activeAgentKeys = nullptr;
    QLabel *m_connectorCatalog = nullptr;
    QLabel *m_linkedProviderRecords = nullptr;
    QCheckBox *m_followSystemAppearance = nullptr;
    QCheckBox *m_offerCrashReports = nullptr;
};
