#pragma once

#include "AgentHandoffVerificationReport.h"

#include <QString>
#include <QUuid>

#include <optional>

// What one "Set up" of an agent app came to: the broker's write and the verification after it.
struct AgentClientSetupResult {
    QUuid id = QUuid::createUuid();
    QString message;
    bool isError = false;
    std::optional<QString> action;
    std::optional<QString> configPath;
    std::optional<QString> profile;
    std::optional<AgentHandoffVerificationReport> verification;

    static AgentClientSetupResult failure(const QString &message);
};
