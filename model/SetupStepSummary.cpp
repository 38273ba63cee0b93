#include "SetupStepSummary.h"

#include <algorithm>

namespace {
using State = SetupStepSummary::State;

QString countText(int count, const QString &singular, const QString &plural)
{
    return count == 1 ? QStringLiteral("1 ") + singular : QString::number(count) + QLatin1Char(' ') + plural;
}

SetupStepSummary brokerStep(const SetupStepSummary::Facts &facts)
{
    QString detail = QStringLiteral("Start setup");
    if (facts.brokerReady)
        detail = QStringLiteral("Ready on this computer");
    else if (facts.brokerNeedsRepair)
        detail = QStringLiteral("Needs repair");
    return {QStringLiteral("broker"), QStringLiteral("Turn On"), detail, facts.brokerReady ? State::done : State::blocked,
            QStringLiteral("network")};
}

SetupStepSummary operatorStep(const SetupStepSummary::Facts &facts, State brokerState)
{
    if (facts.operatorUnlocked)
        return {QStringLiteral("operator"), QStringLiteral("Unlock vault"), QStringLiteral("Vault ready"), brokerState,
                QStringLiteral("lock.open.fill")};
    return {QStringLiteral("operator"), QStringLiteral("Unlock vault"),
            facts.brokerReady ? QStringLiteral("Unlock local vault") : QStringLiteral("After turn on"),
            facts.brokerReady ? State::next : State::blocked, QStringLiteral("lock.fill")};
}

SetupStepSummary providerStep(const SetupStepSummary::Facts &facts)
{
    const int count = facts.connectedAccountsCount;
    State state = State::blocked;
    if (facts.brokerReady && facts.operatorUnlocked)
        state = count == 0 ? State::next : State::done;
    return {QStringLiteral("provider"), QStringLiteral("Apps"),
            countText(count, QStringLiteral("app connected"), QStringLiteral("apps connected")), state,
            QStringLiteral("app.connected.to.app.below.fill")};
}

SetupStepSummary masterKeyStep(const SetupStepSummary::Facts &facts)
{
    const int count = facts.activeMasterKeysCount;
    State state = State::blocked;
    if (facts.brokerReady && facts.operatorUnlocked && facts.connectedAccountsCount > 0)
        state = count == 0 ? State::next : State::done;
    return {QStringLiteral("master-key"), QStringLiteral("Agent Key"),
            countText(count, QStringLiteral("agent key active"), QStringLiteral("agent keys active")), state,
            QStringLiteral("key.fill")};
}

SetupStepSummary proofStep(const SetupStepSummary::Facts &facts)
{
    QString detail;
    if (facts.handoffVerified)
        detail = QStringLiteral("Handoff verified");
    else if (facts.handoffBaseReady)
        detail = QStringLiteral("Verify wrapper and broker");
    else if (facts.healthCheckableConnections == 0)
        detail = QStringLiteral("Run live smoke after linking");
    else
        detail = QString::number(facts.healthCheckableConnections) + QStringLiteral(" health checks available");
    State state = State::blocked;
    if (facts.handoffBaseReady)
        state = facts.handoffVerified ? State::done : State::next;
    return {QStringLiteral("proof"), QStringLiteral("Proof Check"), detail, state, QStringLiteral("checkmark.seal.fill")};
}
} // namespace

QString SetupStepSummary::stateName(State state)
{
    switch (state) {
    case State::done:
        return QStringLiteral("done");
    case State::next:
        return QStringLiteral("next");
    case State::blocked:
        return QStringLiteral("blocked");
    }
    return {};
}

QList<SetupStepSummary> SetupStepSummary::checklist(const Facts &facts)
{
    const SetupStepSummary broker = brokerStep(facts);
    return {broker, operatorStep(facts, broker.state), providerStep(facts), masterKeyStep(facts), proofStep(facts)};
}

std::optional<SetupStepSummary> SetupStepSummary::nextStep(const QList<SetupStepSummary> &steps)
{
    for (const State wanted : {State::next, State::blocked}) {
        const auto found = std::find_if(steps.begin(), steps.end(), [wanted](const auto &step) { return step.state == wanted; });
        if (found != steps.end())
            return *found;
    }
    return std::nullopt;
}
