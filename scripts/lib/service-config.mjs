// Everything the control script knows about this install comes from here: the environment the
// app hands over, with development-lane defaults when the script is run by hand.
import { readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const DEVELOPMENT_DEFAULTS = Object.freeze({
  runtimeLane: 'development',
  serviceLabel: 'com.torvane.local.dev',
  appBundleId: 'com.torvane.mac.dev',
  brokerPort: 47382,
  stateRootName: '.torvane-dev',
  logDirectoryName: 'TorvaneDev',
  appName: 'Torvane Dev',
});

const START_TIMEOUT_BOUNDS = { min: 30, max: 900 };
// Seconds the app gives each command before it kills this script.
const APP_TIMEOUT_SECONDS = { install: 240, start: 120, stop: 30, status: 25, open: 25, uninstall: 30 };
const SAFETY_MARGIN_SECONDS = 5;

export class ConfigError extends Error {}

// Node's young generation grows to 16 MB per half under load and keeps that memory; the broker's
// live heap is a few MB, so a small one holds its resident size down at no measurable cost.
// V8's four background threads each keep memory of their own (about 6 MB resident in all, after
// load); one is enough for the compiling and marking of a heap this size.
export const BROKER_NODE_ARGUMENTS = Object.freeze(['--max-semi-space-size=2', '--v8-pool-size=1']);

// What follows the node binary when the broker is started, by the script or by systemd.
export function brokerArguments(config) {
  return [...BROKER_NODE_ARGUMENTS, config.entry];
}

function nonEmpty(value) {
  if (typeof value !== 'string') return undefined;
  const trimmed = value.trim();
  return trimmed === '' ? undefined : trimmed;
}

function parsePort(raw, name) {
  if (!/^\d{1,5}$/.test(raw)) throw new ConfigError(`${name} must be a port number, got "${raw}"`);
  const port = Number(raw);
  if (port < 1 || port > 65535) throw new ConfigError(`${name} must be between 1 and 65535, got ${port}`);
  return port;
}

function resolvePort(env) {
  const fromPort = nonEmpty(env.PORT);
  if (fromPort !== undefined) return parsePort(fromPort, 'PORT');
  const fromBrokerPort = nonEmpty(env.TVN_BROKER_PORT);
  if (fromBrokerPort !== undefined) return parsePort(fromBrokerPort, 'TVN_BROKER_PORT');
  return DEVELOPMENT_DEFAULTS.brokerPort;
}

// The dashboard URL follows TVN_BROKER_URL only when it is plain loopback HTTP on our own port;
// anything else would send the user somewhere the broker is not.
function resolveBrokerUrl(env, port) {
  const own = `http://127.0.0.1:${port}`;
  const given = nonEmpty(env.TVN_BROKER_URL);
  if (given === undefined) return own;
  try {
    const url = new URL(given);
    const host = url.hostname.replace(/^\[|\]$/g, '').toLowerCase();
    const loopback = ['127.0.0.1', 'localhost', '::1'].includes(host);
    if (url.protocol === 'http:' && loopback && Number(url.port) === port) return url.origin;
  } catch {
    // An unparsable URL falls back to our own address.
  }
  return own;
}

function readBuildFile(serviceRoot) {
  const file = path.join(serviceRoot, 'tvn-build.json');
  try {
    const parsed = JSON.parse(readFileSync(file, 'utf8'));
    return parsed && typeof parsed === 'object' ? parsed : {};
  } catch (error) {
    throw new ConfigError(`cannot read ${file}: ${error.code ?? error.message}`);
  }
}

function resolveBuild(env, serviceRoot) {
  let buildId = nonEmpty(env.SWITCHYARD_BUILD_ID);
  let buildChannel = nonEmpty(env.SWITCHYARD_BUILD_CHANNEL);
  if (buildId === undefined || buildChannel === undefined) {
    const file = readBuildFile(serviceRoot);
    buildId ??= nonEmpty(file.buildId);
    buildChannel ??= nonEmpty(file.buildChannel);
  }
  if (buildId === undefined || buildChannel === undefined) {
    throw new ConfigError('build id and channel are missing from SWITCHYARD_BUILD_ID/CHANNEL and tvn-build.json');
  }
  return { buildId, buildChannel };
}

// The app's time-out for a command; TVN_SERVICE_START_TIMEOUT_SECONDS (clamped) overrides it for
// install and start only.
export function appTimeoutSeconds(env, command) {
  const fallback = APP_TIMEOUT_SECONDS[command];
  if (command !== 'install' && command !== 'start') return fallback;
  const raw = nonEmpty(env.TVN_SERVICE_START_TIMEOUT_SECONDS);
  const parsed = raw === undefined ? Number.NaN : Number(raw);
  if (!Number.isFinite(parsed)) return fallback;
  return Math.min(START_TIMEOUT_BOUNDS.max, Math.max(START_TIMEOUT_BOUNDS.min, parsed));
}

// When this run must have printed its status: a little before the app would give up on it.
export function commandDeadline(env, command, now = Date.now()) {
  return now + (appTimeoutSeconds(env, command) - SAFETY_MARGIN_SECONDS) * 1000;
}

function trustedAppPathList(env) {
  return (env.SWITCHYARD_TRUSTED_APP_PATHS ?? '').split(',').map((p) => p.trim()).filter(Boolean);
}

export function resolveServiceConfig(env, serviceRoot) {
  const home = nonEmpty(env.HOME) ?? os.homedir();
  const brokerPort = resolvePort(env);
  const stateDir = path.resolve(nonEmpty(env.SWITCHYARD_STATE_DIR) ?? path.join(home, DEVELOPMENT_DEFAULTS.stateRootName, 'state'));
  const dataHome = nonEmpty(env.XDG_DATA_HOME) ?? path.join(home, '.local', 'share');
  const configHome = nonEmpty(env.XDG_CONFIG_HOME) ?? path.join(home, '.config');
  const brokerUrl = resolveBrokerUrl(env, brokerPort);
  return Object.freeze({
    home,
    runtimeLane: nonEmpty(env.TVN_RUNTIME_LANE) ?? DEVELOPMENT_DEFAULTS.runtimeLane,
    serviceLabel: nonEmpty(env.TVN_SERVICE_LABEL) ?? DEVELOPMENT_DEFAULTS.serviceLabel,
    appBundleId: nonEmpty(env.TVN_APP_BUNDLE_ID) ?? DEVELOPMENT_DEFAULTS.appBundleId,
    brokerPort,
    brokerUrl,
    dashboardUrl: `${brokerUrl}/`,
    stateRoot: path.dirname(stateDir),
    stateDir,
    profileStoreDir: path.resolve(nonEmpty(env.TVN_PROFILE_STORE_DIR) ?? path.join(stateDir, 'agent-keys')),
    logDir: path.resolve(nonEmpty(env.TVN_LOG_DIR) ?? path.join(home, 'Library', 'Logs', DEVELOPMENT_DEFAULTS.logDirectoryName)),
    applicationSupportRoot: path.resolve(nonEmpty(env.TVN_APPLICATION_SUPPORT_ROOT) ?? path.join(dataHome, DEVELOPMENT_DEFAULTS.appName)),
    systemdUserDir: path.join(configHome, 'systemd', 'user'),
    serviceRoot,
    entry: path.join(serviceRoot, 'server', 'main.mjs'),
    trustedAppPaths: trustedAppPathList(env),
    ...resolveBuild(env, serviceRoot),
  });
}

// The broker reads these names; when the script runs by hand they carry our defaults, so the
// broker listens where the script looks. Values the app handed over are never replaced.
export function serviceEnvironment(env, config) {
  const defaults = {
    PORT: String(config.brokerPort),
    TVN_BROKER_PORT: String(config.brokerPort),
    TVN_BROKER_URL: config.brokerUrl,
    TVN_RUNTIME_LANE: config.runtimeLane,
    TVN_SERVICE_LABEL: config.serviceLabel,
    TVN_APP_BUNDLE_ID: config.appBundleId,
    SWITCHYARD_STATE_DIR: config.stateDir,
    TVN_PROFILE_STORE_DIR: config.profileStoreDir,
    TVN_LOG_DIR: config.logDir,
    TVN_APPLICATION_SUPPORT_ROOT: config.applicationSupportRoot,
    SWITCHYARD_BIND_MODE: 'loopback',
    SWITCHYARD_BIND_HOST: '127.0.0.1',
  };
  const merged = { ...env };
  for (const [name, value] of Object.entries(defaults)) {
    if (nonEmpty(merged[name]) === undefined) merged[name] = value;
  }
  return merged;
}
