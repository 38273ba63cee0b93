#include "CannedBrokerAnswers.h"
#include "DashboardWebView.h"
#include "MainContentView.h"
#include "VaultResetConfirmation.h"
#include "WebFallbackView.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

// The content view's dashboard surface over a canned broker on the development port, whose page
// does what the real broker's never does: stays blank, or asks for a reset as soon as it loads.
using namespace CannedBroker;

namespace {
Answer page(const QByteArray &body)
{
    return {200, "<!doctype html><html><body>" + body + "</body></html>", {{"Content-Type", "text/html"}}, {}, false};
}

QString label(const QWidget *root, const char *name)
{
    const auto *found = root->findChild<QLabel *>(QLatin1StringView(name));
    return found ? found->text() : QString();
}
} // namespace

class TestMainContentView : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        QVERIFY(m_canned.writeBootstrapSecret());
        m_canned.model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::ready);
        m_view = std::make_unique<MainContentView>(m_canned.model.get());
        DashboardWebView::Timing quick;
        quick.readinessFirstDelay = 1000;
        quick.readinessRetryDelay = 200;
        m_view->setDashboardTiming(quick);
        m_view->setURLOpener([this](const QUrl &url) { m_opened << url; });
        m_view->resize(1000, 700);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup()
    {
        m_view.reset();
        m_canned.stop();
        m_opened.clear();
    }

    void aPageThatNeverRendersFallsBackToTheNativeScreen()
    {
        m_canned.broker->setAnswer("/", page(""));
        QCoro::waitFor(m_canned.model->refresh());
        QCOMPARE(m_view->surface(), RootSurface::dashboard);
        QTRY_COMPARE_WITH_TIMEOUT(m_view->surface(), RootSurface::webFallback, 15000);
        WebFallbackView *fallback = m_view->webFallbackView();
        QCOMPARE(m_view->currentScreen(), fallback);
        QCOMPARE(label(fallback, "webFallbackTitle"), QStringLiteral("Couldn't load the dashboard"));
        QCOMPARE(label(fallback, "webFallbackText"),
                 QStringLiteral("The local Torvane service is running, but its dashboard didn't load. Try again, or "
                                "open it in your browser."));
        QCOMPARE(fallback->openInBrowserButton()->toolTip(),
                 QStringLiteral("Open the local service dashboard in your default browser"));
        saveScreenshot(QStringLiteral("surface-web-fallback"));

        // A ready broker still shows the fallback while the failure stands.
        QCoro::waitFor(m_canned.model->refresh());
        QCOMPARE(m_view->surface(), RootSurface::webFallback);
        fallback->openInBrowserButton()->click();
        QCOMPARE(m_opened, QList<QUrl>{m_canned.model->brokerURL()});

        // "Try again" loads the page afresh; this one fails again.
        m_canned.broker->clearRequests();
        fallback->tryAgainButton()->click();
        QCOMPARE(m_view->surface(), RootSurface::dashboard);
        QTRY_VERIFY_WITH_TIMEOUT(m_canned.broker->requestedPaths().contains("/"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_view->surface(), RootSurface::webFallback, 15000);
    }

    void thePageAsksForAResetAndTheConfirmationComesFirst()
    {
        m_canned.broker->setAnswer(
            "/", page("<div id=root>Locked</div><script>"
                      "window.webkit.messageHandlers.tvnNative.postMessage({type: 'request-vault-reset'});</script>"));
        QCoro::waitFor(m_canned.model->refresh());
        QTRY_VERIFY_WITH_TIMEOUT(m_view->findChild<VaultResetConfirmation *>(), 15000);
        auto *confirmation = m_view->findChild<VaultResetConfirmation *>();
        QCOMPARE(confirmation->windowTitle(), QStringLiteral("Reset local TVN vault?"));
        QVERIFY(!m_canned.script->commands().contains(QStringLiteral("uninstall")));
        confirmation->reject();
    }

private:
    void saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        if (!directory.isEmpty())
            m_view->grab().save(QDir(directory).filePath(name + QStringLiteral(".png")));
    }

    CannedBroker::Model m_canned;
    std::unique_ptr<MainContentView> m_view;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestMainContentView)
#include "tst_MainContentView.moc"
