// The agent apps Torvane can register itself with. Paths are the Linux locations, relative to
// the user's home directory; `entryPath` is where the "tvn" server lives inside the file.
export const AgentClientFormat = Object.freeze({
  jsonMcpServers: 'jsonMcpServers',
  jsonVscode: 'jsonVscode',
  tomlCodex: 'tomlCodex',
  yamlMcpServers: 'yamlMcpServers',
  jsonOpenclaw: 'jsonOpenclaw',
  manualMcpServers: 'manualMcpServers',
});

export const SERVER_NAME = 'tvn';

const ENTRY_PATHS = {
  jsonMcpServers: ['mcpServers', SERVER_NAME],
  jsonVscode: ['servers', SERVER_NAME],
  tomlCodex: ['mcp_servers', SERVER_NAME],
  yamlMcpServers: ['mcp_servers', SERVER_NAME],
  jsonOpenclaw: ['mcp', 'servers', SERVER_NAME],
  manualMcpServers: ['mcpServers', SERVER_NAME],
};

function app(id, label, format, relPath) {
  return Object.freeze({ id, label, format, relPath, autoWrite: relPath !== null, entryPath: ENTRY_PATHS[format] });
}

export const AGENT_APPS = Object.freeze([
  app('claude-code', 'Claude Code (CLI)', 'jsonMcpServers', '.claude.json'),
  app('claude-desktop', 'Claude Desktop', 'jsonMcpServers', '.config/Claude/claude_desktop_config.json'),
  app('cursor', 'Cursor', 'jsonMcpServers', '.cursor/mcp.json'),
  app('vscode', 'VS Code / GitHub Copilot', 'jsonVscode', '.config/Code/User/mcp.json'),
  app('antigravity', 'Antigravity (Gemini IDE)', 'jsonVscode', '.config/Antigravity/User/mcp.json'),
  app('codex', 'Codex CLI', 'tomlCodex', '.codex/config.toml'),
  app('jetbrains', 'JetBrains AI Assistant', 'manualMcpServers', null),
  app('hermes', 'Hermes (Desktop / CLI)', 'yamlMcpServers', '.hermes/config.yaml'),
  app('openclaw', 'OpenClaw', 'jsonOpenclaw', '.openclaw/openclaw.json'),
]);

export function findAgentApp(id) {
  return AGENT_APPS.find((entry) => entry.id === id) ?? null;
}
