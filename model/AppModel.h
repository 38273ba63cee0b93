#pragma once

#include "AppMetadata.h"
#include "BrokerClient.h"
#include "BrokerHealth.h"
#include "BrokerPeerVerification.h"
#include "CodeSigningReaderLinux.h"
#include "LocalPosture.h"
#include "LocalServiceStartPhase.h"
#include "LocalServiceStatus.h"
#include "ProcessTableLinux.h"
#include "StatusBanner.h"
#include "SupervisionClock.h"
#include "TVNRuntimeIdentity.h"
#include "TextClipboard.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class LocalServiceController;
enum class LocalServiceCommand;
struct LocalServiceCommandOutcome;

// The single observable model of the app. It lives on the GUI thread for the whole process;
// every field changes there and nowhere else. Long operations are coroutines; re-entry is refused
// by the in-progress flags and `runningActions`, never by locks.
class AppModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUrl brokerURL READ brokerURL CONSTANT)
    Q_PROPERTY(QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(StatusBanner statusBanner READ statusBanner NOTIFY statusBannerChanged)
    Q_PROPERTY(QString lastActionError READ lastActionError NOTIFY lastActionErrorChanged)
    Q_PROPERTY(QStringList runningActions READ runningActions NOTIFY runningActionsChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(LocalServiceStatus localServiceStatus READ localServiceStatus NOTIFY localServiceStatusChanged)
    Q_PROPERTY(LocalServiceStartPhase localServiceStartPhase READ localServiceStartPhase NOTIFY
                   localServiceStartPhaseChanged)
    Q_PROPERTY(int localServiceStartElapsedSeconds READ localServiceStartElapsedSeconds NOTIFY
                   localServiceStartElapsedSecondsChanged)
    Q_PROPERTY(bool localServiceBrokerListeningObserved READ localServiceBrokerListeningObserved NOTIFY
                   localServiceBrokerListeningObservedChanged)
    Q_PROPERTY(bool localServiceActionInProgress READ localServiceActionInProgress NOTIFY
                   localServiceActionInProgressChanged)
    Q_PROPERTY(bool localServiceReconcileInProgress READ localServiceReconcileInProgress NOTIFY
                   localServiceReconcileInProgressChanged)
    Q_PROPERTY(QString localServiceMessage READ localServiceMessage NOTIFY localServiceMessageChanged)
    Q_PROPERTY(BrokerHealth health READ health NOTIFY healthChanged)
    Q_PROPERTY(bool brokerIdentityVerified READ brokerIdentityVerified NOTIFY brokerIdentityVerifiedChanged)
    Q_PROPERTY(QString brokerPeerTrustLabel READ brokerPeerTrustLabel NOTIFY brokerIdentityVerifiedChanged)

public:
    // Everything the model talks to, so tests can put their own in place.
    struct Dependencies {
        TVNRuntimeIdentity identity;
        AppMetadata metadata;
        std::shared_ptr<LocalServiceController> controller;
        std::shared_ptr<SupervisionClock> clock = std::make_shared<SupervisionClock>();
        // Required: "Copy debug info" must never claim a copy it did not make.
        std::shared_ptr<TextClipboard> clipboard;
        // Who owns the broker port, and what their code signatures say.
        std::shared_ptr<const ProcessTable> processTable = std::make_shared<ProcessTableLinux>();
        std::shared_ptr<const CodeSigningReader> codeSigning = std::make_shared<CodeSigningReaderLinux>();
        // "TVN_TAKEOVER_WAIT_SECONDS", already clamped.
        double takeoverWaitSeconds = 5;
    };
    // The running app's identity, metadata, controller and environment; the clipboard comes from the window.
    static Dependencies defaultDependencies(std::shared_ptr<TextClipboard> clipboard);

    explicit AppModel(Dependencies dependencies, QObject *parent = nullptr);
    ~AppModel() override;

    const TVNRuntimeIdentity &identity() const { return m_deps.identity; }
    QUrl brokerURL() const { return m_brokerURL; }
    // The port of the broker URL, or the identity's port when the URL names none.
    qint64 brokerPort() const;

    // Status line and banner.
    QString statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const QString &message);
    // The last published banner; `seq` 0 means none was published yet.
    StatusBanner statusBanner() const { return m_statusBanner.value_or(StatusBanner{}); }
    QString lastActionError() const { return m_lastActionError.value_or(QString()); }
    void fail(const QString &message);
    void publishBanner(const QString &message);
    static StatusBanner::Kind classifyStatus(const QString &message);

    // Keys of the long actions in flight ("health", "approve:<id>", …).
    QStringList runningActions() const;
    bool isActionRunning(const QString &key) const { return m_runningActions.contains(key); }
    // False when the action already runs: the caller must not start it again.
    bool beginAction(const QString &key);
    void endAction(const QString &key);

    bool isRefreshing() const { return m_isRefreshing; }
    BrokerHealth health() const { return m_health; }
    bool brokerIdentityVerified() const { return m_brokerIdentityVerified; }
    // The last peer verdict ("unenforceable: …", "rejected: …", "trusted"); empty before the first check.
    QString brokerPeerTrustLabel() const;

    // Service supervision state.
    LocalServiceStatus localServiceStatus() const { return m_localServiceStatus; }
    LocalServiceStartPhase localServiceStartPhase() const { return m_startPhase; }
    int localServiceStartElapsedSeconds() const { return m_startElapsedSeconds; }
    bool localServiceBrokerListeningObserved() const { return m_brokerListeningObserved; }
    bool localServiceActionInProgress() const { return m_actionInProgress; }
    bool localServiceReconcileInProgress() const { return m_reconcileInProgress; }
    QString localServiceMessage() const { return m_localServiceMessage; }

    // Supervision predicates and texts.
    bool localServiceRepairRequired() const;
    bool localServiceUnavailableNeedsManualCheck() const;
    bool localServiceBrokerOfflineGraceElapsed() const;
    QString localServiceStatusTitle() const;
    QString localServiceStatusDetail() const;
    QString primaryServiceActionTitle() const;
    QString serviceConfirmationTitle() const;
    QString serviceConfirmationMessage() const;
    QString serviceConfirmationButtonTitle() const;
    // The broker answers as "switchyard-broker" and no repair is required.
    bool brokerHealthReady() const;
    // Ready and verified: the state every "Torvane is on" text depends on.
    bool brokerReadyAndVerified() const { return brokerHealthReady() && m_brokerIdentityVerified; }
    bool needsMacOSApproval() const;

    // Service supervision actions.
    QCoro::Task<> installOrStartLocalService();
    QCoro::Task<> confirmLocalServiceStartOrRepair();
    QCoro::Task<> refreshLocalServiceStatus();
    QCoro::Task<bool> reconcileServiceOnLaunch();
    QCoro::Task<> stopLocalService();
    QCoro::Task<bool> waitForBrokerListening(double deadlineSeconds);
    QCoro::Task<bool> waitForListenerFree(double timeoutSeconds);
    // A TCP connect to 127.0.0.1 that never blocks the GUI thread.
    static QCoro::Task<bool> loopbackPortIsListening(qint64 port);
    void setStartPhase(const LocalServiceStartPhase &phase);
    void reconcileStartPhase();
    void startStartElapsedTicker();
    void startBrokerListenerHandoffWatchdog(double deadlineSeconds);
    void copyServiceDebugInfo();
    // Called once by the listener watchdog when the port starts accepting connections.
    void handleBrokerListeningObservedForDashboardHandoff();

    // Broker identity: none of these sends operator credentials.
    QCoro::Task<bool> ensureBrokerIdentityVerified();
    // True when the broker answers a healthy "/health" as "switchyard-broker".
    QCoro::Task<bool> probeBrokerHealthDirect();
    // The running broker's posture, or none.
    QCoro::Task<std::optional<LocalPosture>> probeRunningBrokerIdentity();
    // In the development lane the broker must serve exactly this runtime's label, port and paths.
    bool developmentBrokerMatchesRuntime(const LocalPosture &posture) const;

    // The refresh cycle: service status, repair gate, broker health and identity.
    QCoro::Task<> refresh();
    // Clears operator-only data and shows `message`.
    void lockOperatorSurfaces(const QString &message);

Q_SIGNALS:
    void statusMessageChanged();
    void statusBannerChanged();
    void lastActionErrorChanged();
    void runningActionsChanged();
    void isRefreshingChanged();
    void localServiceStatusChanged();
    void localServiceStartPhaseChanged();
    void localServiceStartElapsedSecondsChanged();
    void localServiceBrokerListeningObservedChanged();
    void localServiceActionInProgressChanged();
    void localServiceReconcileInProgressChanged();
    void localServiceMessageChanged();
    void healthChanged();
    void brokerIdentityVerifiedChanged();
    // The shell brings the main window forward (dashboard handoff, a finished start).
    void mainWindowForwardRequested();

private:
    // Runs one service command; errors come back as a value so every caller handles them.
    QCoro::Task<LocalServiceCommandOutcome> runServiceCommand(LocalServiceCommand command,
                                                              std::optional<double> timeoutSeconds = std::nullopt);
    // A full refresh that waits for a running cycle to end first, so a service action always
    // sees its own outcome.
    QCoro::Task<> refreshAfterServiceChange();
    // The parts of the refresh cycle after the service gate; the full broker reload joins here.
    QCoro::Task<> refreshBrokerState();
    void finishRefreshWithFailure(const BrokerFailure &failure);
    // Runs `action` unless a service action is already in progress (then returns at once).
    QCoro::Task<> runExclusiveServiceAction(std::function<QCoro::Task<>()> action);
    QCoro::Task<> installOrStartWhileGuarded();
    QCoro::Task<> stopWhileGuarded();
    QCoro::Task<> finishStartAfterListening();
    bool refreshStopsAtServiceGate();
    void stopRefreshAtServiceGate();
    bool brokerNeedsRepair() const;
    bool brokerPostureMatchesInstall(const LocalPosture &posture) const;
    QString serviceDebugInfoText() const;

    // Stores `value` and emits `changed` when it differs from what `field` holds.
    template <typename T>
    void assign(T &field, const T &value, void (AppModel::*changed)());
    void setLocalServiceStatus(const LocalServiceStatus &status);
    void setHealth(const BrokerHealth &health);
    void setBrokerIdentityVerified(bool verified);
    void setLocalServiceMessage(const QString &message);
    void setStartElapsedSeconds(int seconds);
    void setBrokerListeningObserved(bool observed);
    void setActionInProgress(bool inProgress);
    void setReconcileInProgress(bool inProgress);
    void setRefreshing(bool refreshing);
    void stopBrokerListenerHandoffWatchdog();
    void pollBrokerListenerHandoffWatchdog();

    Dependencies m_deps;
    QUrl m_brokerURL;
    BrokerClient m_client;

    QString m_statusMessage;
    std::optional<StatusBanner> m_statusBanner;
    std::optional<QString> m_lastActionError;
    int m_statusSeq = 0;
    QSet<QString> m_runningActions;
    bool m_isRefreshing = false;

    BrokerHealth m_health;
    bool m_brokerIdentityVerified = false;
    std::optional<BrokerPeerVerification> m_brokerPeerVerification;

    LocalServiceStatus m_localServiceStatus;
    LocalServiceStartPhase m_startPhase;
    int m_startElapsedSeconds = 0;
    bool m_brokerListeningObserved = false;
    bool m_actionInProgress = false;
    bool m_reconcileInProgress = false;
    QString m_localServiceMessage;

    QTimer m_startElapsedTicker;
    QTimer m_listenerWatchdogTimer;
    SupervisionClock::TimePoint m_listenerWatchdogDeadline;
    // Bumped on every (re)start or stop, so a probe that returns late from an old watchdog is ignored.
    quint64 m_listenerWatchdogGeneration = 0;
    bool m_listenerWatchdogProbeInFlight = false;
};
