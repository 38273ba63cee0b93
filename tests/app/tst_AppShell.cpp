#include "AutomationClient.h"
#include "DesktopBusStandIns.h"
#include "FakeProvider.h"

#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QThread>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

// The app's executable as a person meets it on a desktop: under Xvfb, with a session bus
// (dbus-run-session) on which the test stands in for the desktop's tray watcher and notification
// server (no real tray host or notification daemon runs headless), against the real local service
// of this checkout and the provider stand-in. One instance, one service, one vault: each test
// builds on the state the earlier ones left.
namespace {
const QString vaultPassword = QStringLiteral("correct horse battery staple");
constexpr quint16 developmentPort = 47382;

bool portAcceptsConnections()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, developmentPort);
    return socket.waitForConnected(1000);
}

bool waitUntil(const std::function<bool()> &condition, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
    return true;
}

QString errorOf(const QJsonObject &answer)
{
    return answer.value(QStringLiteral("error")).toString();
}
} // namespace

class TestAppShell : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_temporary;
    QProcessEnvironment m_environment;
    QString m_socket;
    QProcess m_app;
    AutomationClient m_client;
    FakeProvider m_provider;
    QThread m_busThread;
    StatusNotifierWatcherStandIn m_watcher;
    NotificationServerStandIn m_notifications;

    QJsonObject state() { return m_client.state(); }
    QJsonObject tray() { return state().value(QStringLiteral("tray")).toObject(); }
    QJsonObject panel() { return tray().value(QStringLiteral("panel")).toObject(); }

    QJsonObject call(const QString &method, const QJsonObject &params = {}) { return m_client.call(method, params); }

    bool click(const QString &button, const QString &window = QStringLiteral("trayPanel"))
    {
        return errorOf(call(QStringLiteral("click"), {{"button", button}, {"window", window}})).isEmpty();
    }

    void runControlScript(const QString &command)
    {
        QProcess script;
        script.setProcessEnvironment(m_environment);
        script.start(QStringLiteral("node"), {QStringLiteral(TVN_SOURCE_DIR "/scripts/local-service.mjs"), command});
        script.waitForFinished(60000);
    }

    // The tray's own click: the desktop's tray asks the app's item to activate.
    void clickTrayIcon()
    {
        QDBusMessage activate = QDBusMessage::createMethodCall(m_watcher.items().constLast(), QStringLiteral("/StatusNotifierItem"),
                                                               QStringLiteral("org.kde.StatusNotifierItem"),
                                                               QStringLiteral("Activate"));
        activate << 0 << 0;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(activate, QDBus::BlockWithGui, 10000);
        QVERIFY2(reply.type() != QDBusMessage::ErrorMessage, qPrintable(reply.errorMessage()));
    }

    void saveScreenshot(const QString &window)
    {
        const QString directory = QStringLiteral(TVN_BINARY_DIR "/screenshots");
        QVERIFY(QDir().mkpath(directory));
        const QString path = directory + QStringLiteral("/shell-") + window + QStringLiteral(".png");
        QCOMPARE(errorOf(call(QStringLiteral("screenshot"), {{"window", window}, {"path", path}})), QString());
        QVERIFY(QFileInfo(path).size() > 1000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under xvfb-run");
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        // Registered before the move: the bus makes its signal relay a child of each object, which
        // can only be done from the thread the object lives in; the move then takes it along.
        QVERIFY(m_watcher.registerOn(QDBusConnection::sessionBus()));
        QVERIFY(m_notifications.registerOn(QDBusConnection::sessionBus()));
        m_watcher.moveToThread(&m_busThread);
        m_notifications.moveToThread(&m_busThread);
        m_busThread.start();
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 60000), "another process holds port 47382");
        QVERIFY2(m_provider.start(), "the provider stand-in did not start");

        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(m_provider.environment());
        m_environment.insert(QStringLiteral("HOME"), m_home.path());
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        // Its own temporary folder, so the single-instance socket is this test's alone.
        m_environment.insert(QStringLiteral("TMPDIR"), m_temporary.path());
        m_environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_environment.remove(QStringLiteral("TVN_SERVICE_ROOT"));
        // The session bus is the test's own: no user manager behind it, so no systemd unit.
        m_environment.insert(QStringLiteral("TVN_SERVICE_MANAGER"), QStringLiteral("detached"));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_socket = m_home.filePath(QStringLiteral("automation.sock"));
        m_app.setProcessEnvironment(m_environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TVN_APP_PATH), {QStringLiteral("--automation-socket"), m_socket});
        QVERIFY(m_app.waitForStarted(10000));
        QVERIFY2(m_client.connectTo(m_socket, 60000), "the app did not open its automation channel");
        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("mainWindowVisible")).toBool(); }, 30000));
    }

    void cleanupTestCase()
    {
        QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        m_busThread.quit();
        m_busThread.wait();
        runControlScript(QStringLiteral("stop"));
        m_app.kill();
        m_app.waitForFinished(5000);
    }

    void aSecondCopyWakesTheFirstAndEnds()
    {
        QCOMPARE(errorOf(call(QStringLiteral("closeMainWindow"))), QString());
        QVERIFY(waitUntil([this] { return !state().value(QStringLiteral("mainWindowVisible")).toBool(); }, 5000));

        // Started the same way, even with the automation option and the same socket path.
        QProcess second;
        second.setProcessEnvironment(m_environment);
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(QStringLiteral(TVN_APP_PATH), {QStringLiteral("--automation-socket"), m_socket});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("mainWindowVisible")).toBool(); }, 10000));
        QCOMPARE(m_app.state(), QProcess::Running);
    }

    void closingHidesAndTheTrayBringsTheWindowBack()
    {
        QCOMPARE(errorOf(call(QStringLiteral("closeMainWindow"))), QString());
        QJsonObject shown = state();
        QCOMPARE(shown.value(QStringLiteral("mainWindowVisible")), QJsonValue(false));
        // A window the user closed is not brought straight back by the watchdog.
        QVERIFY(!shown.value(QStringLiteral("mainWindowWatchdogRunning")).toBool());
        QTest::qWait(1500);
        QCOMPARE(state().value(QStringLiteral("mainWindowVisible")), QJsonValue(false));
        QCOMPARE(m_app.state(), QProcess::Running);

        QVERIFY2(waitUntil([this] { return !m_watcher.items().isEmpty(); }, 10000), "the app registered no tray icon");
        QVERIFY(tray().value(QStringLiteral("visible")).toBool());
        clickTrayIcon();
        QVERIFY(waitUntil([this] { return panel().value(QStringLiteral("visible")).toBool(); }, 10000));
        QVERIFY(click(QStringLiteral("trayOpenMainWindow")));
        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("mainWindowVisible")).toBool(); }, 5000));
        QVERIFY(!panel().value(QStringLiteral("visible")).toBool());
    }

    void trayPanelWithTheServiceOff()
    {
        call(QStringLiteral("refresh"));
        const QJsonObject offPanel = panel();
        QCOMPARE(offPanel.value(QStringLiteral("title")).toString(), QStringLiteral("Service off"));
        QCOMPARE(offPanel.value(QStringLiteral("detail")).toString(), QStringLiteral("Turn on Torvane from the main window"));
        QCOMPARE(offPanel.value(QStringLiteral("emptyTitle")).toString(), QStringLiteral("Nothing needs you right now"));
        QVERIFY(!offPanel.value(QStringLiteral("revokeAllShown")).toBool());
        QCOMPARE(tray().value(QStringLiteral("toolTip")).toString(), QStringLiteral("Torvane"));
    }

    void trayPanelCountsAPendingApprovalAndNotifiesIt()
    {
        QCOMPARE(errorOf(call(QStringLiteral("installOrStartLocalService"))), QString());
        QCOMPARE(call(QStringLiteral("setupVaultPassphrase"), {{"passphrase", vaultPassword}, {"confirm", vaultPassword}})
                     .value(QStringLiteral("result")),
                 QJsonValue(true));
        QCOMPARE(errorOf(call(QStringLiteral("set"), {{"field", "selectedConnectorID"}, {"value", "github"}})), QString());
        QCOMPARE(call(QStringLiteral("linkAPIKey"), {{"accountId", "default"}, {"token", "valid-shell-token"}}).value(QStringLiteral("result")),
                 QJsonValue(true));
        call(QStringLiteral("applyAgentPreset"), {{"id", "hermes"}, {"label", "Hermes"}});
        QCOMPARE(errorOf(call(QStringLiteral("createMasterKey"))), QString());
        QCOMPARE(errorOf(call(QStringLiteral("requestProtectedWrite"))), QString());

        const QJsonObject shown = panel();
        QCOMPARE(shown.value(QStringLiteral("title")).toString(), QStringLiteral("Torvane is on"));
        QCOMPARE(shown.value(QStringLiteral("detail")).toString(), QStringLiteral("1 agent key · 1 app connected"));
        const QJsonArray approvals = shown.value(QStringLiteral("approvals")).toArray();
        QCOMPARE(approvals.size(), 1);
        const QJsonObject row = approvals.first().toObject();
        QCOMPARE(row.value(QStringLiteral("heading")).toString(), QStringLiteral("codex · github"));
        QVERIFY(row.value(QStringLiteral("detail")).toString().startsWith(QStringLiteral("github.issue.create · risk ")));
        QVERIFY(row.value(QStringLiteral("input")).toString().contains(QLatin1StringView("Linux approval smoke test")));
        QVERIFY(row.value(QStringLiteral("approveEnabled")).toBool());
        QVERIFY(shown.value(QStringLiteral("revokeAllShown")).toBool());
        QVERIFY(!shown.value(QStringLiteral("disableKillSwitchShown")).toBool());
        QCOMPARE(tray().value(QStringLiteral("badge")).toString(), QStringLiteral("1"));
        QCOMPARE(tray().value(QStringLiteral("toolTip")).toString(), QStringLiteral("Torvane, 1 pending approval"));

        QVERIFY2(waitUntil([this] { return !m_notifications.notifications().isEmpty(); }, 10000), "no notification was sent");
        const NotificationServerStandIn::Notification sent = m_notifications.notifications().constLast();
        QCOMPARE(sent.appName, QStringLiteral("Torvane Dev"));
        QCOMPARE(sent.summary, QStringLiteral("Approval needed: github.issue.create"));
        QVERIFY(sent.body.startsWith(QLatin1StringView("codex wants to run github.issue.create on github")));
        QCOMPARE(sent.actions, QStringList({"approve", "Approve", "open", "Open"}));
        QCOMPARE(sent.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("com.torvane.mac.dev"));

        // Approve from the notification: the approval runs and its notification is withdrawn.
        call(QStringLiteral("showTrayPanel"));
        saveScreenshot(QStringLiteral("trayPanel"));
        m_notifications.invokeAction(sent.id, QStringLiteral("approve"));
        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("approvals")).toArray().isEmpty(); }, 15000));
        QVERIFY(waitUntil([this, sent] { return m_notifications.closed().contains(sent.id); }, 5000));
        QCOMPARE(m_notifications.notifications().size(), 1);
        QCOMPARE(panel().value(QStringLiteral("emptyTitle")).toString(), QStringLiteral("Nothing needs you right now"));
        QCOMPARE(tray().value(QStringLiteral("badge")).toString(), QString());
    }

    void killSwitchFromThePanel()
    {
        call(QStringLiteral("showTrayPanel"));
        QVERIFY(click(QStringLiteral("trayRevokeAll")));
        QVERIFY(panel().value(QStringLiteral("confirmationShown")).toBool());
        // Cancelling changes nothing.
        QVERIFY(click(QStringLiteral("trayCancelRevokeAll")));
        QVERIFY(!panel().value(QStringLiteral("confirmationShown")).toBool());
        QVERIFY(!state().value(QStringLiteral("killSwitchActive")).toBool());

        QVERIFY(click(QStringLiteral("trayRevokeAll")));
        QVERIFY(click(QStringLiteral("trayConfirmRevokeAll")));
        QVERIFY2(waitUntil([this] { return panel().value(QStringLiteral("title")).toString() == QLatin1StringView("Kill switch engaged"); }, 15000),
                 qPrintable(state().value(QStringLiteral("statusMessage")).toString() + QStringLiteral(" / ")
                            + state().value(QStringLiteral("lastActionError")).toString()));
        const QJsonObject engaged = panel();
        QCOMPARE(engaged.value(QStringLiteral("detail")).toString(),
                 QStringLiteral("All agent access is paused. Click Disable kill switch to restore."));
        QVERIFY(engaged.value(QStringLiteral("disableKillSwitchShown")).toBool());
        QVERIFY(!engaged.value(QStringLiteral("revokeAllShown")).toBool());
        QCOMPARE(tray().value(QStringLiteral("toolTip")).toString(), QStringLiteral("Torvane, Kill switch engaged"));
        // The kill switch is engaged first; the keys are revoked one by one after it.
        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("activeMasterKeysCount")).toInt() == 0; }, 15000));

        QVERIFY(click(QStringLiteral("trayDisableKillSwitch")));
        QVERIFY(waitUntil([this] { return panel().value(QStringLiteral("title")).toString() == QLatin1StringView("Torvane is on"); }, 15000));
        QCOMPARE(panel().value(QStringLiteral("detail")).toString(), QStringLiteral("0 agent keys · 1 app connected"));
    }

    void settingsAndAbout()
    {
        call(QStringLiteral("showSettingsWindow"));
        call(QStringLiteral("showSettingsWindow"));
        QVERIFY(state().value(QStringLiteral("settingsWindowVisible")).toBool());
        saveScreenshot(QStringLiteral("settings"));
        call(QStringLiteral("showAbout"));
        QVERIFY(state().value(QStringLiteral("aboutWindowVisible")).toBool());
        QCOMPARE(state().value(QStringLiteral("updateBehavior")).toString(), QStringLiteral("Updates disabled for this build"));
        saveScreenshot(QStringLiteral("about"));
        QVERIFY(click(QStringLiteral("aboutDone"), QStringLiteral("about")));
        QVERIFY(waitUntil([this] { return state().value(QStringLiteral("aboutWindowVisible")).isNull(); }, 5000));
    }
};

QTEST_GUILESS_MAIN(TestAppShell)
#include "tst_AppShell.moc"
