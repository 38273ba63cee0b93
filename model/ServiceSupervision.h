#pragma once

#include "CodeSigningReaderLinux.h"
#include "LocalPosture.h"
#include "LocalServiceStartPhase.h"
#include "LocalServiceStatus.h"
#include "ProcessTableLinux.h"
#include "SupervisionClock.h"
#include "TextClipboard.h"

#include <QCoroTask>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class BrokerSnapshot;
class LocalServiceController;
class ModelContext;
enum class LocalServiceCommand;
struct LocalServiceCommandOutcome;

// Turning the local service on, repairing it, waiting for it, stopping it, and telling the user
// where it stands; plus the verification that the listener on the port is our broker.
class ServiceSupervision : public QObject
{
    Q_OBJECT
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

public:
    struct Dependencies {
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

    ServiceSupervision(ModelContext &context, BrokerSnapshot &snapshot, Dependencies dependencies,
                       QObject *parent = nullptr);
    ~ServiceSupervision() override;

    LocalServiceController &controller() const { return *m_deps.controller; }

    LocalServiceStatus localServiceStatus() const { return m_localServiceStatus; }
    LocalServiceStartPhase localServiceStartPhase() const { return m_startPhase; }
    int localServiceStartElapsedSeconds() const { return m_startElapsedSeconds; }
    bool localServiceBrokerListeningObserved() const { return m_brokerListeningObserved; }
    bool localServiceActionInProgress() const { return m_actionInProgress; }
    bool localServiceReconcileInProgress() const { return m_reconcileInProgress; }
    QString localServiceMessage() const { return m_localServiceMessage; }
    // The state directory the status reports, "~" expanded; the identity's when none is reported.
    QString stateDirectory() const;

    // Predicates and texts.
    bool localServiceRepairRequired() const;
    bool localServiceUnavailableNeedsManualCheck() const;
    bool localServiceBrokerOfflineGraceElapsed() const;
    QString localServiceStatusTitle() const;
    QString localServiceStatusDetail() const;
    QString primaryServiceActionTitle() const;
    QString serviceConfirmationTitle() const;
    QString serviceConfirmationMessage() const;
    QString serviceConfirmationButtonTitle() const;
    // "Continue" on a running, verified broker turns nothing on, so it asks nothing.
    bool primaryServiceActionNeedsConfirmation() const { return !brokerReadyAndVerified(); }
    // Stop has something to stop: an installed service or a listening broker.
    bool canStopLocalService() const;
    // The broker answers as "switchyard-broker" and no repair is required.
    bool brokerHealthReady() const;
    // Ready and verified: the state every "Torvane is on" text depends on.
    bool brokerReadyAndVerified() const;
    bool needsMacOSApproval() const;
    // The broker on the port is not this install's and must be replaced.
    bool brokerNeedsRepair() const;

    // Actions.
    QCoro::Task<> installOrStartLocalService();
    // Stops the broker first, so a running one really picks up a changed environment.
    QCoro::Task<> restartLocalService();
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
    // The redacted recovery checklist, with the last status read (nothing is re-read or repaired).
    void copyRecoveryChecklist();
    void setLocalServiceMessage(const QString &message);

    // Broker identity: none of these sends operator credentials.
    QCoro::Task<bool> ensureBrokerIdentityVerified();
    // True when the broker answers a healthy "/health" as "switchyard-broker".
    QCoro::Task<bool> probeBrokerHealthDirect();
    // The running broker's posture, or none.
    QCoro::Task<std::optional<LocalPosture>> probeRunningBrokerIdentity();
    // In the development lane the broker must serve exactly this runtime's label, port and paths.
    bool developmentBrokerMatchesRuntime(const LocalPosture &posture) const;

Q_SIGNALS:
    void localServiceStatusChanged();
    void localServiceStartPhaseChanged();
    void localServiceStartElapsedSecondsChanged();
    void localServiceBrokerListeningObservedChanged();
    void localServiceActionInProgressChanged();
    void localServiceReconcileInProgressChanged();
    void localServiceMessageChanged();
    // The shell brings the main window forward (a finished start).
    void mainWindowForwardRequested();
    // Once per watchdog, when the broker port starts accepting connections before its deadline.
    void brokerListenerObserved();

private:
    // Runs one service command; errors come back as a value so every caller handles them.
    QCoro::Task<LocalServiceCommandOutcome> runServiceCommand(LocalServiceCommand command,
                                                              std::optional<double> timeoutSeconds = std::nullopt);
    // Runs `action` unless a service action is already in progress (then returns at once).
    QCoro::Task<> runExclusiveServiceAction(std::function<QCoro::Task<>()> action);
    QCoro::Task<> installOrStartWhileGuarded();
    QCoro::Task<> restartWhileGuarded();
    QCoro::Task<> stopWhileGuarded();
    QCoro::Task<> finishStartAfterListening();
    bool brokerPostureMatchesInstall(const LocalPosture &posture) const;
    QString serviceDebugInfoText() const;

    template <typename T>
    void assign(T &field, const T &value, void (ServiceSupervision::*changed)());
    void setLocalServiceStatus(const LocalServiceStatus &status);
    void setStartElapsedSeconds(int seconds);
    void setBrokerListeningObserved(bool observed);
    void setActionInProgress(bool inProgress);
    void setReconcileInProgress(bool inProgress);
    void stopBrokerListenerHandoffWatchdog();
    void pollBrokerListenerHandoffWatchdog();

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    Dependencies m_deps;

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
