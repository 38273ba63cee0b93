#pragma once

#include "AppUpdater.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class AboutWindow;
class AppModel;
class ApprovalNotifier;
class CrashReporter;
class DesktopNotifications;
class MainWindow;
class MainWindowCloseGuard;
class QMenuBar;
class SettingsWindow;
class SingleInstance;
class TrayIcon;

// The application shell: owns the main window (created once, hidden rather than closed), the
// settings and About windows, the tray icon, approval notifications, the crash report offer and
// the two bounded watchdogs that keep the main window on screen and hand a listening broker to
// the dashboard.
class TorvaneAppDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr int mainWindowWatchdogIntervalMs = 1000;
    static constexpr int mainWindowWatchdogChecks = 90;
    static constexpr int brokerHandoffWatchdogIntervalMs = 2000;
    static constexpr int brokerHandoffWatchdogChecks = 60;

    TorvaneAppDelegate(AppModel &model, SingleInstance &instance, QObject *parent = nullptr);
    ~TorvaneAppDelegate() override;

    // First call: the updater, the tray, notifications and the crash report scan of this launch.
    // Every call: present the main window and (re)start both watchdogs.
    void startApplicationIfNeeded();
    void presentMainWindow();
    void ensureMainWindowPresented();
    void bringMainWindowForward();
    void configureMainWindow();
    bool windowHasUsableBounds() const;
    void showSettingsWindow();
    void showAbout();
    void startMainWindowWatchdog();
    void startBrokerHandoffWatchdog();
    void checkForUpdates();
    // Records the breadcrumb, writes the user's settings and ends the process with status 0.
    void quit();

    MainWindow *mainWindow() const { return m_mainWindow; }
    QWidget *settingsWindow() const;
    QWidget *aboutWindow() const;
    TrayIcon *trayIcon() const { return m_tray.get(); }
    CrashReporter *crashReporter() const { return m_crashReporter; }
    const AppUpdater &updater() const { return m_updater; }
    bool mainWindowWatchdogRunning() const { return m_mainWindowWatchdog.isActive(); }

private:
    void createMainWindow();
    void installMainMenu(QMenuBar *menuBar);
    void checkMainWindow();
    void checkBrokerHandoff();
    void openInBrowser(const QUrl &url);

    AppModel &m_model;
    SingleInstance &m_instance;
    AppUpdater m_updater;
    bool m_started = false;
    MainWindow *m_mainWindow = nullptr;
    MainWindowCloseGuard *m_closeGuard;
    QPointer<SettingsWindow> m_settingsWindow;
    QPointer<AboutWindow> m_aboutWindow;
    std::unique_ptr<TrayIcon> m_tray;
    DesktopNotifications *m_notifications = nullptr;
    ApprovalNotifier *m_approvalNotifier = nullptr;
    CrashReporter *m_crashReporter = nullptr;
    QTimer m_mainWindowWatchdog;
    int m_mainWindowChecks = 0;
    QTimer m_brokerHandoffWatchdog;
    int m_brokerHandoffChecks = 0;
};
