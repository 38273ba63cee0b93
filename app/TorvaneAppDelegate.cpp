#include "TorvaneAppDelegate.h"

#include "AboutWindow.h"
#include "AppModel.h"
#include "ApprovalNotifier.h"
#include "CrashReportScan.h"
#include "CrashReporter.h"
#include "FirstRunBreadcrumbs.h"
#include "FormWidgets.h"
#include "FreedesktopNotifications.h"
#include "HelpPages.h"
#include "MainWindow.h"
#include "MainWindowCloseGuard.h"
#include "SettingsWindow.h"
#include "SingleInstance.h"
#include "SystemClipboard.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>

namespace {
constexpr QSize minimumFrame{320, 240};
constexpr QSize minimumContent{320, 200};

bool atLeast(const QSize &size, const QSize &minimum)
{
    return size.width() >= minimum.width() && size.height() >= minimum.height();
}

void centerOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void bringToFront(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

TorvaneAppDelegate::TorvaneAppDelegate(AppModel &model, SingleInstance &instance, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_instance(instance)
    , m_updater(model.identity().lane(), model.context()->metadata().updateMode())
    , m_closeGuard(new MainWindowCloseGuard(this))
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_mainWindowWatchdog.setInterval(mainWindowWatchdogIntervalMs);
    m_brokerHandoffWatchdog.setInterval(brokerHandoffWatchdogIntervalMs);
    connect(&m_mainWindowWatchdog, &QTimer::timeout, this, &TorvaneAppDelegate::checkMainWindow);
    connect(&m_brokerHandoffWatchdog, &QTimer::timeout, this, &TorvaneAppDelegate::checkBrokerHandoff);
    // A window the user closed stays closed: the watchdog must not bring it straight back.
    connect(m_closeGuard, &MainWindowCloseGuard::hiddenByUser, &m_mainWindowWatchdog, &QTimer::stop);
    connect(&m_instance, &SingleInstance::activationRequested, this, [this] {
        startApplicationIfNeeded();
        bringMainWindowForward();
        for (QWidget *auxiliary : {settingsWindow(), aboutWindow()}) {
            if (auxiliary && auxiliary->isVisible())
                auxiliary->raise();
        }
    });
}

TorvaneAppDelegate::~TorvaneAppDelegate()
{
    delete m_settingsWindow.data();
    delete m_aboutWindow.data();
    delete m_mainWindow;
}

QWidget *TorvaneAppDelegate::settingsWindow() const
{
    return m_settingsWindow.data();
}

QWidget *TorvaneAppDelegate::aboutWindow() const
{
    return m_aboutWindow.data();
}

void TorvaneAppDelegate::startApplicationIfNeeded()
{
    if (!m_started) {
        m_started = true;
        m_updater.start();
        m_tray = std::make_unique<TrayIcon>(&m_model);
        connect(m_tray.get(), &TrayIcon::openMainWindowRequested, this, &TorvaneAppDelegate::bringMainWindowForward);
        connect(m_tray.get(), &TrayIcon::quitRequested, this, &TorvaneAppDelegate::quit);
        m_notifications = new FreedesktopNotifications(m_model.identity().appName(), QGuiApplication::desktopFileName(),
                                                       QDBusConnection::sessionBus(), this);
        m_approvalNotifier = new ApprovalNotifier(&m_model, m_notifications, this);
        connect(m_approvalNotifier, &ApprovalNotifier::openMainWindowRequested, this, &TorvaneAppDelegate::bringMainWindowForward);
        const QString home = m_model.identity().homeDirectoryPath();
        m_crashReporter = new CrashReporter(m_model.context()->userDefaults(), m_model.identity().bundleIdentifier(),
                                            CrashReportScan::reportsDirectory(home), home,
                                            std::make_shared<SystemClipboard>(), this);
        m_crashReporter->scheduleLaunchScan();
    }
    presentMainWindow();
    ensureMainWindowPresented();
    startMainWindowWatchdog();
    startBrokerHandoffWatchdog();
}

void TorvaneAppDelegate::createMainWindow()
{
    m_mainWindow = new MainWindow(&m_model);
    m_mainWindow->installEventFilter(m_closeGuard);
    installMainMenu(m_mainWindow->menuBar());
    m_mainWindow->resize(MainWindow::contentSize);
    configureMainWindow();
    centerOnScreen(m_mainWindow);
}

void TorvaneAppDelegate::presentMainWindow()
{
    if (!m_mainWindow) {
        createMainWindow();
    } else if (!windowHasUsableBounds()) {
        // The window is never recreated (it holds the dashboard): it gets its size back instead.
        m_mainWindow->showNormal();
        m_mainWindow->resize(MainWindow::contentSize);
        centerOnScreen(m_mainWindow);
    }
    configureMainWindow();
    bringToFront(m_mainWindow);
}

void TorvaneAppDelegate::configureMainWindow()
{
    const QString appName = m_model.identity().appName();
    m_mainWindow->setObjectName(QStringLiteral("tvn.main.window"));
    m_mainWindow->setWindowTitle(appName);
    m_mainWindow->setAccessibleName(appName);
    m_mainWindow->setAttribute(Qt::WA_DeleteOnClose, false);
}

bool TorvaneAppDelegate::windowHasUsableBounds() const
{
    if (!m_mainWindow)
        return false;
    const QWidget *content = m_mainWindow->centralWidget();
    return atLeast(m_mainWindow->frameGeometry().size(), minimumFrame) && content && atLeast(content->size(), minimumContent);
}

void TorvaneAppDelegate::ensureMainWindowPresented()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_mainWindow || !m_mainWindow->isVisible() || !windowHasUsableBounds())
            presentMainWindow();
        bringMainWindowForward();
    });
}

void TorvaneAppDelegate::bringMainWindowForward()
{
    FirstRunBreadcrumbs::record(QStringLiteral("window-activate (app-delegate bringMainWindowForward)"));
    if (!m_mainWindow) {
        presentMainWindow();
        return;
    }
    configureMainWindow();
    bringToFront(m_mainWindow);
}

void TorvaneAppDelegate::startMainWindowWatchdog()
{
    m_mainWindowChecks = 0;
    m_mainWindowWatchdog.start();
}

void TorvaneAppDelegate::checkMainWindow()
{
    if (++m_mainWindowChecks >= mainWindowWatchdogChecks)
        m_mainWindowWatchdog.stop();
    if (!m_mainWindow || !m_mainWindow->isVisible() || !windowHasUsableBounds())
        presentMainWindow();
}

void TorvaneAppDelegate::startBrokerHandoffWatchdog()
{
    m_brokerHandoffChecks = 0;
    m_brokerHandoffWatchdog.start();
}

void TorvaneAppDelegate::checkBrokerHandoff()
{
    if (++m_brokerHandoffChecks >= brokerHandoffWatchdogChecks)
        m_brokerHandoffWatchdog.stop();
    if (!m_model.supervision()->brokerHealthReady() || m_model.dashboardHandoff()->brokerAttachInProgress())
        return;
    m_brokerHandoffWatchdog.stop();
    m_model.attachToObservedBrokerForDashboardHandoff();
}

void TorvaneAppDelegate::showSettingsWindow()
{
    startApplicationIfNeeded();
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(&m_model, m_updater.statusDisplay(), m_updater.isEnabled());
        connect(m_settingsWindow, &SettingsWindow::checkForUpdatesRequested, this, &TorvaneAppDelegate::checkForUpdates);
        centerOnScreen(m_settingsWindow);
    }
    bringToFront(m_settingsWindow);
}

void TorvaneAppDelegate::showAbout()
{
    if (!m_aboutWindow) {
        m_aboutWindow = new AboutWindow(m_model.identity(), m_model.context()->metadata(), m_updater.statusDisplay(),
                                        m_model.brokerURL());
        m_aboutWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringToFront(m_aboutWindow);
}

void TorvaneAppDelegate::checkForUpdates()
{
    const QString message = m_updater.checkForUpdates();
    if (!message.isEmpty())
        QMessageBox::information(m_mainWindow, QStringLiteral("Check for Updates"), message);
}

void TorvaneAppDelegate::quit()
{
    m_model.context()->userDefaults().flush();
    QCoreApplication::exit(0);
}

void TorvaneAppDelegate::openInBrowser(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void TorvaneAppDelegate::installMainMenu(QMenuBar *menuBar)
{
    const QString appName = m_model.identity().appName();
    QMenu *app = menuBar->addMenu(appName);
    app->addAction(QStringLiteral("About ") + appName, this, &TorvaneAppDelegate::showAbout);
    app->addAction(QStringLiteral("Check for Updates..."), this, &TorvaneAppDelegate::checkForUpdates);
    app->addSeparator();
    app->addAction(QStringLiteral("Settings..."), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                   &TorvaneAppDelegate::showSettingsWindow);
    app->addSeparator();
    app->addAction(QStringLiteral("Quit ") + appName, QKeySequence(Qt::CTRL | Qt::Key_Q), this, &TorvaneAppDelegate::quit);

    QMenu *router = menuBar->addMenu(QStringLiteral("Router"));
    router->addAction(QStringLiteral("Show Main Window"), QKeySequence(Qt::CTRL | Qt::Key_0), this, [this] {
        startApplicationIfNeeded();
        ensureMainWindowPresented();
        startMainWindowWatchdog();
    });
    router->addAction(QStringLiteral("Refresh Broker"), QKeySequence(Qt::CTRL | Qt::Key_R), this, [this] { m_model.refresh(); });
    router->addAction(QStringLiteral("Open Local Dashboard"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), this,
                      [this] { openInBrowser(m_model.brokerURL()); });
    router->addAction(QStringLiteral("Revoke All Agent Keys"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K), this, [this] {
        bringMainWindowForward();
        KillSwitch *killSwitch = m_model.killSwitch();
        killSwitch->setKillSwitchConfirmationRequested(true);
        const bool confirmed = FormWidgets::confirm(m_mainWindow, QStringLiteral("revokeAllConfirmation"),
                                                    KillSwitch::emergencyRevokeConfirmationTitle,
                                                    KillSwitch::emergencyRevokeConfirmationText, QStringLiteral("Revoke All Agent Keys"));
        killSwitch->setKillSwitchConfirmationRequested(false);
        if (confirmed)
            m_model.emergencyRevokeAllAgentKeys();
    });

    QMenu *help = menuBar->addMenu(QStringLiteral("Help"));
    help->addAction(QStringLiteral("Open ") + appName + QStringLiteral(" Docs"), QKeySequence(QStringLiteral("Ctrl+?")), this,
                    [this] { openInBrowser(HelpPages::documentation(m_model.brokerURL())); });
    help->addAction(QStringLiteral("Contact Support"), this, [this] {
        openInBrowser(m_model.context()->metadata().supportEmailDraft(m_model.identity().appName()));
    });
    help->addAction(QStringLiteral("Release Notes"), this, [this] { openInBrowser(HelpPages::documentation(m_model.brokerURL())); });
    help->addAction(QStringLiteral("Privacy"), this, [this] { openInBrowser(HelpPages::trust(m_model.brokerURL())); });
    help->addAction(QStringLiteral("Terms of Service"), this, [this] { openInBrowser(HelpPages::documentation(m_model.brokerURL())); });
}
