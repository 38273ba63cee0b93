#include "BrokerClient.h"
#include "BrokerErrorPresentation.h"
#include "BrokerHealth.h"
#include "BrokerPaths.h"
#include "AwaitTask.h"
#include "CannedHttpServer.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

using Answer = CannedHttpServer::Answer;

class TestBrokerClient : public QObject
{
    Q_OBJECT

private:
    static BrokerResult<QByteArray> getBody(const BrokerClient &client, const QString &base, const QString &path,
                                            const BrokerHeaders &headers = {})
    {
        return awaitTask(client.getBody(QUrl(base), path, headers));
    }

private slots:
    void statusDecidesSuccess_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("message");
        QTest::newRow("200") << 200 << QByteArray("{}") << true << QString();
        QTest::newRow("299 is still success") << 299 << QByteArray("{}") << true << QString();
        QTest::newRow("300") << 300 << QByteArray("{\"error\":\"moved\"}") << false << "moved";
        QTest::newRow("redirect is not followed") << 302 << QByteArray() << false << "Broker request failed";
        QTest::newRow("409 with error member") << 409 << QByteArray("{\"error\":\" already revoked \\n\"}") << false
                                                << "already revoked";
        QTest::newRow("500 plain text") << 500 << QByteArray("  boom\n") << false << "boom";
        QTest::newRow("404 empty error member gives raw body") << 404 << QByteArray("{\"error\":\"\"}") << false
                                                                << "{\"error\":\"\"}";
    }

    void statusDecidesSuccess()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, succeeds);
        QFETCH(QString, message);
        CannedHttpServer server;
        Answer answer;
        answer.status = status;
        answer.body = body;
        if (status == 302)
            answer.headers = {{"Location", "http://example.invalid/elsewhere"}};
        server.setAnswer(answer);

        const auto result = getBody(BrokerClient(2.0), server.baseURL(), QStringLiteral("/health"));
        QCOMPARE(result.hasValue(), succeeds);
        QCOMPARE(server.requests().size(), 1);
        if (succeeds) {
            QCOMPARE(result.value(), body);
            return;
        }
        const auto refusal = result.failure().requestFailure();
        QVERIFY(refusal);
        QCOMPARE(refusal->status(), status);
        QCOMPARE(refusal->message(), message);
        QCOMPARE(result.failure().description(),
                 QStringLiteral("Broker request failed with HTTP %1: %2").arg(status).arg(message));
    }

    void informationalStatusIsAFailure()
    {
        CannedHttpServer server;
        Answer answer;
        answer.raw = "HTTP/1.1 199 Odd\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
        server.setAnswer(answer);
        const auto result = getBody(BrokerClient(1.0), server.baseURL(), QStringLiteral("/health"));
        QVERIFY(!result);
    }

    void getSendsCallerHeadersAndNoContentType()
    {
        CannedHttpServer server;
        const auto result = getBody(BrokerClient(2.0), server.baseURL() + "/", QStringLiteral("/v1/connectors"),
                                    {{QStringLiteral("x-tvn-operator-session"), QStringLiteral("s-1")}});
        QVERIFY(result);
        const auto request = server.requests().value(0);
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/v1/connectors"));
        QCOMPARE(request.headers.value("x-tvn-operator-session"), QByteArray("s-1"));
        QVERIFY(!request.headers.contains("content-type"));
        QVERIFY(request.body.isEmpty());
    }

    void postSendsCompactJsonAndCallerHeadersWin_data()
    {
        QTest::addColumn<BrokerHeaders>("headers");
        QTest::addColumn<QByteArray>("contentType");
        QTest::newRow("default") << BrokerHeaders{} << QByteArray("application/json");
        QTest::newRow("caller's own, other case")
            << BrokerHeaders{{QStringLiteral("Content-Type"), QStringLiteral("application/x-custom")}}
            << QByteArray("application/x-custom");
    }

    void postSendsCompactJsonAndCallerHeadersWin()
    {
        QFETCH(BrokerHeaders, headers);
        QFETCH(QByteArray, contentType);
        CannedHttpServer server;
        server.setAnswer({200, "{\"ok\":true}", {}, {}, false});
        const auto result = awaitTask(BrokerClient(2.0).postJSON(
            QUrl(server.baseURL()), QStringLiteral("/v1/killswitch"), QJsonObject{{"enabled", true}}, headers));
        QVERIFY(result);
        QCOMPARE(result.value(), QByteArray("{\"ok\":true}"));
        const auto request = server.requests().value(0);
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray("{\"enabled\":true}"));
        QCOMPARE(request.headers.value("content-type"), contentType);
        QCOMPARE(request.headers.values().count(contentType), 1);
    }

    void requestURLAppendsPathOnly_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "http://127.0.0.1:47382" << "/health" << "http://127.0.0.1:47382/health";
        QTest::newRow("base with slash") << "http://127.0.0.1:47382/" << "/v1/audit" << "http://127.0.0.1:47382/v1/audit";
        QTest::newRow("encoded segment stays encoded")
            << "http://127.0.0.1:1" << "/v1/connections/a%2Fb/c%20d/health" << "http://127.0.0.1:1/v1/connections/a%2Fb/c%20d/health";
        QTest::newRow("no trailing separator added") << "http://127.0.0.1:1" << "/v1/master-keys/" << "http://127.0.0.1:1/v1/master-keys/";
        QTest::newRow("question mark never starts a query")
            << "http://127.0.0.1:1" << "/v1/approvals/a?b/approve" << "http://127.0.0.1:1/v1/approvals/a%3Fb/approve";
    }

    void requestURLAppendsPathOnly()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(BrokerClient::requestURL(QUrl(base), path).toString(QUrl::FullyEncoded), expected);
    }

    void pathsEncodeOnlyWhereTheBrokerExpectsIt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("health encodes both") << BrokerPaths::connectionHealth("git hub", "me@x/y")
                                             << "/v1/connections/git%20hub/me@x%2Fy/health";
        QTest::newRow("revoke inserts unchanged") << BrokerPaths::connectionRevoke("git hub", "me@x")
                                                  << "/v1/connections/git hub/me@x/revoke";
        QTest::newRow("emergency revoke encodes") << BrokerPaths::masterKeyRevokeEncoded("k/1?") << "/v1/master-keys/k%2F1%3F/revoke";
        QTest::newRow("single revoke unchanged") << BrokerPaths::masterKeyRevoke("k 1") << "/v1/master-keys/k 1/revoke";
        QTest::newRow("profile revoke encodes") << BrokerPaths::proxyProfileRevoke(QString::fromUtf8("pr\xC3\xBC#1"))
                                                << "/v1/proxy/profiles/pr%C3%BC%231/revoke";
        QTest::newRow("agent connect") << BrokerPaths::agentConnect("claude-code") << "/v1/agents/claude-code/connect";
    }

    void pathsEncodeOnlyWhereTheBrokerExpectsIt()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(path, expected);
    }

    void refusedConnectionReadsAsUnreachable()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 freePort = probe.serverPort();
        probe.close();
        const auto result = getBody(BrokerClient(2.0), QStringLiteral("http://127.0.0.1:%1").arg(freePort), "/health");
        QVERIFY(!result);
        QCOMPARE(result.failure().kind(), BrokerFailure::Kind::transport);
        QCOMPARE(friendlyErrorMessage(result.failure()),
                 QStringLiteral("Torvane local service is not reachable. Turn it on or use Repair & Restart."));
    }

    void silentListenerTimesOut()
    {
        CannedHttpServer server;
        Answer answer;
        answer.silent = true;
        server.setAnswer(answer);
        QElapsedTimer elapsed;
        elapsed.start();
        const auto result = getBody(BrokerClient(0.3), server.baseURL(), "/health");
        QVERIFY(!result);
        QCOMPARE(result.failure().description(), QStringLiteral("The request timed out."));
        // The deadline is enforced by the client, not by the platform's idle time-out.
        QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
    }

    void oversizedBodyIsRefused_data()
    {
        QTest::addColumn<QByteArray>("raw");
        const QByteArray declared = "HTTP/1.1 200 OK\r\nContent-Length: 4000000000\r\n\r\n{\"ok\":true";
        QByteArray streamed = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
        streamed += QByteArray(BrokerClient::maxResponseBytes + 1024, ' ');
        QTest::newRow("declared length") << declared;
        QTest::newRow("streamed without length") << streamed;
    }

    void oversizedBodyIsRefused()
    {
        QFETCH(QByteArray, raw);
        CannedHttpServer server;
        Answer answer;
        answer.raw = raw;
        server.setAnswer(answer);
        const auto result = getBody(BrokerClient(5.0), server.baseURL(), "/health");
        QVERIFY(!result);
        QCOMPARE(result.failure().kind(), BrokerFailure::Kind::transport);
        QVERIFY(result.failure().description().contains("larger than"));
    }

    void typedGetFailsAsAWholeOnBadBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");
        QTest::newRow("missing required key") << QByteArray("{\"service\":\"switchyard-broker\"}") << "key \"ok\"";
        QTest::newRow("wrong type") << QByteArray("{\"ok\":\"true\"}") << "key \"ok\"";
        QTest::newRow("not an object") << QByteArray("[true]") << "expected a JSON object";
        QTest::newRow("not JSON") << QByteArray("<html>") << "offset";
        QTest::newRow("invalid UTF-8") << QByteArray("{\"ok\":true,\"service\":\"\xff\xfe\"}") << "offset";
    }

    void typedGetFailsAsAWholeOnBadBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        CannedHttpServer server;
        server.setAnswer({200, body, {}, {}, false});
        const auto result = awaitTask(BrokerClient(2.0).get<BrokerHealth>(QUrl(server.baseURL()), "/health"));
        QVERIFY(!result);
        QCOMPARE(result.failure().kind(), BrokerFailure::Kind::decoding);
        QVERIFY2(result.failure().description().contains(detail), qPrintable(result.failure().description()));
    }

    void errorStatusBodyIsNeverDecodedAsTheRecord()
    {
        CannedHttpServer server;
        server.setAnswer({503, "{\"ok\":true,\"service\":\"switchyard-broker\"}", {}, {}, false});
        const auto result = awaitTask(BrokerClient(2.0).get<BrokerHealth>(QUrl(server.baseURL()), "/health"));
        QVERIFY(!result);
        QCOMPARE(result.failure().requestFailure()->status(), 503);
    }

    void headerLinesCannotBeSmuggled()
    {
        CannedHttpServer server;
        const auto result = getBody(BrokerClient(1.0), server.baseURL(), "/v1/connectors",
                                    operatorHeaders(QStringLiteral("s-1\r\nx-injected: 1")));
        QVERIFY(!result);
        QVERIFY(!result.failure().description().contains("s-1"));
        QVERIFY(server.requests().isEmpty());
    }

    void nonHttpURLIsNeverOpened()
    {
        const auto result = getBody(BrokerClient(1.0), QStringLiteral("file:///etc"), "/passwd");
        QVERIFY(!result);
        QCOMPARE(result.failure().kind(), BrokerFailure::Kind::transport);
    }
};

QTEST_GUILESS_MAIN(TestBrokerClient)
#include "tst_BrokerClient.moc"
