#include "AgentClientDescriptor.h"
#include "ServiceTestSupport.h"
#include "TpmKeyProvider.h"
#include "UnlockedService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// "torvane doctor --json" as a user or support runs it: first with nothing running, then against
// the real service with the vault set up, a linked app and an agent key whose profile is saved
// (no TPM here: a plaintext owner-only profile). The report never carries a secret.
namespace {
struct Report {
    int exitCode = -1;
    QByteArray output;
    QJsonObject json;

    QJsonObject check(const QString &id) const
    {
        for (const QJsonValue &check : json.value(QStringLiteral("checks")).toArray()) {
            if (check.toObject().value(QStringLiteral("id")).toString() == id)
                return check.toObject();
        }
        return {};
    }
};

Report runDoctor(const QProcessEnvironment &environment)
{
    QProcess doctor;
    doctor.setProcessEnvironment(environment);
    doctor.start(QStringLiteral(TVN_APP_PATH), {QStringLiteral("doctor"), QStringLiteral("--json")});
    doctor.waitForFinished(60000);
    Report report{doctor.exitCode(), doctor.readAllStandardOutput(), {}};
    report.json = QJsonDocument::fromJson(report.output).object();
    return report;
}

// The doctor runs without a display, as over ssh.
QProcessEnvironment homeEnvironment(const QString &home)
{
    QProcessEnvironment environment = isolatedHomeEnvironment(home);
    environment.remove(QStringLiteral("DISPLAY"));
    return environment;
}
} // namespace

class TestDoctor : public QObject
{
    Q_OBJECT

private slots:
    void nothingRunningFailsAndSaysWhy()
    {
        QVERIFY(waitUntil([] { return !portAcceptsConnections(); }, 60000));
        QTemporaryDir home;
        const Report report = runDoctor(homeEnvironment(home.path()));
        QCOMPARE(report.exitCode, 1);
        QCOMPARE(report.json.value(QStringLiteral("lane")).toString(), QStringLiteral("development"));
        QCOMPARE(report.json.value(QStringLiteral("healthy")).toBool(), false);
        for (const QString &id : {QStringLiteral("service"), QStringLiteral("brokerIdentity"), QStringLiteral("vault")})
            QVERIFY2(!report.check(id).value(QStringLiteral("ok")).toBool(), qPrintable(id));
        QVERIFY(report.check(QStringLiteral("brokerIdentity")).value(QStringLiteral("detail")).toString().contains(
            QStringLiteral("turn Torvane on")));
    }

    void aWorkingSetupPassesWithoutShowingASecret()
    {
        UnlockedService service;
        const QString failure = service.start(std::make_shared<TpmKeyProvider>(QStringLiteral("swtpm:host=127.0.0.1,port=1")));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        AppModel *model = service.model();
        model->beginConnect(*model->snapshot()->recommendedUnconnectedConnector());
        model->connections()->setConnectSecret(QStringLiteral("valid-github-doctor"));
        QCoro::waitFor(model->linkSheetAPIKey());
        model->applyAgentPreset(QStringLiteral("claude-code"), QStringLiteral("claude-code"));
        QCoro::waitFor(model->createMasterKey());
        const QString agentKey = model->agentKeys()->createdMasterKey();
        QVERIFY2(model->agentKeys()->createdMasterKeyProfileVerified(), qPrintable(model->statusMessage()));
        const QString profile = model->agentKeys()->createdMasterKeyProfile();
        const auto setUp = QCoro::waitFor(model->agentHandoff()->setUpAgentApp(*AgentClientDescriptor::find(QStringLiteral("claude-code"))));
        QVERIFY(setUp && !setUp->isError);

        const Report report = runDoctor(homeEnvironment(service.homePath()));
        QVERIFY2(report.exitCode == 0, report.output.constData());
        for (const QString &id : {QStringLiteral("service"), QStringLiteral("brokerIdentity"), QStringLiteral("vault"),
                                  QStringLiteral("operator"), QStringLiteral("agentApps"), QStringLiteral("handoff:") + profile})
            QVERIFY2(report.check(id).value(QStringLiteral("ok")).toBool(), qPrintable(id + QStringLiteral(": ") + report.output));
        QCOMPARE(report.json.value(QStringLiteral("profiles")).toArray(), QJsonArray{profile});
        const QJsonObject app = report.json.value(QStringLiteral("agentApps")).toArray().first().toObject();
        QCOMPARE(app.value(QStringLiteral("id")).toString(), QStringLiteral("claude-code"));
        QCOMPARE(app.value(QStringLiteral("profile")).toString(), profile);
        QCOMPARE(report.json.value(QStringLiteral("homeDirectory")).toString(), service.homePath());
        for (const QString &secret : {agentKey, UnlockedService::vaultPassword, QStringLiteral("valid-github-doctor"),
                                      model->context()->operatorSessionID()})
            QVERIFY(!report.output.contains(secret.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestDoctor)
#include "tst_Doctor.moc"
