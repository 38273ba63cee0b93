#include "AgentClientSetupWriter.h"

#include "BackslashEscape.h"

#include <QJsonArray>
#include <QJsonDocument>

const QString AgentClientSetupWriter::serverName = QStringLiteral("tvn");

namespace {
const QString profileFlag = QStringLiteral("--profile");

QJsonObject nested(const QStringList &path, const QJsonObject &innermost)
{
    QJsonObject value = innermost;
    for (auto key = path.crbegin(); key != path.crend(); ++key)
        value = QJsonObject{{*key, value}};
    return value;
}

QString argsLine(const AgentHandoffEntry &entry)
{
    return QStringLiteral("[") + AgentClientSetupWriter::tomlString(profileFlag) + QStringLiteral(", ")
        + AgentClientSetupWriter::tomlString(entry.profile) + QStringLiteral("]");
}

// TOML allows no raw control character in a string, YAML no raw C1 one.
bool needsUnicodeEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}
} // namespace

QJsonObject AgentClientSetupWriter::mcpEntryDict(const AgentHandoffEntry &entry)
{
    QJsonObject environment;
    for (const auto &[name, value] : entry.environment())
        environment.insert(name, value);
    return {{QStringLiteral("command"), entry.wrapperCommand},
            {QStringLiteral("args"), QJsonArray{profileFlag, entry.profile}},
            {QStringLiteral("env"), environment}};
}

QJsonObject AgentClientSetupWriter::vscodeEntryDict(const AgentHandoffEntry &entry)
{
    QJsonObject dict = mcpEntryDict(entry);
    dict.insert(QStringLiteral("type"), QStringLiteral("stdio"));
    return dict;
}

QString AgentClientSetupWriter::renderJSON(const QStringList &containerPath, const QJsonObject &entryDict)
{
    // QJsonObject keeps its keys sorted; the indented form already ends with a newline.
    const QJsonObject document = nested(containerPath + QStringList{serverName}, entryDict);
    QString text = QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
    // A "/" only ever occurs inside a string here.
    return text.replace(QLatin1Char('/'), QStringLiteral("\\/"));
}

QString AgentClientSetupWriter::renderCodexBlock(const AgentHandoffEntry &entry)
{
    QStringList lines{
        QStringLiteral("[mcp_servers.") + serverName + QLatin1Char(']'),
        QStringLiteral("command = ") + tomlString(entry.wrapperCommand),
        QStringLiteral("args = ") + argsLine(entry),
        QString(),
        QStringLiteral("[mcp_servers.") + serverName + QStringLiteral(".env]"),
    };
    for (const auto &[name, value] : entry.environment())
        lines.append(name + QStringLiteral(" = ") + tomlString(value));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString AgentClientSetupWriter::renderYamlMcpServersBlock(const AgentHandoffEntry &entry)
{
    QStringList lines{
        QStringLiteral("mcp_servers:"),
        QStringLiteral("  ") + serverName + QLatin1Char(':'),
        QStringLiteral("    command: ") + tomlString(entry.wrapperCommand),
        QStringLiteral("    args: ") + argsLine(entry),
        QStringLiteral("    env:"),
    };
    for (const auto &[name, value] : entry.environment())
        lines.append(QStringLiteral("      ") + name + QStringLiteral(": ") + tomlString(value));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QStringList AgentClientSetupWriter::jsonContainerPath(AgentClientFormat format)
{
    switch (format) {
    case AgentClientFormat::jsonVscode:
        return {QStringLiteral("servers")};
    case AgentClientFormat::jsonOpenclaw:
        return {QStringLiteral("mcp"), QStringLiteral("servers")};
    default:
        return {QStringLiteral("mcpServers")};
    }
}

QString AgentClientSetupWriter::renderSnippet(const AgentClientDescriptor &client, const AgentHandoffEntry &entry)
{
    const QJsonObject dict = client.entryNamesTransport() ? vscodeEntryDict(entry) : mcpEntryDict(entry);
    switch (client.format) {
    case AgentClientFormat::jsonMcpServers:
    case AgentClientFormat::manualMcpServers:
    case AgentClientFormat::jsonVscode:
    case AgentClientFormat::jsonOpenclaw:
        return renderJSON(jsonContainerPath(client.format), dict);
    case AgentClientFormat::tomlCodex:
        return renderCodexBlock(entry);
    case AgentClientFormat::yamlMcpServers:
        return renderYamlMcpServersBlock(entry);
    }
    return {};
}

QString AgentClientSetupWriter::tomlString(const QString &text)
{
    return QLatin1Char('"') + backslashEscaped(text, &needsUnicodeEscape) + QLatin1Char('"');
}
