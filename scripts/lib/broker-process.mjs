// The detached broker process: starting it without a session, and recognising it again later
// from /proc so that only a broker of this install is ever signalled.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { brokerArguments } from './service-config.mjs';

const BROKER_ENTRY_SUFFIX = `${path.sep}server${path.sep}main.mjs`;

// readProc('self', 'stat'), readProc(1234, 'cmdline'), readProc('net', 'tcp').
function readProc(pid, name) {
  try {
    return fs.readFileSync(`/proc/${pid}/${name}`);
  } catch {
    return null;
  }
}

function nulSeparated(buffer) {
  return buffer === null ? [] : buffer.toString('utf8').split('\0').filter(Boolean);
}

function realpathOrSelf(target) {
  try {
    return fs.realpathSync(target);
  } catch {
    return path.resolve(target);
  }
}

// Alive and not a zombie left for a parent that does not reap.
export function isProcessRunning(pid) {
  if (!Number.isInteger(pid) || pid <= 0) return false;
  try {
    process.kill(pid, 0);
  } catch (error) {
    if (error.code !== 'EPERM') return false;
  }
  const stat = readProc(pid, 'stat');
  if (stat === null) return true;
  const state = stat.toString('utf8').replace(/^.*\) /s, '')[0];
  return state !== 'Z' && state !== 'X';
}

function ownedByUs(pid) {
  try {
    return typeof process.getuid !== 'function' || fs.statSync(`/proc/${pid}`).uid === process.getuid();
  } catch {
    return false;
  }
}

function brokerEntryOf(pid) {
  const argv = nulSeparated(readProc(pid, 'cmdline'));
  const cwd = (() => {
    try {
      return fs.readlinkSync(`/proc/${pid}/cwd`);
    } catch {
      return '/';
    }
  })();
  const entry = argv.slice(1).find((arg) => path.resolve(cwd, arg).endsWith(BROKER_ENTRY_SUFFIX));
  return entry === undefined ? null : realpathOrSelf(path.resolve(cwd, entry));
}

// Only the two names that tie a broker to this lane are taken from its environment.
function laneOf(pid) {
  const lane = {};
  for (const entry of nulSeparated(readProc(pid, 'environ'))) {
    const eq = entry.indexOf('=');
    const name = entry.slice(0, eq);
    if (name === 'TVN_SERVICE_LABEL' || name === 'SWITCHYARD_STATE_DIR') lane[name] = entry.slice(eq + 1);
  }
  return lane;
}

// True when pid is a running broker (node running server/main.mjs, owned by this user) that was
// started from this service root, or that serves this lane's label and state directory (a broker
// an earlier build of this install left behind).
export function isBrokerOfThisInstall(pid, config) {
  if (!isProcessRunning(pid) || !ownedByUs(pid)) return false;
  const entry = brokerEntryOf(pid);
  if (entry === null) return false;
  if (entry === realpathOrSelf(config.entry)) return true;
  const lane = laneOf(pid);
  return lane.TVN_SERVICE_LABEL === config.serviceLabel && lane.SWITCHYARD_STATE_DIR !== undefined
    && path.resolve(lane.SWITCHYARD_STATE_DIR) === config.stateDir;
}

// Starts the broker in its own session, stdout and stderr appended to the log; the returned
// child can be watched for an early exit while this script still runs.
export function spawnDetachedBroker(config, env, logFile) {
  const logFd = fs.openSync(logFile, 'a', 0o600);
  try {
    const child = spawn(process.execPath, brokerArguments(config), {
      cwd: config.serviceRoot,
      env,
      detached: true,
      stdio: ['ignore', logFd, logFd],
    });
    child.unref();
    return child;
  } finally {
    fs.closeSync(logFd);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function waitUntil(predicate, timeoutMs, intervalMs = 100) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    if (await predicate()) return true;
    if (Date.now() >= deadline) return false;
    await sleep(intervalMs);
  }
}

// The detached broker leads its own process group; signalling the group also ends any helper
// it started, as a service manager would.
function leadsOwnProcessGroup(pid) {
  const stat = readProc(pid, 'stat')?.toString('utf8');
  const fields = stat === undefined ? [] : stat.replace(/^.*\) /s, '').split(' ');
  return Number(fields[2]) === pid;
}

function signal(pid, name) {
  try {
    process.kill(leadsOwnProcessGroup(pid) ? -pid : pid, name);
  } catch {
    // Already gone.
  }
}

// SIGTERM, a grace period, then SIGKILL. Returns whether the process is gone.
export async function terminateProcess(pid, graceMs = 8000) {
  signal(pid, 'SIGTERM');
  if (await waitUntil(() => !isProcessRunning(pid), graceMs)) return true;
  signal(pid, 'SIGKILL');
  return waitUntil(() => !isProcessRunning(pid), 2000);
}

function listeningSocketInodes(port) {
  const inodes = new Set();
  const LISTEN = '0A';
  for (const table of ['tcp', 'tcp6']) {
    const text = readProc('net', table)?.toString('utf8') ?? '';
    // Columns: sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
    for (const line of text.split('\n').slice(1)) {
      const fields = line.trim().split(/\s+/);
      if (fields.length >= 10 && fields[3] === LISTEN && Number.parseInt(fields[1].split(':').at(-1), 16) === port) inodes.add(fields[9]);
    }
  }
  return inodes;
}

// Whether pid holds the socket listening on port (so a silent listener can be told apart from
// our own broker that listens but does not answer).
export function ownsListeningPort(pid, port) {
  const inodes = listeningSocketInodes(port);
  if (inodes.size === 0) return false;
  let fds;
  try {
    fds = fs.readdirSync(`/proc/${pid}/fd`);
  } catch {
    return false;
  }
  return fds.some((fd) => {
    try {
      const socket = /^socket:\[(\d+)\]$/.exec(fs.readlinkSync(`/proc/${pid}/fd/${fd}`));
      return socket !== null && inodes.has(socket[1]);
    } catch {
      return false;
    }
  });
}
