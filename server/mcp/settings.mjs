// Where the wrapper finds the broker and the profile store. The broker URL must be loopback: the
// agent key is sent to it as a bearer token.
import os from 'node:os';
import path from 'node:path';

export const DEFAULT_BROKER_URL = 'http://127.0.0.1:47382';
const PRODUCTION_BROKER_URL = 'http://127.0.0.1:47381';
const LOOPBACK_HOSTS = new Set(['127.0.0.1', 'localhost', '[::1]']);
const PROFILE_PATTERN = /^[A-Za-z0-9_.:-]{1,64}$/;

export class WrapperSettingsError extends Error {
  constructor(status, message, hint) {
    super(message);
    this.status = status;
    this.hint = hint;
  }
}

export function parseArguments(argv) {
  const options = { profile: null, check: false };
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '--check') options.check = true;
    else if (arg === '--profile' && i + 1 < argv.length) options.profile = argv[++i];
    else if (arg.startsWith('--profile=')) options.profile = arg.slice('--profile='.length);
    else throw new WrapperSettingsError('invalid_arguments', `Unknown argument "${arg}"`, 'Run the wrapper as: tvn-mcp-launch.sh --profile NAME [--check]');
  }
  return options;
}

export function validProfileName(raw) {
  const name = String(raw ?? '').trim();
  if (!PROFILE_PATTERN.test(name)) {
    throw new WrapperSettingsError('invalid_profile', 'Agent profile must be 1-64 characters using letters, numbers, dot, underscore, colon, or dash',
      'Pass --profile with the profile name Torvane shows for this agent (for example claude-code-keel-tvn).');
  }
  return name;
}

export function brokerUrlFrom(env) {
  const raw = (env.TVN_BROKER_URL ?? '').trim() || (env.TVN_RUNTIME_LANE === 'production' ? PRODUCTION_BROKER_URL : DEFAULT_BROKER_URL);
  let url;
  try {
    url = new URL(raw);
  } catch {
    throw new WrapperSettingsError('invalid_broker_url', `TVN_BROKER_URL is not a URL: ${raw}`, 'Set TVN_BROKER_URL to the local broker, e.g. http://127.0.0.1:47382.');
  }
  if (url.protocol !== 'http:' || !LOOPBACK_HOSTS.has(url.hostname.toLowerCase()) || url.username || url.password) {
    throw new WrapperSettingsError('invalid_broker_url', `Refusing a broker URL that is not local loopback HTTP: ${url.origin}`,
      'The agent key is only ever sent to the Torvane broker on this computer (http://127.0.0.1:<port>).');
  }
  return url.origin;
}

function requireAbsolute(variable, value) {
  if (!path.isAbsolute(value) || value.includes('\0')) {
    throw new WrapperSettingsError('invalid_state_dir', `${variable} must be an absolute path`, 'Copy the setup from Torvane again so the path is filled in.');
  }
  return path.normalize(value);
}

// SWITCHYARD_STATE_DIR holds "agent-keys"; TVN_PROFILE_STORE_DIR names "agent-keys" itself.
export function profileStoreFrom(env) {
  const stateDir = (env.SWITCHYARD_STATE_DIR ?? '').trim();
  if (stateDir) {
    const dir = requireAbsolute('SWITCHYARD_STATE_DIR', stateDir);
    return { stateDir: dir, profileDir: path.join(dir, 'agent-keys') };
  }
  const storeDir = (env.TVN_PROFILE_STORE_DIR ?? '').trim();
  if (storeDir) {
    const dir = requireAbsolute('TVN_PROFILE_STORE_DIR', storeDir);
    return { stateDir: path.dirname(dir), profileDir: dir };
  }
  const root = env.TVN_RUNTIME_LANE === 'production' ? '.torvane' : '.torvane-dev';
  const dir = path.join(env.HOME || os.homedir(), root, 'state');
  return { stateDir: dir, profileDir: path.join(dir, 'agent-keys') };
}
