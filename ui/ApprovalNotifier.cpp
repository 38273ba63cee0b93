#include "ApprovalNotifier.h"

#include "AppModel.h"
#include "DesktopNotifications.h"

const QString ApprovalNotifier::approveActionKey = QStringLiteral("approve");
const QString ApprovalNotifier::openActionKey = QStringLiteral("open");

namespace {
const QString defaultActionKey = QStringLiteral("default");

QString summaryOf(const ApprovalSummary &approval)
{
    return QStringLiteral("Approval needed: ") + approval.toolId;
}

QString bodyOf(const ApprovalSummary &approval)
{
    return QStringLiteral("%1 wants to run %2 on %3 (risk %4). The request expires at %5.")
        .arg(approval.agentId, approval.toolId, approval.connectorId, approval.risk, approval.expiresAt);
}
} // namespace

QList<DesktopNotifications::Action> ApprovalNotifier::actionsFor(const ApprovalSummary &approval) const
{
    // One the list shows cut has to be read whole in the main window first.
    if (m_model->approvals()->needsWholeRequest(approval))
        return {{openActionKey, QStringLiteral("Open")}};
    return {{approveActionKey, QStringLiteral("Approve")}, {openActionKey, QStringLiteral("Open")}};
}

ApprovalNotifier::ApprovalNotifier(AppModel *model, DesktopNotifications *notifications, QObject *parent)
    : QObject(parent), m_model(model), m_notifications(notifications)
{
    connect(m_model->snapshot(), &BrokerSnapshot::operatorRecordsChanged, this, &ApprovalNotifier::notifyNewApprovals);
    connect(m_notifications, &DesktopNotifications::actionInvoked, this, &ApprovalNotifier::answer);
    notifyNewApprovals();
}

void ApprovalNotifier::notifyNewApprovals()
{
    QSet<QString> pending;
    for (const ApprovalSummary &approval : m_model->snapshot()->approvals()) {
        pending.insert(approval.id);
        if (m_announced.contains(approval.id))
            continue;
        m_notifications->notify(approval.id, summaryOf(approval), bodyOf(approval), actionsFor(approval));
    }
    for (const QString &settled : m_announced - pending)
        m_notifications->withdraw(settled);
    m_announced = pending;
}

void ApprovalNotifier::answer(const QString &approvalID, const QString &actionKey)
{
    if (actionKey == openActionKey || actionKey == defaultActionKey) {
        Q_EMIT openMainWindowRequested();
        return;
    }
    if (actionKey != approveActionKey)
        return;
    // Only an approval the last refresh still lists: one settled meanwhile is not run again.
    for (const ApprovalSummary &approval : m_model->snapshot()->approvals()) {
        if (approval.id == approvalID) {
            m_model->approve(approval);
            return;
        }
    }
}
