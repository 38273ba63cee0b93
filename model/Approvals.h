#pragma once

#include "ApprovalSummary.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

class BrokerSnapshot;
class ModelContext;

// Pending approvals of risky writes: approving or denying one, and the smoke test that asks the
// broker for a protected write so that an approval appears. The approvals and the audit chain
// themselves are records of the broker snapshot.
class Approvals : public QObject
{
    Q_OBJECT

public:
    static const QString protectedWriteActionKey;
    static const QString smokeTestText;

    Approvals(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent = nullptr);

    QCoro::Task<> approve(ApprovalSummary approval);
    QCoro::Task<> deny(ApprovalSummary approval);
    // Needs a selected connector; does nothing without one.
    QCoro::Task<> requestProtectedWrite();

    // The selected connector's first tool that writes, or the usual write tool of its kind.
    QString protectedWriteToolID() const;
    static QString approveActionKey(const ApprovalSummary &approval);
    static QString denyActionKey(const ApprovalSummary &approval);

private:
    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
};
