#pragma once

#include "AgentClientDescriptor.h"
#include "AgentHandoffEntry.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The paste-in text of Torvane's MCP entry for each agent app, in that app's own format. The
// broker writes the same entry into the files it edits, so both must stay in step.
class AgentClientSetupWriter
{
public:
    // The MCP server's name in every app's config.
    static const QString serverName;

    // The snippet for `client`; it always ends with one newline.
    static QString renderSnippet(const AgentClientDescriptor &client, const AgentHandoffEntry &entry);

    // Where a JSON format keeps its MCP servers ("mcpServers", "servers", "mcp.servers").
    static QStringList jsonContainerPath(AgentClientFormat format);

    // {"command", "args": ["--profile", profile], "env"}.
    static QJsonObject mcpEntryDict(const AgentHandoffEntry &entry);
    // The same with "type": "stdio".
    static QJsonObject vscodeEntryDict(const AgentHandoffEntry &entry);

    // The entry at `containerPath` + serverName, pretty-printed with sorted keys and every "/"
    // written as "\/".
    static QString renderJSON(const QStringList &containerPath, const QJsonObject &entryDict);
    static QString renderCodexBlock(const AgentHandoffEntry &entry);
    static QString renderYamlMcpServersBlock(const AgentHandoffEntry &entry);

    // A double-quoted string valid in TOML and YAML alike: backslash, quote, line feed, carriage
    // return and tab get their short escapes, other control characters \uXXXX.
    static QString tomlString(const QString &text);
};
