#include "CannedBrokerAnswers.h"
#include "DashboardActionRunner.h"
#include "ModelTestSupport.h"

#include <QTest>

// The app actions the dashboard's messages name, over a model whose broker is a canned listener
// on the development port (it must take a key without a provider behind it). What cannot be done
// is refused in words the page shows, before anything is sent.
using namespace CannedBroker;
using Outcome = DashboardActionRunner::Outcome;

namespace {
DashboardMessage message(const QJsonObject &body)
{
    return *DashboardMessage::fromBody(body);
}
} // namespace

class TestDashboardActionRunner : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        m_script = m_canned.script.get();
        m_broker = m_canned.broker.get();
        m_model = m_canned.model.get();
        m_broker->setAnswer("/v1/credentials/github", json({{QStringLiteral("ok"), true}}));
        m_broker->setAnswer("/v1/connections/github/work/health", json({{QStringLiteral("status"), QStringLiteral("ok")},
                                                                        {QStringLiteral("connectorId"), QStringLiteral("github")},
                                                                        {QStringLiteral("accountId"), QStringLiteral("work")}}));
        m_model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::ready);
        QVERIFY(m_canned.writeBootstrapSecret());
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Local service checked"));
        m_runner = std::make_unique<DashboardActionRunner>(*m_model, [this](const QUrl &url) { m_opened << url; });
    }

    void cleanup()
    {
        m_runner.reset();
        m_canned.stop();
    }

    void refusals_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("set up an app not in the catalog")
            << QJsonObject{{"type", "connect-agent-app"}, {"agentAppId", "../cursor"}}
            << QStringLiteral("This agent app is not one Torvane can set up.");
        QTest::newRow("copy setup of an app not in the catalog") << QJsonObject{{"type", "copy-agent-setup"}}
                                                                 << QStringLiteral("This agent app is not one Torvane can set up.");
        QTest::newRow("an app not in the catalog")
            << QJsonObject{{"type", "link-api-key"}, {"connectorId", "nope"}, {"secret", "k"}}
            << QStringLiteral("This app is no longer in the catalog.");
        QTest::newRow("no key typed") << QJsonObject{{"type", "link-api-key"}, {"connectorId", "github"}, {"secret", "  "}}
                                      << QStringLiteral("Paste the app's API key first.");
        QTest::newRow("a key without an agent") << QJsonObject{{"type", "create-master-key"}, {"name", "k"}}
                                                << QStringLiteral("Choose the agent this key is for.");
        QTest::newRow("a key for an app not connected")
            << QJsonObject{{"type", "create-master-key"}, {"agentId", "cursor"}, {"connectorIds", QJsonArray{"slack"}}}
            << QStringLiteral("Connect slack before granting it to an agent.");
        QTest::newRow("no key page known") << QJsonObject{{"type", "open-provider-key-page"}, {"connectorId", "nope"}}
                                           << QStringLiteral("Torvane doesn't know where this app's keys are made.");
    }
    void refusals()
    {
        QFETCH(QJsonObject, body);
        QFETCH(QString, refusal);
        m_broker->clearRequests();
        const Outcome outcome = QCoro::waitFor(m_runner->run(message(body)));
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.message, refusal);
        QVERIFY(m_broker->requests().isEmpty());
        QVERIFY(m_opened.isEmpty());
    }

    void linksAKeyOnceAndKeepsNoCopy()
    {
        const DashboardMessage link = message({{"type", "link-api-key"}, {"connectorId", "github"}, {"accountId", "work"},
                                               {"alias", "Work"}, {"secret", "ghp_typed_in_the_page"}});
        m_broker->clearRequests();
        QCoro::Task<Outcome> first = m_runner->run(link);
        const Outcome second = QCoro::waitFor(m_runner->run(link));
        QVERIFY(!second.ok);
        QCOMPARE(second.message, QStringLiteral("Torvane is still working on the last request."));
        const Outcome outcome = QCoro::waitFor(std::move(first));
        QVERIFY2(outcome.ok, qPrintable(outcome.message));
        QCOMPARE(outcome.message, QStringLiteral("Connected github. Its key is in the local vault."));

        QList<CannedHttpServer::Request> links;
        for (const CannedHttpServer::Request &request : m_broker->requests()) {
            if (request.target == "/v1/credentials/github")
                links << request;
        }
        QCOMPARE(links.size(), 1);
        const QJsonObject sent = QJsonDocument::fromJson(links.first().body).object();
        QCOMPARE(sent.value(QStringLiteral("token")).toString(), QStringLiteral("ghp_typed_in_the_page"));
        QCOMPARE(sent.value(QStringLiteral("accountId")).toString(), QStringLiteral("work"));
        QCOMPARE(sent.value(QStringLiteral("alias")).toString(), QStringLiteral("Work"));
        QVERIFY(m_model->connections()->connectSecret().isEmpty());
        QVERIFY(m_model->connections()->apiKeyValue().isEmpty());
        QVERIFY(!m_model->connections()->connectorConnectSheetID());
    }

    void aRefusedKeyIsReportedAndNotKept()
    {
        m_broker->setAnswer("/v1/credentials/github", error(400, QStringLiteral("GitHub refused this token")));
        const Outcome outcome = QCoro::waitFor(m_runner->run(message(
            {{"type", "link-api-key"}, {"connectorId", "github"}, {"secret", "bad-token"}})));
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(QStringLiteral("GitHub refused this token")), qPrintable(outcome.message));
        QVERIFY(m_model->connections()->connectSecret().isEmpty());
    }

    void opensTheProvidersKeyPage()
    {
        const Outcome outcome = QCoro::waitFor(m_runner->run(message({{"type", "open-provider-key-page"}, {"connectorId", "github"}})));
        QVERIFY(outcome.ok);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("https://github.com/settings/personal-access-tokens"))});
    }

private:
    CannedBroker::Model m_canned;
    FakeControlScript *m_script = nullptr;
    CannedHttpServer *m_broker = nullptr;
    AppModel *m_model = nullptr;
    std::unique_ptr<DashboardActionRunner> m_runner;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestDashboardActionRunner)
#include "tst_DashboardActionRunner.moc"
