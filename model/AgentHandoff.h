#pragma once

#include "AgentClientDescriptor.h"
#include "AgentClientSetupResult.h"
#include "AgentHandoffConfig.h"
#include "AgentHandoffEntry.h"
#include "AgentHandoffVerificationReport.h"
#include "LocalAgentProfileStore.h"
#include "MasterKeySummary.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class AgentKeys;
class BrokerSnapshot;
class ModelContext;
class ServiceSupervision;
class TextClipboard;

// Handing an agent key to agent apps: the "Set up" of an app (the broker writes its MCP entry,
// then the handoff is verified), the verification itself, the paste-in snippets, and copying a
// handoff only after it verified. The last report is operator data: it goes when the operator
// surfaces lock.
class AgentHandoff : public QObject
{
    Q_OBJECT

public:
    AgentHandoff(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision, AgentKeys &agentKeys,
                 LocalAgentProfileStore profileStore, std::shared_ptr<TextClipboard> clipboard, QObject *parent = nullptr);

    std::optional<AgentHandoffVerificationReport> lastAgentHandoffVerification() const { return m_lastVerification; }
    QString lastAgentSetupCopyProfile() const { return m_lastCopyProfile; }
    qsizetype lastAgentSetupCopyByteCount() const { return m_lastCopyByteCount; }
    int agentSetupCopySeq() const { return m_copySeq; }
    // The last "Set up" of each agent app, by its id.
    std::optional<AgentClientSetupResult> setupResult(const QString &clientID) const;

    QString activeAgentHandoffProfile() const;
    QString currentAgentHandoffWrapperCommand() const;
    // The wrapper every snippet names, and the signer the wrapper should use.
    QString resolvedWrapperCommand() const;
    std::optional<QString> signerPath() const;
    AgentHandoffConfig makeAgentHandoffConfig(const QString &profile) const;
    bool agentHandoffBaseReady() const;
    bool agentHandoffVerified() const;

    // The paste-in text of `client` for the active profile.
    QString renderSnippet(const AgentClientDescriptor &client) const;

    QCoro::Task<AgentHandoffVerificationReport> verifyAgentHandoff(QString profile, std::optional<QString> configPath);
    QCoro::Task<> verifyActiveAgentHandoff();
    static QString verifyActionKey(const QString &profile);
    bool verifyingActiveAgentHandoff() const;

    bool copyAgentHandoffConfig(const QString &profile);
    QCoro::Task<bool> copyAgentHandoffConfigIfVerified(QString profile);
    QCoro::Task<bool> copyActiveAgentHandoffConfigIfVerified();
    QCoro::Task<> copyAgentHandoffConfig(MasterKeySummary key);
    QCoro::Task<> copyCreatedAgentHandoffConfig();
    // The snippet of `client`, copied only after the active profile's handoff verified.
    QCoro::Task<bool> copyAgentSnippetIfVerified(AgentClientDescriptor client);

    // Asks the broker to write `client`'s entry, then verifies the handoff.
    QCoro::Task<AgentClientSetupResult> connectAgentApp(AgentClientDescriptor client);
    // The "Set up" button: one run per app at a time; keeps the result and says what was written.
    QCoro::Task<std::optional<AgentClientSetupResult>> setUpAgentApp(AgentClientDescriptor client);
    static QString setUpActionKey(const AgentClientDescriptor &client);

Q_SIGNALS:
    void verificationChanged();
    void copyChanged();
    void setupResultsChanged();

private:
    AgentHandoffEntry handoffEntry() const;
    bool putOnClipboard(const QString &text, const QString &profile);
    void setLastVerification(const std::optional<AgentHandoffVerificationReport> &report);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    AgentKeys &m_agentKeys;
    LocalAgentProfileStore m_profileStore;
    std::shared_ptr<TextClipboard> m_clipboard;
    std::optional<AgentHandoffVerificationReport> m_lastVerification;
    QString m_lastCopyProfile;
    qsizetype m_lastCopyByteCount = 0;
    int m_copySeq = 0;
    QHash<QString, AgentClientSetupResult> m_setupResults;
};
