// The MCP wrapper (script/tvn-mcp-launch.sh) driven by a real MCP client over stdio, against the
// real broker and a small fake GitHub on loopback; and its --check contract.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { createBroker } from '../app.mjs';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const WRAPPER = path.join(ROOT, 'script', 'tvn-mcp-launch.sh');
const PROFILE = 'claude-code-keel-tvn';
const PROVIDER_TOKEN = 'ghp_fake_provider_token';

let home;
let stateDir;
let provider;
let broker;
let operatorSession;
let agentKey;
let agentKeyId;

async function listen(server) {
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return `http://127.0.0.1:${server.address().port}`;
}

// The provider side is faked: it stands for api.github.com, which tests cannot reach.
function startFakeGithub() {
  const seen = [];
  const server = http.createServer((req, res) => {
    let body = '';
    req.on('data', (chunk) => { body += chunk; });
    req.on('end', () => {
      seen.push({ method: req.method, url: req.url, authorization: req.headers.authorization, body });
      res.setHeader('content-type', 'application/json');
      if (req.method === 'GET' && req.url === '/user') return res.end(JSON.stringify({ login: 'octo-fixture' }));
      if (req.method === 'POST' && req.url === '/repos/octo/demo/issues') {
        res.statusCode = 201;
        return res.end(JSON.stringify({ number: 42, title: JSON.parse(body).title }));
      }
      res.statusCode = 404;
      return res.end('{"message":"Not Found"}');
    });
  });
  return { server, seen };
}

async function operatorCall(method, urlPath, body, headers = {}) {
  const res = await fetch(broker.url + urlPath, {
    method,
    headers: { 'content-type': 'application/json', ...(operatorSession ? { 'x-tvn-operator-session': operatorSession } : {}), ...headers },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const json = await res.json();
  assert.ok(res.ok, `${method} ${urlPath}: ${res.status} ${JSON.stringify(json)}`);
  return json;
}

function writeProfile(name, content, { dirMode = 0o700, fileMode = 0o600, suffix = '.key' } = {}) {
  const dir = path.join(stateDir, 'agent-keys');
  fs.mkdirSync(dir, { recursive: true, mode: dirMode });
  fs.chmodSync(dir, dirMode);
  const file = path.join(dir, name + suffix);
  fs.writeFileSync(file, content, { mode: fileMode });
  fs.chmodSync(file, fileMode);
  return file;
}

before(async () => {
  home = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-mcp-'));
  stateDir = path.join(home, '.torvane-dev', 'state');
  provider = startFakeGithub();
  const providerUrl = await listen(provider.server);
  broker = await createBroker({ env: { HOME: home, TVN_PROVIDER_BASE_URL_GITHUB: providerUrl }, stateDir, port: 0, log: () => {} }).start();
  const bootstrap = fs.readFileSync(path.join(stateDir, 'operator-bootstrap.local'), 'utf8').trim();
  await operatorCall('POST', '/v1/vault/setup', { passphrase: 'correct horse battery staple' }, { 'x-tvn-operator-bootstrap': bootstrap });
  operatorSession = (await operatorCall('POST', '/v1/operator/session', { label: 'mcp-test' }, { 'x-tvn-operator-bootstrap': bootstrap })).sessionId;
  await operatorCall('POST', '/v1/credentials/github', { token: PROVIDER_TOKEN, accountId: 'octo', alias: 'octo', source: 'mac-app' });
  const created = await operatorCall('POST', '/v1/master-keys', { agentId: 'claude-code', name: PROFILE, connectorIds: ['github'], maxRisk: 'medium' });
  agentKey = created.key;
  agentKeyId = created.record.id;
  writeProfile(PROFILE, agentKey);
});

after(async () => {
  await broker?.close();
  await new Promise((resolve) => provider?.server.close(resolve));
  fs.rmSync(home, { recursive: true, force: true });
});

function wrapperEnv(extra = {}) {
  return { PATH: process.env.PATH, HOME: home, TVN_BROKER_URL: broker.url, SWITCHYARD_STATE_DIR: stateDir, TVN_RUNTIME_LANE: 'development', ...extra };
}

function runCheck({ profile = PROFILE, env = {}, command = WRAPPER } = {}) {
  return new Promise((resolve) => {
    const started = Date.now();
    const child = spawn(command, ['--profile', profile, '--check'], { env: wrapperEnv(env), stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    child.on('close', (code) => resolve({ code, stdout, stderr, elapsedMs: Date.now() - started }));
  });
}

function textOf(result) {
  return result.content.map((part) => part.text).join('\n');
}

test('an MCP client lists the key\'s tools, runs a read tool and is told to wait for an approval', async (t) => {
  const stderrChunks = [];
  const transport = new StdioClientTransport({ command: WRAPPER, args: ['--profile', PROFILE], env: wrapperEnv(), stderr: 'pipe' });
  transport.stderr.on('data', (chunk) => stderrChunks.push(chunk));
  const client = new Client({ name: 'mcp-test', version: '1.0.0' });
  await client.connect(transport);
  t.after(() => client.close());

  const { tools } = await client.listTools();
  const names = tools.map((tool) => tool.name);
  for (const name of ['github_user_get', 'github_issues_list', 'github_issue_create', 'tvn_approval_result']) assert.ok(names.includes(name), name);
  assert.ok(names.every((name) => /^[A-Za-z0-9_-]{1,64}$/.test(name)));
  const issuesList = tools.find((tool) => tool.name === 'github_issues_list');
  assert.deepEqual(issuesList.inputSchema.required.sort(), ['owner', 'repo']);
  assert.equal(issuesList.annotations.readOnlyHint, true);

  const read = await client.callTool({ name: 'github_user_get', arguments: {} });
  assert.equal(read.isError, false);
  assert.match(textOf(read), /octo-fixture/);
  assert.equal(provider.seen.at(-1).authorization, `Bearer ${PROVIDER_TOKEN}`);

  const issuesBefore = provider.seen.length;
  const write = await client.callTool({ name: 'github_issue_create', arguments: { owner: 'octo', repo: 'demo', title: 'From an agent' } });
  assert.equal(write.isError, false);
  const approvalId = /approval id (\S+),/.exec(textOf(write))?.[1];
  assert.ok(approvalId, textOf(write));
  assert.match(textOf(write), /waiting for the user's approval in Torvane/);
  assert.match(textOf(write), new RegExp(`"tvn_approval_result" of the tvn server with \\{"approvalId": "${approvalId}"\\}`));
  assert.equal(provider.seen.length, issuesBefore, 'nothing reaches the provider before approval');

  const waiting = await client.callTool({ name: 'tvn_approval_result', arguments: { approvalId } });
  assert.match(textOf(waiting), /waiting for the user's approval/);

  await operatorCall('POST', `/v1/approvals/${approvalId}/approve`, {});
  const collected = await client.callTool({ name: 'tvn_approval_result', arguments: { approvalId } });
  assert.equal(collected.isError, false);
  assert.match(textOf(collected), /HTTP 201[\s\S]*"number": 42/);

  const unknown = await client.callTool({ name: 'tvn_approval_result', arguments: { approvalId: 'apr_unknown' } });
  assert.equal(unknown.isError, true);
  assert.match(textOf(unknown), /HTTP 404/);

  const stderr = Buffer.concat(stderrChunks).toString('utf8');
  assert.ok(!stderr.includes(agentKey), 'the agent key never reaches stderr');
});

test('--check passes for a present profile whose key the broker accepts, also through symlinks', async () => {
  // ~/bin/tvn -> ../links/wrapper (relative) -> the real script: the service root is still found.
  fs.mkdirSync(path.join(home, 'bin'), { recursive: true });
  fs.mkdirSync(path.join(home, 'links'), { recursive: true });
  fs.symlinkSync(WRAPPER, path.join(home, 'links', 'wrapper'));
  fs.symlinkSync('../links/wrapper', path.join(home, 'bin', 'tvn'));
  for (const command of [WRAPPER, path.join(home, 'bin', 'tvn')]) {
    const { code, stdout } = await runCheck({ command });
    assert.equal(code, 0);
    const payload = JSON.parse(stdout);
    assert.deepEqual(Object.keys(payload), ['present', 'brokerAccepted', 'status', 'reason', 'hint']);
    assert.equal(payload.present, true);
    assert.equal(payload.brokerAccepted, true);
    assert.equal(payload.status, 'ok');
    assert.match(payload.reason, new RegExp(`accepted profile ${PROFILE} \\(agent claude-code, \\d+ tools\\)`));
  }
});

async function startListener(onConnection) {
  const server = net.createServer(onConnection);
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, url: `http://127.0.0.1:${server.address().port}` };
}

test('--check reports each failure as one JSON object within the deadline, never leaking the key', async (t) => {
  const hanging = await startListener(() => {});
  const foreignRequests = [];
  const foreign = http.createServer((req, res) => {
    foreignRequests.push(req.headers.authorization);
    res.setHeader('content-type', 'application/json');
    res.end('{"ok":true,"service":"something-else"}');
  });
  const foreignUrl = await listen(foreign);
  const closed = await startListener(() => {});
  await new Promise((resolve) => closed.server.close(resolve));
  t.after(() => { hanging.server.close(); foreign.close(); });

  const signer = (body) => {
    const file = path.join(home, `signer-${Math.random().toString(16).slice(2)}.sh`);
    fs.writeFileSync(file, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
    return file;
  };
  // The real signer opens TPM-sealed envelopes; these stand-ins only honour its command line.
  const sealedProfile = 'sealed-keel-tvn';
  writeProfile(sealedProfile, 'opaque envelope', { suffix: '.sealed' });
  writeProfile('wide-keel-tvn', agentKey, { fileMode: 0o644 });
  writeProfile('blank-keel-tvn', 'two tokens');

  const cases = [
    { name: 'absent profile', profile: 'cursor-keel-tvn', present: false, status: 'profile_missing', reason: /No local setup profile found at .*agent-keys\/cursor-keel-tvn\.key/ },
    { name: 'profile file readable by others', profile: 'wide-keel-tvn', present: false, status: 'profile_rejected', reason: /must be owner-only/ },
    { name: 'key material that is not one token', profile: 'blank-keel-tvn', present: false, status: 'profile_invalid', reason: /single non-empty token/ },
    { name: 'invalid profile name', profile: '../etc', present: false, status: 'invalid_profile', reason: /1-64 characters/ },
    { name: 'broker down', env: { TVN_BROKER_URL: closed.url }, present: true, status: 'broker_unreachable', reason: /Could not reach the Torvane broker/ },
    { name: 'hanging listener', env: { TVN_BROKER_URL: hanging.url }, present: true, status: 'broker_timeout', reason: /did not answer within \d(\.\d)? s/ },
    { name: 'foreign listener on the port', env: { TVN_BROKER_URL: foreignUrl }, present: true, status: 'broker_mismatch', reason: /did not answer \/health as the Torvane broker/ },
    { name: 'broker URL off loopback', env: { TVN_BROKER_URL: 'http://192.0.2.1:47382' }, present: false, status: 'invalid_broker_url', reason: /not local loopback HTTP/ },
    { name: 'sealed profile opened by the signer', profile: sealedProfile, env: { SWITCHYARD_BOUND_PROFILE_SIGNER_PATH: signer(`[ "$1 $2 $3 $4 $5" = "open --profile ${sealedProfile} --state-dir ${stateDir}" ] || exit 9\nprintf '%s\\n' '${agentKey}'`) }, present: true, brokerAccepted: true, status: 'ok', reason: /accepted profile sealed-keel-tvn/ },
    { name: 'signer that fails', profile: sealedProfile, env: { SWITCHYARD_BOUND_PROFILE_SIGNER_PATH: signer(`echo "envelope does not open; leaked ${agentKey}" >&2; exit 3`) }, present: false, status: 'signer_failed', reason: /could not be opened: envelope does not open; leaked tvn_\[redacted\]/ },
    { name: 'signer that hangs', profile: sealedProfile, env: { SWITCHYARD_BOUND_PROFILE_SIGNER_PATH: signer('exec sleep 30') }, present: false, status: 'signer_failed', reason: /stopped after 3000 ms/ },
  ];
  for (const testCase of cases) {
    await t.test(testCase.name, async () => {
      const { stdout, stderr, elapsedMs } = await runCheck({ profile: testCase.profile, env: testCase.env });
      assert.ok(elapsedMs < 8000, `exited after ${elapsedMs} ms`);
      assert.equal(stdout.trim().split('\n').length, 1, 'exactly one line on stdout');
      const payload = JSON.parse(stdout);
      assert.equal(payload.present, testCase.present);
      assert.equal(payload.brokerAccepted, testCase.brokerAccepted ?? false);
      assert.equal(payload.status, testCase.status);
      assert.match(payload.reason, testCase.reason);
      assert.equal(typeof payload.hint, 'string');
      assert.ok(!(stdout + stderr).includes(agentKey), 'the agent key never reaches stdout or stderr');
    });
  }
  assert.deepEqual(foreignRequests, [undefined], 'the key is never sent to a listener that is not the broker');
});

// A package installs the service under <prefix>/share/torvane/Service and the app copies it to the
// user's data directory; the copy's bin/ links back to <prefix>/share/torvane/bin, where the
// bundled Node and the signer live. An agent app starts the copy's wrapper with neither on PATH.
test('--check from an installed copy of the service runs on the bundled Node and opens a sealed profile with the bundled signer', async () => {
  const runtimeBin = path.join(home, 'prefix', 'share', 'torvane', 'bin');
  const copy = path.join(home, '.local', 'share', 'Torvane', 'Service');
  const nodeUsed = path.join(home, 'bundled-node-used');
  fs.mkdirSync(runtimeBin, { recursive: true });
  fs.writeFileSync(path.join(runtimeBin, 'node'), `#!/bin/sh\ntouch '${nodeUsed}'\nexec '${process.execPath}' "$@"\n`, { mode: 0o755 });
  // Stands in for the TPM signer: it answers only the command line the wrapper must send.
  fs.writeFileSync(path.join(runtimeBin, 'tvn-pop-signer'),
    `#!/bin/sh\n[ "$1 $2 $3" = "open --profile installed-keel-tvn" ] || exit 9\nprintf '%s\\n' '${agentKey}'\n`, { mode: 0o755 });
  for (const part of ['script', 'server', 'package.json']) {
    fs.cpSync(path.join(ROOT, part), path.join(copy, part), { recursive: true, filter: (source) => !/\/server\/test(kit)?$/.test(source) });
  }
  fs.symlinkSync(path.join(ROOT, 'node_modules'), path.join(copy, 'node_modules'));
  fs.symlinkSync(runtimeBin, path.join(copy, 'bin'));
  writeProfile('installed-keel-tvn', 'opaque envelope', { suffix: '.sealed' });

  const { code, stdout } = await runCheck({ profile: 'installed-keel-tvn', command: path.join(copy, 'script', 'tvn-mcp-launch.sh'), env: { PATH: '/nonexistent' } });
  const payload = JSON.parse(stdout);
  assert.deepEqual([code, payload.status, payload.present, payload.brokerAccepted], [0, 'ok', true, true], stdout);
  assert.ok(fs.existsSync(nodeUsed), 'the bundled Node ran the wrapper, not one from PATH');
});

test('--check follows the key and the kill switch at the broker', async (t) => {
  await operatorCall('POST', '/v1/killswitch', { enabled: true });
  t.after(() => operatorCall('POST', '/v1/killswitch', { enabled: false }));
  const paused = JSON.parse((await runCheck()).stdout);
  assert.deepEqual([paused.present, paused.brokerAccepted, paused.status], [true, false, 'access_paused']);
  assert.match(paused.reason, /Kill switch is on/);

  await operatorCall('POST', '/v1/killswitch', { enabled: false });
  await operatorCall('POST', `/v1/master-keys/${agentKeyId}/revoke`, {});
  const revoked = JSON.parse((await runCheck()).stdout);
  assert.deepEqual([revoked.present, revoked.brokerAccepted, revoked.status], [true, false, 'key_rejected']);
  assert.match(revoked.reason, /invalid or revoked agent key/);
});
