#include "AgentClientDescriptor.h"

#include <algorithm>

namespace {
AgentClientDescriptor entry(const char *id, const char *label, AgentClientFormat format, const char *relPath,
                            QStringList notes, const char *systemImage)
{
    const std::optional<QString> path = relPath ? std::optional<QString>(QString::fromUtf8(relPath)) : std::nullopt;
    return {QString::fromUtf8(id), QString::fromUtf8(label), format, path, path.has_value(), std::move(notes),
            QString::fromUtf8(systemImage)};
}

QList<AgentClientDescriptor> catalog()
{
    using F = AgentClientFormat;
    return {
        entry("claude-code", "Claude Code (CLI)", F::jsonMcpServers, ".claude.json",
              {QStringLiteral("Writes the user-scoped mcpServers entry in ~/.claude.json (applies to all projects)."),
               QStringLiteral("Quit and restart Claude Code after writing.")},
              "terminal.fill"),
        entry("claude-desktop", "Claude Desktop", F::jsonMcpServers, ".config/Claude/claude_desktop_config.json",
              {QStringLiteral("Quit and reopen Claude Desktop after writing so it picks up the server.")}, "desktopcomputer"),
        entry("cursor", "Cursor", F::jsonMcpServers, ".cursor/mcp.json",
              {QStringLiteral("Global Cursor MCP config. For one project use <project>/.cursor/mcp.json.")},
              "cursorarrow.motionlines"),
        entry("vscode", "VS Code / GitHub Copilot", F::jsonVscode, ".config/Code/User/mcp.json",
              {QStringLiteral("VS Code 1.102+ global MCP config; GitHub Copilot in VS Code reads the same file."),
               QStringLiteral("For one workspace use <project>/.vscode/mcp.json.")},
              "chevron.left.forwardslash.chevron.right"),
        entry("antigravity", "Antigravity (Gemini IDE)", F::jsonVscode, ".config/Antigravity/User/mcp.json",
              {QStringLiteral("Antigravity is a VS Code fork and reads MCP servers from the same layout.")},
              "chevron.left.forwardslash.chevron.right"),
        entry("codex", "Codex CLI", F::tomlCodex, ".codex/config.toml",
              {QStringLiteral("Codex reads MCP servers from ~/.codex/config.toml.")}, "text.alignleft"),
        entry("jetbrains", "JetBrains AI Assistant", F::manualMcpServers, nullptr,
              {QStringLiteral("JetBrains stores MCP config per IDE/version."),
               QStringLiteral("Settings → Tools → AI Assistant → Model Context Protocol → Add (as JSON).")},
              "hammer.fill"),
        entry("hermes", "Hermes (Desktop / CLI)", F::yamlMcpServers, ".hermes/config.yaml",
              {QStringLiteral("Hermes reads MCP servers from the mcp_servers: map in ~/.hermes/config.yaml."),
               QStringLiteral("The broker merges only the mcp_servers.tvn entry and backs the file up first;"),
               QStringLiteral("it refuses (fail-closed) any YAML shape it cannot edit safely — paste the block then.")},
              "bolt.horizontal.fill"),
        entry("openclaw", "OpenClaw", F::jsonOpenclaw, ".openclaw/openclaw.json",
              {QStringLiteral("OpenClaw reads MCP servers from the nested mcp.servers map in ~/.openclaw/openclaw.json."),
               QStringLiteral("The broker merges only mcp.servers.tvn (D2) and backs the file up first;"),
               QStringLiteral("run `openclaw gateway restart` afterwards so it picks up the connection.")},
              "pawprint.fill"),
    };
}
} // namespace

const QList<AgentClientDescriptor> &AgentClientDescriptor::all()
{
    static const QList<AgentClientDescriptor> entries = catalog();
    return entries;
}

std::optional<AgentClientDescriptor> AgentClientDescriptor::find(const QString &id)
{
    const QList<AgentClientDescriptor> &entries = all();
    const auto found = std::find_if(entries.begin(), entries.end(), [&id](const auto &client) { return client.id == id; });
    return found == entries.end() ? std::nullopt : std::optional<AgentClientDescriptor>(*found);
}

bool AgentClientDescriptor::entryNamesTransport() const
{
    return format == AgentClientFormat::jsonVscode || id == QLatin1StringView("claude-code");
}

QString AgentClientDescriptor::locationText() const
{
    return relPath ? QStringLiteral("~/") + *relPath : QStringLiteral("paste-in (manual)");
}
