// Turning the local service on, repairing it, waiting for it and stopping it.
#include "ServiceSupervision.h"

#include "BrokerSnapshot.h"
#include "FirstRunBreadcrumbs.h"
#include "ModelContext.h"
#include "LocalServiceCommandOutcome.h"
#include "LocalServiceController.h"
#include "LocalServiceStatusWords.h"
#include "RecoveryChecklist.h"
#include "BrokerProbes.h"
#include "ServiceRunLock.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QScopeGuard>
#include <QtConcurrent>

using namespace LocalServiceStatusWords;
using Phase = LocalServiceStartPhase::Kind;

namespace {
constexpr double brokerListeningWaitSeconds = 30;
constexpr double listenerHandoffWatchdogSeconds = 90;
constexpr std::chrono::milliseconds statusPollPause(1500);
constexpr std::chrono::milliseconds listenerFreePollPause(200);
constexpr double statusPollTimeoutSeconds = 6;

std::chrono::steady_clock::duration secondsDuration(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}
} // namespace

ServiceSupervision::ServiceSupervision(ModelContext &context, BrokerSnapshot &snapshot, Dependencies dependencies,
                                       QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_deps(std::move(dependencies))
    , m_localServiceStatus(LocalServiceStatus::unavailable(QStringLiteral("unavailable"), context.identity()))
{
    Q_ASSERT(m_deps.controller && m_deps.clock && m_deps.clipboard);
    m_startElapsedTicker.setInterval(std::chrono::seconds(1));
    connect(&m_startElapsedTicker, &QTimer::timeout, this,
            [this] { setStartElapsedSeconds(m_startElapsedSeconds + 1); });
    m_listenerWatchdogTimer.setInterval(std::chrono::milliseconds(500));
    connect(&m_listenerWatchdogTimer, &QTimer::timeout, this, &ServiceSupervision::pollBrokerListenerHandoffWatchdog);
}

ServiceSupervision::~ServiceSupervision() = default;

QString ServiceSupervision::stateDirectory() const
{
    const QString reported = m_localServiceStatus.stateDir.trimmed();
    if (reported.isEmpty())
        return m_context.identity().stateDirectoryPath();
    if (reported == QLatin1StringView("~") || reported.startsWith(QLatin1StringView("~/")))
        return m_context.identity().homeDirectoryPath() + reported.mid(1);
    return reported;
}

QCoro::Task<LocalServiceCommandOutcome> ServiceSupervision::runServiceCommand(LocalServiceCommand command,
                                                                   std::optional<double> timeoutSeconds)
{
    LocalServiceCommandOutcome outcome;
    try {
        outcome.status = co_await m_deps.controller->run(command, timeoutSeconds);
    } catch (const LocalServiceControlError &error) {
        outcome.error = error;
    } catch (const std::exception &) {
        // Whatever else escapes is the platform's; its text may carry paths or output, so only
        // the controller's own wording reaches the user.
        outcome.error = LocalServiceControlError::commandFailed();
    }
    if (outcome.error)
        FirstRunBreadcrumbs::record(QStringLiteral("service command %1 failed: %2")
                                        .arg(LocalServiceCommands::argumentWord(command), outcome.error->description()));
    co_return outcome;
}

QCoro::Task<> ServiceSupervision::runExclusiveServiceAction(std::function<QCoro::Task<>()> action)
{
    if (m_actionInProgress)
        co_return;
    setActionInProgress(true);
    const auto clearInProgress = qScopeGuard([this] {
        m_startElapsedTicker.stop();
        setActionInProgress(false);
    });
    co_await action();
}

QCoro::Task<> ServiceSupervision::installOrStartLocalService()
{
    return runExclusiveServiceAction([this] { return installOrStartWhileGuarded(); });
}

QCoro::Task<> ServiceSupervision::restartLocalService()
{
    return runExclusiveServiceAction([this] { return restartWhileGuarded(); });
}

QCoro::Task<> ServiceSupervision::restartWhileGuarded()
{
    // "install" keeps a healthy broker running as it is; only a stop makes it read its new environment.
    co_await runServiceCommand(LocalServiceCommand::stop);
    co_await waitForListenerFree(m_deps.takeoverWaitSeconds);
    co_await installOrStartWhileGuarded();
}

QCoro::Task<> ServiceSupervision::installOrStartWhileGuarded()
{
    if (showsPortConflict(m_localServiceStatus)) {
        setStartPhase(Phase::portConflict);
        co_await refreshLocalServiceStatus();
        co_return;
    }
    setStartPhase(showsServiceKnown(m_localServiceStatus) ? Phase::starting : Phase::installing);
    startStartElapsedTicker();
    startBrokerListenerHandoffWatchdog(listenerHandoffWatchdogSeconds);

    const LocalServiceCommandOutcome installed = co_await runServiceCommand(LocalServiceCommand::install);
    if (!installed.status) {
        setStartPhase(installed.timedOut() ? LocalServiceStartPhase(Phase::timedOut)
                                           : LocalServiceStartPhase::failedWith(installed.error->description()));
        co_await refreshLocalServiceStatus();
        co_return;
    }
    setLocalServiceStatus(*installed.status);

    if (showsPortConflict(m_localServiceStatus)) {
        setStartPhase(Phase::portConflict);
        co_await m_context.refreshAfterChange();
        co_return;
    }
    if (showsStaleBroker(m_localServiceStatus)) {
        // Awaited into named values throughout: GCC 12 mishandles co_await inside conditions.
        const bool reconciled = co_await reconcileServiceOnLaunch();
        if (!reconciled) {
            setStartPhase(Phase::staleBroker);
            co_await m_context.refreshAfterChange();
            co_return;
        }
    }
    if (showsStartFailed(m_localServiceStatus)) {
        setStartPhase(Phase::startFailed);
        co_await m_context.refreshAfterChange();
        co_return;
    }
    if (!showsBrokerListening(m_localServiceStatus)) {
        setStartPhase(Phase::waitingForBroker);
        const bool listening = co_await waitForBrokerListening(brokerListeningWaitSeconds);
        if (!listening) {
            setStartPhase(showsStartFailed(m_localServiceStatus) ? Phase::startFailed : Phase::timedOut);
            co_await refreshLocalServiceStatus();
            co_return;
        }
    }
    co_await finishStartAfterListening();
}

QCoro::Task<> ServiceSupervision::finishStartAfterListening()
{
    setStartPhase(Phase::checkingKeychain);
    co_await m_context.refreshAfterChange();
    if (brokerReadyAndVerified()) {
        setStartPhase(needsMacOSApproval() ? Phase::needsApproval : Phase::ready);
        emit mainWindowForwardRequested();
    } else if (showsPortConflict(m_localServiceStatus)) {
        setStartPhase(Phase::portConflict);
    } else if (showsStaleBroker(m_localServiceStatus)) {
        setStartPhase(Phase::staleBroker);
    } else {
        setStartPhase(Phase::startFailed);
    }
}

QCoro::Task<bool> ServiceSupervision::waitForBrokerListening(double deadlineSeconds)
{
    const auto deadline = m_deps.clock->now() + secondsDuration(deadlineSeconds);
    while (m_deps.clock->now() < deadline) {
        const LocalServiceCommandOutcome polled =
            co_await runServiceCommand(LocalServiceCommand::status, statusPollTimeoutSeconds);
        if (polled.status) {
            setLocalServiceStatus(*polled.status);
            if (showsBrokerListening(m_localServiceStatus))
                co_return true;
            if (showsPortConflict(m_localServiceStatus) || showsStaleBroker(m_localServiceStatus)
                || showsStartFailed(m_localServiceStatus))
                co_return false;
        }
        // A status command that fails says nothing about the broker: keep waiting.
        co_await m_deps.clock->sleep(statusPollPause);
    }
    co_return showsBrokerListening(m_localServiceStatus);
}

QCoro::Task<bool> ServiceSupervision::reconcileServiceOnLaunch()
{
    if (!showsStaleBroker(m_localServiceStatus) || showsPortConflict(m_localServiceStatus))
        co_return false;
    if (m_reconcileInProgress)
        co_return false;
    setReconcileInProgress(true);
    const auto clearInProgress = qScopeGuard([this] { setReconcileInProgress(false); });

    const std::optional<ServiceRunLock> runLock =
        co_await QtConcurrent::run(&ServiceRunLock::read, m_context.identity().stateRootPath());
    if (runLock)
        FirstRunBreadcrumbs::record(
            QStringLiteral("reconcile: run.lock build %1 pid %2").arg(runLock->buildId).arg(runLock->pid));

    const std::optional<LocalPosture> posture = co_await probeRunningBrokerIdentity();
    if (posture && brokerPostureMatchesInstall(*posture))
        co_return true;

    m_context.status().setStatusMessage(QStringLiteral("Restarting the background service…"));
    co_await runServiceCommand(LocalServiceCommand::stop);
    co_await waitForListenerFree(m_deps.takeoverWaitSeconds);
    const LocalServiceCommandOutcome installed = co_await runServiceCommand(LocalServiceCommand::install);
    if (installed.status)
        setLocalServiceStatus(*installed.status);
    if (!showsBrokerListening(m_localServiceStatus))
        co_await waitForBrokerListening(brokerListeningWaitSeconds);
    co_await m_context.refreshAfterChange();

    if (!brokerReadyAndVerified())
        co_return false;
    m_context.status().setStatusMessage(QStringLiteral("Restarted the background service."));
    co_return true;
}

bool ServiceSupervision::brokerPostureMatchesInstall(const LocalPosture &posture) const
{
    const auto sameNonEmpty = [](const std::optional<QString> &running, const std::optional<QString> &installed) {
        return running && installed && !running->trimmed().isEmpty() && running->trimmed() == installed->trimmed();
    };
    const LocalServiceStatus &installed = m_localServiceStatus;
    return sameNonEmpty(posture.buildId, installed.buildId) && sameNonEmpty(posture.buildChannel, installed.buildChannel)
        && sameNonEmpty(posture.serviceRoot, installed.serviceRoot);
}

QCoro::Task<bool> ServiceSupervision::waitForListenerFree(double timeoutSeconds)
{
    const qint64 port = m_context.brokerPort();
    if (port > 65535)
        co_return false;
    const auto deadline = m_deps.clock->now() + secondsDuration(timeoutSeconds);
    while (m_deps.clock->now() < deadline) {
        const bool listening = co_await loopbackPortIsListening(port);
        if (!listening)
            co_return true;
        co_await m_deps.clock->sleep(listenerFreePollPause);
    }
    const bool listening = co_await loopbackPortIsListening(port);
    co_return !listening;
}

QCoro::Task<bool> ServiceSupervision::loopbackPortIsListening(qint64 port)
{
    return BrokerProbes::loopbackPortIsListening(port);
}

QCoro::Task<> ServiceSupervision::refreshLocalServiceStatus()
{
    const LocalServiceCommandOutcome read = co_await runServiceCommand(LocalServiceCommand::status);
    if (read.status) {
        setLocalServiceStatus(*read.status);
        const LocalServiceStatus &status = m_localServiceStatus;
        if (!showsBrokerListening(status) && !showsPortConflict(status) && !showsStaleBroker(status)
            && !showsStartFailed(status)) {
            // A broker that answers is recognised even when the script says otherwise.
            const bool answers = co_await probeBrokerHealthDirect();
            setBrokerListeningObserved(answers);
        }
        co_return;
    }
    setLocalServiceStatus(LocalServiceStatus::unavailable(QStringLiteral("unavailable"), m_context.identity()));
    const bool healthy = co_await probeBrokerHealthDirect();
    if (healthy) {
        setBrokerListeningObserved(true);
        m_context.status().setStatusMessage(QStringLiteral("Local service is running"));
    } else {
        m_context.lockOperatorSurfaces(QStringLiteral("TVN status unavailable"));
    }
}

QCoro::Task<> ServiceSupervision::confirmLocalServiceStartOrRepair()
{
    // "Continue": the broker already runs and is ours; show it rather than install it again.
    if (!primaryServiceActionNeedsConfirmation()) {
        co_await m_context.refreshAfterChange();
        emit mainWindowForwardRequested();
        co_return;
    }
    const bool repairFirst = showsStartFailed(m_localServiceStatus) || showsStaleBroker(m_localServiceStatus)
        || localServiceUnavailableNeedsManualCheck();
    if (repairFirst) {
        const bool reconciled = co_await reconcileServiceOnLaunch();
        if (reconciled) {
            co_await m_context.refreshAfterChange();
            co_return;
        }
    }
    co_await installOrStartLocalService();
}

bool ServiceSupervision::canStopLocalService() const
{
    return showsServiceKnown(m_localServiceStatus) || showsBrokerListening(m_localServiceStatus);
}

QCoro::Task<> ServiceSupervision::stopLocalService()
{
    return runExclusiveServiceAction([this] { return stopWhileGuarded(); });
}

QCoro::Task<> ServiceSupervision::stopWhileGuarded()
{
    m_context.status().setStatusMessage(QStringLiteral("Stopping TVN local service"));
    const LocalServiceCommandOutcome stopped = co_await runServiceCommand(LocalServiceCommand::stop);
    if (stopped.error) {
        m_context.status().fail(stopped.error->description());
    } else {
        setLocalServiceStatus(*stopped.status);
        // The last start is over once the user turned the service off: no phase claims it is on.
        setStartPhase(Phase::idle);
    }
    co_await m_context.refreshAfterChange();
}

void ServiceSupervision::setStartPhase(const LocalServiceStartPhase &phase)
{
    if (!(m_startPhase == phase)) {
        m_startPhase = phase;
        emit localServiceStartPhaseChanged();
    }
    if (!phase.title().isEmpty())
        m_context.status().setStatusMessage(phase.title());
    if (!phase.detail().isEmpty())
        setLocalServiceMessage(phase.detail());
    FirstRunBreadcrumbs::record(QStringLiteral("setStartPhase"), phase.name());
}

void ServiceSupervision::reconcileStartPhase()
{
    if (m_actionInProgress)
        return;
    if (!brokerReadyAndVerified())
        return;
    const bool approval = needsMacOSApproval();
    if (m_startPhase.kind() == Phase::needsApproval) {
        if (!approval)
            setStartPhase(Phase::ready);
        return;
    }
    if (m_startPhase.kind() == Phase::idle || m_startPhase.isInProgress() || m_startPhase.isFailure())
        setStartPhase(approval ? Phase::needsApproval : Phase::ready);
}

void ServiceSupervision::startStartElapsedTicker()
{
    m_startElapsedTicker.stop();
    setStartElapsedSeconds(0);
    m_startElapsedTicker.start();
}

void ServiceSupervision::startBrokerListenerHandoffWatchdog(double deadlineSeconds)
{
    stopBrokerListenerHandoffWatchdog();
    setBrokerListeningObserved(showsBrokerListening(m_localServiceStatus));
    if (m_context.brokerPort() > 65535)
        return;
    m_listenerWatchdogDeadline = m_deps.clock->now() + secondsDuration(deadlineSeconds);
    m_listenerWatchdogTimer.start();
}

void ServiceSupervision::stopBrokerListenerHandoffWatchdog()
{
    m_listenerWatchdogTimer.stop();
    ++m_listenerWatchdogGeneration;
    m_listenerWatchdogProbeInFlight = false;
}

void ServiceSupervision::pollBrokerListenerHandoffWatchdog()
{
    if (m_deps.clock->now() >= m_listenerWatchdogDeadline) {
        stopBrokerListenerHandoffWatchdog();
        return;
    }
    if (m_listenerWatchdogProbeInFlight)
        return;
    m_listenerWatchdogProbeInFlight = true;
    const quint64 generation = m_listenerWatchdogGeneration;
    QCoro::connect(loopbackPortIsListening(m_context.brokerPort()), this, [this, generation](bool listening) {
        // A probe of a watchdog that was stopped or replaced meanwhile decides nothing.
        if (generation != m_listenerWatchdogGeneration)
            return;
        m_listenerWatchdogProbeInFlight = false;
        if (!listening || m_deps.clock->now() >= m_listenerWatchdogDeadline)
            return;
        stopBrokerListenerHandoffWatchdog();
        emit brokerListenerObserved();
    });
}

void ServiceSupervision::copyServiceDebugInfo()
{
    m_deps.clipboard->setText(serviceDebugInfoText());
    m_context.status().setStatusMessage(QStringLiteral("Service debug info copied (no secrets)"));
}

void ServiceSupervision::copyRecoveryChecklist()
{
    const TVNRuntimeIdentity &identity = m_context.identity();
    const RecoveryChecklist checklist{identity.appName(),
                                      identity.homeDirectoryPath(),
                                      m_context.brokerURL(),
                                      controller().serviceRegistrationPath(),
                                      identity.logDirectoryPath(),
                                      m_context.metadata().buildId(),
                                      m_context.metadata().sourceShaDisplay(),
                                      localServiceStatusTitle(),
                                      m_localServiceStatus.status,
                                      m_localServiceStatus.broker};
    m_deps.clipboard->setText(checklist.text());
    m_context.status().setStatusMessage(QStringLiteral("Recovery checklist copied (no secrets)"));
}

QString ServiceSupervision::serviceDebugInfoText() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    const auto flag = [](const std::optional<bool> &value) {
        return value ? (*value ? QStringLiteral("true") : QStringLiteral("false")) : QStringLiteral("unknown");
    };
    const QString sourceSha = m_context.metadata().infoDictionary().value(QStringLiteral("TVNSourceSha")).toString().trimmed();
    const QStringList lines = {
        QStringLiteral("Torvane — service debug info"),
        QStringLiteral("App build: %1 (%2)")
            .arg(status.buildId.value_or(QStringLiteral("unknown")), status.buildChannel.value_or(QStringLiteral("unknown"))),
        QStringLiteral("Release build ID: ") + m_context.metadata().buildId(),
        QStringLiteral("Release source SHA: ") + (sourceSha.isEmpty() ? QStringLiteral("unknown") : sourceSha),
        QStringLiteral("Broker build: ") + status.brokerBuildId.value_or(QStringLiteral("not running")),
        QStringLiteral("Broker matches install: ") + flag(status.brokerMatchesInstall),
        QStringLiteral("Trusted paths match: ") + flag(status.brokerTrustedAppPathsMatch),
        QStringLiteral("Status: %1 / broker: %2").arg(status.status, status.broker),
    };
    return lines.join(QLatin1Char('\n'));
}

template <typename T>
void ServiceSupervision::assign(T &field, const T &value, void (ServiceSupervision::*changed)())
{
    if (field == value)
        return;
    field = value;
    emit(this->*changed)();
}

void ServiceSupervision::setLocalServiceStatus(const LocalServiceStatus &status)
{
    assign(m_localServiceStatus, status, &ServiceSupervision::localServiceStatusChanged);
}

void ServiceSupervision::setLocalServiceMessage(const QString &message)
{
    assign(m_localServiceMessage, message, &ServiceSupervision::localServiceMessageChanged);
}

void ServiceSupervision::setStartElapsedSeconds(int seconds)
{
    assign(m_startElapsedSeconds, seconds, &ServiceSupervision::localServiceStartElapsedSecondsChanged);
}

void ServiceSupervision::setBrokerListeningObserved(bool observed)
{
    assign(m_brokerListeningObserved, observed, &ServiceSupervision::localServiceBrokerListeningObservedChanged);
}

void ServiceSupervision::setActionInProgress(bool inProgress)
{
    assign(m_actionInProgress, inProgress, &ServiceSupervision::localServiceActionInProgressChanged);
}

void ServiceSupervision::setReconcileInProgress(bool inProgress)
{
    assign(m_reconcileInProgress, inProgress, &ServiceSupervision::localServiceReconcileInProgressChanged);
}
