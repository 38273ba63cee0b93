// The MCP server entry written for Torvane: it launches the local wrapper with a profile name
// and the environment that points it at this broker, its state and the signer. It never carries
// a secret.
import path from 'node:path';
import { AgentClientFormat } from './catalog.mjs';

export const PROFILE_SUFFIX = '-keel-tvn';

// Letters and digits of any script, "_" and "-" stay; everything else becomes "_".
export function safeIdentifier(text) {
  const replaced = Array.from(String(text), (ch) => (/^[\p{L}\p{N}_-]$/u.test(ch) ? ch : '_')).join('');
  const trimmed = replaced.replace(/^[_-]+|[_-]+$/g, '');
  return trimmed === '' ? 'profile' : trimmed;
}

export function profileNameFor(agentId) {
  const base = safeIdentifier(agentId);
  return base.endsWith(PROFILE_SUFFIX) ? base : base + PROFILE_SUFFIX;
}

// The signer's absolute path lets any copy of the wrapper open a sealed profile.
export function handoffEnvironment({ brokerUrl, runtimeLane, stateDir, signerPath }) {
  const env = {
    TVN_BROKER_URL: brokerUrl,
    TVN_RUNTIME_LANE: runtimeLane === 'production' ? 'production' : 'development',
    SWITCHYARD_STATE_DIR: stateDir,
  };
  if (typeof signerPath === 'string' && path.isAbsolute(signerPath)) env.SWITCHYARD_BOUND_PROFILE_SIGNER_PATH = signerPath;
  return env;
}

// VS Code's layout names the transport; Claude Code writes it into its own entries too.
function namesTransport(app) {
  return app.format === AgentClientFormat.jsonVscode || app.id === 'claude-code';
}

// Keys in the order the pasted snippets show them.
export function handoffEntry(app, { wrapperCommand, profile, brokerUrl, runtimeLane, stateDir, signerPath }) {
  const entry = {
    command: wrapperCommand,
    args: ['--profile', profile],
    env: handoffEnvironment({ brokerUrl, runtimeLane, stateDir, signerPath }),
  };
  return namesTransport(app) ? { type: 'stdio', ...entry } : entry;
}

// Double-quoted string for the TOML and YAML snippets. Control characters other than the named
// escapes (C1 included, which YAML does not allow raw) become \uXXXX so the result is always
// valid TOML and YAML.
export function tomlString(text) {
  const named = { '\\': '\\\\', '"': '\\"', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
  const escaped = Array.from(String(text), (ch) => {
    if (named[ch]) return named[ch];
    const code = ch.codePointAt(0);
    return code < 0x20 || (code >= 0x7f && code <= 0x9f) ? `\\u${code.toString(16).padStart(4, '0')}` : ch;
  }).join('');
  return `"${escaped}"`;
}
