#pragma once

#include <QJsonObject>

class AppModel;
struct AgentClientSetupResult;
struct AgentHandoffVerificationReport;

// The agent handoff as the automation channel reports it.
namespace AgentHandoffJson {

QJsonObject report(const AgentHandoffVerificationReport &report);
QJsonObject setupResult(const AgentClientSetupResult &result);
// The handoff's published fields, and each catalog entry with its location and last "Set up".
void addState(QJsonObject &state, const AppModel &model);

} // namespace AgentHandoffJson
