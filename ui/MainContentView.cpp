#include "MainContentView.h"

#include "AppModel.h"
#include "DashboardFallbackChoice.h"
#include "FirstRunBreadcrumbs.h"
#include "FirstRunWelcomeView.h"
#include "LocalServiceStatusWords.h"
#include "NativeOperatorUnlockFallback.h"
#include "NativeShellView.h"
#include "NativeVaultSecurityFallback.h"
#include "SplashView.h"
#include "VaultResetConfirmation.h"
#include "WebFallbackView.h"

#include <QDesktopServices>
#include <QPointer>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace LocalServiceStatusWords;

namespace {
constexpr int brokerOfflineGraceSeconds = 5;

RootSurfaceStartupPhase routingPhase(const LocalServiceStartPhase &phase)
{
    // The same cases in the same order; a failure's text does not matter here.
    return static_cast<RootSurfaceStartupPhase>(phase.kind());
}

bool serviceInstalled(const LocalServiceStatus &status)
{
    static const QStringList installedWords{QStringLiteral("ready"), QStringLiteral("installed"),
                                            QStringLiteral("start_failed"), QStringLiteral("stale_broker"),
                                            QStringLiteral("port_conflict")};
    return installedWords.contains(status.status) || status.launchAgent == QLatin1StringView("loaded")
        || status.launchAgent == QLatin1StringView("installed");
}
} // namespace

static_assert(static_cast<int>(LocalServiceStartPhase::Kind::failed) == static_cast<int>(RootSurfaceStartupPhase::failed),
              "the start phases and the routing phases list the same cases in the same order");

MainContentView::MainContentView(AppModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_stack(new QStackedWidget(this))
    , m_welcome(new FirstRunWelcomeView(model, m_stack))
    , m_splash(new SplashView(model, m_stack))
    , m_nativeShell(new NativeShellView(model, m_stack))
    , m_webFallback(new WebFallbackView(m_stack))
    , m_operatorUnlock(new NativeOperatorUnlockFallback(model, m_stack))
    , m_vaultSecurity(new NativeVaultSecurityFallback(model, m_stack))
    , m_openURL([](const QUrl &url) { QDesktopServices::openUrl(url); })
    , m_actions(*model, [this](const QUrl &url) { m_openURL(url); })
{
    setObjectName(QStringLiteral("mainContent"));
    // Every surface sits on the window's dark background, wherever the view is shown.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x10, 0x12, 0x14));
    setPalette(dark);
    setAutoFillBackground(true);
    for (QWidget *screen : std::initializer_list<QWidget *>{m_welcome, m_splash, m_nativeShell, m_webFallback,
                                                            m_operatorUnlock, m_vaultSecurity})
        m_stack->addWidget(screen);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_operatorUnlock->setShowsRetryButton(true);

    connect(m_webFallback, &WebFallbackView::tryAgainRequested, this, &MainContentView::tryDashboardAgain);
    connect(m_webFallback, &WebFallbackView::openInBrowserRequested, this, [this] { m_openURL(m_model->brokerURL()); });
    connect(m_operatorUnlock, &NativeOperatorUnlockFallback::retryRequested, this, [this] {
        m_nativeUnlockRequested = false;
        render();
    });
    connect(m_vaultSecurity, &NativeVaultSecurityFallback::completed, this, [this] {
        m_nativeUnlockRequested = false;
        render();
    });
    connect(m_model, &AppModel::changed, this, &MainContentView::render);
    render();
}

MainContentView::~MainContentView() = default;

void MainContentView::setURLOpener(URLOpener opener)
{
    m_openURL = std::move(opener);
    m_nativeShell->setURLOpener([this](const QUrl &url) { m_openURL(url); });
    if (m_dashboard)
        m_dashboard->setExternalURLOpener(m_openURL);
}

bool MainContentView::dashboardRevealed() const
{
    return m_dashboard && m_dashboard->isRevealed() && currentScreen() == m_dashboard;
}

QWidget *MainContentView::currentScreen() const
{
    return m_stack->currentWidget();
}

RootSurfaceRouting::Facts MainContentView::routingFacts() const
{
    const ServiceSupervision &supervision = *m_model->supervision();
    const LocalServiceStatus &status = supervision.localServiceStatus();
    const LocalServiceStartPhase phase = supervision.localServiceStartPhase();
    RootSurfaceRouting::HandoffFacts handoff;
    handoff.statusListening = showsBrokerListening(status);
    handoff.brokerListeningObserved = supervision.localServiceBrokerListeningObserved();
    handoff.statusIsPortConflict = showsPortConflict(status);
    handoff.statusIsStaleBroker = showsStaleBroker(status);
    handoff.statusIsStartFailed = showsStartFailed(status);
    handoff.statusIsUnavailable = isUnavailable(status);
    handoff.actionInProgress = supervision.localServiceActionInProgress();
    handoff.startPhaseIsWorking = phase.isInProgress();
    handoff.startElapsedSeconds = supervision.localServiceStartElapsedSeconds();

    RootSurfaceRouting::Facts facts;
    facts.brokerReady = supervision.brokerReadyAndVerified();
    facts.webViewLoadFailed = m_webViewLoadFailed;
    facts.localServiceRepairRequired = supervision.localServiceRepairRequired();
    facts.localServicePhase = routingPhase(phase);
    facts.serviceInstalled = serviceInstalled(status);
    facts.serviceBrokerListening = RootSurfaceRouting::serviceReadyForDashboardHandoff(handoff);
    facts.serviceLaunchAgentLoaded = status.launchAgent == QLatin1StringView("loaded") || facts.serviceBrokerListening;
    facts.startupElapsedSeconds = supervision.localServiceStartElapsedSeconds();
    facts.brokerOfflineGraceSeconds = brokerOfflineGraceSeconds;
    return facts;
}

DashboardLoadKey MainContentView::dashboardLoadKey() const
{
    return {m_model->brokerURL(), m_model->operatorSessionID(), m_model->webFirstRunCompleted(),
            m_model->brokerIdentityVerified(), m_model->snapshot()->vaultStatus()};
}

void MainContentView::render()
{
    const RootSurface surface = RootSurfaceRouting::select(routingFacts());
    const bool changed = surface != m_surface;
    m_surface = surface;
    switch (surface) {
    case RootSurface::dashboard:
        showDashboard();
        break;
    case RootSurface::webFallback:
        dropDashboardView();
        m_stack->setCurrentWidget(m_webFallback);
        break;
    case RootSurface::firstRunWelcome:
        dropDashboardView();
        m_stack->setCurrentWidget(m_welcome);
        break;
    case RootSurface::nativeShell:
        dropDashboardView();
        m_stack->setCurrentWidget(m_nativeShell);
        break;
    case RootSurface::splash:
        dropDashboardView();
        m_stack->setCurrentWidget(m_splash);
        break;
    }
    if (changed) {
        FirstRunBreadcrumbs::record(QStringLiteral("root surface: ") + RootSurfaces::name(surface));
        emit surfaceChanged();
    }
}

void MainContentView::showDashboard()
{
    if (showDashboardFallback())
        return;
    // A listening broker that is not verified yet is still starting: the page loads only for a
    // verified broker, so until then the splash stays.
    if (!m_model->brokerIdentityVerified()) {
        m_stack->setCurrentWidget(m_splash);
        return;
    }
    ensureDashboardView();
    m_dashboard->setLoadKey(dashboardLoadKey());
    m_stack->setCurrentWidget(m_dashboard);
}

bool MainContentView::showDashboardFallback()
{
    if (!m_nativeUnlockRequested)
        return false;
    switch (DashboardFallbackChoices::choose(*m_model)) {
    case DashboardFallbackChoice::none:
        m_nativeUnlockRequested = false;
        return false;
    case DashboardFallbackChoice::operatorUnlock:
        m_stack->setCurrentWidget(m_operatorUnlock);
        return true;
    case DashboardFallbackChoice::vaultSetup:
        m_vaultSecurity->setMode(NativeVaultSecurityFallback::Mode::setup);
        m_stack->setCurrentWidget(m_vaultSecurity);
        return true;
    case DashboardFallbackChoice::vaultUnlock:
        m_vaultSecurity->setMode(NativeVaultSecurityFallback::Mode::unlock);
        m_stack->setCurrentWidget(m_vaultSecurity);
        return true;
    }
    return false;
}

void MainContentView::ensureDashboardView()
{
    if (m_dashboard)
        return;
    m_dashboard = new DashboardWebView(m_model->identity().brokerPort(), m_dashboardTiming, m_stack);
    m_dashboard->setExternalURLOpener(m_openURL);
    m_stack->addWidget(m_dashboard);
    connect(m_dashboard, &DashboardWebView::loadFailed, this, [this] {
        m_webViewLoadFailed = true;
        render();
    });
    connect(m_dashboard, &DashboardWebView::dashboardPending, this, &MainContentView::dashboardRevealedChanged);
    connect(m_dashboard, &DashboardWebView::dashboardReady, this, &MainContentView::dashboardRevealedChanged);
    connect(m_dashboard, &DashboardWebView::vaultSecurityUpdated, m_model, [this] { m_model->refresh(); });
    connect(m_dashboard, &DashboardWebView::operatorUnlockRequested, this, &MainContentView::requestNativeUnlock);
    connect(m_dashboard, &DashboardWebView::vaultResetRequested, this, &MainContentView::confirmVaultReset);
    connect(m_dashboard, &DashboardWebView::webFirstRunCompleted, m_model, &AppModel::markWebFirstRunCompleted);
    connect(m_dashboard, &DashboardWebView::webFirstRunReset, m_model, &AppModel::clearWebFirstRunCompleted);
    connect(m_dashboard, &DashboardWebView::actionRequested, this, &MainContentView::runDashboardAction);
}

void MainContentView::dropDashboardView()
{
    if (!m_dashboard)
        return;
    // The next time the dashboard shows, it loads afresh with the state of that moment.
    DashboardWebView *dashboard = m_dashboard;
    m_dashboard = nullptr;
    m_stack->removeWidget(dashboard);
    dashboard->deleteLater();
    emit dashboardRevealedChanged();
}

void MainContentView::tryDashboardAgain()
{
    m_webViewLoadFailed = false;
    dropDashboardView();
    render();
}

void MainContentView::requestNativeUnlock()
{
    m_nativeUnlockRequested = true;
    // The page's "Unlock" starts the unlock at once; the screen shows how it goes.
    if (DashboardFallbackChoices::choose(*m_model) == DashboardFallbackChoice::operatorUnlock
        && !m_model->operatorSession()->operatorPassphraseRequired())
        m_model->unlockOperatorSession();
    render();
}

void MainContentView::confirmVaultReset()
{
    auto *confirmation = new VaultResetConfirmation(m_model, this);
    confirmation->open();
}

void MainContentView::runDashboardAction(const DashboardMessage &message)
{
    const QPointer<DashboardWebView> dashboard(m_dashboard);
    const QString type = DashboardMessage::typeName(message.type());
    QCoro::connect(m_actions.run(message), this, [dashboard, type](const DashboardActionRunner::Outcome &outcome) {
        if (dashboard)
            dashboard->reportActionFinished(type, outcome.ok, outcome.message);
    });
}
