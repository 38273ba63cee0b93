#include "CannedBrokerAnswers.h"
#include "ModelTestSupport.h"

#include <QSignalSpy>
#include <QTest>

// The app's side of the broker's event stream, against a canned listener on the development port
// that answers the stream once with a fixed body and can refuse it, which the real broker only
// does when a session ends. (The real stream is heard end to end in the dashboard journey.)
using namespace CannedBroker;

namespace {
QJsonObject approval(const QString &id)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("agentId"), QStringLiteral("codex")},
            {QStringLiteral("connectorId"), QStringLiteral("github")},
            {QStringLiteral("toolId"), QStringLiteral("github.issue.create")},
            {QStringLiteral("risk"), QStringLiteral("medium")},
            {QStringLiteral("expiresAt"), QStringLiteral("later")}};
}

Answer eventStream(const QByteArray &events)
{
    return {200, events, {{"Content-Type", "text/event-stream"}}, {}, false};
}
} // namespace

class TestBrokerEventStream : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        m_script = m_canned.script.get();
        m_broker = m_canned.broker.get();
        m_model = m_canned.model.get();
        m_model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::ready);
        QVERIFY(m_canned.writeBootstrapSecret());
    }

    void cleanup()
    {
        m_canned.stop();
    }

    void aChangeReadsTheApprovalsAgainWithoutARefresh()
    {
        // The first stream fails; the one opened again after the pause brings the change.
        m_broker->setAnswer("/v1/events", error(503, QStringLiteral("busy")));
        QVERIFY(!m_model->brokerEvents()->isListening());
        QCoro::waitFor(m_model->refresh());
        QVERIFY(m_model->snapshot()->approvals().isEmpty());
        m_broker->setAnswer("/v1/approvals", list("approvals", {approval(QStringLiteral("apr_1"))}));
        m_broker->setAnswer("/v1/events", eventStream("event: approvals\ndata: {\"pending\":0}\n\n"
                                                      ": still here\n\n"
                                                      "event: approvals\ndata: {\"pending\":1}\n\n"));
        QSignalSpy cycles(m_model->refreshCycle(), &RefreshCycle::cycleClosed);
        QSignalSpy pushed(m_model->brokerEvents(), &BrokerEventStream::approvalsPushed);
        QVERIFY(pushed.wait(5000));
        QCOMPARE(m_model->snapshot()->approvals().size(), 1);
        QCOMPARE(cycles.size(), 0);
        // The stream carried the session; the opening event alone read nothing.
        for (const CannedHttpServer::Request &request : m_broker->requests()) {
            if (request.target == "/v1/events")
                QCOMPARE(request.headers.value("x-tvn-operator-session"), QByteArray("session-1"));
        }

        // Locking closes the stream; nothing is heard without a session.
        m_model->lockOperatorSession();
        QVERIFY(!m_model->brokerEvents()->isListening());
    }

    void aRefusedStreamWaitsForTheNextSession()
    {
        m_broker->setAnswer("/v1/events", error(401, QStringLiteral("Invalid or expired local operator session")));
        QCoro::waitFor(m_model->refresh());
        QTRY_COMPARE(m_broker->requestedPaths().count("/v1/events"), 1);
        QTest::qWait(3000);
        QCOMPARE(m_broker->requestedPaths().count("/v1/events"), 1);
        QVERIFY(!m_model->brokerEvents()->isListening());
    }

private:
    CannedBroker::Model m_canned;
    FakeControlScript *m_script = nullptr;
    CannedHttpServer *m_broker = nullptr;
    AppModel *m_model = nullptr;
};

QTEST_GUILESS_MAIN(TestBrokerEventStream)
#include "tst_BrokerEventStream.moc"
