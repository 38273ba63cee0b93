// "Set up" for an agent app: merge only the "tvn" MCP server entry into the app's config file
// and report which local profile it names and whether the broker will accept that agent.
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { AgentConfigError, AgentConfigErrorCode, ContentRefusal, refuse } from './AgentConfigError.mjs';
import { findAgentApp } from './catalog.mjs';
import { backUpConfig, readConfigBytes, replaceConfigAtomically, resolveConfigTarget } from './configFile.mjs';
import { handoffEntry, profileNameFor } from './handoffEntry.mjs';

export const ConnectAction = Object.freeze({ created: 'created', updated: 'updated', unchanged: 'unchanged' });

// An edit that takes longer than this is given up: the app stopped waiting long before.
const EDIT_TIME_LIMIT_MS = 30_000;
const EDIT_MEMORY_LIMIT_MB = 512;

// Parses and merges in a worker, so neither a big file nor a hostile one holds up the broker, and
// the parsers' memory goes away with it. Resolves with planEdit's answer; rejects with a
// ContentRefusal for what the file's content is to blame for.
function planEditInWorker(job) {
  return new Promise((resolve, reject) => {
    const worker = new Worker(new URL('./editWorker.mjs', import.meta.url), {
      workerData: job,
      resourceLimits: { maxOldGenerationSizeMb: EDIT_MEMORY_LIMIT_MB },
    });
    let settled = false;
    const settle = (action) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      worker.terminate();
      action();
    };
    const timer = setTimeout(() => settle(() => reject(new ContentRefusal(AgentConfigErrorCode.unsupportedShape,
      `it could not be edited within ${EDIT_TIME_LIMIT_MS / 1000} s`))), EDIT_TIME_LIMIT_MS);
    worker.once('message', (answer) => settle(() => {
      if (answer.plan) resolve({ ...answer.plan, bytes: answer.plan.bytes ? Buffer.from(answer.plan.bytes) : undefined });
      else if (answer.refusal) reject(new ContentRefusal(answer.refusal.code, answer.refusal.reason));
      else reject(new Error(`config edit failed: ${answer.failure}`));
    }));
    worker.once('error', (error) => settle(() => reject(error?.code === 'ERR_WORKER_OUT_OF_MEMORY'
      ? new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'it needs more memory to edit than is safe')
      : error)));
    worker.once('exit', (code) => settle(() => reject(new Error(`config edit stopped early (exit ${code})`))));
  });
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
  let plan;
  try {
    plan = await planEditInWorker({ format: app.format, bytes: original, entryPath: app.entryPath, entry });
  } catch (error) {
    if (error instanceof ContentRefusal) throw refuse(error.code, resolved.shownPath, error.message);
    throw error;
  }
  if (plan.unchanged) return { action: ConnectAction.unchanged, configPath: resolved.shownPath, backupPath: null };
  const backupPath = original === null ? null : await backUpConfig(resolved, original, now);
  await replaceConfigAtomically(resolved, plan.bytes);
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
export async function connectAgentApp({ appId, homeDir, brokerUrl, runtimeLane, stateDir, signerPath, wrapperCommand, activeKey, killSwitchEnabled, now }) {
  const app = requireAutoWriteApp(appId);
  const profile = profileNameFor(app.id);
  const entry = handoffEntry(app, { wrapperCommand, profile, brokerUrl, runtimeLane, stateDir, signerPath });
  const written = await writeAgentEntry({ app, homeDir, entry, now });
  const response = { action: written.action, configPath: written.configPath, profile };
  if (activeKey) response.keyId = activeKey.id;
  response.brokerAccepted = Boolean(activeKey) && !killSwitchEnabled;
  return { response, backupPath: written.backupPath };
}
