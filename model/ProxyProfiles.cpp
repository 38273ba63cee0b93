#include "ProxyProfiles.h"

#include "AgentProfileNames.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "OperatorRequests.h"
#include "ProxyConnectorDefaults.h"
#include "PublishedField.h"
#include "TextClipboard.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>

#include <algorithm>
#include <array>

const QString ProxyProfiles::createActionKey = QStringLiteral("createProxy");

namespace {
const QString proxyRequestPath = QStringLiteral("/v1/proxy/request");

QString shellQuoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QJsonObject serviceBody(const QString &serviceID, const QString &connectorID, const QString &accountID,
                        const QString &origin, const QStringList &methods, const QString &path, const QString &placement)
{
    return {{QStringLiteral("id"), serviceID},
            {QStringLiteral("displayName"), connectorID + QLatin1Char('/') + accountID + QStringLiteral(" proxy")},
            {QStringLiteral("connectorId"), connectorID},
            {QStringLiteral("accountId"), accountID},
            {QStringLiteral("allowedOrigins"), QJsonArray{origin}},
            {QStringLiteral("allowedMethods"), QJsonArray::fromStringList(methods)},
            {QStringLiteral("allowedPathPrefixes"), QJsonArray{path}},
            {QStringLiteral("risk"), QStringLiteral("low")},
            {QStringLiteral("credential"), QJsonObject{{QStringLiteral("placement"), placement}}}};
}

QJsonObject profileBody(const QString &name, const QString &agentID, const QString &masterKeyID, const QString &serviceID)
{
    return {{QStringLiteral("name"), name},
            {QStringLiteral("agentId"), agentID},
            {QStringLiteral("masterKeyId"), masterKeyID},
            {QStringLiteral("serviceIds"), QJsonArray{serviceID}}};
}
} // namespace

ProxyProfiles::ProxyProfiles(ModelContext &context, BrokerSnapshot &snapshot, std::shared_ptr<TextClipboard> clipboard,
                             QObject *parent)
    : QObject(parent), m_context(context), m_snapshot(snapshot), m_clipboard(std::move(clipboard))
{
}

void ProxyProfiles::setProxyProfileName(const QString &value)
{
    assignPublished(this, m_profileName, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyAgentID(const QString &value)
{
    assignPublished(this, m_agentID, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyMasterKeyID(const QString &value)
{
    assignPublished(this, m_masterKeyID, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyConnectorID(const QString &value)
{
    assignPublished(this, m_connectorID, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyAccountID(const QString &value)
{
    assignPublished(this, m_accountID, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyAllowedOrigin(const QString &value)
{
    assignPublished(this, m_allowedOrigin, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyAllowedPath(const QString &value)
{
    assignPublished(this, m_allowedPath, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyAllowedMethods(const QString &value)
{
    assignPublished(this, m_allowedMethods, value, &ProxyProfiles::formChanged);
}

void ProxyProfiles::setProxyCredentialPlacement(const QString &value)
{
    assignPublished(this, m_credentialPlacement, value, &ProxyProfiles::formChanged);
}

QList<ProxyProfileSummary> ProxyProfiles::activeProxyProfiles() const
{
    QList<ProxyProfileSummary> active;
    for (const ProxyProfileSummary &profile : m_snapshot.proxyProfiles()) {
        if (!profile.revokedAt)
            active.append(profile);
    }
    return active;
}

QList<ConnectionSummary> ProxyProfiles::proxyReadyConnections() const
{
    QList<ConnectionSummary> ready;
    for (const ConnectionSummary &connection : m_snapshot.connections()) {
        if (connection.status == QLatin1StringView("connected")
            && ProxyConnectorDefaults::proxyDefault(connection.connectorId))
            ready.append(connection);
    }
    return ready;
}

QString ProxyProfiles::normalizedProxyPath(const QString &path)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("/");
    return trimmed.startsWith(QLatin1Char('/')) ? trimmed : QLatin1Char('/') + trimmed;
}

QStringList ProxyProfiles::proxyMethods(const QString &text)
{
    QStringList methods;
    for (const QString &piece : text.split(QLatin1Char(','))) {
        const QString method = piece.trimmed().toUpper();
        if (!method.isEmpty())
            methods.append(method);
    }
    return methods;
}

void ProxyProfiles::applyProxyDefaults()
{
    const QList<MasterKeySummary> keys = m_snapshot.activeMasterKeys();
    auto key = std::find_if(keys.begin(), keys.end(),
                            [](const MasterKeySummary &k) { return k.name == QLatin1StringView("hermes-keel-tvn"); });
    if (key == keys.end())
        key = std::find_if(keys.begin(), keys.end(),
                           [](const MasterKeySummary &k) { return k.name.contains(QLatin1StringView("hermes")); });
    if (key == keys.end())
        key = keys.begin();
    if (key != keys.end()) {
        setProxyMasterKeyID(key->id);
        setProxyAgentID(key->agentId);
        setProxyProfileName(key->agentId + QStringLiteral(" proxy profile"));
    }

    const QList<ConnectionSummary> ready = proxyReadyConnections();
    const auto github = std::find_if(ready.begin(), ready.end(), [](const ConnectionSummary &c) {
        return c.connectorId == QLatin1StringView("github");
    });
    const auto connection = github != ready.end() ? github : ready.begin();
    if (connection == ready.end()) {
        m_context.status().setStatusMessage(QStringLiteral("Connect GitHub to enable the proven proxy loop"));
        return;
    }
    const ProxyConnectorDefaults defaults = *ProxyConnectorDefaults::proxyDefault(connection->connectorId);
    setProxyConnectorID(connection->connectorId);
    setProxyAccountID(connection->accountId);
    setProxyAllowedOrigin(defaults.origin);
    setProxyAllowedPath(defaults.path);
    setProxyAllowedMethods(defaults.methods);
    setProxyCredentialPlacement(defaults.placement);
    m_context.status().setStatusMessage(QStringLiteral("Proxy defaults loaded for %1/%2")
                                            .arg(connection->connectorId, connection->accountId));
}

QCoro::Task<> ProxyProfiles::createProxyProfile()
{
    if (!m_context.actions().begin(createActionKey))
        co_return;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(createActionKey); });

    const QString masterKeyID = m_masterKeyID.trimmed();
    const QString connectorID = m_connectorID.trimmed();
    const QString accountID = m_accountID.trimmed();
    const QString origin = m_allowedOrigin.trimmed();
    const QString path = normalizedProxyPath(m_allowedPath);
    const QStringList methods = proxyMethods(m_allowedMethods);
    const QList<MasterKeySummary> keys = m_snapshot.activeMasterKeys();
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const MasterKeySummary &k) { return k.id == masterKeyID; });
    if (key == keys.end() || connectorID.isEmpty() || accountID.isEmpty() || origin.isEmpty() || methods.isEmpty()) {
        m_context.status().fail(QStringLiteral("Choose a Master Key, connection, origin, path, and method first"));
        co_return;
    }

    const QString timestamp = QString::number(QDateTime::currentSecsSinceEpoch());
    const QString serviceID = QStringLiteral("svc_") + AgentProfileNames::safeIdentifier(connectorID) + QLatin1Char('_') + timestamp;
    const QString typedName = m_profileName.trimmed();
    const QString name =
        typedName.isEmpty() ? AgentProfileNames::safeIdentifier(key->agentId) + QLatin1Char('_') + timestamp : typedName;
    m_context.status().setStatusMessage(QStringLiteral("Creating proxy profile"));

    const QJsonObject service = serviceBody(serviceID, connectorID, accountID, origin, methods, path, m_credentialPlacement);
    const QJsonObject profile = profileBody(name, key->agentId, masterKeyID, serviceID);
    const bool created = co_await createServiceAndProfile(service, profile);
    if (!created)
        co_return;
    m_context.status().setStatusMessage(QStringLiteral("Created proxy profile ") + name);
    co_await m_context.refreshAfterChange();
}

QCoro::Task<bool> ProxyProfiles::createServiceAndProfile(QJsonObject service, QJsonObject profile)
{
    // A service made by the first call stays at the broker when the second one fails.
    const std::array<std::pair<QString, QJsonObject>, 2> calls{
        {{BrokerPaths::proxyServices, service}, {BrokerPaths::proxyProfiles, profile}}};
    for (const auto &[path, body] : calls) {
        const BrokerResult<QByteArray> answer = co_await OperatorRequests::post(m_context, path, body);
        if (!answer) {
            m_context.status().fail(answer.failure().description());
            co_return false;
        }
    }
    co_return true;
}

QString ProxyProfiles::revokeActionKey(const ProxyProfileSummary &profile)
{
    return QStringLiteral("revokeProxy:") + profile.id;
}

QCoro::Task<> ProxyProfiles::revoke(ProxyProfileSummary profile)
{
    return OperatorRequests::postAndRefresh(m_context, revokeActionKey(profile), QStringLiteral("Revoking ") + profile.id,
                                            BrokerPaths::proxyProfileRevoke(profile.id));
}

QString ProxyProfiles::proxyRunCommand(const ProxyProfileSummary &profile) const
{
    const QString serviceID = profile.serviceIds.isEmpty() ? QStringLiteral("<service_id>") : profile.serviceIds.first();
    // The request must fit the service's allow lists, so it takes the service's own path and
    // method when the service is known.
    QString method = QStringLiteral("GET");
    QString path = QStringLiteral("/user");
    const QList<ProxyServiceSummary> services = m_snapshot.proxyServices();
    const auto service = std::find_if(services.begin(), services.end(),
                                      [&](const ProxyServiceSummary &s) { return s.id == serviceID; });
    if (service != services.end() && !service->allowedMethods.isEmpty() && !service->allowedPathPrefixes.isEmpty()) {
        method = service->allowedMethods.first();
        path = service->allowedPathPrefixes.first();
    }
    const QJsonObject request{{QStringLiteral("profileId"), profile.id},
                              {QStringLiteral("serviceId"), serviceID},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("path"), path}};
    const QUrl url = BrokerClient::requestURL(m_context.brokerURL(), proxyRequestPath);
    return QStringLiteral("curl -sS -X POST %1 -H %2 -H %3 --data %4")
        .arg(shellQuoted(url.toString()), shellQuoted(QStringLiteral("authorization: Bearer <TVN_API_KEY>")),
             shellQuoted(QStringLiteral("content-type: application/json")),
             shellQuoted(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact))));
}

void ProxyProfiles::copyProxyRunCommand(const ProxyProfileSummary &profile)
{
    m_clipboard->setText(proxyRunCommand(profile));
    m_context.status().setStatusMessage(QStringLiteral("Proxy request command copied"));
}
