#pragma once

#include <QWidget>

class AppModel;
class QCheckBox;
class QLabel;
class QPushButton;

// "Torvane Settings": the local service at a glance, security (the local vault and, in the legacy
// mode only, the keyring trust controls), updates and crash reports.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize contentSize{680, 720};
    static constexpr QSize minimumContentSize{540, 480};

    SettingsWindow(AppModel *model, const QString &updateBehavior, bool updatesEnabled, QWidget *parent = nullptr);

Q_SIGNALS:
    void checkForUpdatesRequested();

private:
    QWidget *serviceSection();
    QWidget *securitySection();
    QWidget *updatesSection(const QString &updateBehavior, bool updatesEnabled);
    QWidget *crashReportsSection();
    void render();

    AppModel *m_model;
    QLabel *m_serviceTitle = nullptr;
    QLabel *m_serviceDetail = nullptr;
    QLabel *m_localVaultSummary = nullptr;
    QLabel *m_keychainSummary = nullptr;
    QLabel *m_keychainMessage = nullptr;
    QWidget *m_legacyControls = nullptr;
    QPushButton *m_checkKeychain = nullptr;
    QPushButton *m_repairOperatorItem = nullptr;
    QPushButton *m_showRepairAll = nullptr;
    QPushButton *m_repairAll = nullptr;
    QCheckBox *m_offerCrashReports = nullptr;
};
