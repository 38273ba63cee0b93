#include "AgentKeys.h"

#include "AgentProfileNames.h"
#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "CreatedMasterKeyResponse.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "PublishedField.h"
#include "ServiceSupervision.h"
#include "TextClipboard.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QScopeGuard>
#include <QtConcurrent>

#include <algorithm>

const QString AgentKeys::saveProfileActionKey = QStringLiteral("saveProfile");
const QStringList AgentKeys::maxRiskChoices{QStringLiteral("low"), QStringLiteral("medium"), QStringLiteral("high")};

namespace {
const QString connectorScopePrefix = QStringLiteral("connector:");

// What storing a key and reading it back showed. `error` is the store's own text.
struct ProfileSave {
    bool verified = false;
    std::optional<QString> error;
};

// Plain functions: they run on a worker thread, so file and TPM work never blocks the window.
ProfileSave storeAndReadBack(LocalAgentProfileStore store, QString key, QString profile)
{
    try {
        store.storeTorvane(key, profile);
    } catch (const std::exception &failure) {
        return {false, QString::fromUtf8(failure.what())};
    }
    try {
        return {store.readTorvane(profile) == key.trimmed(), std::nullopt};
    } catch (const std::exception &) {
        return {false, std::nullopt};
    }
}

// Whether the profile has key material; an unsafe file is an error, not an absence.
ProfileSave probeProfile(LocalAgentProfileStore store, QString profile)
{
    try {
        return {store.hasTorvane(profile), std::nullopt};
    } catch (const std::exception &failure) {
        return {false, QString::fromUtf8(failure.what())};
    }
}

QJsonObject createBody(const QString &agentID, const QString &name, const QStringList &connectorIDs, const QString &maxRisk)
{
    return {{QStringLiteral("agentId"), agentID},
            {QStringLiteral("name"), name},
            {QStringLiteral("connectorIds"), QJsonArray::fromStringList(connectorIDs)},
            {QStringLiteral("maxRisk"), maxRisk}};
}

QStringList sortedUnique(QStringList ids)
{
    ids.sort();
    ids.removeDuplicates();
    return ids;
}
} // namespace

AgentKeys::AgentKeys(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                     LocalAgentProfileStore profileStore, std::shared_ptr<TextClipboard> clipboard, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_profileStore(std::move(profileStore))
    , m_clipboard(std::move(clipboard))
{
}

void AgentKeys::setNewMasterKeyAgentID(const QString &value)
{
    assignPublished(this, m_agentID, value, &AgentKeys::formChanged);
}

void AgentKeys::setNewMasterKeyName(const QString &value)
{
    assignPublished(this, m_name, value, &AgentKeys::formChanged);
}

void AgentKeys::setNewMasterKeyConnectorIDs(const QString &value)
{
    assignPublished(this, m_connectorIDs, value, &AgentKeys::formChanged);
}

void AgentKeys::setNewMasterKeyMaxRisk(const QString &value)
{
    assignPublished(this, m_maxRisk, value, &AgentKeys::formChanged);
}

void AgentKeys::setCreatedMasterKeyProfile(const QString &profile)
{
    assignPublished(this, m_createdProfile, profile, &AgentKeys::createdChanged);
}

void AgentKeys::setCreatedProfileVerified(bool verified)
{
    assignPublished(this, m_createdProfileVerified, verified, &AgentKeys::createdChanged);
}

void AgentKeys::setCreatingMasterKey(bool creating)
{
    assignPublished(this, m_isCreating, creating, &AgentKeys::isCreatingMasterKeyChanged);
}

QStringList AgentKeys::splitConnectorIDs(const QString &text)
{
    QStringList ids;
    for (const QString &piece : text.split(QLatin1Char(','))) {
        const QString id = piece.trimmed();
        if (!id.isEmpty())
            ids.append(id);
    }
    return ids;
}

QStringList AgentKeys::requestedMasterKeyConnectorIDs() const
{
    return splitConnectorIDs(m_connectorIDs);
}

QString AgentKeys::suggestedMasterKeyConnectorIDs() const
{
    return sortedUnique(m_snapshot.connectedConnectorIDs().values()).join(QLatin1Char(','));
}

QStringList AgentKeys::unconnectedMasterKeyConnectorIDs() const
{
    const QSet<QString> connected = m_snapshot.connectedConnectorIDs();
    QStringList unconnected;
    for (const QString &id : requestedMasterKeyConnectorIDs()) {
        if (!connected.contains(id))
            unconnected.append(id);
    }
    return unconnected;
}

std::optional<QString> AgentKeys::masterKeyCreateBlocker() const
{
    if (!m_supervision.brokerReadyAndVerified() || m_supervision.localServiceRepairRequired())
        return QStringLiteral("Turn on or repair Torvane before creating an agent key.");
    if (!m_snapshot.operatorUnlocked())
        return QStringLiteral("Unlock the vault before creating an agent key.");
    if (m_snapshot.connectedAccountsCount() == 0)
        return QStringLiteral("Connect an app before granting it to an agent.");
    const QStringList unconnected = unconnectedMasterKeyConnectorIDs();
    if (!unconnected.isEmpty())
        return QStringLiteral("Connect %1 before granting it to an agent.").arg(unconnected.join(QStringLiteral(", ")));
    return std::nullopt;
}

void AgentKeys::useSuggestedConnectorsForMasterKey()
{
    setNewMasterKeyConnectorIDs(suggestedMasterKeyConnectorIDs());
    m_context.status().setStatusMessage(m_connectorIDs.isEmpty() ? QStringLiteral("Connect an app first")
                                                                 : QStringLiteral("Using connected apps"));
}

void AgentKeys::applyAgentPreset(const QString &id, const QString &label)
{
    setNewMasterKeyAgentID(id);
    // Named like its setup profile, which is also the name the proxy defaults look for.
    setNewMasterKeyName(AgentProfileNames::profileName(id));
    setCreatedMasterKeyProfile(AgentProfileNames::profileName(id));
    setCreatedProfileVerified(false);
    m_context.status().setStatusMessage(QStringLiteral("Selected ") + label);
}

QCoro::Task<> AgentKeys::createMasterKey()
{
    if (m_isCreating)
        co_return;
    if (const std::optional<QString> blocker = masterKeyCreateBlocker()) {
        m_context.status().fail(*blocker);
        co_return;
    }
    setCreatingMasterKey(true);
    const auto clearCreating = qScopeGuard([this] { setCreatingMasterKey(false); });
    m_context.status().setStatusMessage(QStringLiteral("Creating master key"));

    // The blocker has made sure every listed connector, or the suggestion, is connected.
    QStringList connectorIDs = requestedMasterKeyConnectorIDs();
    if (connectorIDs.isEmpty())
        connectorIDs = splitConnectorIDs(suggestedMasterKeyConnectorIDs());
    const QJsonObject body = createBody(m_agentID, m_name, connectorIDs, m_maxRisk);
    const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, BrokerPaths::masterKeys, body);
    const BrokerResult<CreatedMasterKeyResponse> created =
        answer ? decodeBrokerRecord<CreatedMasterKeyResponse>(answer.value()) : answer.forwardFailure<CreatedMasterKeyResponse>();
    if (!created) {
        m_context.status().fail(friendlyErrorMessage(created.failure()));
        co_return;
    }
    m_createdKey = created->key;
    m_createdRecordID = created->record.id;
    m_createdProfile = AgentProfileNames::profileName(created->record.agentId);
    m_createdProfileVerified = false;
    emit createdChanged();

    // The key exists at the broker from here on: a profile that does not save is never a reason
    // to revoke it; the user can save the profile again.
    const QString keyName = created->record.name;
    const ProfileSave saved = co_await QtConcurrent::run(&storeAndReadBack, m_profileStore, m_createdKey, m_createdProfile);
    setCreatedProfileVerified(saved.verified);
    if (saved.error) {
        m_context.status().setStatusMessage(QStringLiteral("Created %1, but the local setup profile did not save: %2")
                                                .arg(keyName, friendlyErrorMessage(*saved.error)));
    } else if (!saved.verified) {
        m_context.status().setStatusMessage(
            QStringLiteral("Created %1, but the setup profile did not verify. Click Save Setup Profile before copying "
                           "agent setup.")
                .arg(keyName));
    } else {
        m_context.status().setStatusMessage(
            QStringLiteral("Created and saved setup profile %1 in the local vault.").arg(m_createdProfile));
    }
    setCreatingMasterKey(false);
    co_await m_context.refreshAfterChange();
}

QCoro::Task<> AgentKeys::storeCreatedMasterKeyProfile()
{
    if (m_createdKey.isEmpty()) {
        m_context.status().setStatusMessage(QStringLiteral("Create a Master Key first"));
        co_return;
    }
    if (m_createdProfile.isEmpty()) {
        m_context.status().setStatusMessage(QStringLiteral("Name the setup profile before saving it"));
        co_return;
    }
    if (!m_context.actions().begin(saveProfileActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(saveProfileActionKey); });
    const ProfileSave saved = co_await QtConcurrent::run(&storeAndReadBack, m_profileStore, m_createdKey, m_createdProfile);
    setCreatedProfileVerified(saved.verified);
    if (saved.error)
        m_context.status().fail(friendlyErrorMessage(*saved.error));
    else if (saved.verified)
        m_context.status().setStatusMessage(
            QStringLiteral("Stored and verified profile %1 in the local vault.").arg(m_createdProfile));
    else
        m_context.status().setStatusMessage(QStringLiteral("Profile storage did not verify"));
}

QCoro::Task<> AgentKeys::verifyCreatedMasterKeyProfile()
{
    if (m_createdProfile.isEmpty()) {
        m_context.status().setStatusMessage(QStringLiteral("Name the setup profile before verifying it"));
        co_return;
    }
    const QString profile = m_createdProfile;
    const ProfileSave found = co_await QtConcurrent::run(&probeProfile, m_profileStore, profile);
    setCreatedProfileVerified(found.verified);
    if (found.error)
        m_context.status().fail(friendlyErrorMessage(*found.error));
    else if (found.verified)
        m_context.status().setStatusMessage(QStringLiteral("Verified profile %1 in the local vault").arg(profile));
    else
        m_context.status().setStatusMessage(QStringLiteral("No local setup profile found for ") + profile);
}

QString AgentKeys::revokeActionKey(const MasterKeySummary &key)
{
    return QStringLiteral("revokeKey:") + key.id;
}

QCoro::Task<> AgentKeys::revoke(MasterKeySummary key)
{
    return OperatorRequests::postAndRefresh(m_context, revokeActionKey(key), QStringLiteral("Revoking ") + key.id,
                                            BrokerPaths::masterKeyRevoke(key.id));
}

void AgentKeys::useAgentKeyAsReplacementTemplate(const MasterKeySummary &key)
{
    setNewMasterKeyAgentID(key.agentId);
    setNewMasterKeyName(key.name);
    const QSet<QString> connected = m_snapshot.connectedConnectorIDs();
    QStringList connectorIDs;
    for (const QString &scope : key.scopes) {
        const QString trimmed = scope.trimmed();
        if (!trimmed.startsWith(connectorScopePrefix))
            continue;
        const QString id = trimmed.mid(connectorScopePrefix.size());
        if (connected.contains(id))
            connectorIDs.append(id);
    }
    setNewMasterKeyConnectorIDs(sortedUnique(connectorIDs).join(QLatin1Char(',')));
    setCreatedMasterKeyProfile(AgentProfileNames::profileName(key.agentId));
    setCreatedProfileVerified(false);
    m_context.status().setStatusMessage(QStringLiteral("Loaded %1 as a replacement template. Make a new agent key, verify "
                                                       "setup, then revoke the stale key.")
                                            .arg(key.name));
}

void AgentKeys::copyCreatedMasterKey()
{
    // Only while the one-time display lasts; once cleared, there is nothing left to copy.
    if (m_createdKey.isEmpty())
        return;
    m_clipboard->setText(m_createdKey);
    m_context.status().setStatusMessage(QStringLiteral("One-time agent key copied"));
}

void AgentKeys::clearCreatedMasterKey()
{
    if (m_createdKey.isEmpty())
        return;
    m_createdKey.clear();
    emit createdChanged();
}
