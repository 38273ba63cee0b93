#pragma once

#include "BrokerFailure.h"

#include <QCoroTask>
#include <QObject>

class BrokerSnapshot;
class DashboardHandoff;
class ModelContext;
class OperatorSession;
class ServiceSupervision;

// The refresh cycle that reloads everything from the broker: service status and the repair gate,
// health, posture and operator status, the broker's identity, the operator session, then every
// operator record, applied in one fixed order. One cycle at a time; nothing polls.
class RefreshCycle : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)

public:
    RefreshCycle(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                 OperatorSession &operatorSession, DashboardHandoff &dashboardHandoff, QObject *parent = nullptr);

    bool isRefreshing() const { return m_isRefreshing; }
    QCoro::Task<> refresh();
    // Waits for a running cycle to end, then runs a full one, so an action always sees its outcome.
    QCoro::Task<> refreshWhenIdle();

Q_SIGNALS:
    void isRefreshingChanged();
    // The closing step of every cycle, after `isRefreshing` went false.
    void cycleClosed();

private:
    bool stopsAtServiceGate() const;
    void stopAtServiceGate();
    QCoro::Task<> loadBrokerState();
    QCoro::Task<bool> holdOperatorSession();
    QCoro::Task<> loadOperatorRecords();
    void finishWithFailure(const BrokerFailure &failure);
    void lockAndStop(const QString &message);
    void setRefreshing(bool refreshing);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    OperatorSession &m_operatorSession;
    DashboardHandoff &m_dashboardHandoff;
    bool m_isRefreshing = false;
};
