#include "AgentClientConfigEntry.h"

#include "AgentClientSetupWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {
const QString profileFlag = QStringLiteral("--profile");

QString profileAfterFlag(const QStringList &args)
{
    const qsizetype flag = args.indexOf(profileFlag);
    return flag >= 0 && flag + 1 < args.size() ? args.at(flag + 1) : QString();
}

std::optional<AgentClientConfigEntry> findInJson(const QStringList &containerPath, const QString &text)
{
    QJsonObject level = QJsonDocument::fromJson(text.toUtf8()).object();
    for (const QString &key : containerPath)
        level = level.value(key).toObject();
    const QJsonValue entry = level.value(AgentClientSetupWriter::serverName);
    if (!entry.isObject())
        return std::nullopt;
    QStringList args;
    for (const QJsonValue &arg : entry.toObject().value(QStringLiteral("args")).toArray())
        args << arg.toString();
    return AgentClientConfigEntry{profileAfterFlag(args)};
}

// The strings of a one-line flow array such as `args = ["--profile", "x"]`; profile names need no escapes.
QString profileInArgsLine(const QString &line)
{
    static const QRegularExpression quoted(QStringLiteral(R"re("([^"\\]*)")re"));
    QStringList args;
    for (auto match = quoted.globalMatch(line); match.hasNext();)
        args << match.next().captured(1);
    return profileAfterFlag(args);
}

qsizetype indentOf(const QString &line)
{
    qsizetype indent = 0;
    while (indent < line.size() && line.at(indent) == QLatin1Char(' '))
        ++indent;
    return indent;
}

qsizetype indexOfTrimmed(const QStringList &lines, const QString &wanted, qsizetype from = 0)
{
    for (qsizetype index = from; index < lines.size(); ++index) {
        if (lines.at(index).trimmed() == wanted)
            return index;
    }
    return -1;
}

// [mcp_servers.tvn] up to the next table header (its own [mcp_servers.tvn.env] comes after args).
std::optional<AgentClientConfigEntry> findInToml(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const qsizetype start =
        indexOfTrimmed(lines, QStringLiteral("[mcp_servers.") + AgentClientSetupWriter::serverName + QLatin1Char(']'));
    if (start < 0)
        return std::nullopt;
    for (qsizetype index = start + 1; index < lines.size() && !lines.at(index).trimmed().startsWith(QLatin1Char('['));
         ++index) {
        if (lines.at(index).trimmed().startsWith(QStringLiteral("args")))
            return AgentClientConfigEntry{profileInArgsLine(lines.at(index))};
    }
    return AgentClientConfigEntry{};
}

// The lines of a top-level "mcp_servers:" map, up to the next top-level key.
QStringList yamlServerLines(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList block;
    for (qsizetype index = lines.indexOf(QStringLiteral("mcp_servers:")) + 1; index > 0 && index < lines.size(); ++index) {
        const QString &line = lines.at(index);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        if (indentOf(line) == 0)
            break;
        block << line;
    }
    return block;
}

// "tvn:" at the map's own indentation, and its "args:" line before the next server.
std::optional<AgentClientConfigEntry> findInYaml(const QString &text)
{
    const QStringList block = yamlServerLines(text);
    const qsizetype mapIndent = block.isEmpty() ? 0 : indentOf(block.first());
    bool inEntry = false;
    for (const QString &line : block) {
        if (indentOf(line) == mapIndent) {
            if (inEntry)
                break;
            inEntry = line.trimmed() == AgentClientSetupWriter::serverName + QLatin1Char(':');
        } else if (inEntry && line.trimmed().startsWith(QStringLiteral("args:"))) {
            return AgentClientConfigEntry{profileInArgsLine(line)};
        }
    }
    return inEntry ? std::optional(AgentClientConfigEntry{}) : std::nullopt;
}
} // namespace

std::optional<AgentClientConfigEntry> AgentClientConfigEntry::find(const AgentClientDescriptor &client, const QString &configText)
{
    switch (client.format) {
    case AgentClientFormat::tomlCodex:
        return findInToml(configText);
    case AgentClientFormat::yamlMcpServers:
        return findInYaml(configText);
    default:
        return findInJson(AgentClientSetupWriter::jsonContainerPath(client.format), configText);
    }
}
