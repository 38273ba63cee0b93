#include "DashboardWebView.h"

#include "DashboardBridge.h"
#include "DashboardNativeShim.h"
#include "DashboardNavigationPolicy.h"
#include "DashboardReadinessPolicy.h"
#include "DashboardSeedScripts.h"
#include "DashboardSnapshotSampler.h"
#include "DashboardWebPage.h"
#include "FirstRunBreadcrumbs.h"
#include "TVNBrokerURLTrust.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWebChannel>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWindow>

const QString DashboardWebView::productDomain = QStringLiteral("torvane.com");

namespace {
const QString sessionSeedName = QStringLiteral("tvn-session-seed");
const QString firstRunSeedName = QStringLiteral("tvn-first-run-seed");
const QString shimName = QStringLiteral("tvn-native-shim");

QWebEngineScript documentStartScript(const QString &name, const QString &source)
{
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

void replaceScript(QWebEngineScriptCollection &scripts, const QWebEngineScript &script)
{
    for (const QWebEngineScript &old : scripts.find(script.name()))
        scripts.remove(old);
    scripts.insert(script);
}

// Nothing the page does may outlive the process or reach past the dashboard.
void restrictSettings(QWebEngineSettings *settings)
{
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
}
} // namespace

DashboardWebView::DashboardWebView(qint64 brokerPort, QWidget *parent) : DashboardWebView(brokerPort, Timing(), parent) {}

DashboardWebView::DashboardWebView(qint64 brokerPort, Timing timing, QWidget *parent)
    : QWidget(parent)
    , m_brokerPort(brokerPort)
    , m_timing(timing)
    // No storage name: off the record, so no cookie or storage outlives the process.
    , m_profile(new QWebEngineProfile(this))
    , m_page(new DashboardWebPage(m_profile, brokerPort))
    , m_view(new QWebEngineView(this))
    , m_channel(new QWebChannel(this))
    , m_bridge(new DashboardBridge(this))
    , m_cover(new QLabel(QStringLiteral("Loading the dashboard…"), this))
    , m_openURL([](const QUrl &url) { QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("dashboardWebView"));
    m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    restrictSettings(m_profile->settings());
    m_page->setBackgroundColor(Qt::transparent);
    m_channel->registerObject(QStringLiteral("tvnNative"), m_bridge);
    m_page->setWebChannel(m_channel, QWebEngineScript::MainWorld);
    m_page->scripts().insert(documentStartScript(shimName, DashboardNativeShim::source()));
    m_view->setPage(m_page);
    m_view->setObjectName(QStringLiteral("tvn-dashboard-webview"));
    m_view->setAccessibleName(QStringLiteral("Torvane dashboard"));
    m_view->setContextMenuPolicy(Qt::NoContextMenu);

    // The page draws beneath the cover until it has proved it rendered.
    m_cover->setObjectName(QStringLiteral("dashboardCover"));
    m_cover->setAlignment(Qt::AlignCenter);
    m_cover->setAutoFillBackground(true);
    m_cover->setStyleSheet(QStringLiteral("QLabel { background: #101214; color: #9da7b3; }"));
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view, 0, 0);
    layout->addWidget(m_cover, 0, 0);

    connect(m_bridge, &DashboardBridge::messagePosted, this, &DashboardWebView::handleMessage);
    connect(m_page, &DashboardWebPage::navigationRefused, this, [this](const QString &reason) {
        FirstRunBreadcrumbs::record(QStringLiteral("dashboard: ") + reason);
        reportFailure(m_token, reason);
    });
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
            m_requestFinished = true;
        if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
            return;
        m_requestFinished = true;
        // No answer at all (refused, unreachable) fails before anything was committed.
        const bool beforeCommit = info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain
            || info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain;
        handleLoadingFailure(info.errorString(), beforeCommit);
    });
}

DashboardWebView::~DashboardWebView()
{
    // The page and its view go before the profile they were made with.
    delete m_view;
    delete m_page;
}

QWebEnginePage *DashboardWebView::page() const
{
    return m_page;
}

void DashboardWebView::setLoadKey(const DashboardLoadKey &key)
{
    const bool sameOrigin = TVNBrokerURLTrust::isSameTrustedOrigin(m_key.brokerURL, key.brokerURL, m_brokerPort);
    if (!m_hasLoaded || !sameOrigin || m_key.needsReloadFor(key)) {
        m_key = key;
        load();
        return;
    }
    const bool reseed = key.sessionId != m_lastSessionId || key.firstRunCompleted != m_lastFirstRunCompleted;
    m_key = key;
    if (!reseed)
        return;
    installSeedScripts();
    m_page->runJavaScript(DashboardSeedScripts::dashboardUpdateScript(key.sessionId, key.firstRunCompleted));
}

void DashboardWebView::reload()
{
    load();
}

void DashboardWebView::installSeedScripts()
{
    QWebEngineScriptCollection &scripts = m_page->scripts();
    replaceScript(scripts, documentStartScript(sessionSeedName, DashboardSeedScripts::sessionSeedScript(m_key.sessionId)));
    replaceScript(scripts, documentStartScript(firstRunSeedName,
                                               DashboardSeedScripts::firstRunCompletionSeedScript(m_key.firstRunCompleted)));
    m_lastSessionId = m_key.sessionId;
    m_lastFirstRunCompleted = m_key.firstRunCompleted;
}

void DashboardWebView::markPending()
{
    ++m_token;
    m_didReceiveDashboardReady = false;
    m_didReportOutcome = false;
    m_revealed = false;
    m_requestFinished = false;
    m_cover->show();
    m_cover->raise();
    emit dashboardPending();
}

void DashboardWebView::load()
{
    m_hasLoaded = true;
    markPending();
    installSeedScripts();
    m_page->setExpectedBrokerURL(m_key.brokerURL);
    const quint64 token = m_token;
    if (!m_key.brokerIdentityVerified || !TVNBrokerURLTrust::isTrustedLoopbackURL(m_key.brokerURL, m_brokerPort)) {
        QTimer::singleShot(0, this, [this, token] { reportFailure(token, QStringLiteral("broker not verified")); });
        return;
    }
    QWebEngineHttpRequest request(m_key.brokerURL);
    request.setHeader("Cache-Control", "no-cache");
    m_page->load(request);
    QTimer::singleShot(m_timing.requestTimeout, this, [this, token] {
        if (!isCurrent(token) || m_requestFinished)
            return;
        m_page->triggerAction(QWebEnginePage::Stop);
        reportFailure(token, QStringLiteral("the dashboard request timed out"));
    });
    scheduleReadinessProbe(token, m_timing.readinessRetries, m_timing.readinessFirstDelay);
    scheduleOcclusionCheck(token, m_timing.occlusionRetries, m_timing.occlusionFirstDelay);
}

bool DashboardWebView::isCurrent(quint64 token) const
{
    return token == m_token && !m_didReportOutcome;
}

void DashboardWebView::reportReady(quint64 token)
{
    if (!isCurrent(token))
        return;
    m_didReportOutcome = true;
    m_revealed = true;
    m_cover->hide();
    FirstRunBreadcrumbs::record(QStringLiteral("dashboard: revealed"));
    emit dashboardReady();
}

void DashboardWebView::reportFailure(quint64 token, const QString &reason)
{
    if (!isCurrent(token))
        return;
    m_didReportOutcome = true;
    FirstRunBreadcrumbs::record(QStringLiteral("dashboard: load failed: ") + reason);
    emit loadFailed(reason);
}

void DashboardWebView::handleLoadingFailure(const QString &description, bool beforeCommit)
{
    reportFailure(m_token, (beforeCommit ? QStringLiteral("provisional navigation failed: ")
                                         : QStringLiteral("navigation failed: "))
                               + description);
}

void DashboardWebView::probe(const std::function<void(const DashboardReadinessProbe &)> &then)
{
    const QPointer<DashboardWebView> guard(this);
    m_page->runJavaScript(DashboardReadinessProbe::script(), [guard, then](const QVariant &result) {
        if (guard)
            then(DashboardReadinessProbe::fromScriptResult(result));
    });
}

void DashboardWebView::scheduleReadinessProbe(quint64 token, int retriesLeft, int delay)
{
    QTimer::singleShot(delay, this, [this, token, retriesLeft] {
        if (!isCurrent(token))
            return;
        probe([this, token, retriesLeft](const DashboardReadinessProbe &probe) {
            if (!isCurrent(token))
                return;
            switch (DashboardReadinessPolicy::decideOnProbe(probe)) {
            case DashboardRevealDecision::reveal:
                reportReady(token);
                return;
            case DashboardRevealDecision::confirmWithSnapshot:
                scheduleSnapshotAttempt(token, 0);
                return;
            case DashboardRevealDecision::notRendered:
                if (retriesLeft <= 0) {
                    reportFailure(token, QStringLiteral("dashboard did not render"));
                    return;
                }
                scheduleReadinessProbe(token, retriesLeft - 1, m_timing.readinessRetryDelay);
                scheduleOcclusionCheck(token, retriesLeft, m_timing.readinessRetryDelay);
                return;
            }
        });
    });
}

bool DashboardWebView::windowIsOnScreen() const
{
    const QWidget *top = window();
    const QWindow *handle = top ? top->windowHandle() : nullptr;
    return top && top->isVisible() && !top->isMinimized() && handle && handle->isExposed();
}

void DashboardWebView::scheduleOcclusionCheck(quint64 token, int retriesLeft, int delay)
{
    // Re-arming replaces the running check.
    const quint64 generation = ++m_occlusionGeneration;
    QTimer::singleShot(delay, this, [this, token, generation, retriesLeft] {
        if (!isCurrent(token) || generation != m_occlusionGeneration || windowIsOnScreen())
            return;
        if (retriesLeft <= 0) {
            reportFailure(token, QStringLiteral("dashboard window is not on screen"));
            return;
        }
        scheduleOcclusionCheck(token, retriesLeft - 1, m_timing.occlusionRetryDelay);
    });
}

void DashboardWebView::scheduleSnapshotAttempt(quint64 token, int attempt)
{
    const int wait = attempt == 0 ? m_timing.snapshotFirstWait : m_timing.snapshotLaterWait;
    QTimer::singleShot(wait, this, [this, token, attempt] {
        if (!isCurrent(token))
            return;
        if (DashboardSnapshotSampler::looksRendered(m_view->grab().toImage())) {
            reportReady(token);
            return;
        }
        if (attempt + 1 < m_timing.snapshotAttempts)
            scheduleSnapshotAttempt(token, attempt + 1);
        else
            decideAfterSnapshots(token);
    });
}

void DashboardWebView::decideAfterSnapshots(quint64 token)
{
    probe([this, token](const DashboardReadinessProbe &probe) {
        if (DashboardReadinessPolicy::decideOnSnapshotExhausted(probe) == DashboardRevealDecision::reveal)
            reportReady(token);
        else
            reportFailure(token, QStringLiteral("visible dashboard snapshot did not render"));
    });
}

void DashboardWebView::handleMessage(const QJsonObject &body)
{
    // Only the broker's own page is heard; a page of any other origin is ignored whatever it says.
    if (!DashboardNavigationPolicy::admitsMessagesFrom(m_page->url(), m_key.brokerURL, m_brokerPort))
        return;
    const std::optional<DashboardMessage> message = DashboardMessage::fromBody(body);
    if (!message)
        return;
    using Type = DashboardMessage::Type;
    switch (message->type()) {
    case Type::vaultSecurityUpdated:
        emit vaultSecurityUpdated();
        return;
    case Type::requestOperatorUnlock:
        emit operatorUnlockRequested();
        return;
    case Type::requestVaultReset:
        emit vaultResetRequested();
        return;
    case Type::firstRunCompleted:
        emit webFirstRunCompleted();
        return;
    case Type::firstRunReset:
        emit webFirstRunReset();
        return;
    case Type::openExternalUrl:
        if (const std::optional<QUrl> url = message->allowedExternalURL(productDomain))
            m_openURL(*url);
        return;
    case Type::dashboardReady:
        if (!message->isValidReadyAnnouncement())
            return;
        m_didReceiveDashboardReady = true;
        if (isCurrent(m_token))
            scheduleSnapshotAttempt(m_token, 0);
        return;
    default:
        emit actionRequested(*message);
        return;
    }
}

void DashboardWebView::reportActionFinished(const QString &type, bool ok, const QString &message)
{
    if (!DashboardNavigationPolicy::admitsMessagesFrom(m_page->url(), m_key.brokerURL, m_brokerPort))
        return;
    m_page->runJavaScript(DashboardSeedScripts::actionFinishedScript(type, ok, message));
}
