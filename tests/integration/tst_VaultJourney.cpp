#include "AutomationClient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The app itself (its executable, driven through the automation channel) and the real local
// service in a temporary home: from nothing to an unlocked vault, a restarted broker, a changed
// bootstrap secret that only the TVN password can answer, and a broker killed under the app.
class TestVaultJourney : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        // A temporary folder of its own: the app's single-instance socket lives there, so a Torvane
        // the developer runs is not the instance this one defers to.
        environment.insert(QStringLiteral("TMPDIR"), m_home.path());
        environment.remove(QStringLiteral("TVN_SERVICE_ROOT"));
        m_environment = environment;
        const QString socket = m_home.filePath(QStringLiteral("automation.sock"));
        m_app.setProcessEnvironment(environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TVN_APP_PATH), {QStringLiteral("--automation-socket"), socket});
        QVERIFY(m_app.waitForStarted(10000));
        QVERIFY2(m_client.connectTo(socket), "the app did not open its automation channel");
    }

    void cleanupTestCase()
    {
        runControlScript(QStringLiteral("stop"));
        m_app.kill();
        m_app.waitForFinished(5000);
    }

    void turnsOnIntoAFirstRunVault()
    {
        QCOMPARE(m_client.state().value(QStringLiteral("rootSurface")).toString(), QStringLiteral("firstRunWelcome"));
        QCOMPARE(m_client.call(QStringLiteral("installOrStartLocalService")).value(QStringLiteral("error")).toString(),
                 QString());
        const QJsonObject state = m_client.state();
        QVERIFY(state.value(QStringLiteral("brokerIdentityVerified")).toBool());
        QCOMPARE(state.value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unconfigured"));
        QCOMPARE(state.value(QStringLiteral("localServiceStatusDetail")).toString(),
                 QStringLiteral("Torvane is on. Create your TVN password so apps can connect."));
    }

    void setupRefusesBadPasswordsBeforeAnyCall_data()
    {
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("error");
        QTest::newRow("seven characters") << "1234567" << "1234567" << "TVN password must be at least 8 characters.";
        // Seven user-perceived characters even though they take more code units.
        QTest::newRow("seven graphemes") << QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301")
                                         << QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301")
                                         << "TVN password must be at least 8 characters.";
        QTest::newRow("mismatch") << "correct horse" << "correct house" << "Passwords do not match.";
    }

    void setupRefusesBadPasswordsBeforeAnyCall()
    {
        QFETCH(QString, passphrase);
        QFETCH(QString, confirm);
        const QJsonObject answer = m_client.call(
            QStringLiteral("setupVaultPassphrase"),
            {{QStringLiteral("passphrase"), passphrase}, {QStringLiteral("confirm"), confirm}});
        QTEST(answer.value(QStringLiteral("error")).toString(), "error");
        QCOMPARE(m_client.state().value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unconfigured"));
    }

    void setupUnlocksTheVault()
    {
        const QJsonObject answer = m_client.call(
            QStringLiteral("setupVaultPassphrase"),
            {{QStringLiteral("passphrase"), passphrase()}, {QStringLiteral("confirm"), passphrase()}});
        QCOMPARE(answer.value(QStringLiteral("result")).toBool(), true);
        const QJsonObject state = m_client.state();
        QCOMPARE(state.value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unlocked"));
        QCOMPARE(state.value(QStringLiteral("operatorSessionID")).toString(), QStringLiteral("<set>"));
        QCOMPARE(state.value(QStringLiteral("statusMessage")).toString(), QStringLiteral("Local service checked"));
        QCOMPARE(state.value(QStringLiteral("localServiceStatusDetail")).toString(),
                 QStringLiteral("Apps can connect now. Your connected app keys stay on this computer."));
        QVERIFY(!QJsonDocument(state).toJson().contains(passphrase().toUtf8()));
        // The window shows the broker's page once the page proved it rendered.
        QCOMPARE(state.value(QStringLiteral("rootSurface")).toString(), QStringLiteral("dashboard"));
        const QDeadlineTimer revealed(60000);
        while (!m_client.state().value(QStringLiteral("dashboardRevealed")).toBool() && !revealed.hasExpired())
            QTest::qWait(200);
        QVERIFY(m_client.state().value(QStringLiteral("dashboardRevealed")).toBool());
    }

    void aRestartedBrokerIsUnlockedAgainWithoutAsking()
    {
        restartBroker();
        QCOMPARE(m_client.call(QStringLiteral("refresh")).value(QStringLiteral("error")).toString(), QString());
        const QJsonObject state = m_client.state();
        QCOMPARE(state.value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unlocked"));
        QCOMPARE(state.value(QStringLiteral("operatorSessionID")).toString(), QStringLiteral("<set>"));
        QVERIFY(!state.value(QStringLiteral("operatorPassphraseRequired")).toBool());
    }

    void aNewBootstrapSecretAsksForThePassword()
    {
        // The broker makes a new secret when its file is gone; only the TVN password re-opens the vault.
        QVERIFY(QFile::remove(stateDirectory() + QStringLiteral("/operator-bootstrap.local")));
        restartBroker();
        m_client.call(QStringLiteral("refresh"));
        QJsonObject state = m_client.state();
        QVERIFY(state.value(QStringLiteral("operatorPassphraseRequired")).toBool());
        QCOMPARE(state.value(QStringLiteral("operatorSessionID")).toString(), QString());
        QCOMPARE(state.value(QStringLiteral("localServiceStatusDetail")).toString(),
                 QStringLiteral("Torvane is on. Unlock the vault so apps can connect."));

        QCOMPARE(m_client.call(QStringLiteral("unlockVaultPassphrase"), {{QStringLiteral("passphrase"), QStringLiteral("not it at all")}})
                     .value(QStringLiteral("error"))
                     .toString(),
                 QStringLiteral("That password didn't unlock the vault. Check it and try again."));
        QCOMPARE(m_client.call(QStringLiteral("unlockVaultPassphrase"), {{QStringLiteral("passphrase"), QString()}})
                     .value(QStringLiteral("error"))
                     .toString(),
                 QStringLiteral("Enter your TVN password to unlock"));
        QCOMPARE(m_client.call(QStringLiteral("unlockVaultPassphrase"), {{QStringLiteral("passphrase"), passphrase()}})
                     .value(QStringLiteral("result"))
                     .toBool(),
                 true);
        state = m_client.state();
        QVERIFY(!state.value(QStringLiteral("operatorPassphraseRequired")).toBool());
        QCOMPARE(state.value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unlocked"));

        // The password re-wrapped the vault for the new secret: the next restart needs no password.
        restartBroker();
        m_client.call(QStringLiteral("refresh"));
        QVERIFY(!m_client.state().value(QStringLiteral("operatorPassphraseRequired")).toBool());
    }

    void aBrokerKilledUnderTheAppEndsInTheFixedMessage()
    {
        // Never kill(-1) or kill(0): a missing run.lock must not take every process with it.
        const qint64 pid = brokerPid();
        QVERIFY2(pid > 1, "no broker pid in run.lock");
        QVERIFY(::kill(pid_t(pid), SIGKILL) == 0);
        QTest::qWait(300);
        m_client.call(QStringLiteral("refresh"));
        const QJsonObject state = m_client.state();
        QVERIFY(!state.value(QStringLiteral("health")).toObject().value(QStringLiteral("ok")).toBool());
        QVERIFY(!state.value(QStringLiteral("brokerIdentityVerified")).toBool());

        // Nothing on disk was lost: turned on again, the same password still opens the same vault.
        m_client.call(QStringLiteral("installOrStartLocalService"));
        const QJsonObject back = m_client.state();
        QCOMPARE(back.value(QStringLiteral("vaultStatus")).toString(), QStringLiteral("unlocked"));
        QCOMPARE(back.value(QStringLiteral("operatorSessionID")).toString(), QStringLiteral("<set>"));
    }

    void lockClearsTheSession()
    {
        m_client.call(QStringLiteral("lockOperatorSession"));
        const QJsonObject state = m_client.state();
        QCOMPARE(state.value(QStringLiteral("operatorSessionID")).toString(), QString());
        QCOMPARE(state.value(QStringLiteral("statusMessage")).toString(), QStringLiteral("Operator session locked"));
        QVERIFY(state.value(QStringLiteral("connections")).toArray().isEmpty());
    }

private:
    static QString passphrase() { return QStringLiteral("correct horse battery staple"); }

    QString stateDirectory() const { return m_home.filePath(QStringLiteral(".torvane-dev/state")); }

    qint64 brokerPid() const
    {
        QFile lock(m_home.filePath(QStringLiteral(".torvane-dev/run.lock")));
        if (!lock.open(QIODevice::ReadOnly))
            return -1;
        return QJsonDocument::fromJson(lock.readAll()).object().value(QStringLiteral("pid")).toInteger(-1);
    }

    // Stops the broker behind the app's back and starts it again, as a reboot would.
    void restartBroker()
    {
        QVERIFY(runControlScript(QStringLiteral("stop")));
        QVERIFY(runControlScript(QStringLiteral("install")));
    }

    bool runControlScript(const QString &command)
    {
        QProcess script;
        script.setProcessEnvironment(m_environment);
        script.setWorkingDirectory(QStringLiteral(TVN_SOURCE_DIR));
        script.start(QStringLiteral("node"), {QStringLiteral("scripts/local-service.mjs"), command});
        return script.waitForFinished(60000) && script.exitCode() == 0;
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_app;
    AutomationClient m_client;
};

QTEST_GUILESS_MAIN(TestVaultJourney)
#include "tst_VaultJourney.moc"
