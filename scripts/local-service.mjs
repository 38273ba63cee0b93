#!/usr/bin/env node
// Control script of the Torvane local service: install, start, stop, status, open, uninstall.
// Prints exactly one JSON status object line on stdout; everything else goes to stderr or the
// service log. Exit 0 whenever a status was printed (its words carry the outcome).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { isProcessRunning, isBrokerOfThisInstall, ownsListeningPort, spawnDetachedBroker, terminateProcess, waitUntil } from './lib/broker-process.mjs';
import { isBrokerHealthy, isPortListening, probeListener } from './lib/broker-probe.mjs';
import { redactedLogSummary } from './lib/redact.mjs';
import { ConfigError, commandDeadline, resolveServiceConfig, serviceEnvironment } from './lib/service-config.mjs';
import { STATUS, decideStatus, statusObject } from './lib/service-status.mjs';
import { UnsafePathError, checkedFileStat, ensurePrivateDir, fileExists, readPrivateJson, removePrivateFile, writePrivateFileAtomic } from './lib/private-files.mjs';
import { environmentFileText, systemctl, unitFileName, unitFilePath, unitText, userManagerAvailable } from './lib/systemd-user.mjs';

const USAGE = 'usage: local-service.mjs install|start|stop|status|open|uninstall';
const START_MARKER = 'local-service: starting broker';
const PORT_FREE_WAIT_MS = 5000;
// Longest a health wait may run: the status read after it needs a few seconds of the budget.
const MAX_HEALTH_WAIT_MS = 60000;
const STATUS_READ_RESERVE_MS = 8000;

const log = (line) => process.stderr.write(`local-service: ${line}\n`);

function installPaths(config) {
  return {
    runLock: path.join(config.stateRoot, 'run.lock'),
    installRecord: path.join(config.stateRoot, 'service-install.json'),
    environmentFile: path.join(config.stateRoot, 'service.env'),
    logFile: path.join(config.logDir, 'broker.log'),
    unitFile: unitFilePath(config),
  };
}

// ---- install record and run lock ------------------------------------------------------------

function readOrIgnore(file) {
  try {
    return readPrivateJson(file);
  } catch (error) {
    if (!(error instanceof UnsafePathError)) throw error;
    log(`ignoring ${file}: ${error.message}`);
    return null;
  }
}

function installedMode(ctx) {
  const record = readOrIgnore(ctx.paths.installRecord);
  if (record?.mode === 'systemd' && fileExists(ctx.paths.unitFile)) return 'systemd';
  if (record?.mode === 'detached') return 'detached';
  return fileExists(ctx.paths.unitFile) ? 'systemd' : null;
}

function readRunLock(ctx) {
  const lock = readOrIgnore(ctx.paths.runLock);
  const valid = lock !== null && Number.isInteger(lock.pid) && typeof lock.buildId === 'string' && typeof lock.startedAt === 'string';
  return valid ? lock : null;
}

function writeRunLock(ctx, pid) {
  const lock = { buildId: ctx.config.buildId, pid, startedAt: new Date().toISOString() };
  writePrivateFileAtomic(ctx.paths.runLock, `${JSON.stringify(lock)}\n`);
}

function bootTimeMs() {
  try {
    const btime = /^btime (\d+)$/m.exec(fs.readFileSync('/proc/stat', 'utf8'));
    return btime === null ? 0 : Number(btime[1]) * 1000;
  } catch {
    return 0;
  }
}

// A lock from before the last boot describes a process that a reboot ended, not a failed start.
const lockFromThisBoot = (lock) => Date.parse(lock.startedAt) >= bootTimeMs();

// ---- what is running ------------------------------------------------------------------------

// pid: the run lock's process when it is a broker of this install.
function serviceState(ctx, mode) {
  const lock = readRunLock(ctx);
  const pid = lock !== null && isBrokerOfThisInstall(lock.pid, ctx.config) ? lock.pid : null;
  if (mode === 'systemd') {
    const state = systemctl(['is-active', unitFileName(ctx.config)], 3000).stdout;
    return { pid, running: ['active', 'activating', 'reloading'].includes(state), failed: state === 'failed' };
  }
  return { pid, running: pid !== null, failed: lock !== null && pid === null && lockFromThisBoot(lock) };
}

// A listener that does not answer as a broker is foreign, unless it is our own broker process.
async function listenerOnPort(ctx, service) {
  const listener = await probeListener(ctx.config.brokerPort);
  const ours = listener.kind === 'foreign' && service.pid !== null && ownsListeningPort(service.pid, ctx.config.brokerPort);
  return ours ? { kind: 'unresponsive' } : listener;
}

async function currentStatus(ctx) {
  const mode = installedMode(ctx);
  const service = mode === null ? { pid: null, running: false, failed: false } : serviceState(ctx, mode);
  const listener = await listenerOnPort(ctx, service);
  const decision = decideStatus({ installed: mode !== null, ...service, listener, config: ctx.config });
  const summary = decision.status === STATUS.startFailed ? redactedLogSummary(ctx.paths.logFile, START_MARKER) : null;
  return statusObject(ctx.config, decision, listener.posture ?? null, summary);
}

// ---- starting ---------------------------------------------------------------------------------

function appendStartMarker(ctx) {
  ensurePrivateDir(ctx.config.logDir);
  checkedFileStat(ctx.paths.logFile);
  const line = `[${new Date().toISOString()}] ${START_MARKER} ${ctx.config.serviceLabel} build ${ctx.config.buildId} (${ctx.config.buildChannel}) on port ${ctx.config.brokerPort}\n`;
  fs.appendFileSync(ctx.paths.logFile, line, { mode: 0o600 });
}

async function startDetached(ctx, deadlineMs) {
  const lock = readRunLock(ctx);
  if (lock !== null && isBrokerOfThisInstall(lock.pid, ctx.config)) {
    // Still coming up from an earlier start: wait for it rather than racing it for the port.
    return waitUntil(async () => !isProcessRunning(lock.pid) || isBrokerHealthy(ctx.config.brokerPort), deadlineMs, 150);
  }
  appendStartMarker(ctx);
  const child = spawnDetachedBroker(ctx.config, serviceEnvironment(ctx.env, ctx.config), ctx.paths.logFile);
  let exited = false;
  child.once('exit', () => { exited = true; });
  child.once('error', (error) => { exited = true; log(`cannot start broker: ${error.message}`); });
  if (child.pid !== undefined) writeRunLock(ctx, child.pid);
  return waitUntil(async () => exited || isBrokerHealthy(ctx.config.brokerPort), deadlineMs, 150);
}

async function startSystemd(ctx, deadlineMs) {
  appendStartMarker(ctx);
  const unit = unitFileName(ctx.config);
  // A unit that hit its start limit refuses to start until its failed state is cleared.
  systemctl(['reset-failed', unit], 3000);
  // --no-block: the wait below owns the whole deadline, a slow manager must not double it.
  if (!systemctl(['start', '--no-block', unit], 5000).ok) return false;
  const up = await waitUntil(async () => {
    if (systemctl(['is-active', unit], 3000).stdout === 'failed') return true;
    return isBrokerHealthy(ctx.config.brokerPort);
  }, deadlineMs, 250);
  const pid = Number(systemctl(['show', '-p', 'MainPID', '--value', unit], 3000).stdout);
  if (Number.isInteger(pid) && pid > 0) writeRunLock(ctx, pid);
  return up;
}

// Starts the installed service unless something already answers on the port: a foreign
// listener or another build's broker is reported, never replaced.
async function startService(ctx, mode) {
  const listener = await probeListener(ctx.config.brokerPort);
  if (listener.kind === 'none') {
    const deadlineMs = Math.max(1000, Math.min(MAX_HEALTH_WAIT_MS, ctx.deadline - Date.now() - STATUS_READ_RESERVE_MS));
    const settled = mode === 'systemd' ? startSystemd(ctx, deadlineMs) : startDetached(ctx, deadlineMs);
    if (!(await settled)) log(`broker did not answer /health within ${deadlineMs / 1000} s`);
  }
  return currentStatus(ctx);
}

// ---- stopping ---------------------------------------------------------------------------------

// Stops only what this install started: the unit, or the run lock's process once /proc shows it
// is our broker. Whatever else listens on the port is left alone.
async function stopService(ctx) {
  const mode = installedMode(ctx);
  if (mode === 'systemd') {
    systemctl(['stop', unitFileName(ctx.config)], 15000);
    // A stopped unit that had failed before would otherwise still read as a failed start.
    systemctl(['reset-failed', unitFileName(ctx.config)], 3000);
  }
  const lock = readRunLock(ctx);
  if (lock !== null && isBrokerOfThisInstall(lock.pid, ctx.config)) {
    if (!(await terminateProcess(lock.pid))) throw new Error(`broker process ${lock.pid} did not exit`);
    await waitUntil(async () => !(await isPortListening(ctx.config.brokerPort)), PORT_FREE_WAIT_MS, 100);
  }
  if (lock !== null || fileExists(ctx.paths.runLock)) removePrivateFile(ctx.paths.runLock);
}

// ---- commands ---------------------------------------------------------------------------------

function writeInstallRecord(ctx, mode) {
  const { config } = ctx;
  const record = { serviceLabel: config.serviceLabel, mode, serviceRoot: config.serviceRoot, buildId: config.buildId, buildChannel: config.buildChannel, installedAt: new Date().toISOString() };
  writePrivateFileAtomic(ctx.paths.installRecord, `${JSON.stringify(record, null, 2)}\n`);
}

function installSystemdUnit(ctx) {
  writePrivateFileAtomic(ctx.paths.environmentFile, environmentFileText(serviceEnvironment(ctx.env, ctx.config)));
  const text = unitText(ctx.config, { nodePath: process.execPath, environmentFile: ctx.paths.environmentFile, logFile: ctx.paths.logFile });
  fs.mkdirSync(ctx.config.systemdUserDir, { recursive: true, mode: 0o700 });
  writePrivateFileAtomic(ctx.paths.unitFile, text, 0o644);
  systemctl(['daemon-reload']);
  systemctl(['enable', unitFileName(ctx.config)]);
}

async function install(ctx) {
  ensurePrivateDir(ctx.config.stateRoot);
  ensurePrivateDir(ctx.config.logDir);
  const mode = installedMode(ctx) ?? (userManagerAvailable(ctx.env, ctx.config) ? 'systemd' : 'detached');
  if (mode === 'systemd') installSystemdUnit(ctx);
  writeInstallRecord(ctx, mode);
  return startService(ctx, mode);
}

async function start(ctx) {
  const mode = installedMode(ctx);
  if (mode === null) {
    log('the local service is not installed; run install first');
    return currentStatus(ctx);
  }
  return startService(ctx, mode);
}

async function stop(ctx) {
  await stopService(ctx);
  return currentStatus(ctx);
}

async function uninstall(ctx) {
  await stopService(ctx);
  if (fileExists(ctx.paths.unitFile)) {
    systemctl(['disable', unitFileName(ctx.config)]);
    removePrivateFile(ctx.paths.unitFile);
    systemctl(['daemon-reload']);
  }
  removePrivateFile(ctx.paths.environmentFile);
  removePrivateFile(ctx.paths.installRecord);
  return currentStatus(ctx);
}

function findOnPath(program, env) {
  for (const dir of (env.PATH ?? '').split(':').filter(Boolean)) {
    const candidate = path.join(dir, program);
    try {
      fs.accessSync(candidate, fs.constants.X_OK);
      return candidate;
    } catch {
      // Next directory.
    }
  }
  return null;
}

// Opens the dashboard only when this install's broker answers; without a desktop it says where
// the dashboard is and still succeeds.
async function open(ctx) {
  const status = await currentStatus(ctx);
  if (status.status !== STATUS.ready) {
    log(`not opening the dashboard: status is ${status.status}`);
    return status;
  }
  const opener = findOnPath('xdg-open', ctx.env);
  if (opener === null || !(ctx.env.DISPLAY || ctx.env.WAYLAND_DISPLAY)) {
    log(`no desktop session to open it in; the dashboard is at ${status.dashboardUrl}`);
    return status;
  }
  const child = spawn(opener, [status.dashboardUrl], { detached: true, stdio: 'ignore' });
  child.on('error', (error) => log(`xdg-open failed: ${error.message}`));
  child.unref();
  return status;
}

const COMMANDS = { install, start, stop, status: currentStatus, open, uninstall };
const CHANGES_SERVICE = new Set(['install', 'start', 'stop', 'uninstall']);
const MAX_OPERATION_LOCK_WAIT_MS = 20000;

function lockHolder(file) {
  try {
    return Number.parseInt(fs.readFileSync(file, 'utf8'), 10);
  } catch {
    return Number.NaN;
  }
}

// One changing command at a time per lane: two installs racing would each start a broker and
// leave a run lock naming the one that lost the port. A holder that died leaves a stale lock,
// which the next command clears.
async function withOperationLock(ctx, run) {
  const file = path.join(ctx.config.stateRoot, 'local-service.op.lock');
  ensurePrivateDir(ctx.config.stateRoot);
  // A quarter of this run's budget at most: the command itself needs the rest.
  const deadline = Date.now() + Math.min(MAX_OPERATION_LOCK_WAIT_MS, (ctx.deadline - Date.now()) / 4);
  for (;;) {
    try {
      fs.writeFileSync(file, String(process.pid), { flag: 'wx', mode: 0o600 });
      break;
    } catch (error) {
      if (error.code !== 'EEXIST') throw error;
    }
    const holder = lockHolder(file);
    if (!isProcessRunning(holder)) {
      removePrivateFile(file);
    } else if (Date.now() >= deadline) {
      throw new Error(`another local-service command (pid ${holder}) is still running`);
    } else {
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
  }
  try {
    return await run();
  } finally {
    fs.rmSync(file, { force: true });
  }
}

async function main(args) {
  const command = args[0];
  if (args.length !== 1 || !Object.hasOwn(COMMANDS, command)) {
    process.stderr.write(`${USAGE}\n`);
    return 2;
  }
  const serviceRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
  const config = resolveServiceConfig(process.env, serviceRoot);
  const ctx = { config, env: process.env, paths: installPaths(config), deadline: commandDeadline(process.env, command) };
  // Nothing to guard before the first install has created the state root.
  const guarded = CHANGES_SERVICE.has(command) && (command === 'install' || fileExists(config.stateRoot));
  const status = guarded ? await withOperationLock(ctx, () => COMMANDS[command](ctx)) : await COMMANDS[command](ctx);
  process.stdout.write(`${JSON.stringify(status)}\n`);
  return 0;
}

main(process.argv.slice(2)).then(
  (code) => { process.exitCode = code; },
  (error) => {
    const known = error instanceof ConfigError || error instanceof UnsafePathError;
    const message = String(error?.message ?? error).replace(/\s*\n\s*/g, ' ');
    process.stderr.write(`local-service: ${known ? '' : 'internal error: '}${message}\n`);
    process.exitCode = 1;
  },
);
