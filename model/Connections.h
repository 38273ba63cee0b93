#pragma once

#include "ConnectionHealth.h"
#include "ConnectionSummary.h"
#include "ConnectorSummary.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

class BrokerSnapshot;
class ModelContext;

// Provider accounts the broker holds: the connect sheet and the inline key form, linking an API
// key, checking a connection's health, revoking it and rotating its key. A typed secret lives in
// the form only until the sheet closes; it is never published.
class Connections : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString connectorConnectSheetID READ connectorConnectSheetIDText NOTIFY connectSheetChanged)
    Q_PROPERTY(QString connectAccountID READ connectAccountID WRITE setConnectAccountID NOTIFY connectFormChanged)
    Q_PROPERTY(QString connectAlias READ connectAlias WRITE setConnectAlias NOTIFY connectFormChanged)
    Q_PROPERTY(QString connectSecret READ connectSecret WRITE setConnectSecret NOTIFY connectFormChanged)
    Q_PROPERTY(QString connectAuthModeID READ connectAuthModeID WRITE setConnectAuthModeID NOTIFY connectFormChanged)
    Q_PROPERTY(QString connectError READ connectError NOTIFY connectFormChanged)
    Q_PROPERTY(QString apiKeyAccountID READ apiKeyAccountID WRITE setApiKeyAccountID NOTIFY apiKeyFormChanged)
    Q_PROPERTY(QString apiKeyAlias READ apiKeyAlias WRITE setApiKeyAlias NOTIFY apiKeyFormChanged)
    Q_PROPERTY(QString apiKeyValue READ apiKeyValue WRITE setApiKeyValue NOTIFY apiKeyFormChanged)

public:
    static const QString connectActionKey;
    static const QString healthActionKey;

    Connections(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent = nullptr);

    std::optional<QString> connectorConnectSheetID() const { return m_sheetConnectorID; }
    QString connectorConnectSheetIDText() const { return m_sheetConnectorID.value_or(QString()); }
    std::optional<ConnectorSummary> connectSheetConnector() const;

    QString connectAccountID() const { return m_connectAccountID; }
    void setConnectAccountID(const QString &value);
    QString connectAlias() const { return m_connectAlias; }
    void setConnectAlias(const QString &value);
    QString connectSecret() const { return m_connectSecret; }
    void setConnectSecret(const QString &value);
    QString connectAuthModeID() const { return m_connectAuthModeID; }
    void setConnectAuthModeID(const QString &value);
    QString connectError() const { return m_connectError; }

    QString apiKeyAccountID() const { return m_apiKeyAccountID; }
    void setApiKeyAccountID(const QString &value);
    QString apiKeyAlias() const { return m_apiKeyAlias; }
    void setApiKeyAlias(const QString &value);
    QString apiKeyValue() const { return m_apiKeyValue; }
    void setApiKeyValue(const QString &value);

    std::optional<ConnectionHealth> selectedHealth() const { return m_selectedHealth; }

    // The connect form of the open sheet: its mode and its title ("Add your GitHub key").
    std::optional<ConnectorAuthOptionSummary> connectFormMode() const;
    QString connectFormTitle() const;

    void beginConnect(const ConnectorSummary &connector);
    void closeConnectSheet();
    // True when the broker took the key. An empty token, or no selected connector, is a silent no.
    QCoro::Task<bool> linkAPIKey(QString accountId, QString alias, QString token, QString authModeId);
    QCoro::Task<> linkSheetAPIKey();
    // An empty `accountId` checks the selected connector's first account.
    QCoro::Task<> checkSelectedHealth(QString accountId);
    QCoro::Task<> revoke(ConnectionSummary connection);
    // Re-opens the sheet for the account, so a new key replaces the old one.
    void rotateKey(const ConnectionSummary &connection);

    static QString revokeActionKey(const ConnectionSummary &connection);

Q_SIGNALS:
    void connectSheetChanged();
    void connectFormChanged();
    void apiKeyFormChanged();
    void selectedHealthChanged();

private:
    void setSelectedHealth(const std::optional<ConnectionHealth> &health);
    void setConnectError(const QString &value);
    QString accountToCheck(const QString &accountId) const;

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    std::optional<QString> m_sheetConnectorID;
    QString m_connectAccountID;
    QString m_connectAlias;
    QString m_connectSecret;
    QString m_connectAuthModeID;
    QString m_connectError;
    QString m_apiKeyAccountID;
    QString m_apiKeyAlias;
    QString m_apiKeyValue;
    std::optional<ConnectionHealth> m_selectedHealth;
};
