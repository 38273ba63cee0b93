#pragma once

#include "ApprovalSummary.h"

#include <QCoroTask>
#include <QHash>
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

    // Sends the digest of the request shown, so the broker runs nothing else; one the list shows
    // cut is approved only once its whole request has been loaded (and so could be read).
    QCoro::Task<> approve(ApprovalSummary approval);
    QCoro::Task<> deny(ApprovalSummary approval);
    // Loads the whole request of an approval the list shows cut.
    QCoro::Task<> loadWholeRequest(ApprovalSummary approval);
    // The approval as it may be read and approved: with its whole input once loaded.
    ApprovalSummary reviewable(const ApprovalSummary &approval) const;
    bool needsWholeRequest(const ApprovalSummary &approval) const;
    // Needs a selected connector; does nothing without one.
    QCoro::Task<> requestProtectedWrite();

    // The selected connector's first tool that writes, or the usual write tool of its kind.
    QString protectedWriteToolID() const;
    static QString approveActionKey(const ApprovalSummary &approval);
    static QString denyActionKey(const ApprovalSummary &approval);
    static QString loadActionKey(const ApprovalSummary &approval);
    static const QString wholeRequestNeededText;

Q_SIGNALS:
    void wholeRequestsChanged();

private:
    // Locking the operator side empties the list, and so these.
    void forgetSettledRequests();

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    // Whole requests by approval id; an approval is immutable, so a loaded one stays true.
    QHash<QString, ApprovalSummary> m_wholeRequests;
};
