// The systemd user unit, used when a user manager answers. Without one (containers, CI, some
// sessions) the control script falls back to a detached process.
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { brokerArguments } from './service-config.mjs';

export const unitFileName = (config) => `${config.serviceLabel}.service`;
export const unitFilePath = (config) => path.join(config.systemdUserDir, unitFileName(config));

// The manager's own unit directory, from its environment (where it looks for our unit).
export function managerUnitDir(showEnvironmentOutput) {
  const vars = Object.fromEntries(showEnvironmentOutput.split('\n').map((line) => {
    const eq = line.indexOf('=');
    return [line.slice(0, eq), line.slice(eq + 1)];
  }));
  const configHome = vars.XDG_CONFIG_HOME || (vars.HOME ? path.join(vars.HOME, '.config') : null);
  return configHome === null ? null : path.join(configHome, 'systemd', 'user');
}

// A user manager is used when it answers quickly and reads units from the directory we write
// to (a script run with another HOME, as in tests, would write a unit it never sees).
// TVN_SERVICE_MANAGER=systemd|detached pins the choice.
export function userManagerAvailable(env, config) {
  const pinned = (env.TVN_SERVICE_MANAGER ?? '').trim().toLowerCase();
  if (pinned === 'detached') return false;
  if (pinned === 'systemd') return true;
  const answer = systemctl(['show-environment'], 1000);
  return answer.ok && managerUnitDir(answer.stdout) === config.systemdUserDir;
}

export function systemctl(args, timeoutMs = 10000) {
  const result = spawnSync('systemctl', ['--user', ...args], { timeout: timeoutMs, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
  return { ok: result.status === 0, stdout: (result.stdout ?? '').trim() };
}

// Path settings take the rest of the line as is, with "%" specifiers; command lines are unquoted
// like a shell word and also expand "$".
function unitPath(text) {
  if (/[\x00-\x1f\x7f]/.test(text)) throw new Error(`cannot put a path with control characters in a unit: ${JSON.stringify(text)}`);
  return text.replaceAll('%', '%%');
}
const commandWord = (word) => `"${unitPath(word).replaceAll('\\', '\\\\').replaceAll('"', '\\"').replaceAll('$', '$$$$')}"`;

export function unitText(config, { nodePath, environmentFile, logFile }) {
  return [
    '[Unit]',
    `Description=Torvane local service (${unitPath(config.serviceLabel)})`,
    'StartLimitIntervalSec=30',
    'StartLimitBurst=3',
    '',
    '[Service]',
    'Type=simple',
    `WorkingDirectory=${unitPath(config.serviceRoot)}`,
    `EnvironmentFile=${unitPath(environmentFile)}`,
    `ExecStart=${[nodePath, ...brokerArguments(config)].map(commandWord).join(' ')}`,
    `StandardOutput=append:${unitPath(logFile)}`,
    `StandardError=append:${unitPath(logFile)}`,
    'UMask=0077',
    'Restart=on-failure',
    'RestartSec=1',
    '',
    '[Install]',
    'WantedBy=default.target',
    '',
  ].join('\n');
}

// The unit's environment lives in an owner-only file rather than in the unit, which any process
// of the user can read back through the manager. Only names the service reads are written;
// credentials that happen to be in the app's environment stay out of it.
const SERVICE_NAME_PATTERN = /^(TVN_|SWITCHYARD_|NODE_|XDG_|LC_)|^(PORT|PATH|HOME|USER|LOGNAME|LANG|LANGUAGE|TZ|TMPDIR|SHELL)$/;
const SECRET_NAME_PATTERN = /SECRET|TOKEN|PASSWORD|PASSPHRASE|API_KEY|^SWITCHYARD_OPERATOR_BOOTSTRAP$/;

export function environmentFileText(env) {
  const lines = [];
  for (const [name, value] of Object.entries(env).sort(([a], [b]) => a.localeCompare(b))) {
    if (!SERVICE_NAME_PATTERN.test(name) || SECRET_NAME_PATTERN.test(name)) continue;
    if (typeof value !== 'string' || /[\n\r\0]/.test(value)) continue;
    lines.push(`${name}="${value.replaceAll('\\', '\\\\').replaceAll('"', '\\"').replaceAll('$', '\\$')}"`);
  }
  return `${lines.join('\n')}\n`;
}
