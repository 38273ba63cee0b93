#pragma once

#include <QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QString>

class AppModel;

// "torvane doctor": what a user or support needs to know about this installation, read without
// prompting and without any secret: identity and lane, the local service and the broker's
// identity, the vault, the TPM and PAM, the agent apps that carry a "tvn" entry and a handoff
// verification of each local agent profile. Succeeds only when an agent can be served now.
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

    explicit DoctorCommand(AppModel &model);

    QCoro::Task<> run();
    bool healthy() const;
    QJsonObject json() const;
    QString text() const;

private:
    QCoro::Task<> checkService();
    void checkVault();
    void checkPlatform();
    void checkAgentApps();
    QCoro::Task<> checkProfiles();
    void add(const QString &id, bool ok, const QString &detail, bool needed = true);

    AppModel &m_model;
    QList<Check> m_checks;
    QString m_vaultStatus;
};
