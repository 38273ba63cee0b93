#pragma once

#include "ConnectionSummary.h"
#include "ProxyProfileSummary.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class BrokerSnapshot;
class ModelContext;
class TextClipboard;

// Proxy profiles: an agent key allowed to send HTTP requests through the broker to one proxy
// service, which holds the stored credential and the origin, path and method allow lists. The
// form, its defaults per connector, creating (service, then profile) and revoking, and a sample
// request to copy.
class ProxyProfiles : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString proxyProfileName READ proxyProfileName WRITE setProxyProfileName NOTIFY formChanged)
    Q_PROPERTY(QString proxyAgentID READ proxyAgentID WRITE setProxyAgentID NOTIFY formChanged)
    Q_PROPERTY(QString proxyMasterKeyID READ proxyMasterKeyID WRITE setProxyMasterKeyID NOTIFY formChanged)
    Q_PROPERTY(QString proxyConnectorID READ proxyConnectorID WRITE setProxyConnectorID NOTIFY formChanged)
    Q_PROPERTY(QString proxyAccountID READ proxyAccountID WRITE setProxyAccountID NOTIFY formChanged)
    Q_PROPERTY(QString proxyAllowedOrigin READ proxyAllowedOrigin WRITE setProxyAllowedOrigin NOTIFY formChanged)
    Q_PROPERTY(QString proxyAllowedPath READ proxyAllowedPath WRITE setProxyAllowedPath NOTIFY formChanged)
    Q_PROPERTY(QString proxyAllowedMethods READ proxyAllowedMethods WRITE setProxyAllowedMethods NOTIFY formChanged)
    Q_PROPERTY(QString proxyCredentialPlacement READ proxyCredentialPlacement WRITE setProxyCredentialPlacement NOTIFY
                   formChanged)

public:
    static const QString createActionKey;

    ProxyProfiles(ModelContext &context, BrokerSnapshot &snapshot, std::shared_ptr<TextClipboard> clipboard,
                  QObject *parent = nullptr);

    QString proxyProfileName() const { return m_profileName; }
    void setProxyProfileName(const QString &value);
    QString proxyAgentID() const { return m_agentID; }
    void setProxyAgentID(const QString &value);
    QString proxyMasterKeyID() const { return m_masterKeyID; }
    void setProxyMasterKeyID(const QString &value);
    QString proxyConnectorID() const { return m_connectorID; }
    void setProxyConnectorID(const QString &value);
    QString proxyAccountID() const { return m_accountID; }
    void setProxyAccountID(const QString &value);
    QString proxyAllowedOrigin() const { return m_allowedOrigin; }
    void setProxyAllowedOrigin(const QString &value);
    QString proxyAllowedPath() const { return m_allowedPath; }
    void setProxyAllowedPath(const QString &value);
    // Comma-separated.
    QString proxyAllowedMethods() const { return m_allowedMethods; }
    void setProxyAllowedMethods(const QString &value);
    QString proxyCredentialPlacement() const { return m_credentialPlacement; }
    void setProxyCredentialPlacement(const QString &value);

    QList<ProxyProfileSummary> activeProxyProfiles() const;
    QList<ConnectionSummary> proxyReadyConnections() const;

    void applyProxyDefaults();
    QCoro::Task<> createProxyProfile();
    QCoro::Task<> revoke(ProxyProfileSummary profile);
    void copyProxyRunCommand(const ProxyProfileSummary &profile);

    // Trimmed; empty becomes "/"; a missing leading "/" is added.
    static QString normalizedProxyPath(const QString &path);
    // "get, post,," reads GET, POST.
    static QStringList proxyMethods(const QString &text);
    // The request an agent sends for `profile`, as a curl command with a placeholder for its key.
    QString proxyRunCommand(const ProxyProfileSummary &profile) const;
    static QString revokeActionKey(const ProxyProfileSummary &profile);

Q_SIGNALS:
    void formChanged();

private:
    QCoro::Task<bool> createServiceAndProfile(QJsonObject service, QJsonObject profile);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    std::shared_ptr<TextClipboard> m_clipboard;
    QString m_profileName;
    QString m_agentID;
    QString m_masterKeyID;
    QString m_connectorID;
    QString m_accountID;
    QString m_allowedOrigin;
    QString m_allowedPath;
    QString m_allowedMethods;
    QString m_credentialPlacement;
};
