#include "DashboardActionRunner.h"

#include "AgentClientDescriptor.h"
#include "AppModel.h"
#include "ProviderKeyPages.h"

#include <QJsonArray>
#include <QScopeGuard>

namespace {
using Outcome = DashboardActionRunner::Outcome;
using Type = DashboardMessage::Type;

std::optional<ConnectorSummary> connectorWithID(const AppModel &model, const QString &connectorId)
{
    for (const ConnectorSummary &connector : model.snapshot()->connectors()) {
        if (connector.id == connectorId)
            return connector;
    }
    return std::nullopt;
}

const QString unknownAgentApp = QStringLiteral("This agent app is not one Torvane can set up.");

std::optional<AgentClientDescriptor> agentApp(const DashboardMessage &message)
{
    return AgentClientDescriptor::find(message.stringField(QStringLiteral("agentAppId")));
}

// The strings of a JSON array; anything else in it is dropped.
QStringList stringList(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &item : value.toArray()) {
        if (item.isString() && !item.toString().trimmed().isEmpty())
            strings << item.toString().trimmed();
    }
    return strings;
}
} // namespace

DashboardActionRunner::DashboardActionRunner(AppModel &model, URLOpener openURL)
    : m_model(model), m_openURL(std::move(openURL))
{
}

QCoro::Task<Outcome> DashboardActionRunner::run(DashboardMessage message)
{
    const Type type = message.type();
    if (m_running.contains(type))
        co_return Outcome{false, QStringLiteral("Torvane is still working on the last request.")};
    m_running.insert(type);
    const auto done = qScopeGuard([this, type] { m_running.remove(type); });
    switch (type) {
    case Type::linkAPIKey:
        co_return co_await linkAPIKey(message);
    case Type::createMasterKey:
        co_return co_await createMasterKey(message);
    case Type::connectAgentApp:
        co_return co_await setUpAgentApp(message);
    case Type::copyAgentSetup:
        co_return co_await copyAgentSetup(message);
    case Type::openProviderKeyPage:
        co_return openProviderKeyPage(message);
    default:
        co_return Outcome{false, QStringLiteral("The Torvane app doesn't do that.")};
    }
}

QCoro::Task<Outcome> DashboardActionRunner::linkAPIKey(const DashboardMessage &message)
{
    const std::optional<ConnectorSummary> connector = connectorWithID(m_model, message.stringField(QStringLiteral("connectorId")));
    if (!connector)
        co_return Outcome{false, QStringLiteral("This app is no longer in the catalog.")};
    const QString secret = message.stringField(QStringLiteral("secret"));
    if (secret.trimmed().isEmpty())
        co_return Outcome{false, QStringLiteral("Paste the app's API key first.")};

    Connections &connections = *m_model.connections();
    connections.beginConnect(*connector);
    const QString account = message.stringField(QStringLiteral("accountId")).trimmed();
    if (!account.isEmpty())
        connections.setConnectAccountID(account);
    const QString alias = message.stringField(QStringLiteral("alias")).trimmed();
    if (!alias.isEmpty())
        connections.setConnectAlias(alias);
    const QString authMode = message.stringField(QStringLiteral("authModeId")).trimmed();
    if (!authMode.isEmpty())
        connections.setConnectAuthModeID(authMode);
    connections.setConnectSecret(secret);
    co_await m_model.linkSheetAPIKey();

    const bool linked = !connections.connectorConnectSheetID();
    const QString error = connections.connectError();
    // The page keeps what was typed; the app keeps no copy of the key either way.
    connections.closeConnectSheet();
    connections.setApiKeyValue({});
    if (!linked)
        co_return Outcome{false, error.isEmpty() ? m_model.statusMessage() : error};
    co_return Outcome{true, QStringLiteral("Connected %1. Its key is in the local vault.").arg(connector->displayName)};
}

QCoro::Task<Outcome> DashboardActionRunner::createMasterKey(const DashboardMessage &message)
{
    AgentKeys &keys = *m_model.agentKeys();
    keys.setNewMasterKeyAgentID(message.stringField(QStringLiteral("agentId")).trimmed());
    keys.setNewMasterKeyName(message.stringField(QStringLiteral("name")).trimmed());
    keys.setNewMasterKeyConnectorIDs(stringList(message.body().value(QStringLiteral("connectorIds"))).join(QLatin1Char(',')));
    keys.setNewMasterKeyMaxRisk(message.stringField(QStringLiteral("maxRisk")).trimmed());
    if (keys.newMasterKeyAgentID().isEmpty())
        co_return Outcome{false, QStringLiteral("Choose the agent this key is for.")};
    if (const std::optional<QString> blocker = keys.masterKeyCreateBlocker())
        co_return Outcome{false, *blocker};

    const QString recordBefore = keys.createdMasterKeyRecordID();
    co_await m_model.createMasterKey();
    if (keys.createdMasterKeyRecordID().isEmpty() || keys.createdMasterKeyRecordID() == recordBefore)
        co_return Outcome{false, m_model.lastActionError().isEmpty() ? m_model.statusMessage() : m_model.lastActionError()};
    if (!keys.createdMasterKeyProfileVerified())
        co_return Outcome{false, QStringLiteral("The key was created, but its setup profile did not save. Save it again "
                                                "in the Torvane app before setting up the agent.")};
    co_return Outcome{true, QStringLiteral("Created and saved setup profile %1 in the local vault.")
                                .arg(keys.createdMasterKeyProfile())};
}

QCoro::Task<Outcome> DashboardActionRunner::setUpAgentApp(const DashboardMessage &message)
{
    const std::optional<AgentClientDescriptor> client = agentApp(message);
    if (!client)
        co_return Outcome{false, unknownAgentApp};
    const std::optional<AgentClientSetupResult> result = co_await m_model.agentHandoff()->setUpAgentApp(*client);
    if (!result)
        co_return Outcome{false, QStringLiteral("Torvane is already setting up %1.").arg(client->label)};
    if (result->isError)
        co_return Outcome{false, result->message};
    co_return Outcome{true, m_model.statusMessage()};
}

QCoro::Task<Outcome> DashboardActionRunner::copyAgentSetup(const DashboardMessage &message)
{
    const std::optional<AgentClientDescriptor> client = agentApp(message);
    if (!client)
        co_return Outcome{false, unknownAgentApp};
    const bool copied = co_await m_model.agentHandoff()->copyAgentSnippetIfVerified(*client);
    if (!copied)
        co_return Outcome{false, m_model.lastActionError().isEmpty() ? m_model.statusMessage() : m_model.lastActionError()};
    co_return Outcome{true, QStringLiteral("Copied the agent setup for %1. Paste it into its settings.").arg(client->label)};
}

Outcome DashboardActionRunner::openProviderKeyPage(const DashboardMessage &message)
{
    const std::optional<QUrl> page = ProviderKeyPages::url(message.stringField(QStringLiteral("connectorId")));
    if (!page)
        return {false, QStringLiteral("Torvane doesn't know where this app's keys are made.")};
    m_openURL(*page);
    return {true, QStringLiteral("Opened the app's key page in your browser.")};
}
