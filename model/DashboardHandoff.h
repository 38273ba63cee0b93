#pragma once

#include "LocalServiceStartPhase.h"
#include "LocalServiceStatus.h"

#include <QCoroTask>
#include <QObject>

class BrokerSnapshot;
class ModelContext;
class OperatorSession;
class ServiceSupervision;
class VaultUnlock;

// The moment a starting broker starts listening: bring the window forward, prove the listener is
// our broker, load its health, posture and operator policy, settle the vault and the session, and
// only then mark the start ready, which swaps the splash for the dashboard. Also the web first-run
// flag the dashboard reports ("tvn.webFirstRunCompleted").
class DashboardHandoff : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool webFirstRunCompleted READ webFirstRunCompleted NOTIFY webFirstRunCompletedChanged)

public:
    static const QString webFirstRunCompletedKey;

    DashboardHandoff(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                     OperatorSession &operatorSession, VaultUnlock &vaultUnlock, QObject *parent = nullptr);

    bool webFirstRunCompleted() const { return m_webFirstRunCompleted; }
    bool brokerAttachInProgress() const { return m_attachInProgress; }

    // Both entry points are skipped unless a start is under way and the service reports no conflict,
    // stale broker or start failure.
    static bool handoffGateAllows(const LocalServiceStatus &status, const LocalServiceStartPhase &phase,
                                  bool serviceActionInProgress);

    // The listener watchdog saw the broker port accept a connection.
    void handleBrokerListeningObservedForDashboardHandoff();
    QCoro::Task<> attachToObservedBrokerForDashboardHandoff();
    void bringMainWindowForwardForDashboardHandoff();

    void markWebFirstRunCompleted();
    void clearWebFirstRunCompleted();

Q_SIGNALS:
    void webFirstRunCompletedChanged();
    // The window comes forward; the breadcrumb is already recorded.
    void mainWindowActivationRequested();

private:
    bool gateAllows() const;
    // The attach after its gate; the in-progress mark is held by the caller.
    QCoro::Task<> attachWhileMarked();
    void settleAfterFailedProbe();
    void setWebFirstRunCompleted(bool completed);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    OperatorSession &m_operatorSession;
    VaultUnlock &m_vaultUnlock;
    bool m_webFirstRunCompleted = false;
    bool m_attachInProgress = false;
};
