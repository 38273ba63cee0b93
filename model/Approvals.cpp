#include "Approvals.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "OperatorRequests.h"

#include <QScopeGuard>

const QString Approvals::protectedWriteActionKey = QStringLiteral("writeTest");
const QString Approvals::smokeTestText = QStringLiteral("Linux approval smoke test");

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
}

QString Approvals::approveActionKey(const ApprovalSummary &approval)
{
    return QStringLiteral("approve:") + approval.id;
}

QString Approvals::denyActionKey(const ApprovalSummary &approval)
{
    return QStringLiteral("deny:") + approval.id;
}

QCoro::Task<> Approvals::approve(ApprovalSummary approval)
{
    return OperatorRequests::postAndRefresh(m_context, approveActionKey(approval), QStringLiteral("Approving ") + approval.toolId,
                                            BrokerPaths::approve(approval.id));
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
