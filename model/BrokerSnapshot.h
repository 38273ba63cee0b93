#pragma once

#include "ApprovalSummary.h"
#include "AuditEvent.h"
#include "BrokerHealth.h"
#include "BrokerPeerVerification.h"
#include "ConnectionSummary.h"
#include "ConnectorSummary.h"
#include "LatestProofResponse.h"
#include "LocalPosture.h"
#include "MasterKeySummary.h"
#include "OperatorStatus.h"
#include "ProxyProfileSummary.h"
#include "ProxyServiceSummary.h"

#include <QList>
#include <QObject>
#include <QSet>

#include <optional>

class ModelContext;

// What the refresh cycle last read from the broker: health, posture, operator policy, the
// identity verdict and the operator's records. Operator-only records are emptied whenever the
// context locks the operator surfaces; the catalog, health and posture stay so the overview can
// still explain the problem.
class BrokerSnapshot : public QObject
{
    Q_OBJECT
    Q_PROPERTY(BrokerHealth health READ health NOTIFY healthChanged)
    Q_PROPERTY(bool brokerIdentityVerified READ brokerIdentityVerified NOTIFY brokerIdentityVerifiedChanged)
    Q_PROPERTY(QString vaultStatus READ vaultStatus NOTIFY vaultStatusChanged)

public:
    explicit BrokerSnapshot(ModelContext &context, QObject *parent = nullptr);

    BrokerHealth health() const { return m_health; }
    void setHealth(const BrokerHealth &health);
    LocalPosture localPosture() const { return m_localPosture; }
    void setLocalPosture(const LocalPosture &posture);
    OperatorStatus operatorStatus() const { return m_operatorStatus; }
    void setOperatorStatus(const OperatorStatus &status);
    QString vaultStatus() const { return m_vaultStatus; }
    void setVaultStatus(const QString &status);
    // The health answer's vault word; without one, "Local vault active" when healthy, else "Locked".
    void setVaultStatusFromHealth(const BrokerHealth &health);
    // The broker names its vault "unconfigured": nothing has been set up (or it was reset).
    static bool reportsUnconfiguredVault(const BrokerHealth &health);
    static bool isUnconfiguredVaultWord(const QString &vaultStatus);

    bool brokerIdentityVerified() const { return m_brokerIdentityVerified; }
    void setBrokerIdentityVerified(bool verified);
    // Always announced: the verdict's label may change while its truth value stays.
    void setBrokerPeerVerification(const BrokerPeerVerification &verification);
    // The last peer verdict ("unenforceable: …", "rejected: …", "trusted"); empty before the first check.
    QString brokerPeerTrustLabel() const;

    QList<ConnectorSummary> connectors() const { return m_connectors; }
    void setConnectors(const QList<ConnectorSummary> &connectors);
    QList<ApprovalSummary> approvals() const { return m_approvals; }
    void setApprovals(const QList<ApprovalSummary> &approvals);
    QList<ConnectionSummary> connections() const { return m_connections; }
    void setConnections(const QList<ConnectionSummary> &connections);
    QList<MasterKeySummary> masterKeys() const { return m_masterKeys; }
    void setMasterKeys(const QList<MasterKeySummary> &keys);
    QList<ProxyProfileSummary> proxyProfiles() const { return m_proxyProfiles; }
    void setProxyProfiles(const QList<ProxyProfileSummary> &profiles);
    QList<ProxyServiceSummary> proxyServices() const { return m_proxyServices; }
    void setProxyServices(const QList<ProxyServiceSummary> &services);
    QList<AuditEvent> auditEvents() const { return m_auditEvents; }
    void setAuditEvents(const QList<AuditEvent> &events);
    std::optional<LatestProofResponse> latestProof() const { return m_latestProof; }
    void setLatestProof(const std::optional<LatestProofResponse> &proof);

    std::optional<QString> selectedConnectorID() const { return m_selectedConnectorID; }
    void setSelectedConnectorID(const std::optional<QString> &connectorID);

    // Derived views of the records.
    bool operatorLocked() const;
    bool operatorUnlocked() const;
    QList<MasterKeySummary> activeMasterKeys() const;
    int activeMasterKeysCount() const { return static_cast<int>(activeMasterKeys().size()); }
    int connectedCount(const ConnectorSummary &connector) const;
    int connectedAccountsCount() const;
    QSet<QString> connectedConnectorIDs() const;
    std::optional<ConnectorSummary> selectedConnector() const;
    QList<ConnectionSummary> selectedConnections() const;
    std::optional<ConnectorSummary> recommendedUnconnectedConnector() const;
    // Connections that are connected and whose connector runs a live health check.
    int healthCheckableConnectionsCount() const;

Q_SIGNALS:
    void healthChanged();
    void localPostureChanged();
    void operatorStatusChanged();
    void vaultStatusChanged();
    void brokerIdentityVerifiedChanged();
    void connectorsChanged();
    void selectedConnectorIDChanged();
    // Any operator-only record list or the proof.
    void operatorRecordsChanged();

private:
    void clearOperatorRecords();
    std::optional<ConnectorSummary> connectorWithID(const QString &connectorID) const;

    ModelContext &m_context;
    BrokerHealth m_health;
    LocalPosture m_localPosture;
    OperatorStatus m_operatorStatus;
    QString m_vaultStatus;
    bool m_brokerIdentityVerified = false;
    std::optional<BrokerPeerVerification> m_brokerPeerVerification;
    QList<ConnectorSummary> m_connectors;
    QList<ApprovalSummary> m_approvals;
    QList<ConnectionSummary> m_connections;
    QList<MasterKeySummary> m_masterKeys;
    QList<ProxyProfileSummary> m_proxyProfiles;
    QList<ProxyServiceSummary> m_proxyServices;
    QList<AuditEvent> m_auditEvents;
    std::optional<LatestProofResponse> m_latestProof;
    std::optional<QString> m_selectedConnectorID;
};
