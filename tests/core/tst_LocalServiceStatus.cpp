#include "LocalServiceStatus.h"
#include "ServiceRunLock.h"
#include "TopLevelJsonScanner.h"

#include <QTemporaryDir>
#include <QFile>
#include <QTest>

namespace {

const QString minimal = QStringLiteral(
    R"({"status":"ready","launchAgent":"loaded","broker":"listening","dashboardUrl":"http://127.0.0.1:47382",)"
    R"("stateDir":"/h/.torvane-dev/state","logDir":"/h/Library/Logs/TorvaneDev"})");

} // namespace

class TestLocalServiceStatus : public QObject
{
    Q_OBJECT
private slots:
    void scansTopLevelObjects_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("objects");
        QTest::newRow("no braces") << "starting broker\nno json here" << QStringList();
        QTest::newRow("log lines around") << "log {\"a\":1} tail {\"b\":{\"c\":2}}\n" << QStringList{"{\"a\":1}", "{\"b\":{\"c\":2}}"};
        QTest::newRow("braces inside strings") << "x {\"m\":\"}{ \\\" }\"} y" << QStringList{"{\"m\":\"}{ \\\" }\"}"};
        QTest::newRow("escaped backslash ends string") << "{\"m\":\"a\\\\\"}{\"n\":1}" << QStringList{"{\"m\":\"a\\\\\"}", "{\"n\":1}"};
        QTest::newRow("quote outside objects is plain text") << "say \"{x}\" {\"k\":1}" << QStringList{"{x}", "{\"k\":1}"};
        QTest::newRow("stray closing brace") << "} {\"a\":1} }" << QStringList{"{\"a\":1}"};
        QTest::newRow("unterminated object") << "{\"a\":1} {\"b\":" << QStringList{"{\"a\":1}"};
        QTest::newRow("unterminated string swallows rest") << "{\"a\":\"}" << QStringList();
    }
    void scansTopLevelObjects()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, objects);
        QCOMPARE(topLevelJsonObjects(text), objects);
    }

    void decodesScriptOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("status"); // empty: nothing decodes
        QTest::newRow("plain status") << minimal << "ready";
        QTest::newRow("log noise, status, trailing non-status object")
            << "[local-service] starting {pid 12}\n" + minimal + "\n{\"event\":\"done\"}\n" << "ready";
        QTest::newRow("later status wins")
            << QString(minimal).replace("ready", "installed") + "\n" + minimal << "ready";
        QTest::newRow("braces in string values")
            << QString(minimal).replace(R"("stateDir":)", R"("lastErrorSummary":"bad {token} }{","stateDir":)") << "ready";
        QTest::newRow("required key missing") << QString(minimal).replace(R"("logDir")", R"("logDirectory")") << "";
        QTest::newRow("required key null") << QString(minimal).replace(R"("broker":"listening")", R"("broker":null)") << "";
        QTest::newRow("optional of wrong type") << QString(minimal).replace(R"("stateDir":)", R"("brokerPort":"47382","stateDir":)") << "";
        QTest::newRow("no JSON at all") << "node: not found" << "";
        QTest::newRow("broken JSON object") << "{status: ready}" << "";
    }
    void decodesScriptOutput()
    {
        QFETCH(QString, output);
        QFETCH(QString, status);
        const std::optional<LocalServiceStatus> decoded = LocalServiceStatus::fromScriptOutput(output);
        QCOMPARE(decoded.has_value(), !status.isEmpty());
        if (decoded)
            QCOMPARE(decoded->status, status);
    }

    void decodesEveryKey()
    {
        const QString full = QString(minimal).chopped(1) + QStringLiteral(
            R"(,"runtimeLane":"development","serviceLabel":"com.torvane.local.dev","appBundleId":"com.torvane.mac.dev",)"
            R"("brokerPort":47382,"profileStoreDir":"/p","applicationSupportRoot":"/a","serviceRoot":"/s","buildId":"b",)"
            R"("buildChannel":"c","brokerServiceRoot":"/bs","brokerBuildId":"bb","brokerBuildChannel":"bc",)"
            R"("brokerMatchesInstall":false,"brokerTrustedAppPaths":["/w"],"brokerTrustedAppPathsMatch":true,)"
            R"("lastErrorSummary":null})");
        const std::optional<LocalServiceStatus> s = LocalServiceStatus::fromScriptOutput(full);
        QVERIFY(s);
        QCOMPARE(s->brokerPort, std::optional<qint64>(47382));
        QCOMPARE(s->brokerMatchesInstall, std::optional<bool>(false));
        QCOMPARE(s->brokerTrustedAppPaths, std::optional<QStringList>(QStringList{"/w"}));
        QCOMPARE(s->brokerBuildChannel, std::optional<QString>("bc"));
        QCOMPARE(s->lastErrorSummary, std::nullopt);
        QVERIFY(*s != *LocalServiceStatus::fromScriptOutput(minimal));
    }

    void unavailablePlaceholder()
    {
        const TVNRuntimeIdentity identity = TVNRuntimeIdentity::resolve({}, QStringLiteral("/h"), QStringLiteral("/h/.local/share"));
        const LocalServiceStatus s = LocalServiceStatus::unavailable(QStringLiteral("unavailable"), identity);
        QCOMPARE(s.status, QStringLiteral("unavailable"));
        QCOMPARE(s.launchAgent, QStringLiteral("unknown"));
        QCOMPARE(s.broker, QStringLiteral("not_listening"));
        QCOMPARE(s.dashboardUrl, QStringLiteral("http://127.0.0.1:47382"));
        QCOMPARE(s.runtimeLane, std::optional<QString>("development"));
        QCOMPARE(s.brokerPort, std::optional<qint64>(47382));
        QCOMPARE(s.stateDir, QStringLiteral("/h/.torvane-dev/state"));
        QCOMPARE(s.profileStoreDir, std::optional<QString>("/h/.torvane-dev/state/agent-keys"));
        QCOMPARE(s.applicationSupportRoot, std::optional<QString>("/h/.local/share/Torvane Dev"));
        QCOMPARE(s.serviceRoot, std::nullopt);
        QCOMPARE(s.buildId, std::nullopt);
    }

    void readsRunLock_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("valid");
        QTest::newRow("valid") << QByteArray(R"({"buildId":"development","pid":4242,"startedAt":"2026-01-01T00:00:00Z"})") << true;
        QTest::newRow("pid as string") << QByteArray(R"({"buildId":"d","pid":"4242","startedAt":"t"})") << false;
        QTest::newRow("truncated") << QByteArray(R"({"buildId":"d","pid":42)") << false;
    }
    void readsRunLock()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, valid);
        QTemporaryDir root;
        QCOMPARE(ServiceRunLock::read(root.path()), std::nullopt);
        QFile file(root.filePath(QStringLiteral("run.lock")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        const std::optional<ServiceRunLock> lock = ServiceRunLock::read(root.path());
        QCOMPARE(lock.has_value(), valid);
        if (lock)
            QCOMPARE(*lock, (ServiceRunLock{QStringLiteral("development"), 4242, QStringLiteral("2026-01-01T00:00:00Z")}));
    }
};

QTEST_GUILESS_MAIN(TestLocalServiceStatus)
#include "tst_LocalServiceStatus.moc"
