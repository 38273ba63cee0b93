#include "Connections.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ConnectorAuthModes.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "PublishedField.h"

#include <QScopeGuard>

const QString Connections::connectActionKey = QStringLiteral("connect");
const QString Connections::healthActionKey = QStringLiteral("health");

namespace {
const QString defaultAccount = QStringLiteral("default");

// Built outside the coroutine: GCC 12 mishandles temporaries inside a co_await.
QJsonObject linkBody(const QString &token, const QString &account, const QString &alias, const QString &authModeId)
{
    QJsonObject body{{QStringLiteral("token"), token},
                     {QStringLiteral("accountId"), account},
                     {QStringLiteral("alias"), alias},
                     {QStringLiteral("source"), QStringLiteral("mac-app")}};
    if (!authModeId.isEmpty())
        body.insert(QStringLiteral("authModeId"), authModeId);
    return body;
}
} // namespace

Connections::Connections(ModelContext &context, BrokerSnapshot &snapshot, QObject *parent)
    : QObject(parent), m_context(context), m_snapshot(snapshot)
{
}

void Connections::setConnectAccountID(const QString &value)
{
    assignPublished(this, m_connectAccountID, value, &Connections::connectFormChanged);
}

void Connections::setConnectAlias(const QString &value)
{
    assignPublished(this, m_connectAlias, value, &Connections::connectFormChanged);
}

void Connections::setConnectSecret(const QString &value)
{
    assignPublished(this, m_connectSecret, value, &Connections::connectFormChanged);
}

void Connections::setConnectAuthModeID(const QString &value)
{
    assignPublished(this, m_connectAuthModeID, value, &Connections::connectFormChanged);
}

void Connections::setConnectError(const QString &value)
{
    assignPublished(this, m_connectError, value, &Connections::connectFormChanged);
}

void Connections::setApiKeyAccountID(const QString &value)
{
    assignPublished(this, m_apiKeyAccountID, value, &Connections::apiKeyFormChanged);
}

void Connections::setApiKeyAlias(const QString &value)
{
    assignPublished(this, m_apiKeyAlias, value, &Connections::apiKeyFormChanged);
}

void Connections::setApiKeyValue(const QString &value)
{
    assignPublished(this, m_apiKeyValue, value, &Connections::apiKeyFormChanged);
}

void Connections::setSelectedHealth(const std::optional<ConnectionHealth> &health)
{
    assignPublished(this, m_selectedHealth, health, &Connections::selectedHealthChanged);
}

std::optional<ConnectorSummary> Connections::connectSheetConnector() const
{
    if (!m_sheetConnectorID)
        return std::nullopt;
    for (const ConnectorSummary &connector : m_snapshot.connectors()) {
        if (connector.id == *m_sheetConnectorID)
            return connector;
    }
    return std::nullopt;
}

std::optional<ConnectorAuthOptionSummary> Connections::connectFormMode() const
{
    const std::optional<ConnectorSummary> connector = connectSheetConnector();
    if (!connector)
        return std::nullopt;
    if (m_connectAuthModeID.isEmpty())
        return ConnectorAuthModes::defaultAuthMode(*connector);
    return ConnectorAuthModes::authMode(*connector, m_connectAuthModeID);
}

QString Connections::connectFormTitle() const
{
    const std::optional<ConnectorSummary> connector = connectSheetConnector();
    if (!connector)
        return {};
    if (connectFormMode()->type == QLatin1StringView("api_key"))
        return QStringLiteral("Add your %1 key").arg(connector->displayName);
    return QStringLiteral("Connect %1").arg(connector->displayName);
}

void Connections::beginConnect(const ConnectorSummary &connector)
{
    m_snapshot.setSelectedConnectorID(connector.id);
    m_sheetConnectorID = connector.id;
    emit connectSheetChanged();
    const QString alias = connector.displayName + QStringLiteral(" default");
    m_connectAccountID = defaultAccount;
    m_connectAlias = alias;
    m_connectSecret.clear();
    m_connectAuthModeID = ConnectorAuthModes::defaultAuthMode(connector).id;
    m_connectError.clear();
    emit connectFormChanged();
    setSelectedHealth(std::nullopt);
    m_apiKeyAccountID = defaultAccount;
    m_apiKeyAlias = alias;
    m_apiKeyValue.clear();
    emit apiKeyFormChanged();
}

void Connections::closeConnectSheet()
{
    m_sheetConnectorID.reset();
    emit connectSheetChanged();
    m_connectSecret.clear();
    m_connectAuthModeID.clear();
    m_connectError.clear();
    emit connectFormChanged();
}

QCoro::Task<bool> Connections::linkAPIKey(QString accountId, QString alias, QString token, QString authModeId)
{
    const std::optional<ConnectorSummary> connector = m_snapshot.selectedConnector();
    if (!connector)
        co_return false;
    const QString trimmedToken = token.trimmed();
    if (trimmedToken.isEmpty())
        co_return false;
    m_context.status().setStatusMessage(QStringLiteral("Linking %1 API key").arg(connector->displayName));

    const QString account = accountId.trimmed().isEmpty() ? defaultAccount : accountId.trimmed();
    const QString label = alias.trimmed().isEmpty() ? connector->displayName + QLatin1Char(' ') + account : alias.trimmed();
    const QJsonObject body = linkBody(trimmedToken, account, label, authModeId.trimmed());
    const BrokerResult<QByteArray> linked =
        co_await OperatorRequests::post(m_context, BrokerPaths::linkCredential(connector->id), body);
    if (!linked) {
        m_context.status().fail(friendlyErrorMessage(linked.failure()));
        co_return false;
    }
    co_await m_context.refreshAfterChange();
    co_await checkSelectedHealth(account);
    co_return true;
}

QCoro::Task<> Connections::linkSheetAPIKey()
{
    const std::optional<ConnectorSummary> connector = connectSheetConnector();
    if (!connector)
        co_return;
    if (!m_context.actions().begin(connectActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(connectActionKey); });
    m_snapshot.setSelectedConnectorID(connector->id);
    m_apiKeyAccountID = m_connectAccountID;
    m_apiKeyAlias = m_connectAlias;
    m_apiKeyValue = m_connectSecret;
    emit apiKeyFormChanged();
    setConnectError({});
    const QString errorBefore = m_context.status().lastActionError();
    const bool linked = co_await linkAPIKey(m_apiKeyAccountID, m_apiKeyAlias, m_apiKeyValue, m_connectAuthModeID);
    if (linked) {
        closeConnectSheet();
        co_return;
    }
    // The sheet stays open with what was typed; it says why, next to the form.
    const QString error = m_context.status().lastActionError();
    if (error != errorBefore)
        setConnectError(error);
}

QString Connections::accountToCheck(const QString &accountId) const
{
    if (!accountId.isEmpty())
        return accountId;
    const QList<ConnectionSummary> connections = m_snapshot.selectedConnections();
    if (!connections.isEmpty())
        return connections.first().accountId;
    if (!m_apiKeyAccountID.isEmpty())
        return m_apiKeyAccountID;
    return defaultAccount;
}

QCoro::Task<> Connections::checkSelectedHealth(QString accountId)
{
    const std::optional<ConnectorSummary> connector = m_snapshot.selectedConnector();
    if (!connector)
        co_return;
    if (!m_context.actions().begin(healthActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(healthActionKey); });
    const QString account = accountToCheck(accountId);
    m_context.status().setStatusMessage(QStringLiteral("Checking %1 health").arg(connector->displayName));
    const QString path = BrokerPaths::connectionHealth(connector->id, account);
    const BrokerResult<ConnectionHealth> health =
        co_await m_context.client().get<ConnectionHealth>(m_context.brokerURL(), path, m_context.operatorHeaders());
    if (!health) {
        m_context.status().fail(health.failure().description());
        co_return;
    }
    setSelectedHealth(*health);
    m_context.status().setStatusMessage(QStringLiteral("Health: ") + health->status);
}

QString Connections::revokeActionKey(const ConnectionSummary &connection)
{
    return QStringLiteral("revokeConnection:") + connection.connectorId + QLatin1Char('/') + connection.accountId;
}

QCoro::Task<> Connections::revoke(ConnectionSummary connection)
{
    return OperatorRequests::postAndRefresh(
        m_context, revokeActionKey(connection),
        QStringLiteral("Revoking ") + connection.connectorId + QLatin1Char('/') + connection.accountId,
        BrokerPaths::connectionRevoke(connection.connectorId, connection.accountId));
}

void Connections::rotateKey(const ConnectionSummary &connection)
{
    for (const ConnectorSummary &connector : m_snapshot.connectors()) {
        if (connector.id != connection.connectorId)
            continue;
        beginConnect(connector);
        m_connectAccountID = connection.accountId;
        if (connection.alias)
            m_connectAlias = *connection.alias;
        if (connection.authModeId)
            m_connectAuthModeID = *connection.authModeId;
        emit connectFormChanged();
        return;
    }
}
