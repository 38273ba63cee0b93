#include "Approvals.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "OperatorRequests.h"

#include <QScopeGuard>
#include <QSet>

const QString Approvals::protectedWriteActionKey = QStringLiteral("writeTest");
const QString Approvals::smokeTestText = QStringLiteral("Linux approval smoke test");
const QString Approvals::wholeRequestNeededText =
    QStringLiteral("This request is too long to show in the list: show the whole request before approving it.");

namespace {
// The agent the smoke test speaks for; it holds no key, the operator session vouches for it.
const QString smokeTestAgent = QStringLiteral("codex");

QJsonObject denyBody()
{
    return {{QStringLiteral("reason"), QStringLiteral("Denied from Torvane Linux app")}};
}

// Only the smoke-test text: the broker checks it against the tool's inputs when the operator
// approves, so approving the smoke test never writes to the provider.
QJsonObject protectedWriteBody(const QString &connectorID, const QString &toolID)
{
    return {{QStringLiteral("agentId"), smokeTestAgent},
            {QStringLiteral("connectorId"), connectorID},
            {QStringLiteral("toolId"), toolID},
            {QStringLiteral("input"), QJsonObject{{QStringLiteral("text"), Approvals::smokeTestText}}}};
}
} // namespace

Approvals::Approvals(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent)
    : QObject(parent), m_context(context), m_snapshot(snapshot)
{
    connect(&snapshot, &BrokerSnapshot::operatorRecordsChanged, this, &Approvals::forgetSettledRequests);
}

void Approvals::forgetSettledRequests()
{
    QSet<QString> pending;
    for (const ApprovalSummary &approval : m_snapshot.approvals())
        pending.insert(approval.id);
    if (m_wholeRequests.removeIf([&pending](auto entry) { return !pending.contains(entry.key()); }) > 0)
        Q_EMIT wholeRequestsChanged();
}

QString Approvals::approveActionKey(const ApprovalSummary &approval)
{
    return QStringLiteral("approve:") + approval.id;
}

QString Approvals::denyActionKey(const ApprovalSummary &approval)
{
    return QStringLiteral("deny:") + approval.id;
}

QString Approvals::loadActionKey(const ApprovalSummary &approval)
{
    return QStringLiteral("wholeRequest:") + approval.id;
}

bool Approvals::needsWholeRequest(const ApprovalSummary &approval) const
{
    return approval.isDisplayTruncated() && !m_wholeRequests.contains(approval.id);
}

ApprovalSummary Approvals::reviewable(const ApprovalSummary &approval) const
{
    return m_wholeRequests.value(approval.id, approval);
}

QCoro::Task<> Approvals::approve(ApprovalSummary approval)
{
    if (needsWholeRequest(approval)) {
        m_context.status().fail(wholeRequestNeededText);
        co_return;
    }
    QJsonObject body;
    if (approval.requestDigest)
        body.insert(QStringLiteral("requestDigest"), *approval.requestDigest);
    co_await OperatorRequests::postAndRefresh(m_context, approveActionKey(approval), QStringLiteral("Approving ") + approval.toolId,
                                              BrokerPaths::approve(approval.id), body);
}

QCoro::Task<> Approvals::loadWholeRequest(ApprovalSummary approval)
{
    const QString actionKey = loadActionKey(approval);
    if (!m_context.actions().begin(actionKey))
        co_return;
    const auto endAction = qScopeGuard([this, actionKey] { m_context.actions().end(actionKey); });
    const BrokerResult<ApprovalSummary> whole = co_await m_context.client().get<ApprovalSummary>(
        m_context.brokerURL(), BrokerPaths::approval(approval.id), m_context.operatorHeaders());
    if (!whole) {
        m_context.status().fail(friendlyErrorMessage(whole.failure()));
        co_return;
    }
    // Only the request that was listed: a digest that differs is another request.
    if (whole.value().requestDigest != approval.requestDigest) {
        m_context.status().fail(QStringLiteral("This approval changed while it was loaded: review it again."));
        co_return;
    }
    ApprovalSummary reviewed = whole.value();
    reviewed.displayInput = reviewed.input;
    reviewed.displayTruncated = false;
    m_wholeRequests.insert(approval.id, reviewed);
    Q_EMIT wholeRequestsChanged();
}

QCoro::Task<> Approvals::deny(ApprovalSummary approval)
{
    return OperatorRequests::postAndRefresh(m_context, denyActionKey(approval), QStringLiteral("Denying ") + approval.toolId,
                                            BrokerPaths::deny(approval.id), denyBody());
}

QString Approvals::protectedWriteToolID() const
{
    const std::optional<ConnectorSummary> connector = m_snapshot.selectedConnector();
    if (!connector)
        return {};
    for (const ConnectorToolPreview &tool : connector->toolPreview.value_or(QList<ConnectorToolPreview>{})) {
        if (tool.mode != QLatin1StringView("read"))
            return tool.id;
    }
    if (connector->id == QLatin1StringView("github"))
        return QStringLiteral("github.issue.create");
    return connector->id + QStringLiteral(".message.post");
}

QCoro::Task<> Approvals::requestProtectedWrite()
{
    const std::optional<ConnectorSummary> connector = m_snapshot.selectedConnector();
    if (!connector)
        co_return;
    if (!m_context.actions().begin(protectedWriteActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(protectedWriteActionKey); });
    m_context.status().setStatusMessage(QStringLiteral("Requesting protected write"));
    const QJsonObject body = protectedWriteBody(connector->id, protectedWriteToolID());
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, BrokerPaths::execute, body);
    if (!answer) {
        m_context.status().fail(friendlyErrorMessage(answer.failure()));
        co_return;
    }
    co_await m_context.refreshAfterChange();
}
