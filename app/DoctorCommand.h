#pragma once

#include "AgentClientConfigEntry.h"
#include "BrokerStateReads.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class AppModel;

// "torvane doctor": what a user or support needs to know about this installation, read without
// prompting and without any secret: identity and lane, the local service and the broker's
// identity, the vault and operator sessions, the TPM and PAM, the agent apps that carry a "tvn"
// entry and a handoff verification of each local agent profile. Succeeds only when an agent can
// be served now.
class DoctorCommand
{
public:
    struct Check {
        QString id;
        bool ok = false;
        QString detail;
        // A failing check that does not stop agents (say, no TPM) is reported, not fatal.
        bool needed = true;
    };

    // An agent app whose config file holds Torvane's entry.
    struct AgentApp {
        QString id;
        QString label;
        QString configPath;
        AgentClientConfigEntry entry;
    };

    explicit DoctorCommand(AppModel &model);

    QCoro::Task<> run();
    bool healthy() const;
    QJsonObject json() const;
    QString text() const;

private:
    QCoro::Task<> checkService();
    QCoro::Task<bool> checkBrokerIdentity();
    void checkVault();
    void checkOperator();
    void checkPlatform();
    void checkAgentApps();
    QCoro::Task<> checkProfiles();
    std::optional<QString> configNaming(const QString &profile) const;
    void add(const QString &id, bool ok, const QString &detail, bool needed = true);
    QJsonObject identityJson() const;

    AppModel &m_model;
    QList<Check> m_checks;
    QList<AgentApp> m_agentApps;
    QStringList m_profiles;
    std::optional<BrokerStateReads> m_reads;
};
