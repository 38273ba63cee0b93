// "Set up" for an agent app: merge only the "tvn" MCP server entry into the app's config file
// and report which local profile it names and whether the broker will accept that agent.
import path from 'node:path';
import { TextDecoder } from 'node:util';
import { AgentConfigError, AgentConfigErrorCode, ContentRefusal, refuse } from './AgentConfigError.mjs';
import { AgentClientFormat, findAgentApp } from './catalog.mjs';
import { backUpConfig, readConfigBytes, replaceConfigAtomically, resolveConfigTarget } from './configFile.mjs';
import { getIn, sameMeaning } from './entryCheck.mjs';
import { handoffEntry, profileNameFor } from './handoffEntry.mjs';
import { mergeJsonEntry, parseJsonConfig } from './jsonConfig.mjs';
import { mergeTomlEntry, parseTomlConfig } from './tomlConfig.mjs';
import { mergeYamlEntry, parseYamlConfig } from './yamlConfig.mjs';

export const ConnectAction = Object.freeze({ created: 'created', updated: 'updated', unchanged: 'unchanged' });

const JSON_EDITOR = { parse: parseJsonConfig, merge: mergeJsonEntry };
const EDITORS = {
  [AgentClientFormat.jsonMcpServers]: JSON_EDITOR,
  [AgentClientFormat.jsonVscode]: JSON_EDITOR,
  [AgentClientFormat.jsonOpenclaw]: JSON_EDITOR,
  [AgentClientFormat.tomlCodex]: { parse: parseTomlConfig, merge: mergeTomlEntry },
  [AgentClientFormat.yamlMcpServers]: { parse: parseYamlConfig, merge: mergeYamlEntry },
};

const BOM = '\uFEFF';

function decodeText(bytes, shownPath) {
  if (bytes === null) return { text: '', bom: '', eol: '\n' };
  let decoded;
  try {
    decoded = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    throw refuse(AgentConfigErrorCode.invalidContent, shownPath, 'it is not UTF-8 text');
  }
  const bom = decoded.startsWith(BOM) ? BOM : '';
  const text = decoded.slice(bom.length);
  const firstBreak = text.indexOf('\n');
  return { text, bom, eol: firstBreak > 0 && text[firstBreak - 1] === '\r' ? '\r\n' : '\n' };
}

function inFile(shownPath, action) {
  try {
    return action();
  } catch (error) {
    if (error instanceof ContentRefusal) throw refuse(error.code, shownPath, error.message);
    throw error;
  }
}

// Two set-ups of one app at once would race on its file; they run one after the other instead.
const writesInFlight = new Map();

function oneAtATime(key, task) {
  const run = (writesInFlight.get(key) ?? Promise.resolve()).then(task);
  const settled = run.catch(() => {});
  writesInFlight.set(key, settled);
  settled.then(() => {
    if (writesInFlight.get(key) === settled) writesInFlight.delete(key);
  });
  return run;
}

// Writes `entry` at the app's entry path. Returns the action taken and the backup, if one was made.
export function writeAgentEntry({ app, homeDir, entry, now = new Date() }) {
  return oneAtATime(path.resolve(homeDir, app.relPath), () => writeEntryNow({ app, homeDir, entry, now }));
}

async function writeEntryNow({ app, homeDir, entry, now }) {
  const resolved = await resolveConfigTarget(homeDir, app.relPath);
  const original = resolved.stat ? await readConfigBytes(resolved) : null;
  const { text, bom, eol } = decodeText(original, resolved.shownPath);
  const editor = EDITORS[app.format];
  const current = inFile(resolved.shownPath, () => editor.parse(text));
  if (original !== null && sameMeaning(getIn(current, app.entryPath), entry)) {
    return { action: ConnectAction.unchanged, configPath: resolved.shownPath, backupPath: null };
  }
  const edited = inFile(resolved.shownPath, () => editor.merge(text, app.entryPath, entry, { eol }));
  const backupPath = original === null ? null : await backUpConfig(resolved, original, now);
  await replaceConfigAtomically(resolved, Buffer.from(bom + edited, 'utf8'));
  return { action: original === null ? ConnectAction.created : ConnectAction.updated, configPath: resolved.shownPath, backupPath };
}

export function requireAutoWriteApp(appId) {
  const app = findAgentApp(appId);
  if (!app) throw new AgentConfigError(AgentConfigErrorCode.unknownApp, `Unknown agent app "${appId}"`);
  if (!app.autoWrite) throw new AgentConfigError(AgentConfigErrorCode.manualOnly, 'This agent requires a manual setup snippet.');
  return app;
}

// `activeKey` is the active agent key whose agentId is the app id (or null); its secret is never
// needed here: the entry only names the local profile that holds it.
export async function connectAgentApp({ appId, homeDir, brokerUrl, runtimeLane, stateDir, wrapperCommand, activeKey, killSwitchEnabled, now }) {
  const app = requireAutoWriteApp(appId);
  const profile = profileNameFor(app.id);
  const entry = handoffEntry(app.format, { wrapperCommand, profile, brokerUrl, runtimeLane, stateDir });
  const written = await writeAgentEntry({ app, homeDir, entry, now });
  const response = { action: written.action, configPath: written.configPath, profile };
  if (activeKey) response.keyId = activeKey.id;
  response.brokerAccepted = Boolean(activeKey) && !killSwitchEnabled;
  return { response, backupPath: written.backupPath };
}
