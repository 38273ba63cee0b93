#include "BrokerSnapshot.h"

#include "ModelContext.h"

#include <algorithm>

namespace {
constexpr auto connectedWord = QLatin1StringView("connected");

// Stores `value` and emits `changed` when it differs from what `field` holds.
template <typename T>
void assign(BrokerSnapshot *snapshot, T &field, const T &value, void (BrokerSnapshot::*changed)())
{
    if (field == value)
        return;
    field = value;
    emit(snapshot->*changed)();
}
} // namespace

BrokerSnapshot::BrokerSnapshot(ModelContext &context, QObject *parent) : QObject(parent), m_context(context)
{
    connect(&context, &ModelContext::operatorSurfacesLocked, this, &BrokerSnapshot::clearOperatorRecords);
}

void BrokerSnapshot::setHealth(const BrokerHealth &health) { assign(this, m_health, health, &BrokerSnapshot::healthChanged); }

void BrokerSnapshot::setLocalPosture(const LocalPosture &posture)
{
    assign(this, m_localPosture, posture, &BrokerSnapshot::localPostureChanged);
}

void BrokerSnapshot::setOperatorStatus(const OperatorStatus &status)
{
    assign(this, m_operatorStatus, status, &BrokerSnapshot::operatorStatusChanged);
}

void BrokerSnapshot::setVaultStatus(const QString &status)
{
    assign(this, m_vaultStatus, status, &BrokerSnapshot::vaultStatusChanged);
}

void BrokerSnapshot::setVaultStatusFromHealth(const BrokerHealth &health)
{
    if (health.vault)
        setVaultStatus(*health.vault);
    else
        setVaultStatus(health.ok ? QStringLiteral("Local vault active") : QStringLiteral("Locked"));
}

bool BrokerSnapshot::reportsUnconfiguredVault(const BrokerHealth &health)
{
    return health.vault && isUnconfiguredVaultWord(*health.vault);
}

bool BrokerSnapshot::isUnconfiguredVaultWord(const QString &vaultStatus)
{
    return vaultStatus.trimmed().toLower() == QLatin1StringView("unconfigured");
}

void BrokerSnapshot::setBrokerIdentityVerified(bool verified)
{
    assign(this, m_brokerIdentityVerified, verified, &BrokerSnapshot::brokerIdentityVerifiedChanged);
}

void BrokerSnapshot::setBrokerPeerVerification(const BrokerPeerVerification &verification)
{
    m_brokerPeerVerification = verification;
    m_brokerIdentityVerified = verification.trust.isTrusted();
    emit brokerIdentityVerifiedChanged();
}

QString BrokerSnapshot::brokerPeerTrustLabel() const
{
    return m_brokerPeerVerification ? m_brokerPeerVerification->trust.label() : QString();
}

void BrokerSnapshot::setConnectors(const QList<ConnectorSummary> &connectors)
{
    assign(this, m_connectors, connectors, &BrokerSnapshot::connectorsChanged);
}

void BrokerSnapshot::setApprovals(const QList<ApprovalSummary> &approvals)
{
    assign(this, m_approvals, approvals, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setConnections(const QList<ConnectionSummary> &connections)
{
    assign(this, m_connections, connections, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setMasterKeys(const QList<MasterKeySummary> &keys)
{
    assign(this, m_masterKeys, keys, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setProxyProfiles(const QList<ProxyProfileSummary> &profiles)
{
    assign(this, m_proxyProfiles, profiles, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setProxyServices(const QList<ProxyServiceSummary> &services)
{
    assign(this, m_proxyServices, services, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setAuditEvents(const QList<AuditEvent> &events)
{
    assign(this, m_auditEvents, events, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setLatestProof(const std::optional<LatestProofResponse> &proof)
{
    assign(this, m_latestProof, proof, &BrokerSnapshot::operatorRecordsChanged);
}

void BrokerSnapshot::setSelectedConnectorID(const std::optional<QString> &connectorID)
{
    assign(this, m_selectedConnectorID, connectorID, &BrokerSnapshot::selectedConnectorIDChanged);
}

void BrokerSnapshot::clearOperatorRecords()
{
    setApprovals({});
    setConnections({});
    setMasterKeys({});
    setProxyProfiles({});
    setProxyServices({});
    setAuditEvents({});
    setLatestProof(std::nullopt);
}

bool BrokerSnapshot::operatorLocked() const
{
    return m_operatorStatus.enabled && m_context.operatorSessionID().isEmpty();
}

bool BrokerSnapshot::operatorUnlocked() const
{
    return !m_operatorStatus.enabled || !m_context.operatorSessionID().isEmpty();
}

QList<MasterKeySummary> BrokerSnapshot::activeMasterKeys() const
{
    QList<MasterKeySummary> active;
    std::copy_if(m_masterKeys.begin(), m_masterKeys.end(), std::back_inserter(active),
                 [](const MasterKeySummary &key) { return key.status == QLatin1StringView("active"); });
    return active;
}

int BrokerSnapshot::connectedCount(const ConnectorSummary &connector) const
{
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(), [&](const ConnectionSummary &c) {
        return c.connectorId == connector.id && c.status == connectedWord;
    }));
}

int BrokerSnapshot::connectedAccountsCount() const
{
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                          [](const ConnectionSummary &c) { return c.status == connectedWord; }));
}

QSet<QString> BrokerSnapshot::connectedConnectorIDs() const
{
    QSet<QString> ids;
    for (const ConnectionSummary &connection : m_connections) {
        if (connection.status == connectedWord)
            ids.insert(connection.connectorId);
    }
    return ids;
}

std::optional<ConnectorSummary> BrokerSnapshot::connectorWithID(const QString &connectorID) const
{
    const auto found = std::find_if(m_connectors.begin(), m_connectors.end(),
                                    [&](const ConnectorSummary &connector) { return connector.id == connectorID; });
    if (found == m_connectors.end())
        return std::nullopt;
    return *found;
}

std::optional<ConnectorSummary> BrokerSnapshot::selectedConnector() const
{
    return m_selectedConnectorID ? connectorWithID(*m_selectedConnectorID) : std::nullopt;
}

QList<ConnectionSummary> BrokerSnapshot::selectedConnections() const
{
    const std::optional<ConnectorSummary> selected = selectedConnector();
    QList<ConnectionSummary> connections;
    if (!selected)
        return connections;
    std::copy_if(m_connections.begin(), m_connections.end(), std::back_inserter(connections),
                 [&](const ConnectionSummary &connection) { return connection.connectorId == selected->id; });
    return connections;
}

std::optional<ConnectorSummary> BrokerSnapshot::recommendedUnconnectedConnector() const
{
    const QSet<QString> connected = connectedConnectorIDs();
    for (const QString preferred : {QStringLiteral("github"), QStringLiteral("telegram")}) {
        if (!connected.contains(preferred)) {
            if (const auto connector = connectorWithID(preferred))
                return connector;
        }
    }
    const auto unconnected = std::find_if(m_connectors.begin(), m_connectors.end(),
                                          [&](const ConnectorSummary &connector) { return !connected.contains(connector.id); });
    if (unconnected != m_connectors.end())
        return *unconnected;
    if (!m_connectors.isEmpty())
        return m_connectors.first();
    return std::nullopt;
}

int BrokerSnapshot::healthCheckableConnectionsCount() const
{
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(), [&](const ConnectionSummary &c) {
        if (c.status != connectedWord)
            return false;
        const std::optional<ConnectorSummary> connector = connectorWithID(c.connectorId);
        return connector && connector->runtime && connector->runtime->healthCheck;
    }));
}
