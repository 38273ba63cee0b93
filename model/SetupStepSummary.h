#pragma once

#include <QList>
#include <QString>

#include <optional>

// One row of the overview's setup checklist.
struct SetupStepSummary {
    enum class State { done, next, blocked };

    QString id;
    QString title;
    QString detail;
    State state = State::blocked;
    QString systemImage;

    static QString stateName(State state);

    // What the checklist is computed from.
    struct Facts {
        // Broker health ready and its identity verified.
        bool brokerReady = false;
        // A repair is required, or the start phase is a failure.
        bool brokerNeedsRepair = false;
        bool operatorUnlocked = false;
        int connectedAccountsCount = 0;
        int activeMasterKeysCount = 0;
        bool handoffBaseReady = false;
        bool handoffVerified = false;
        int healthCheckableConnections = 0;
    };
    // The five steps, always in the same order.
    static QList<SetupStepSummary> checklist(const Facts &facts);
    // The first `next` step, else the first `blocked` one; none when every step is done.
    static std::optional<SetupStepSummary> nextStep(const QList<SetupStepSummary> &steps);

    friend bool operator==(const SetupStepSummary &, const SetupStepSummary &) = default;
};
