#include "DashboardMessage.h"
#include "DashboardNavigationPolicy.h"
#include "DashboardReadinessPolicy.h"
#include "DashboardSeedScripts.h"

#include <QJsonArray>
#include <QTest>

Q_DECLARE_METATYPE(DashboardRevealDecision)

namespace {
constexpr qint64 brokerPort = 47382;
const QUrl brokerURL(QStringLiteral("http://127.0.0.1:47382"));

DashboardReadinessProbe probe(bool hasRoot, int rootText, int bodyText, const char *readyState, bool flag)
{
    return {hasRoot, rootText, bodyText, QString::fromLatin1(readyState), flag};
}

std::optional<DashboardMessage> message(const QJsonObject &body)
{
    return DashboardMessage::fromBody(body);
}
} // namespace

class TestDashboardProtocol : public QObject
{
    Q_OBJECT
private slots:
    void sessionSeed_data()
    {
        QTest::addColumn<QString>("sessionId");
        QTest::addColumn<QString>("script");
        QTest::newRow("none") << QString() << QStringLiteral("sessionStorage.removeItem('torvane.operator-session');");
        QTest::newRow("plain") << QStringLiteral("sess_abc-123")
                               << QStringLiteral("sessionStorage.setItem('torvane.operator-session','sess_abc-123');");
        // Backslashes are doubled before quotes are escaped, so an escaped quote is never undone.
        QTest::newRow("quote and backslash") << QStringLiteral("a'b\\c\\'")
                                             << QStringLiteral("sessionStorage.setItem('torvane.operator-session','a\\'b\\\\c\\\\\\'');");
    }
    void sessionSeed()
    {
        QFETCH(QString, sessionId);
        QFETCH(QString, script);
        QCOMPARE(DashboardSeedScripts::sessionSeedScript(sessionId), script);
    }

    void firstRunSeedAndUpdate()
    {
        QCOMPARE(DashboardSeedScripts::firstRunCompletionSeedScript(true),
                 QStringLiteral("try { sessionStorage.setItem('torvane.first-run-complete', 'true'); } catch (_) {}\n"
                                "try { localStorage.setItem('torvane.first-run-complete', 'true'); } catch (_) {}"));
        QCOMPARE(DashboardSeedScripts::firstRunCompletionSeedScript(false),
                 QStringLiteral("try { sessionStorage.removeItem('torvane.first-run-complete'); } catch (_) {}\n"
                                "try { localStorage.removeItem('torvane.first-run-complete'); } catch (_) {}"));
        QCOMPARE(DashboardSeedScripts::dashboardUpdateScript(QStringLiteral("s\"1"), false),
                 QStringLiteral("sessionStorage.setItem('torvane.operator-session','s\"1');\n")
                     + DashboardSeedScripts::firstRunCompletionSeedScript(false)
                     + QStringLiteral("\nwindow.dispatchEvent(new CustomEvent('tvn-operator-session-updated', {\n"
                                      "  detail: { sessionId: \"s\\\"1\" }\n}));\n"
                                      "window.dispatchEvent(new CustomEvent('tvn-native-first-run-updated', {\n"
                                      "  detail: { completed: false }\n}));"));
        QCOMPARE(DashboardSeedScripts::javaScriptStringLiteral(QString()), QStringLiteral("\"\""));
        QCOMPARE(DashboardSeedScripts::actionFinishedScript(QStringLiteral("link-api-key"), false, QStringLiteral("No \"key\"")),
                 QStringLiteral("window.dispatchEvent(new CustomEvent('tvn-native-action-finished', { detail: "
                                "{\"message\":\"No \\\"key\\\"\",\"ok\":false,\"type\":\"link-api-key\"} }));"));
    }

    void readiness_data()
    {
        QTest::addColumn<DashboardReadinessProbe>("probe");
        QTest::addColumn<DashboardRevealDecision>("onProbe");
        QTest::addColumn<DashboardRevealDecision>("onSnapshotExhausted");
        QTest::newRow("rendered, page says ready") << probe(true, 10, 40, "complete", true)
                                                   << DashboardRevealDecision::reveal << DashboardRevealDecision::reveal;
        QTest::newRow("rendered, no flag") << probe(true, 10, 40, "interactive", false)
                                           << DashboardRevealDecision::confirmWithSnapshot << DashboardRevealDecision::reveal;
        QTest::newRow("still loading") << probe(true, 10, 40, "loading", true)
                                       << DashboardRevealDecision::notRendered << DashboardRevealDecision::notRendered;
        QTest::newRow("no root") << probe(false, 0, 40, "complete", true) << DashboardRevealDecision::notRendered
                                 << DashboardRevealDecision::notRendered;
        QTest::newRow("empty root") << probe(true, 0, 40, "complete", true) << DashboardRevealDecision::notRendered
                                    << DashboardRevealDecision::notRendered;
        QTest::newRow("empty body") << probe(true, 3, 0, "complete", false) << DashboardRevealDecision::notRendered
                                    << DashboardRevealDecision::notRendered;
    }
    void readiness()
    {
        QFETCH(DashboardReadinessProbe, probe);
        QFETCH(DashboardRevealDecision, onProbe);
        QFETCH(DashboardRevealDecision, onSnapshotExhausted);
        QCOMPARE(DashboardReadinessPolicy::decideOnProbe(probe), onProbe);
        QCOMPARE(DashboardReadinessPolicy::decideOnSnapshotExhausted(probe), onSnapshotExhausted);
    }

    void probeFromScriptResult()
    {
        const QVariantMap page{{"ready", true}, {"readyState", "complete"}, {"textLength", 42.0},
                               {"rootTextLength", 17}, {"hasRoot", true}};
        const DashboardReadinessProbe read = DashboardReadinessProbe::fromScriptResult(page);
        QCOMPARE(read.bodyTextLength, 42);
        QCOMPARE(read.rootTextLength, 17);
        QVERIFY(read.hasRoot && read.webReadyFlag);
        QCOMPARE(read.readyState, QStringLiteral("complete"));
        // A page that answered nothing useful has rendered nothing.
        QVERIFY(!DashboardReadinessPolicy::contentIsRendered(DashboardReadinessProbe::fromScriptResult(QStringLiteral("x"))));
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("mainFrame");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("the broker's page") << "http://127.0.0.1:47382/" << true << true;
        QTest::newRow("a help page of the broker") << "http://127.0.0.1:47382/help/" << true << true;
        QTest::newRow("about:blank") << "about:blank" << true << true;
        QTest::newRow("ABOUT:srcdoc") << "ABOUT:srcdoc" << true << true;
        QTest::newRow("subframe anywhere") << "https://example.com/" << false << true;
        QTest::newRow("no URL") << "" << true << false;
        QTest::newRow("another site") << "https://example.com/" << true << false;
        QTest::newRow("another loopback port") << "http://127.0.0.1:8080/" << true << false;
        QTest::newRow("localhost for 127.0.0.1") << "http://localhost:47382/" << true << false;
        QTest::newRow("https on the broker port") << "https://127.0.0.1:47382/" << true << false;
        QTest::newRow("data URL") << "data:text/html,<p>hi</p>" << true << false;
    }
    void navigation()
    {
        QFETCH(QString, url);
        QFETCH(bool, mainFrame);
        QFETCH(bool, allowed);
        const DashboardNavigationPolicy::Decision decision =
            DashboardNavigationPolicy::decide(QUrl(url), mainFrame, brokerURL, brokerPort);
        QCOMPARE(decision.allowed, allowed);
        QCOMPARE(decision.refusalReason.isEmpty(), allowed);
        QVERIFY(!decision.refusalReason.contains(QStringLiteral("<p>")));
    }

    void messageAdmission_data()
    {
        QTest::addColumn<QString>("pageURL");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("the broker's page") << "http://127.0.0.1:47382/?x=1" << true;
        QTest::newRow("another port") << "http://127.0.0.1:47381/" << false;
        QTest::newRow("no port") << "http://127.0.0.1/" << false;
        QTest::newRow("other loopback name") << "http://localhost:47382/" << false;
        QTest::newRow("about:blank") << "about:blank" << false;
        QTest::newRow("a web site") << "https://torvane.com/" << false;
    }
    void messageAdmission()
    {
        QFETCH(QString, pageURL);
        QFETCH(bool, admitted);
        QCOMPARE(DashboardNavigationPolicy::admitsMessagesFrom(QUrl(pageURL), brokerURL, brokerPort), admitted);
    }

    void messageTypes()
    {
        QCOMPARE(message({{"type", "first-run-completed"}})->type(), DashboardMessage::Type::firstRunCompleted);
        QCOMPARE(message({{"type", "link-api-key"}})->isActionRequest(), true);
        QCOMPARE(message({{"type", "request-vault-reset"}})->isActionRequest(), false);
        QCOMPARE(message({{"type", "First-Run-Completed"}}), std::nullopt);
        QCOMPARE(message({{"type", 3}}), std::nullopt);
        QCOMPARE(message({{"kind", "dashboard-ready"}}), std::nullopt);
        for (int value = 0; value <= int(DashboardMessage::Type::openProviderKeyPage); ++value) {
            const auto type = DashboardMessage::Type(value);
            QCOMPARE(message({{"type", DashboardMessage::typeName(type)}})->type(), type);
        }
    }

    void readyAnnouncement_data()
    {
        QTest::addColumn<QJsonValue>("textLength");
        QTest::addColumn<QString>("surface");
        QTest::addColumn<bool>("valid");
        QTest::newRow("home") << QJsonValue(120) << "home" << true;
        QTest::newRow("first-run-security") << QJsonValue(1) << "first-run-security" << true;
        QTest::newRow("no text") << QJsonValue(0) << "home" << false;
        QTest::newRow("negative") << QJsonValue(-4) << "home" << false;
        QTest::newRow("fraction") << QJsonValue(2.5) << "home" << false;
        QTest::newRow("text as string") << QJsonValue("12") << "home" << false;
        QTest::newRow("unknown surface") << QJsonValue(12) << "settings" << false;
        QTest::newRow("no surface") << QJsonValue(12) << "" << false;
    }
    void readyAnnouncement()
    {
        QFETCH(QJsonValue, textLength);
        QFETCH(QString, surface);
        QFETCH(bool, valid);
        QJsonObject body{{"type", "dashboard-ready"}, {"textLength", textLength}};
        if (!surface.isEmpty())
            body.insert(QStringLiteral("surface"), surface);
        QCOMPARE(message(body)->isValidReadyAnnouncement(), valid);
    }

    void externalURL_data()
    {
        QTest::addColumn<QJsonValue>("url");
        QTest::addColumn<bool>("opened");
        QTest::newRow("product site") << QJsonValue("https://torvane.com/help") << true;
        QTest::newRow("www") << QJsonValue("https://www.torvane.com/") << true;
        QTest::newRow("upper-case host") << QJsonValue("https://TORVANE.com/") << true;
        QTest::newRow("http") << QJsonValue("http://torvane.com/help") << false;
        QTest::newRow("another host") << QJsonValue("https://example.com/") << false;
        QTest::newRow("suffix trick") << QJsonValue("https://torvane.com.example.com/") << false;
        QTest::newRow("subdomain") << QJsonValue("https://docs.torvane.com/") << false;
        QTest::newRow("user info trick") << QJsonValue("https://torvane.com@example.com/") << false;
        QTest::newRow("javascript") << QJsonValue("javascript:alert(1)") << false;
        QTest::newRow("not a string") << QJsonValue(7) << false;
    }
    void externalURL()
    {
        QFETCH(QJsonValue, url);
        QFETCH(bool, opened);
        const std::optional<DashboardMessage> parsed = message({{"type", "open-external-url"}, {"url", url}});
        QCOMPARE(parsed->allowedExternalURL(QStringLiteral("torvane.com")).has_value(), opened);
    }
};

QTEST_GUILESS_MAIN(TestDashboardProtocol)
#include "tst_DashboardProtocol.moc"
