#include "DashboardWebView.h"
#include "WebPageScript.h"
#include "FakeProvider.h"
#include "FirstRunWelcomeView.h"
#include "LocalServiceControlError.h"
#include "MainContentView.h"
#include "MainWindow.h"
#include "ModelTestSupport.h"
#include "NativeOperatorUnlockFallback.h"
#include "NativeVaultSecurityFallback.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>
#include <QWebEnginePage>

// The window from the first turn-on to a revealed dashboard, against the real control script and
// broker of this checkout in a temporary home (providers are the stand-in): welcome, splash while
// the service starts, the page revealed, the vault set up through the native screen the page asks
// for, locked and unlocked again from the page, an app linked from the page's guide, and a new
// approval in the page and the app within a second. Binds the development broker port.
class TestDashboardJourney : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 60000),
                 "another process holds port 47382; the development broker cannot be tested");
        m_home.emplace();
        QVERIFY(m_home->isValid());
        QVERIFY(m_provider.start());
        m_context.emplace(modelServiceContext(m_home->path(), QStringLiteral(TVN_BINARY_DIR)));
        m_context->environment.insert(m_provider.environment());
        m_model = std::make_unique<AppModel>(modelDependencies(*m_context, std::make_shared<SupervisionClock>(),
                                                               std::make_shared<RecordingClipboard>()));
        m_window = std::make_unique<MainWindow>(m_model.get());
        m_content = m_window->contentView();
        connect(m_content, &MainContentView::surfaceChanged, this, [this] { m_surfaces << m_content->surface(); });
        connect(m_content->findChild<QStackedWidget *>(), &QStackedWidget::currentChanged, this, [this] {
            m_screens << m_content->currentScreen()->objectName();
            if (m_content->surface() == RootSurface::splash && !m_splashSaved)
                m_splashSaved = saveScreenshot(QStringLiteral("surface-splash"));
        });
    }

    void cleanupTestCase()
    {
        m_window.reset();
        m_model.reset();
        LocalServiceController controller(*m_context);
        try {
            QCoro::waitFor(controller.run(LocalServiceCommand::stop));
        } catch (const LocalServiceControlError &) {
            // Nothing was installed.
        }
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 10000), "the broker port stayed busy after the test");
    }

    void welcomeThenSplashThenTheRevealedPage()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(waitUntil([this] { return m_model->supervision()->localServiceStatus().status == QLatin1StringView("not_installed")
                                       && !m_model->isRefreshing(); }, 30000));
        QCOMPARE(m_content->surface(), RootSurface::firstRunWelcome);
        saveScreenshot(QStringLiteral("surface-welcome"));

        QTimer::singleShot(0, this, [] {
            auto *sheet = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            QCOMPARE(sheet->objectName(), QStringLiteral("tvn-first-run-confirmation"));
            sheet->findChild<QPushButton *>(QStringLiteral("tvn-first-run-confirm-turn-on"))->click();
        });
        m_content->welcomeView()->turnOnButton()->click();

        QVERIFY2(waitUntil([this] { return m_content->dashboardRevealed(); }, 120000), qPrintable(m_model->statusMessage()));
        QVERIFY2(m_surfaces.indexOf(RootSurface::splash) >= 0, qPrintable(surfaceNames()));
        QCOMPARE(m_surfaces.last(), RootSurface::dashboard);
        // The page can reveal while the start's last keychain check is still running.
        QVERIFY(waitUntil([this] { return m_model->supervision()->localServiceStartPhase().kind() == LocalServiceStartPhase::Kind::ready; }, 20000));
        // A fresh vault: the page shows its own setup surface.
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("Set up your encrypted vault")); }, 20000));
    }

    void thePageAsksAndTheNativeScreenSetsTheVaultUp()
    {
        clickInPage(QStringLiteral("Set up the vault"));
        NativeVaultSecurityFallback *setup = m_content->vaultSecurityFallback();
        QVERIFY(waitUntil([&] { return m_content->currentScreen() == setup; }, 10000));
        QCOMPARE(setup->mode(), NativeVaultSecurityFallback::Mode::setup);
        QCOMPARE(setup->findChild<QLabel *>(QStringLiteral("unlockTitle"))->text(), QStringLiteral("Create your TVN password"));
        setup->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase"))->setText(QStringLiteral("correct horse battery"));
        setup->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase-confirm"))->setText(QStringLiteral("correct horse battery"));
        saveScreenshot(QStringLiteral("surface-vault-setup-fallback"));
        setup->primaryButton()->click();

        QVERIFY2(waitUntil([this] { return m_content->currentScreen() == m_content->dashboardView() && m_content->dashboardRevealed(); }, 60000),
                 qPrintable(setup->inlineError() + m_model->statusMessage()));
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("Pending approvals")); }, 20000));
        QCOMPARE(m_model->snapshot()->vaultStatus(), QStringLiteral("unlocked"));
        // The typed password went with the screen.
        QVERIFY(setup->findChild<QLineEdit *>(QStringLiteral("tvn-vault-passphrase"))->text().isEmpty());
        saveScreenshot(QStringLiteral("surface-dashboard-revealed"));
    }

    void lockedThenUnlockedFromThePageOnce()
    {
        m_model->lockOperatorSession();
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("The vault is locked")); }, 20000));
        QSignalSpy unlocking(m_model->operatorSession(), &OperatorSession::operatorUnlockInProgressChanged);
        m_screens.clear();
        clickInPage(QStringLiteral("Unlock the vault"));
        QVERIFY(waitUntil([this] { return !m_model->operatorSessionID().isEmpty(); }, 30000));
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("Pending approvals")); }, 20000));
        QVERIFY(m_content->dashboardRevealed());
        // One message, one unlock: it started once and ended once.
        QTest::qWait(500);
        QCOMPARE(unlocking.size(), 2);
        QVERIFY2(m_screens.contains(QStringLiteral("nativeOperatorUnlockFallback")), qPrintable(m_screens.join(u',')));
    }

    void theGuideLinksAnAppThroughTheApp()
    {
        m_screens.clear();
        clickInPage(QStringLiteral("Connect an app"));
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("API key")); }, 10000));
        const QString fill = QStringLiteral(
            "(function () {"
            "  const set = (id, value, event) => { const f = document.getElementById(id); f.value = value;"
            "    f.dispatchEvent(new Event(event, { bubbles: true })); };"
            "  set('connect-connectorId', 'github', 'change'); set('connect-secret', 'valid-page-key', 'input');"
            "  set('connect-accountId', 'work', 'input');"
            "  document.querySelector('#connect-form button[type=submit]').click(); return true; })()");
        QVERIFY(evaluate(m_content->dashboardView()->page(), fill).toBool());
        QVERIFY2(waitUntil([this] { return m_model->snapshot()->connectedAccountsCount() == 1; }, 30000),
                 qPrintable(m_model->statusMessage()));
        QVERIFY(waitUntil([this] { return pageText().contains(QStringLiteral("Connected GitHub")); }, 10000));
        QVERIFY(m_provider.received(QStringLiteral("github"), QStringLiteral("GET"), QStringLiteral("/user")));
        // The key went to the broker through the app and stayed nowhere else.
        QVERIFY(m_model->connections()->connectSecret().isEmpty());
        QVERIFY(!pageText().contains(QStringLiteral("valid-page-key")));
        QCOMPARE(m_content->currentScreen(), m_content->dashboardView());
    }

    void aNewApprovalShowsInThePageAndTheAppWithinASecond()
    {
        QVERIFY(waitUntil([this] { return m_model->brokerEvents()->isListening() && !m_model->isRefreshing(); }, 10000));
        QSignalSpy cycles(m_model->refreshCycle(), &RefreshCycle::cycleClosed);
        const QString approvalId = requestRiskyWrite();
        QVERIFY(!approvalId.isEmpty());
        QElapsedTimer shown;
        shown.start();
        const QString row = QStringLiteral("!!document.querySelector('[data-approval-id=\"%1\"]')").arg(approvalId);
        QVERIFY(waitUntil([&] { return evaluate(m_content->dashboardView()->page(), row).toBool(); }, 1000));
        QVERIFY(waitUntil([&] { return !m_model->snapshot()->approvals().isEmpty(); }, 1000 - int(shown.elapsed())));
        QCOMPARE(m_model->snapshot()->approvals().first().id, approvalId);
        QCOMPARE(cycles.size(), 0);
        saveScreenshot(QStringLiteral("surface-dashboard-approval"));
    }

private:
    // An agent's risky write, as the broker sees it from the operator's smoke test: held for approval.
    QString requestRiskyWrite() const
    {
        QNetworkAccessManager network;
        QNetworkRequest request(m_model->brokerURL().resolved(QUrl(QStringLiteral("/v1/execute"))));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setRawHeader("x-tvn-operator-session", m_model->operatorSessionID().toUtf8());
        const QJsonObject body{{"agentId", "codex"}, {"connectorId", "github"}, {"toolId", "github.issue.create"},
                               {"input", QJsonObject{{"owner", "octo"}, {"repo", "demo"}, {"title", "Pushed"}}}};
        QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson());
        waitUntil([reply] { return reply->isFinished(); }, 10000);
        reply->deleteLater();
        return QJsonDocument::fromJson(reply->readAll()).object().value(QStringLiteral("approvalId")).toString();
    }

    QString pageText() const
    {
        DashboardWebView *dashboard = m_content->dashboardView();
        return dashboard ? evaluate(dashboard->page(), QStringLiteral("document.body.innerText")).toString() : QString();
    }

    void clickInPage(const QString &buttonText)
    {
        const QString script = QStringLiteral("(function () { const button = [...document.querySelectorAll('button')]"
                                              ".find((b) => b.textContent.trim() === %1); if (button) button.click(); return !!button; })()")
                                   .arg(QStringLiteral("'%1'").arg(buttonText));
        QVERIFY2(evaluate(m_content->dashboardView()->page(), script).toBool(), qPrintable(buttonText));
    }

    QString surfaceNames() const
    {
        QStringList names;
        for (const RootSurface surface : m_surfaces)
            names << RootSurfaces::name(surface);
        return names.join(u',');
    }

    bool saveScreenshot(const QString &name) const
    {
        const QString directory = qEnvironmentVariable("TVN_UI_SCREENSHOT_DIR");
        return !directory.isEmpty() && m_window->grab().save(QDir(directory).filePath(name + QStringLiteral(".png")));
    }

    FakeProvider m_provider;
    std::optional<QTemporaryDir> m_home;
    std::optional<LocalServiceContext> m_context;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MainWindow> m_window;
    MainContentView *m_content = nullptr;
    QList<RootSurface> m_surfaces;
    QStringList m_screens;
    bool m_splashSaved = false;
};

QTEST_MAIN(TestDashboardJourney)
#include "tst_DashboardJourney.moc"
