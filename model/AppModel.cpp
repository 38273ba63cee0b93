#include "AppModel.h"

#include "FirstRunBreadcrumbs.h"
#include "LocalServiceController.h"
#include "TVNEnvironment.h"

#include <algorithm>

AppModel::Dependencies AppModel::defaultDependencies(std::shared_ptr<TextClipboard> clipboard)
{
    Dependencies deps{AppMetadata::runtimeIdentity(), AppMetadata::current(),
                      std::make_shared<LocalServiceController>(LocalServiceContext::forCurrentApp())};
    deps.clipboard = std::move(clipboard);
    deps.takeoverWaitSeconds = TVNEnvironment().takeoverWaitSeconds();
    return deps;
}

AppModel::AppModel(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
    , m_brokerURL(m_deps.identity.brokerURL())
    , m_localServiceStatus(LocalServiceStatus::unavailable(QStringLiteral("unavailable"), m_deps.identity))
{
    Q_ASSERT(m_deps.controller && m_deps.clock && m_deps.clipboard);
    m_startElapsedTicker.setInterval(std::chrono::seconds(1));
    connect(&m_startElapsedTicker, &QTimer::timeout, this,
            [this] { setStartElapsedSeconds(m_startElapsedSeconds + 1); });
    m_listenerWatchdogTimer.setInterval(std::chrono::milliseconds(500));
    connect(&m_listenerWatchdogTimer, &QTimer::timeout, this, &AppModel::pollBrokerListenerHandoffWatchdog);
}

AppModel::~AppModel() = default;

qint64 AppModel::brokerPort() const
{
    const int port = m_brokerURL.port(-1);
    return port >= 0 ? port : m_deps.identity.brokerPort();
}

void AppModel::setStatusMessage(const QString &message)
{
    if (m_statusMessage == message)
        return;
    m_statusMessage = message;
    emit statusMessageChanged();
    publishBanner(message);
}

void AppModel::fail(const QString &message)
{
    m_lastActionError = message;
    emit lastActionErrorChanged();
    setStatusMessage(message);
}

void AppModel::publishBanner(const QString &message)
{
    ++m_statusSeq;
    StatusBanner::Kind kind = StatusBanner::Kind::error;
    if (m_lastActionError != message) {
        kind = classifyStatus(message);
        if (m_lastActionError) {
            m_lastActionError.reset();
            emit lastActionErrorChanged();
        }
    }
    m_statusBanner = StatusBanner{message, kind, m_statusSeq};
    emit statusBannerChanged();
}

StatusBanner::Kind AppModel::classifyStatus(const QString &message)
{
    static const QStringList successWords = {
        QStringLiteral("copied"),    QStringLiteral("checked"),           QStringLiteral("unlocked"),
        QStringLiteral("created and saved"), QStringLiteral("saved setup profile"), QStringLiteral("passed"),
        QStringLiteral("connected"),
    };
    static const QStringList workingPrefixes = {
        QStringLiteral("checking"),   QStringLiteral("creating"),  QStringLiteral("starting"),
        QStringLiteral("saving"),     QStringLiteral("linking"),   QStringLiteral("approving"),
        QStringLiteral("denying"),    QStringLiteral("revoking"),  QStringLiteral("stopping"),
        QStringLiteral("opening"),    QStringLiteral("requesting"), QStringLiteral("enabling"),
        QStringLiteral("disabling"),  QStringLiteral("exporting"), QStringLiteral("restoring"),
    };
    const QString lower = message.toLower();
    const auto contains = [&lower](const QString &word) { return lower.contains(word); };
    if (std::any_of(successWords.begin(), successWords.end(), contains) || lower.endsWith(QLatin1StringView(" ok")))
        return StatusBanner::Kind::success;
    const auto beginsWith = [&lower](const QString &word) { return lower.startsWith(word); };
    if (std::any_of(workingPrefixes.begin(), workingPrefixes.end(), beginsWith))
        return StatusBanner::Kind::working;
    return StatusBanner::Kind::info;
}

QStringList AppModel::runningActions() const
{
    QStringList keys = m_runningActions.values();
    keys.sort();
    return keys;
}

bool AppModel::beginAction(const QString &key)
{
    if (m_runningActions.contains(key))
        return false;
    m_runningActions.insert(key);
    emit runningActionsChanged();
    return true;
}

void AppModel::endAction(const QString &key)
{
    if (m_runningActions.remove(key))
        emit runningActionsChanged();
}

void AppModel::lockOperatorSurfaces(const QString &message)
{
    // Operator lists arrive with the full refresh cycle; until then only the message changes.
    setStatusMessage(message);
}

template <typename T>
void AppModel::assign(T &field, const T &value, void (AppModel::*changed)())
{
    if (field == value)
        return;
    field = value;
    emit(this->*changed)();
}

void AppModel::setLocalServiceStatus(const LocalServiceStatus &status)
{
    assign(m_localServiceStatus, status, &AppModel::localServiceStatusChanged);
}

void AppModel::setHealth(const BrokerHealth &health)
{
    assign(m_health, health, &AppModel::healthChanged);
}

void AppModel::setBrokerIdentityVerified(bool verified)
{
    assign(m_brokerIdentityVerified, verified, &AppModel::brokerIdentityVerifiedChanged);
}

void AppModel::setLocalServiceMessage(const QString &message)
{
    assign(m_localServiceMessage, message, &AppModel::localServiceMessageChanged);
}

void AppModel::setStartElapsedSeconds(int seconds)
{
    assign(m_startElapsedSeconds, seconds, &AppModel::localServiceStartElapsedSecondsChanged);
}

void AppModel::setBrokerListeningObserved(bool observed)
{
    assign(m_brokerListeningObserved, observed, &AppModel::localServiceBrokerListeningObservedChanged);
}

void AppModel::setActionInProgress(bool inProgress)
{
    assign(m_actionInProgress, inProgress, &AppModel::localServiceActionInProgressChanged);
}

void AppModel::setReconcileInProgress(bool inProgress)
{
    assign(m_reconcileInProgress, inProgress, &AppModel::localServiceReconcileInProgressChanged);
}

void AppModel::setRefreshing(bool refreshing)
{
    assign(m_isRefreshing, refreshing, &AppModel::isRefreshingChanged);
}
