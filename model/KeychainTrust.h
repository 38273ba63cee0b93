#pragma once

#include "KeychainTrustStatusResponse.h"
#include "TextClipboard.h"

#include <QCoroTask>
#include <QObject>

#include <memory>
#include <optional>

class BrokerSnapshot;
class ModelContext;
class ServiceSupervision;
class VaultUnlock;

// Trust of the legacy keyring unlock items, as the broker reports and repairs it. On Linux the
// broker keeps no keyring items (the vault is the owner-only local file), so outside the legacy
// mode every control here answers with a sentence pointing back to the local vault.
class KeychainTrust : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString keychainTrustMessage READ keychainTrustMessage NOTIFY keychainTrustChanged)
    Q_PROPERTY(bool keychainTrustRepairInProgress READ keychainTrustRepairInProgress NOTIFY keychainTrustChanged)

public:
    static const QString checkActionKey;
    static const QString operatorItemID;

    KeychainTrust(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                  VaultUnlock &vaultUnlock, std::shared_ptr<TextClipboard> clipboard, QObject *parent = nullptr);

    std::optional<KeychainTrustStatusResponse> keychainTrustStatus() const { return m_status; }
    QString keychainTrustMessage() const { return m_message; }
    bool keychainTrustRepairInProgress() const { return m_repairInProgress; }

    QCoro::Task<> refreshKeychainTrustStatus();
    QCoro::Task<> repairKeychainTrust();
    QCoro::Task<> repairOperatorKeychainTrust();
    void copyKeychainDiagnostics();

    QString keychainTrustSummary() const;
    QString keychainApprovalGuidance() const;
    QString localVaultSummary() const;

Q_SIGNALS:
    void keychainTrustChanged();

private:
    enum class Purpose { status, repair };
    // The guard every broker action passes first; false when the action must not run.
    bool guardAllows(Purpose purpose);
    QCoro::Task<> repair(QJsonObject body, QString progressMessage, bool operatorItemOnly);
    QString operatorRepairMessage(const KeychainTrustStatusResponse &status) const;
    bool sessionsUseLegacyKeyring() const;
    void setStatus(const KeychainTrustStatusResponse &status);
    void setMessage(const QString &message);
    void setRepairInProgress(bool inProgress);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    VaultUnlock &m_vaultUnlock;
    std::shared_ptr<TextClipboard> m_clipboard;
    std::optional<KeychainTrustStatusResponse> m_status;
    QString m_message;
    bool m_repairInProgress = false;
};
