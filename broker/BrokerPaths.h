#pragma once

#include <QString>

// Paths of the broker's API. Builders marked "encoded" percent-encode the identifier as one
// path segment; the others insert it unchanged, as the broker expects.
namespace BrokerPaths {

inline const QString health = QStringLiteral("/health");
inline const QString localPosture = QStringLiteral("/v1/local-posture");
inline const QString operatorStatus = QStringLiteral("/v1/operator/status");
inline const QString operatorSession = QStringLiteral("/v1/operator/session");
inline const QString connectors = QStringLiteral("/v1/connectors");
inline const QString approvals = QStringLiteral("/v1/approvals");
inline const QString connections = QStringLiteral("/v1/connections");
inline const QString masterKeys = QStringLiteral("/v1/master-keys");
inline const QString proxyProfiles = QStringLiteral("/v1/proxy/profiles");
inline const QString proxyServices = QStringLiteral("/v1/proxy/services");
inline const QString audit = QStringLiteral("/v1/audit");
inline const QString latestProof = QStringLiteral("/v1/proof/latest");
inline const QString keychainTrustStatus = QStringLiteral("/v1/local/keychain/trust-status");
inline const QString keychainRepairTrust = QStringLiteral("/v1/local/keychain/repair-trust");
inline const QString killSwitch = QStringLiteral("/v1/killswitch");
inline const QString execute = QStringLiteral("/v1/execute");
inline const QString backupExport = QStringLiteral("/v1/backups/export");
inline const QString backupRestore = QStringLiteral("/v1/backups/restore");
inline const QString vaultUnlock = QStringLiteral("/v1/vault/unlock");
inline const QString vaultSetup = QStringLiteral("/v1/vault/setup");

// One identifier as a single percent-encoded path segment.
QString encodedSegment(const QString &identifier);

QString connectionHealth(const QString &connector, const QString &account); // encoded
QString connectionRevoke(const QString &connector, const QString &account);
QString linkCredential(const QString &connector);
QString masterKeyRevoke(const QString &key);
QString masterKeyRevokeEncoded(const QString &key); // encoded; the emergency revoke of every key
QString approval(const QString &approval); // the whole request of one
QString approve(const QString &approval);
QString deny(const QString &approval);
QString proxyProfileRevoke(const QString &profile); // encoded
QString agentConnect(const QString &agent);

} // namespace BrokerPaths
