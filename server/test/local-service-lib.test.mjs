// The control script's pure pieces: redaction, status rules, configuration and unit text.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { redactSecrets } from '../../scripts/lib/redact.mjs';
import { decideStatus, postureMatchesInstall } from '../../scripts/lib/service-status.mjs';
import { appTimeoutSeconds, resolveServiceConfig, serviceEnvironment } from '../../scripts/lib/service-config.mjs';
import { environmentFileText, managerUnitDir, unitText } from '../../scripts/lib/systemd-user.mjs';

const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');

test('redaction removes secret-looking values and keeps ordinary diagnostics', () => {
  const leaks = [
    ['agent key', 'minted tvn_Zm9vYmFyYmF6cXV4MTIzNDU2Nzg5MGFi for agent', 'tvn_Zm9vYmFy'],
    ['bearer token', 'Authorization: Bearer abc.def-ghi', 'abc.def-ghi'],
    ['bearer in JSON', '{"authorization":"Bearer xyz123"}', 'xyz123'],
    ['operator session header', 'x-tvn-operator-session: 0f9e8d7c-live', '0f9e8d7c-live'],
    ['operator bootstrap header in JSON', '{"x-tvn-operator-bootstrap":"q1w2e3r4"}', 'q1w2e3r4'],
    ['provider key', 'upstream rejected sk-proj-AbC123dEf456', 'sk-proj-AbC123dEf456'],
    ['base64url secret', 'bootstrap=ok value Qm9vdHN0cmFwU2VjcmV0VmFsdWUxMjM0NTY3ODkwYWJj', 'Qm9vdHN0cmFwU2VjcmV0'],
    ['hex run', 'hash 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08', '9f86d081884c7d65'],
    ['named secret', 'passphrase=hunter2hunter2 accepted', 'hunter2hunter2'],
  ];
  for (const [name, line, secret] of leaks) {
    const out = redactSecrets(line);
    assert.ok(!out.includes(secret), `${name}: ${out}`);
    assert.match(out, /\[redacted\]/, name);
  }
  for (const line of [
    'Error: listen EADDRINUSE: address already in use 127.0.0.1:47382',
    'cannot open /home/alice/.torvane-dev/state/vault.json: EACCES',
    'SyntaxError: Unexpected token } in JSON at position 120',
  ]) {
    assert.equal(redactSecrets(line), line);
  }
});

const CONFIG = { buildId: 'b1', buildChannel: 'beta', serviceRoot: repoRoot };
const OWN_POSTURE = { buildId: 'b1', buildChannel: 'beta', serviceRoot: repoRoot };

test('status words follow the listener first, then the install and its process', () => {
  const broker = (posture) => ({ kind: 'broker', posture });
  const rows = [
    // installed, running, failed, listener → status, launchAgent, broker, brokerMatchesInstall
    [false, false, false, { kind: 'none' }, ['not_installed', 'not_installed', 'not_listening', null]],
    [true, false, false, { kind: 'none' }, ['installed', 'installed', 'not_listening', null]],
    [true, true, false, { kind: 'none' }, ['installed', 'loaded', 'not_listening', null]],
    [true, false, true, { kind: 'none' }, ['start_failed', 'installed', 'start_failed', null]],
    [false, false, true, { kind: 'none' }, ['not_installed', 'not_installed', 'not_listening', null]],
    [true, true, false, broker(OWN_POSTURE), ['ready', 'loaded', 'listening', true]],
    [true, false, true, { kind: 'foreign' }, ['port_conflict', 'installed', 'port_conflict', null]],
    [true, true, false, { kind: 'unresponsive' }, ['start_failed', 'loaded', 'start_failed', null]],
    [true, true, false, broker({ ...OWN_POSTURE, buildId: 'b0' }), ['stale_broker', 'loaded', 'mismatch', false]],
    [true, true, false, broker(null), ['stale_broker', 'loaded', 'mismatch', false]],
  ];
  for (const [installed, running, failed, listener, expected] of rows) {
    const d = decideStatus({ installed, running, failed, listener, config: CONFIG });
    assert.deepEqual([d.status, d.launchAgent, d.broker, d.brokerMatchesInstall], expected, JSON.stringify({ installed, running, failed, listener }));
  }
});

test('a posture matches only with the same build id, channel and service root, all present', () => {
  assert.equal(postureMatchesInstall({ ...OWN_POSTURE, buildId: ' b1 ', serviceRoot: `${repoRoot}/scripts/..` }, CONFIG), true);
  for (const change of [{ buildId: 'b2' }, { buildChannel: 'stable' }, { serviceRoot: '/opt/other' }, { buildId: undefined }, { serviceRoot: '' }]) {
    assert.equal(postureMatchesInstall({ ...OWN_POSTURE, ...change }, CONFIG), false, JSON.stringify(change));
  }
});

test('configuration falls back to the development lane under HOME and honours the app environment', () => {
  const byHand = resolveServiceConfig({ HOME: '/home/alice' }, repoRoot);
  assert.equal(byHand.brokerPort, 47382);
  assert.equal(byHand.serviceLabel, 'com.torvane.local.dev');
  assert.equal(byHand.stateRoot, '/home/alice/.torvane-dev');
  assert.equal(byHand.stateDir, '/home/alice/.torvane-dev/state');
  assert.equal(byHand.profileStoreDir, '/home/alice/.torvane-dev/state/agent-keys');
  assert.equal(byHand.logDir, '/home/alice/Library/Logs/TorvaneDev');
  assert.equal(byHand.applicationSupportRoot, '/home/alice/.local/share/Torvane Dev');
  assert.equal(byHand.dashboardUrl, 'http://127.0.0.1:47382/');

  const fromApp = resolveServiceConfig({
    HOME: '/home/alice', TVN_BROKER_PORT: '47381', TVN_SERVICE_LABEL: 'com.torvane.local', TVN_RUNTIME_LANE: 'production',
    SWITCHYARD_STATE_DIR: '/home/alice/.torvane/state', SWITCHYARD_BUILD_ID: '1.2.0+12', SWITCHYARD_BUILD_CHANNEL: 'stable',
    TVN_BROKER_URL: 'http://localhost:47381', SWITCHYARD_TRUSTED_APP_PATHS: '/opt/torvane/wrapper.sh, ,/usr/bin/x',
  }, repoRoot);
  assert.equal(fromApp.brokerPort, 47381);
  assert.equal(fromApp.stateRoot, '/home/alice/.torvane');
  assert.equal(fromApp.dashboardUrl, 'http://localhost:47381/');
  assert.deepEqual([fromApp.buildId, fromApp.buildChannel], ['1.2.0+12', 'stable']);
  assert.deepEqual(fromApp.trustedAppPaths, ['/opt/torvane/wrapper.sh', '/usr/bin/x']);

  // A broker URL off loopback or on another port never becomes the dashboard address.
  for (const url of ['http://192.168.1.4:47382', 'https://127.0.0.1:47382', 'http://127.0.0.1:9999', 'not a url']) {
    assert.equal(resolveServiceConfig({ HOME: '/h', TVN_BROKER_URL: url }, repoRoot).dashboardUrl, 'http://127.0.0.1:47382/', url);
  }

  const env = serviceEnvironment({ HOME: '/h', PORT: '50001', TVN_LOG_DIR: '/logs' }, resolveServiceConfig({ HOME: '/h', PORT: '50001', TVN_LOG_DIR: '/logs' }, repoRoot));
  assert.deepEqual([env.PORT, env.TVN_BROKER_PORT, env.TVN_LOG_DIR, env.SWITCHYARD_BIND_HOST], ['50001', '50001', '/logs', '127.0.0.1']);
});

test('each command keeps to the time-out the app gives it', () => {
  const rows = [
    [undefined, 'install', 240], [undefined, 'start', 120], ['10', 'install', 30], ['5000', 'start', 900],
    ['soon', 'start', 120], ['10', 'stop', 30], ['5000', 'uninstall', 30], ['5000', 'status', 25],
  ];
  for (const [raw, command, timeout] of rows) {
    const env = raw === undefined ? {} : { TVN_SERVICE_START_TIMEOUT_SECONDS: raw };
    assert.equal(appTimeoutSeconds(env, command), timeout, `${raw} ${command}`);
  }
});

test('the systemd unit quotes odd paths and its environment file leaves credentials out', () => {
  const config = { serviceLabel: 'com.torvane.local', serviceRoot: '/opt/My "Tor" $5 100%', entry: '/opt/My "Tor" $5 100%/server/main.mjs' };
  const text = unitText(config, { nodePath: '/usr/bin/node', environmentFile: '/home/a/.torvane/service.env', logFile: '/home/a/Logs 50%/broker.log' });
  const lines = text.split('\n');
  for (const line of [
    'ExecStart="/usr/bin/node" "--max-semi-space-size=2" "--v8-pool-size=1" "/opt/My \\"Tor\\" $$5 100%%/server/main.mjs"',
    'WorkingDirectory=/opt/My "Tor" $5 100%%',
    'EnvironmentFile=/home/a/.torvane/service.env',
    'StandardError=append:/home/a/Logs 50%%/broker.log',
  ]) {
    assert.ok(lines.includes(line), `missing ${line} in\n${text}`);
  }
  assert.throws(() => unitText({ ...config, serviceRoot: '/opt/a\nExecStartPre=/bin/evil' }, { nodePath: '/usr/bin/node', environmentFile: '/e', logFile: '/l' }), /control characters/);

  const envText = environmentFileText({
    PORT: '47381', TVN_SERVICE_LABEL: 'com.torvane.local', SWITCHYARD_STATE_DIR: '/home/a/.torvane/state', PATH: '/usr/bin',
    HOME: '/home/a', TVN_NOTE: 'say "hi" for $5', TVN_MULTILINE: 'a\nb',
    OPENAI_API_KEY: 'sk-123', GITHUB_TOKEN: 'ghp_1', SWITCHYARD_OPERATOR_BOOTSTRAP: 'boot', TVN_SESSION_SECRET: 's', EDITOR: 'vi',
  });
  assert.deepEqual(envText.trim().split('\n'), [
    'HOME="/home/a"', 'PATH="/usr/bin"', 'PORT="47381"', 'SWITCHYARD_STATE_DIR="/home/a/.torvane/state"',
    'TVN_NOTE="say \\"hi\\" for \\$5"', 'TVN_SERVICE_LABEL="com.torvane.local"',
  ]);
});

test('the user manager is used only when it reads units from our directory', () => {
  assert.equal(managerUnitDir('LANG=C\nHOME=/home/alice\nPATH=/usr/bin'), '/home/alice/.config/systemd/user');
  assert.equal(managerUnitDir('HOME=/home/alice\nXDG_CONFIG_HOME=/home/alice/cfg'), '/home/alice/cfg/systemd/user');
  assert.equal(managerUnitDir('LANG=C'), null);
});
