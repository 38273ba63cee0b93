#pragma once

#include "LocalAgentProfileStore.h"
#include "MasterKeySummary.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class BrokerSnapshot;
class ModelContext;
class ServiceSupervision;
class TextClipboard;

// Agent keys (the broker's "master keys"): the creation form and its checks, creating a key and
// saving its one-time secret as the agent's local setup profile, verifying that profile, revoking
// one key, and loading an old key as the template of its replacement. The one-time secret stays
// in memory until the next creation, the user clears it, or the process ends; it reaches only the
// profile store, and the clipboard when the user asks for it.
class AgentKeys : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString newMasterKeyAgentID READ newMasterKeyAgentID WRITE setNewMasterKeyAgentID NOTIFY formChanged)
    Q_PROPERTY(QString newMasterKeyName READ newMasterKeyName WRITE setNewMasterKeyName NOTIFY formChanged)
    Q_PROPERTY(QString newMasterKeyConnectorIDs READ newMasterKeyConnectorIDs WRITE setNewMasterKeyConnectorIDs NOTIFY
                   formChanged)
    Q_PROPERTY(QString newMasterKeyMaxRisk READ newMasterKeyMaxRisk WRITE setNewMasterKeyMaxRisk NOTIFY formChanged)
    Q_PROPERTY(QString createdMasterKeyProfile READ createdMasterKeyProfile WRITE setCreatedMasterKeyProfile NOTIFY
                   createdChanged)
    Q_PROPERTY(bool isCreatingMasterKey READ isCreatingMasterKey NOTIFY isCreatingMasterKeyChanged)

public:
    static const QString saveProfileActionKey;
    // The maximum risks the form offers; empty leaves the broker's default.
    static const QStringList maxRiskChoices;

    AgentKeys(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
              LocalAgentProfileStore profileStore, std::shared_ptr<TextClipboard> clipboard, QObject *parent = nullptr);

    QString newMasterKeyAgentID() const { return m_agentID; }
    void setNewMasterKeyAgentID(const QString &value);
    QString newMasterKeyName() const { return m_name; }
    void setNewMasterKeyName(const QString &value);
    QString newMasterKeyConnectorIDs() const { return m_connectorIDs; }
    void setNewMasterKeyConnectorIDs(const QString &value);
    QString newMasterKeyMaxRisk() const { return m_maxRisk; }
    void setNewMasterKeyMaxRisk(const QString &value);

    // The new key's secret, shown once. Never log it.
    QString createdMasterKey() const { return m_createdKey; }
    QString createdMasterKeyRecordID() const { return m_createdRecordID; }
    QString createdMasterKeyProfile() const { return m_createdProfile; }
    void setCreatedMasterKeyProfile(const QString &profile);
    bool createdMasterKeyProfileVerified() const { return m_createdProfileVerified; }
    bool isCreatingMasterKey() const { return m_isCreating; }

    QStringList requestedMasterKeyConnectorIDs() const;
    QString suggestedMasterKeyConnectorIDs() const;
    QStringList unconnectedMasterKeyConnectorIDs() const;
    std::optional<QString> masterKeyCreateBlocker() const;
    bool canCreateMasterKey() const { return !masterKeyCreateBlocker(); }

    void useSuggestedConnectorsForMasterKey();
    void applyAgentPreset(const QString &id, const QString &label);
    QCoro::Task<> createMasterKey();
    QCoro::Task<> storeCreatedMasterKeyProfile();
    QCoro::Task<> verifyCreatedMasterKeyProfile();
    QCoro::Task<> revoke(MasterKeySummary key);
    void useAgentKeyAsReplacementTemplate(const MasterKeySummary &key);
    // "Copy one-time key" and "Clear key from view".
    void copyCreatedMasterKey();
    void clearCreatedMasterKey();

    static QString revokeActionKey(const MasterKeySummary &key);
    // A comma-separated connector field as identifiers: trimmed, empty pieces dropped, in order.
    static QStringList splitConnectorIDs(const QString &text);

Q_SIGNALS:
    void formChanged();
    void createdChanged();
    void isCreatingMasterKeyChanged();

private:
    void setCreatingMasterKey(bool creating);
    void setCreatedProfileVerified(bool verified);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    LocalAgentProfileStore m_profileStore;
    std::shared_ptr<TextClipboard> m_clipboard;
    QString m_agentID;
    QString m_name;
    QString m_connectorIDs;
    QString m_maxRisk;
    QString m_createdKey;
    QString m_createdRecordID;
    QString m_createdProfile;
    bool m_createdProfileVerified = false;
    bool m_isCreating = false;
};
