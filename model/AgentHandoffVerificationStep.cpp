#include "AgentHandoffVerificationStep.h"

QString AgentHandoffVerificationStep::rawValue(Kind kind)
{
    switch (kind) {
    case Kind::profilePresent:
        return QStringLiteral("profilePresent");
    case Kind::wrapperExecutable:
        return QStringLiteral("wrapperExecutable");
    case Kind::brokerHealth:
        return QStringLiteral("brokerHealth");
    case Kind::readOnlySmoke:
        return QStringLiteral("readOnlySmoke");
    case Kind::configWritten:
        return QStringLiteral("configWritten");
    case Kind::mcpSession:
        return QStringLiteral("mcpSession");
    }
    return {};
}

QString AgentHandoffVerificationStep::titleOf(Kind kind)
{
    switch (kind) {
    case Kind::profilePresent:
        return QStringLiteral("Local profile");
    case Kind::wrapperExecutable:
        return QStringLiteral("Wrapper");
    case Kind::brokerHealth:
        return QStringLiteral("Broker");
    case Kind::readOnlySmoke:
        return QStringLiteral("Read-only smoke");
    case Kind::configWritten:
        return QStringLiteral("Config file");
    case Kind::mcpSession:
        return QStringLiteral("MCP session");
    }
    return {};
}

AgentHandoffVerificationStep AgentHandoffVerificationStep::make(Kind kind, bool ok, const QString &detail)
{
    return {kind, ok, titleOf(kind), detail};
}
