#include "AwaitTask.h"
#include "BrokerClient.h"
#include "BrokerPaths.h"
#include "CreatedMasterKeyResponse.h"
#include "LocalAgentProfileStore.h"
#include "OperatorSessionResponse.h"
#include "RealBroker.h"
#include "VaultTestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const QString agentId = QStringLiteral("claude-code");
const QString profile = QStringLiteral("claude-code-keel-tvn");
const QString passphrase = QStringLiteral("correct horse battery staple");
// The handoff contract gives the wrapper 8 seconds before it is killed.
constexpr int wrapperDeadlineMs = 8000;

struct WrapperRun
{
    bool started = false;
    bool timedOut = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Any file under `root` holding `needle`, as paths relative to `root`.
QStringList filesContaining(const QString &root, const QByteArray &needle)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly) || file.readAll().contains(needle))
            found << QDir(root).relativeFilePath(file.fileName());
    }
    return found;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T>
QByteArray failureOf(const BrokerResult<T> &result)
{
    return result ? QByteArray() : result.failure().description().toUtf8();
}

} // namespace

// The agent handoff end to end with real parts only: the broker issues an agent key, the profile
// store seals it to one TPM simulator, and the service's wrapper, run with "--check" exactly as the
// app runs it, opens it through the signer tool and has the broker accept it. The simulators come
// from the vault tests' fixture; "tpm-b" stands for another machine.
class SealedAgentHandoffTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<RealBroker> m_broker;
    QString m_operatorSession;
    QString m_agentKey;
    QString m_agentKeyId;

    QUrl brokerURL() const { return QUrl(m_broker->baseURL()); }
    QString stateDirectory() const { return m_broker->homePath() + QStringLiteral("/state"); }
    QString sealedProfilePath() const { return stateDirectory() + QStringLiteral("/agent-keys/") + profile + ".sealed"; }

    BrokerResult<QByteArray> post(const QString &path, const QJsonObject &body, const BrokerHeaders &headers) const
    {
        return awaitTask(BrokerClient().postJSON(brokerURL(), path, body, headers));
    }

    // The app's environment, changed as the handoff contract says, plus what points the wrapper at
    // the signer and the signer at one simulator.
    WrapperRun runWrapperCheck(const QString &tcti) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("SWITCHYARD_API_KEY"));
        environment.insert(QStringLiteral("HOME"), m_broker->homePath());
        environment.insert(QStringLiteral("TVN_BROKER_URL"), m_broker->baseURL());
        environment.insert(QStringLiteral("SWITCHYARD_STATE_DIR"), stateDirectory());
        environment.insert(QStringLiteral("TVN_RUNTIME_LANE"), QStringLiteral("development"));
        environment.insert(QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"), QStringLiteral(TVN_SIGNER_PATH));
        environment.insert(QStringLiteral("TVN_TPM_TCTI"), tcti);

        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TVN_SOURCE_DIR "/script/tvn-mcp-launch.sh"),
                      {QStringLiteral("--profile"), profile, QStringLiteral("--check")});
        process.closeWriteChannel();
        WrapperRun run;
        run.started = process.waitForStarted(5000);
        if (!run.started)
            return run;
        run.timedOut = !process.waitForFinished(wrapperDeadlineMs);
        if (run.timedOut) {
            process.kill();
            process.waitForFinished(2000);
        }
        run.crashed = process.exitStatus() == QProcess::CrashExit;
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

private slots:
    // A fresh broker in a temporary home: vault set up and an operator session minted with the
    // bootstrap secret, as the app does on first run, then one agent key created through the API.
    void initTestCase()
    {
        m_broker = std::make_unique<RealBroker>();
        QVERIFY2(m_broker->start(), qPrintable(m_broker->error()));
        const QString bootstrap =
            QString::fromUtf8(readFile(stateDirectory() + QStringLiteral("/operator-bootstrap.local"))).trimmed();
        QVERIFY(!bootstrap.isEmpty());

        const auto setup = post(BrokerPaths::vaultSetup, {{"passphrase", passphrase}}, bootstrapHeaders(bootstrap));
        QVERIFY2(setup, failureOf(setup).constData());
        const auto minted = post(BrokerPaths::operatorSession, {{"label", "handoff-e2e"}}, bootstrapHeaders(bootstrap));
        QVERIFY2(minted, failureOf(minted).constData());
        const auto session = decodeBrokerRecord<OperatorSessionResponse>(minted.value());
        QVERIFY2(session, failureOf(session).constData());
        m_operatorSession = session->sessionId;

        const QJsonObject request{{"agentId", agentId},
                                  {"name", profile},
                                  {"connectorIds", QJsonArray{QStringLiteral("github")}},
                                  {"maxRisk", "medium"}};
        const auto created = post(BrokerPaths::masterKeys, request, operatorHeaders(m_operatorSession));
        QVERIFY2(created, failureOf(created).constData());
        const auto key = decodeBrokerRecord<CreatedMasterKeyResponse>(created.value());
        QVERIFY2(key, failureOf(key).constData());
        QCOMPARE(key->record.agentId, agentId);
        QVERIFY(key->key.startsWith(QLatin1String("tvn_")));
        m_agentKey = key->key;
        m_agentKeyId = key->record.id;
    }

    void cleanupTestCase()
    {
        m_broker.reset();
    }

    void storedProfileIsSealedOnly()
    {
        const LocalAgentProfileStore store(stateDirectory(), simulator("tpm-a"));
        store.storeTorvane(m_agentKey, profile);

        QCOMPARE(store.keyPath(profile), sealedProfilePath());
        QVERIFY(store.hasTorvane(profile));
        const QStringList profileFiles = QDir(stateDirectory() + QStringLiteral("/agent-keys"))
                                             .entryList({profile + QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(profileFiles, QStringList{profile + QStringLiteral(".sealed")});
        // The broker keeps only a hash and the store only the envelope: the key is nowhere on disk.
        QCOMPARE(filesContaining(m_broker->homePath(), m_agentKey.toUtf8()), QStringList());
    }

    // Rows run in order on one broker and one profile: the key is revoked only in the last one.
    void wrapperCheck_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<bool>("revokeFirst");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("brokerAccepted");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("reason"); // a pattern

        QTest::newRow("this machine, active key")
            << "tpm-a" << false << true << true << "ok"
            << "^The broker at http://127\\.0\\.0\\.1:\\d+ accepted profile claude-code-keel-tvn \\(agent claude-code, ";
        QTest::newRow("another machine") << "tpm-b" << false << false << false << "signer_failed"
                                         << "^The sealed setup profile could not be opened: .*another TPM";
        QTest::newRow("revoked key") << "tpm-a" << true << true << false << "key_rejected"
                                     << "^The broker did not accept this profile's agent key: ";
    }
    void wrapperCheck()
    {
        QFETCH(QString, machine);
        QFETCH(bool, revokeFirst);
        QFETCH(bool, present);
        QFETCH(bool, brokerAccepted);
        QFETCH(QString, status);
        QFETCH(QString, reason);
        QVERIFY2(QFileInfo::exists(sealedProfilePath()), "needs the profile stored by storedProfileIsSealedOnly");
        if (revokeFirst) {
            const auto revoked = post(BrokerPaths::masterKeyRevoke(m_agentKeyId), {}, operatorHeaders(m_operatorSession));
            QVERIFY2(revoked, failureOf(revoked).constData());
        }
        const QByteArray envelope = readFile(sealedProfilePath());

        const WrapperRun run = runWrapperCheck(simulatorTcti(machine.toLatin1().constData()));
        QVERIFY(run.started);
        QVERIFY2(!run.timedOut, run.err.constData());
        QVERIFY2(!run.crashed, run.err.constData());
        QCOMPARE(run.exitCode, brokerAccepted ? 0 : 1);
        QVERIFY(!run.out.contains(m_agentKey.toUtf8()));
        QVERIFY(!run.err.contains(m_agentKey.toUtf8()));

        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.trimmed(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(),
                 qPrintable(QStringLiteral("not one JSON object on stdout: %1 / stderr: %2")
                                .arg(QString::fromUtf8(run.out), QString::fromUtf8(run.err))));
        const QJsonObject payload = document.object();
        QCOMPARE(payload.value("present"), QJsonValue(present));
        QCOMPARE(payload.value("brokerAccepted"), QJsonValue(brokerAccepted));
        QCOMPARE(payload.value("status").toString(), status);
        const QString stated = payload.value("reason").toString();
        QVERIFY2(QRegularExpression(reason).match(stated).hasMatch(), qPrintable(stated));

        // A check reads the profile and changes nothing, and the key is still nowhere on disk.
        QCOMPARE(readFile(sealedProfilePath()), envelope);
        QCOMPARE(filesContaining(m_broker->homePath(), m_agentKey.toUtf8()), QStringList());
    }
};

QTEST_GUILESS_MAIN(SealedAgentHandoffTest)
#include "tst_SealedAgentHandoff.moc"
