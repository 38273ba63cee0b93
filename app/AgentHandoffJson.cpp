#include "AgentHandoffJson.h"

#include "AppModel.h"

#include <QJsonArray>

namespace {
QJsonValue optionalString(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonObject stepJson(const AgentHandoffVerificationStep &step)
{
    return {{QStringLiteral("kind"), AgentHandoffVerificationStep::rawValue(step.kind)},
            {QStringLiteral("ok"), step.ok},
            {QStringLiteral("title"), step.title},
            {QStringLiteral("detail"), step.detail}};
}

QJsonObject clientJson(const AgentClientDescriptor &client, const AgentHandoff &handoff)
{
    const std::optional<AgentClientSetupResult> result = handoff.setupResult(client.id);
    return {{QStringLiteral("id"), client.id},
            {QStringLiteral("label"), client.label},
            {QStringLiteral("format"), AgentClientFormats::rawValue(client.format)},
            {QStringLiteral("location"), client.locationText()},
            {QStringLiteral("autoWrite"), client.autoWrite},
            {QStringLiteral("setupResult"),
             result ? QJsonValue(AgentHandoffJson::setupResult(*result)) : QJsonValue(QJsonValue::Null)}};
}
} // namespace

QJsonObject AgentHandoffJson::report(const AgentHandoffVerificationReport &report)
{
    QJsonArray steps;
    for (const AgentHandoffVerificationStep &step : report.steps)
        steps.append(stepJson(step));
    return {{QStringLiteral("id"), report.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("profile"), report.profile},
            {QStringLiteral("brokerURL"), report.brokerURL},
            {QStringLiteral("wrapperCommand"), report.wrapperCommand},
            {QStringLiteral("profilePath"), report.profilePath},
            {QStringLiteral("configPath"), optionalString(report.configPath)},
            {QStringLiteral("checkedAt"), report.checkedAt.toString(Qt::ISODateWithMs)},
            {QStringLiteral("steps"), steps},
            {QStringLiteral("firstFailureDetail"), report.firstFailureDetail()}};
}

QJsonObject AgentHandoffJson::setupResult(const AgentClientSetupResult &result)
{
    return {{QStringLiteral("id"), result.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("message"), result.message},
            {QStringLiteral("isError"), result.isError},
            {QStringLiteral("action"), optionalString(result.action)},
            {QStringLiteral("configPath"), optionalString(result.configPath)},
            {QStringLiteral("profile"), optionalString(result.profile)},
            {QStringLiteral("verification"),
             result.verification ? QJsonValue(report(*result.verification)) : QJsonValue(QJsonValue::Null)}};
}

void AgentHandoffJson::addState(QJsonObject &state, const AppModel &model)
{
    const AgentHandoff &handoff = *model.agentHandoff();
    const std::optional<AgentHandoffVerificationReport> last = handoff.lastAgentHandoffVerification();
    state.insert(QStringLiteral("lastAgentHandoffVerification"), last ? QJsonValue(report(*last)) : QJsonValue(QJsonValue::Null));
    state.insert(QStringLiteral("lastAgentSetupCopyProfile"), handoff.lastAgentSetupCopyProfile());
    state.insert(QStringLiteral("lastAgentSetupCopyByteCount"), handoff.lastAgentSetupCopyByteCount());
    state.insert(QStringLiteral("agentSetupCopySeq"), handoff.agentSetupCopySeq());
    state.insert(QStringLiteral("activeAgentHandoffProfile"), handoff.activeAgentHandoffProfile());
    state.insert(QStringLiteral("currentAgentHandoffWrapperCommand"), handoff.currentAgentHandoffWrapperCommand());
    state.insert(QStringLiteral("agentHandoffBaseReady"), handoff.agentHandoffBaseReady());
    state.insert(QStringLiteral("agentHandoffVerified"), handoff.agentHandoffVerified());
    QJsonArray clients;
    for (const AgentClientDescriptor &client : AgentClientDescriptor::all())
        clients.append(clientJson(client, handoff));
    state.insert(QStringLiteral("agentClients"), clients);
}
