#include "CannedHttpServer.h"
#include "DashboardNativeShim.h"
#include "DashboardSnapshotSampler.h"
#include "DashboardWebView.h"
#include "WebPageScript.h"
#include "RealBroker.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>

#include <functional>

// The embedded dashboard on Qt WebEngine, headless. The real broker's page is revealed; pages a
// broker would never serve (blank, leaving for another site, posting messages on cue) come from a
// canned listener. The readiness waits are shortened; their order and counts are the real ones.
namespace {
using Answer = CannedHttpServer::Answer;

Answer page(const QByteArray &body)
{
    return {200, "<!doctype html><html><head><meta charset=utf-8></head><body>" + body + "</body></html>",
            {{"Content-Type", "text/html; charset=utf-8"}}, {}, false};
}

DashboardWebView::Timing quickTiming()
{
    DashboardWebView::Timing timing;
    timing.readinessFirstDelay = 1500;
    timing.readinessRetryDelay = 200;
    timing.occlusionFirstDelay = 300;
    timing.occlusionRetryDelay = 100;
    return timing;
}


// A small synchronous JSON client for setting the real broker up.
QJsonObject callBroker(const QString &base, const QString &path, const QJsonObject &body, const QByteArray &header = {},
                       const QByteArray &value = {})
{
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(base + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (!header.isEmpty())
        request.setRawHeader(header, value);
    QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return QJsonDocument::fromJson(reply->readAll()).object();
}
} // namespace

class TestDashboardWebView : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(1000, 700);
        new QVBoxLayout(m_window.get());
    }

    void cleanup()
    {
        m_view = nullptr;
        m_window.reset();
        m_server.reset();
    }

    void revealsTheRealBrokersPageWithItsSession()
    {
        RealBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.error()));
        QFile secretFile(broker.homePath() + QStringLiteral("/state/operator-bootstrap.local"));
        QVERIFY(secretFile.open(QIODevice::ReadOnly));
        const QByteArray secret = secretFile.readAll().trimmed();
        const QString session = callBroker(broker.baseURL(), QStringLiteral("/v1/operator/session"),
                                           {{"label", "ui-test"}}, "x-tvn-operator-bootstrap", secret)
                                    .value(QStringLiteral("sessionId")).toString();
        QVERIFY(!session.isEmpty());
        callBroker(broker.baseURL(), QStringLiteral("/v1/vault/setup"), {{"passphrase", "correct horse battery"}},
                   "x-tvn-operator-session", session.toUtf8());

        createView(broker.port());
        QSignalSpy ready(m_view, &DashboardWebView::dashboardReady);
        QSignalSpy failed(m_view, &DashboardWebView::loadFailed);
        m_view->setLoadKey({QUrl(broker.baseURL()), session, true, true, QStringLiteral("unlocked")});
        QVERIFY(ready.wait(20000));
        QVERIFY(m_view->isRevealed());
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(m_view->page(), QStringLiteral("document.body.innerText"))
                                     .toString().contains(QStringLiteral("Pending approvals")), 10000);
        QCOMPARE(evaluate(m_view->page(), QStringLiteral("sessionStorage.getItem('torvane.operator-session')")).toString(),
                 session);
        QVERIFY(DashboardSnapshotSampler::looksRendered(m_view->grab().toImage()));
        saveScreenshot(QStringLiteral("dashboard-revealed"));
        QTest::qWait(500);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(failed.size(), 0);
    }

    void seedsSurviveQuotesAndBackslashesAndFollowChangesWithoutAReload()
    {
        serve(page("<div id=root>Hello</div>"));
        QSignalSpy loads(m_view->page(), &QWebEnginePage::loadStarted);
        const QString session = QStringLiteral("it's a \\'test\\' \\\\ id");
        m_view->setLoadKey(key(session, false));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(m_view->page(), QStringLiteral("sessionStorage.getItem('torvane.operator-session')")).toString(),
                                  session, 10000);
        QCOMPARE(evaluate(m_view->page(), QStringLiteral("localStorage.getItem('torvane.first-run-complete')")), QVariant());

        evaluate(m_view->page(), QStringLiteral("window.__seen = []; addEventListener('tvn-operator-session-updated', "
                                                "e => __seen.push(e.detail.sessionId)); 0"));
        m_view->setLoadKey(key(QStringLiteral("next\"one"), true));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(m_view->page(), QStringLiteral("__seen.join('|')")).toString(),
                                  QStringLiteral("next\"one"), 10000);
        QCOMPARE(evaluate(m_view->page(), QStringLiteral("localStorage.getItem('torvane.first-run-complete')")).toString(),
                 QStringLiteral("true"));
        QCOMPARE(loads.size(), 1);
        // The vault's state is part of what the page was loaded for: a change loads it again.
        DashboardLoadKey locked = key(QStringLiteral("next\"one"), true);
        locked.vaultStatus = QStringLiteral("locked");
        m_view->setLoadKey(locked);
        QTRY_COMPARE_WITH_TIMEOUT(loads.size(), 2, 10000);
    }

    void aPageThatNeverRendersIsReportedOnce()
    {
        serve(page(""));
        QSignalSpy ready(m_view, &DashboardWebView::dashboardReady);
        QSignalSpy failed(m_view, &DashboardWebView::loadFailed);
        m_view->setLoadKey(key({}, false));
        QVERIFY(failed.wait(15000));
        QCOMPARE(failed.first().first().toString(), QStringLiteral("dashboard did not render"));
        QVERIFY(!m_view->isRevealed());
        // A late announcement of the failed load changes nothing.
        postFromPage(QStringLiteral("{type: 'dashboard-ready', textLength: 5, surface: 'home'}"));
        QTest::qWait(1500);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(ready.size(), 0);
    }

    void aPageWithoutTheReadyFlagIsConfirmedBySnapshot()
    {
        // Rendered text and colour, but the page never says it is ready.
        serve(page("<div id=root style='background:#2f6feb;color:#fff;font-size:40px;padding:60px'>"
                   "Torvane dashboard body text that fills a good part of the view</div>"));
        QSignalSpy ready(m_view, &DashboardWebView::dashboardReady);
        m_view->setLoadKey(key({}, false));
        QVERIFY(ready.wait(15000));
        QVERIFY(m_view->isRevealed());
    }

    void aForeignNavigationIsCancelledAndReported()
    {
        serve(page("<div id=root>Leaving</div><script>setTimeout(() => { location.href = 'https://example.com/x?secret=1'; }, 50)</script>"));
        QSignalSpy failed(m_view, &DashboardWebView::loadFailed);
        m_view->setLoadKey(key({}, false));
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first().first().toString(), QStringLiteral("navigation to https://example.com blocked"));
        QTest::qWait(300);
        QCOMPARE(m_view->page()->url().host(), QStringLiteral("127.0.0.1"));
    }

    void messagesRunOnceAndOnlyFromTheBrokersOrigin()
    {
        serve(page("<div id=root>Posting</div><script>"
                   "window.webkit.messageHandlers.tvnNative.postMessage({type: 'first-run-completed'});"
                   "</script>"));
        QSignalSpy completed(m_view, &DashboardWebView::webFirstRunCompleted);
        QSignalSpy actions(m_view, &DashboardWebView::actionRequested);
        QList<QUrl> opened;
        m_view->setExternalURLOpener([&opened](const QUrl &url) { opened << url; });
        m_view->setLoadKey(key({}, false));
        // Posted before the channel was ready, delivered once it is.
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, 10000);

        postFromPage(QStringLiteral("{type: 'open-external-url', url: 'https://torvane.com/help'}"));
        postFromPage(QStringLiteral("{type: 'open-external-url', url: 'http://torvane.com/help'}"));
        postFromPage(QStringLiteral("{type: 'open-external-url', url: 'https://example.com/'}"));
        postFromPage(QStringLiteral("{type: 'no-such-type'}"));
        postFromPage(QStringLiteral("'not an object'"));
        postFromPage(QStringLiteral("{type: 'link-api-key', connectorId: 'github', secret: 'k'}"));
        QTRY_COMPARE_WITH_TIMEOUT(actions.size(), 1, 5000);
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://torvane.com/help"))});

        // The same words from a page of another origin are not heard.
        m_view->page()->setUrl(QUrl(QStringLiteral("about:blank")));
        QTRY_COMPARE_WITH_TIMEOUT(m_view->page()->url().scheme(), QStringLiteral("about"), 10000);
        // The channel reaches this page too; what keeps it out is the origin check.
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(m_view->page(), QStringLiteral("!!(window.qt && window.qt.webChannelTransport)")).toBool(), 5000);
        if (!evaluate(m_view->page(), QStringLiteral("!!(window.webkit && window.webkit.messageHandlers)")).toBool())
            evaluate(m_view->page(), DashboardNativeShim::source() + QStringLiteral("; 0"));
        postFromPage(QStringLiteral("{type: 'first-run-completed'}"));
        QTest::qWait(500);
        QCOMPARE(completed.size(), 1);
        QCOMPARE(actions.size(), 1);
    }

    void anUnverifiedBrokerIsNeverAsked()
    {
        serve(page("<div id=root>never</div>"));
        QSignalSpy failed(m_view, &DashboardWebView::loadFailed);
        DashboardLoadKey unverified = key({}, false);
        unverified.brokerIdentityVerified = false;
        m_view->setLoadKey(unverified);
        QVERIFY(failed.wait(5000));
        QCOMPARE(failed.first().first().toString(), QStringLiteral("broker not verified"));
        QVERIFY(m_server->requests().isEmpty());
    }

    void snapshotSampling_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<bool>("rendered");
        const auto filled = [](QSize size, QColor color) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(color);
            return image;
        };
        QImage page = filled({800, 600}, QColor(0x10, 0x12, 0x14));
        for (int y = 100; y < 400; ++y)
            for (int x = 100; x < 700; ++x)
                page.setPixelColor(x, y, y < 250 ? QColor(0xe6, 0xed, 0xf3) : QColor(0x2f, 0x6f, 0xeb));
        QTest::newRow("dark page with text and a blue card") << page << true;
        QTest::newRow("blank black") << filled({800, 600}, Qt::black) << false;
        QTest::newRow("blank white: bright but no colour") << filled({800, 600}, Qt::white) << false;
        QTest::newRow("dark blue: colour but not bright") << filled({800, 600}, QColor(0, 0, 90)) << false;
        QTest::newRow("bright colour everywhere") << filled({800, 600}, QColor(0x2f, 0x6f, 0xeb)) << true;
        QTest::newRow("tiny but coloured") << filled({3, 3}, QColor(0x2f, 0x6f, 0xeb)) << true;
        QTest::newRow("one pixel") << filled({1, 1}, QColor(0x2f, 0x6f, 0xeb)) << false;
        QTest::newRow("empty") << QImage() << false;
    }
    void snapshotSampling()
    {
        QFETCH(QImage, image);
        QFETCH(bool, rendered);
        QCOMPARE(DashboardSnapshotSampler::looksRendered(image), rendered);
    }

private:
    void createView(quint16 port)
    {
        m_view = new DashboardWebView(port, quickTiming(), m_window.get());
        m_window->layout()->addWidget(m_view);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void serve(const Answer &root)
    {
        m_server = std::make_unique<CannedHttpServer>();
        QVERIFY(m_server->isListening());
        m_server->setAnswer({404, "not here", {}, {}, false});
        m_server->setAnswer("/", root);
        createView(m_server->port());
    }

    DashboardLoadKey key(const QString &session, bool firstRunCompleted) const
    {
        return {QUrl(m_server->baseURL() + QLatin1Char('/')), session, firstRunCompleted, true, QStringLiteral("unlocked")};
    }

    void postFromPage(const QString &message)
    {
        evaluate(m_view->page(), QStringLiteral("window.webkit.messageHandlers.tvnNative.postMessage(%1); 0").arg(message));
    }

    void saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (!directory.isEmpty())
            m_window->grab().save(directory + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<CannedHttpServer> m_server;
    DashboardWebView *m_view = nullptr;
};

QTEST_MAIN(TestDashboardWebView)
#include "tst_DashboardWebView.moc"
