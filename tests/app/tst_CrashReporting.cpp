#include "AutomationClient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A real crash of the app (the development lane's test trigger, an invalid memory write) leaves a
// report in the two-part layout in ~/Library/Logs/DiagnosticReports; the next launch offers it,
// once, as the anonymous summary with no home path in it. The app runs from a copy inside the
// temporary home, so the raw report really holds a home path that the offer must not.
class TestCrashReporting : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_temporary;
    QProcessEnvironment m_environment;
    QString m_executable;

    QString reportsDirectory() const { return m_home.filePath(QStringLiteral("Library/Logs/DiagnosticReports")); }
    QString socketPath() const { return m_home.filePath(QStringLiteral("automation.sock")); }

    void launch(QProcess &app, AutomationClient &client)
    {
        app.setProcessEnvironment(m_environment);
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(m_executable, {QStringLiteral("--automation-socket"), socketPath()});
        QVERIFY(app.waitForStarted(10000));
        QVERIFY2(client.connectTo(socketPath(), 60000), "the app did not open its automation channel");
    }

    static QJsonArray messageBoxes(AutomationClient &client)
    {
        return client.state().value(QStringLiteral("messageBoxes")).toArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("bin"))));
        m_executable = m_home.filePath(QStringLiteral("bin/torvane"));
        QVERIFY(QFile::copy(QStringLiteral(TVN_APP_PATH), m_executable));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("HOME"), m_home.path());
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        m_environment.insert(QStringLiteral("TMPDIR"), m_temporary.path());
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_environment.remove(QStringLiteral("TVN_CRASH_REPORT_URL"));
    }

    void aCrashLeavesAReportInTheTwoPartLayout()
    {
        QProcess app;
        AutomationClient client;
        launch(app, client);
        // The first launch only records itself: nothing is offered.
        QTest::qWait(2500);
        QCOMPARE(messageBoxes(client), QJsonArray());
        client.call(QStringLiteral("crashForTest"), {}, 2000);
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitStatus(), QProcess::CrashExit);

        const QStringList reports = QDir(reportsDirectory()).entryList({QStringLiteral("*.ips")}, QDir::Files);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().startsWith(QLatin1StringView("TorvaneDev-")));
        QCOMPARE(QFileInfo(reportsDirectory()).permissions() & 0x0077, QFileDevice::Permissions());
        QFile file(QDir(reportsDirectory()).filePath(reports.first()));
        QCOMPARE(file.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.readLine();
        const QJsonObject headerObject = QJsonDocument::fromJson(header).object();
        QCOMPARE(headerObject.value(QStringLiteral("bundleID")).toString(), QStringLiteral("com.torvane.mac.dev"));
        QCOMPARE(headerObject.value(QStringLiteral("app_name")).toString(), QStringLiteral("Torvane Dev"));
        QVERIFY(!headerObject.value(QStringLiteral("incident_id")).toString().isEmpty());
        const QJsonObject body = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonObject exception = body.value(QStringLiteral("exception")).toObject();
        QCOMPARE(exception.value(QStringLiteral("signal")).toString(), QStringLiteral("SIGSEGV"));
        QCOMPARE(exception.value(QStringLiteral("type")).toString(), QStringLiteral("SEGV_MAPERR"));
        const QJsonArray frames = body.value(QStringLiteral("threads")).toArray().first().toObject().value(QStringLiteral("frames")).toArray();
        QVERIFY(frames.size() > 3);
        const QJsonArray images = body.value(QStringLiteral("usedImages")).toArray();
        const QJsonObject crashedIn = images.at(frames.first().toObject().value(QStringLiteral("imageIndex")).toInt()).toObject();
        QCOMPARE(crashedIn.value(QStringLiteral("name")).toString(), QStringLiteral("torvane"));
        // The raw report names the user's home; only the scrubbed summary may leave.
        QCOMPARE(crashedIn.value(QStringLiteral("path")).toString(), m_executable);
    }

    void theNextLaunchOffersTheScrubbedReportOnce()
    {
        QProcess app;
        AutomationClient client;
        launch(app, client);
        QJsonArray boxes;
        QVERIFY(QTest::qWaitFor([&] { return !(boxes = messageBoxes(client)).isEmpty(); }, 20000));
        const QJsonObject consent = boxes.first().toObject();
        QCOMPARE(consent.value(QStringLiteral("objectName")).toString(), QStringLiteral("crashReportConsent"));
        QCOMPARE(consent.value(QStringLiteral("text")).toString(), QStringLiteral("Torvane quit unexpectedly last time."));
        QVERIFY(consent.value(QStringLiteral("informativeText")).toString().contains(QLatin1StringView("your Linux version")));
        // No crash endpoint configured: the report is saved or copied, never sent.
        QCOMPARE(consent.value(QStringLiteral("buttons")).toArray(),
                 QJsonArray({"Save report…", "Copy report", "Not now", "Never ask again"}));

        const QJsonObject offered = client.state().value(QStringLiteral("crashReportOffer")).toObject();
        QCOMPARE(offered.value(QStringLiteral("bundleID")).toString(), QStringLiteral("com.torvane.mac.dev"));
        QCOMPARE(offered.value(QStringLiteral("exceptionSignal")).toString(), QStringLiteral("SIGSEGV"));
        QVERIFY(offered.value(QStringLiteral("frames")).toArray().first().toString().startsWith(QLatin1StringView("torvane + ")));
        const QByteArray offeredText = QJsonDocument(offered).toJson();
        QVERIFY(!offeredText.contains(m_home.path().toUtf8()));
        QVERIFY(!offeredText.contains("/tmp/"));

        QCOMPARE(client.call(QStringLiteral("click"), {{"button", "Not now"}}).value(QStringLiteral("error")).toString(), QString());
        QVERIFY(QTest::qWaitFor([&] { return messageBoxes(client).isEmpty(); }, 5000));
        app.kill();
        app.waitForFinished(5000);

        // Considered once: the launch after that offers nothing.
        QProcess again;
        AutomationClient againClient;
        launch(again, againClient);
        QTest::qWait(4000);
        QCOMPARE(messageBoxes(againClient), QJsonArray());
        again.kill();
        again.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestCrashReporting)
#include "tst_CrashReporting.moc"
