// Broker configuration, read once from the environment the app or the control script hands over.
import os from 'node:os';
import path from 'node:path';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

export const serviceRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const entrypoint = path.join(serviceRoot, 'server', 'main.mjs');

const LOOPBACK_HOSTS = new Set(['127.0.0.1', '::1']);
const TRUTHY = new Set(['1', 'true', 'yes', 'on']);

export class ConfigError extends Error {}

export function isTruthy(value) {
  return TRUTHY.has(String(value ?? '').trim().toLowerCase());
}

function readBuildInfo() {
  try {
    return JSON.parse(readFileSync(path.join(serviceRoot, 'tvn-build.json'), 'utf8'));
  } catch {
    return { buildId: 'development', buildChannel: 'development' };
  }
}

function positiveNumber(raw, fallback, { min, max }) {
  const value = Number.parseFloat(String(raw ?? '').trim());
  if (!Number.isFinite(value)) return fallback;
  return Math.min(max, Math.max(min, value));
}

function parsePort(raw) {
  const text = String(raw ?? '47382').trim();
  if (!/^\d{1,5}$/.test(text) || Number(text) > 65535) throw new ConfigError(`PORT must be a port number, got "${text}"`);
  return Number(text);
}

// Only loopback binds are allowed: the broker holds provider credentials.
function parseBindHost(raw) {
  const host = String(raw ?? '127.0.0.1').trim() || '127.0.0.1';
  const normalized = host === 'localhost' ? '127.0.0.1' : host.replace(/^\[(.*)\]$/, '$1');
  if (!LOOPBACK_HOSTS.has(normalized)) {
    throw new ConfigError(`SWITCHYARD_BIND_HOST must be a loopback address (127.0.0.1 or ::1), got "${host}"`);
  }
  return normalized;
}

function defaultStateDir(env) {
  const lane = env.TVN_RUNTIME_LANE === 'production' ? '.torvane' : '.torvane-dev';
  return path.join(env.HOME || os.homedir(), lane, 'state');
}

export function readConfig(env = process.env, overrides = {}) {
  const build = readBuildInfo();
  const stateDir = path.resolve(overrides.stateDir ?? (env.SWITCHYARD_STATE_DIR || defaultStateDir(env)));
  return {
    env,
    port: overrides.port ?? parsePort(env.PORT),
    bindHost: parseBindHost(overrides.bindHost ?? env.SWITCHYARD_BIND_HOST),
    stateDir,
    sealed: isTruthy(env.SWITCHYARD_OPERATOR_SEALED),
    sessionTtlSeconds: Math.round(positiveNumber(env.SWITCHYARD_OPERATOR_SESSION_TTL_SECONDS, 8 * 3600, { min: 60, max: 7 * 86400 })),
    // Below the app's 6-second request time-out, so a slow provider fails here, not in the app.
    providerTimeoutMs: Math.round(positiveNumber(env.SWITCHYARD_PROVIDER_TIMEOUT_SECONDS, 5, { min: 0.05, max: 120 }) * 1000),
    approvalTtlMs: overrides.approvalTtlMs ?? 10 * 60 * 1000,
    auditCoalesceMs: overrides.auditCoalesceMs ?? 60 * 1000,
    bodyLimitBytes: 1024 * 1024,
    trustedAppPaths: String(env.SWITCHYARD_TRUSTED_APP_PATHS ?? '').split(',').map((p) => p.trim()).filter(Boolean),
    buildId: env.SWITCHYARD_BUILD_ID ?? build.buildId,
    buildChannel: env.SWITCHYARD_BUILD_CHANNEL ?? build.buildChannel,
    serviceRoot,
    entrypoint,
    scryptParams: overrides.scryptParams,
    connectorDefinitions: overrides.connectorDefinitions, // benchmarks only; default: the real catalog
  };
}
