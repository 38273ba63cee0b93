#pragma once

#include "AgentHandoffVerificationStep.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The receipt of one handoff verification: what was checked and each step's outcome, in order.
struct AgentHandoffVerificationReport {
    QUuid id;
    QString profile;
    QString brokerURL;
    QString wrapperCommand;
    QString profilePath;
    // Absent when a copied configuration was verified.
    std::optional<QString> configPath;
    QDateTime checkedAt;
    QList<AgentHandoffVerificationStep> steps;

    // Every step passed (also when there is none).
    bool allPassed() const;
    // The detail of the first failed step, or "All handoff checks passed".
    QString firstFailureDetail() const;

    bool operator==(const AgentHandoffVerificationReport &) const = default;
};
