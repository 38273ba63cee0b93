#pragma once

#include <QString>

// One check of a handoff verification, shown as one line of the receipt.
struct AgentHandoffVerificationStep {
    // In the order of the vocabulary; `mcpSession` proves that an agent app would see the tools.
    enum class Kind { profilePresent, wrapperExecutable, brokerHealth, readOnlySmoke, configWritten, mcpSession };

    Kind kind = Kind::profilePresent;
    bool ok = false;
    QString title;
    QString detail;

    // The case name.
    static QString rawValue(Kind kind);
    // "Local profile", "Wrapper", "Broker", "Read-only smoke", "Config file", "MCP session".
    static QString titleOf(Kind kind);
    static AgentHandoffVerificationStep make(Kind kind, bool ok, const QString &detail);

    bool operator==(const AgentHandoffVerificationStep &) const = default;
};
