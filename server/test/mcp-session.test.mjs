// The wrapper as agent apps meet it: a real MCP client (the SDK's Client over stdio) against the
// real broker, through every refusal an app can start into (kill switch, revoked key, broker down,
// missing profile) and back out of it in the same session. Also "--check" against a locked vault,
// a slow broker and a listener of another account.
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
import { ToolListChangedNotificationSchema } from '@modelcontextprotocol/sdk/types.js';
import { bootstrapSecret, startReadyBroker, startBroker } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { listeningUids } from '../mcp/listenerOwner.mjs';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const WRAPPER = path.join(ROOT, 'script', 'tvn-mcp-launch.sh');
const PROFILE = 'claude-code-keel-tvn';

let provider;
let broker;
let port;
let agentKey;
let agentKeyId;

async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port: free } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return free;
}

function writeProfile(name, key) {
  const dir = path.join(broker.stateDir, 'agent-keys');
  fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
  fs.writeFileSync(path.join(dir, `${name}.key`), key, { mode: 0o600 });
}

async function operator(method, urlPath, body) {
  const res = await broker.request(method, urlPath, { body, session: broker.session });
  assert.ok(res.status < 300, `${method} ${urlPath}: ${res.status} ${res.text}`);
  return res.body;
}

async function createKey() {
  const created = await operator('POST', '/v1/master-keys', { agentId: 'claude-code', name: PROFILE, connectorIds: ['github'], maxRisk: 'medium' });
  agentKey = created.key;
  agentKeyId = created.record.id;
  writeProfile(PROFILE, agentKey);
}

// The broker on a fixed port, so a test can stop it and start it again where the wrapper looks.
async function startOn(stateDir) {
  return startBroker({ stateDir, port, env: provider.env() });
}

before(async () => {
  provider = await startFakeProvider();
  port = await freePort();
  broker = await startReadyBroker({ port, env: provider.env() });
  await operator('POST', '/v1/credentials/github', { token: 'valid-github', accountId: 'octo', alias: 'octo', source: 'mac-app' });
  await createKey();
});

after(async () => {
  await broker?.close();
  await provider?.close();
});

function wrapperEnv(extra = {}) {
  return { PATH: process.env.PATH, HOME: path.dirname(broker.stateDir), TVN_BROKER_URL: `http://127.0.0.1:${port}`, SWITCHYARD_STATE_DIR: broker.stateDir, TVN_RUNTIME_LANE: 'development', ...extra };
}

// An MCP session as an agent app opens it; `changes` counts tools/list_changed notifications.
async function openSession(t, { profile = PROFILE, clientName = 'mcp-session-test' } = {}) {
  const transport = new StdioClientTransport({ command: WRAPPER, args: ['--profile', profile], env: wrapperEnv(), stderr: 'pipe' });
  const stderr = [];
  transport.stderr.on('data', (chunk) => stderr.push(chunk));
  const client = new Client({ name: clientName, version: '1.0.0' });
  const session = { client, changes: 0, stderr: () => Buffer.concat(stderr).toString('utf8') };
  client.setNotificationHandler(ToolListChangedNotificationSchema, () => { session.changes += 1; });
  await client.connect(transport);
  t.after(() => client.close());
  return session;
}

const textOf = (result) => result.content.map((part) => part.text).join('\n');
const toolNames = async (session) => (await session.client.listTools()).tools.map((tool) => tool.name);
const call = (session, name, args = {}) => session.client.callTool({ name, arguments: args });

async function waitFor(condition, what) {
  const deadline = Date.now() + 5000;
  while (!condition()) {
    if (Date.now() > deadline) assert.fail(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

test('a session lists the key\'s tools, refuses an unknown argument and names the collect tool as Claude Code shows it', async (t) => {
  const session = await openSession(t, { clientName: 'claude-code' });
  const names = await toolNames(session);
  for (const name of ['github_user_get', 'github_issues_list', 'github_issue_create', 'tvn_approval_result', 'tvn_status']) assert.ok(names.includes(name), name);

  const requestsBefore = provider.requests.length;
  const misspelt = await call(session, 'github_issues_list', { owner: 'octo', repo: 'demo', stat: 'open' });
  assert.equal(misspelt.isError, true);
  assert.match(textOf(misspelt), /^The argument stat is not an input of github_issues_list\. It takes: owner, repo, .*state/);
  assert.equal(provider.requests.length, requestsBefore, 'a refused call never reaches the provider');

  const pending = await call(session, 'github_issue_create', { owner: 'octo', repo: 'demo', title: 'From an agent' });
  assert.equal(pending.isError, false);
  assert.match(textOf(pending), /Then call the tool "mcp__tvn__tvn_approval_result" of the tvn server with \{"approvalId": "apr_/);

  const status = await call(session, 'tvn_status');
  assert.equal(status.isError, false);
  assert.match(textOf(status), /serves profile claude-code-keel-tvn: \d+ tools are available/);
  assert.match(session.stderr(), new RegExp(`serving ${names.length} tools for profile ${PROFILE}`));
});

test('with the kill switch on at start the session opens, says why and recovers once it is off', async (t) => {
  await operator('POST', '/v1/killswitch', { enabled: true });
  t.after(() => operator('POST', '/v1/killswitch', { enabled: false }));
  const session = await openSession(t);
  assert.deepEqual(await toolNames(session), ['tvn_status']);

  for (const name of ['tvn_status', 'github_user_get']) {
    const refused = await call(session, name);
    assert.equal(refused.isError, true);
    assert.match(textOf(refused), /^The broker refused agent access: Kill switch is on: agent access is paused\. Turn the kill switch off in Torvane when agents may work again\.$/);
  }

  await operator('POST', '/v1/killswitch', { enabled: false });
  const status = await call(session, 'tvn_status');
  assert.equal(status.isError, false, textOf(status));
  await waitFor(() => session.changes === 1, 'tools/list_changed');
  assert.ok((await toolNames(session)).includes('github_user_get'));
  const read = await call(session, 'github_user_get');
  assert.equal(read.isError, false, textOf(read));
});

test('a key revoked during the session is explained, and a new key in the profile is picked up without restarting', async (t) => {
  const session = await openSession(t);
  assert.equal((await call(session, 'github_user_get')).isError, false);

  await operator('POST', `/v1/master-keys/${agentKeyId}/revoke`, {});
  const refused = await call(session, 'github_user_get');
  assert.equal(refused.isError, true);
  assert.match(textOf(refused), /^The broker did not accept this profile's agent key: invalid or revoked agent key\. The key was revoked .*create a new agent key in Torvane/);

  await createKey();
  const again = await call(session, 'github_user_get');
  assert.equal(again.isError, false, textOf(again));
  assert.ok(!session.stderr().includes(agentKey), 'the agent key never reaches stderr');
});

test('a missing profile still opens the session, and the status names the file it looked for', async (t) => {
  const session = await openSession(t, { profile: 'cursor-keel-tvn' });
  assert.deepEqual(await toolNames(session), ['tvn_status']);
  const status = await call(session, 'tvn_status');
  assert.equal(status.isError, true);
  assert.match(textOf(status), /^No local setup profile found at .*agent-keys\/cursor-keel-tvn\.key\. Create an agent key for this agent in Torvane/);
});

function runCheck(env = {}) {
  return new Promise((resolve) => {
    const started = Date.now();
    const child = spawn(WRAPPER, ['--profile', PROFILE, '--check'], { env: wrapperEnv(env), stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.on('close', (code) => resolve({ code, payload: JSON.parse(stdout), elapsedMs: Date.now() - started }));
  });
}

test('with the broker down at start the session opens; after a restart it reports the locked vault, then serves', async (t) => {
  const stateDir = broker.stateDir;
  await broker.close();
  const session = await openSession(t);
  assert.deepEqual(await toolNames(session), ['tvn_status']);
  const down = await call(session, 'tvn_status');
  assert.match(textOf(down), /^Could not reach the Torvane broker at http:\/\/127\.0\.0\.1:\d+: ECONNREFUSED\. Start Torvane/);

  const restarted = await startOn(stateDir);
  broker = { ...restarted, session: broker.session };
  const locked = await call(session, 'tvn_status');
  assert.equal(locked.isError, true);
  assert.match(textOf(locked), /vault at .* is locked, so the broker refuses every tool call\. Unlock Torvane on this computer/);
  await waitFor(() => session.changes === 1, 'tools/list_changed');
  const check = await runCheck();
  assert.deepEqual([check.code, check.payload.present, check.payload.brokerAccepted, check.payload.status], [1, true, false, 'vault_locked']);
  assert.match(check.payload.hint, /^Unlock Torvane/);

  const minted = await broker.post('/v1/operator/session', { label: 'test' }, { headers: { 'x-tvn-operator-bootstrap': bootstrapSecret(stateDir) } });
  broker.session = minted.body.sessionId;
  assert.equal((await call(session, 'tvn_status')).isError, false);
  assert.equal((await call(session, 'github_user_get')).isError, false);
  assert.equal((await runCheck()).payload.status, 'ok');
});

// Answers like the broker, each answer after `delayMs`.
async function startImpostor(delayMs) {
  const seen = [];
  const server = http.createServer((req, res) => {
    seen.push(req.headers.authorization);
    setTimeout(() => {
      res.setHeader('content-type', 'application/json');
      if (req.url === '/health') return res.end('{"ok":true,"service":"switchyard-broker","vault":"unlocked"}');
      return res.end('{"agentId":"claude-code","keyId":"key_x","tools":[]}');
    }, delayMs);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, seen, url: `http://127.0.0.1:${server.address().port}` };
}

test('--check waits for a slow but alive broker within the app\'s 8 s', async (t) => {
  const slow = await startImpostor(2500);
  t.after(() => slow.server.close());
  const { payload, elapsedMs } = await runCheck({ TVN_BROKER_URL: slow.url });
  assert.equal(payload.status, 'ok', JSON.stringify(payload));
  assert.ok(elapsedMs < 8000, `took ${elapsedMs} ms`);
});

test('the listener table names the owner of a listening port', () => {
  const table = [
    '  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode',
    '   0: 0100007F:B8A6 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 4242 1',
    '   1: 0100007F:B8A6 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 4343 1',
    '   2: 00000000:0016 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 17 1',
  ].join('\n');
  assert.deepEqual(listeningUids(table, 0xb8a6), [1000]);
  assert.deepEqual(listeningUids(table, 22), [0]);
  assert.deepEqual(listeningUids(table, 80), []);
});

// Needs a second account: root starts the impostor as "nobody".
test('a listener of another account never receives the key', { skip: process.getuid() !== 0 && 'needs root to listen as another account' }, async (t) => {
  const impostorPort = await freePort();
  const script = `require('http').createServer((req, res) => { process.stdout.write((req.headers.authorization || '-') + '\\n'); res.setHeader('content-type', 'application/json'); res.end(req.url === '/health' ? '{"ok":true,"service":"switchyard-broker","vault":"unlocked"}' : '{"tools":[]}'); }).listen(${impostorPort}, '127.0.0.1', () => process.stdout.write('listening\\n'));`;
  // The project-local Node may sit in a home that "nobody" cannot enter: it runs its own copy.
  const nodeDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-impostor-'));
  fs.chmodSync(nodeDir, 0o755);
  const node = path.join(nodeDir, 'node');
  fs.copyFileSync(process.execPath, node);
  fs.chmodSync(node, 0o755);
  const impostor = spawn(node, ['-e', script], { uid: 65534, gid: 65534, cwd: '/', stdio: ['ignore', 'pipe', 'inherit'] });
  t.after(() => { impostor.kill(); fs.rmSync(nodeDir, { recursive: true, force: true }); });
  let heard = '';
  impostor.stdout.on('data', (chunk) => { heard += chunk; });
  await waitFor(() => heard.includes('listening'), 'the impostor to listen');

  const { payload } = await runCheck({ TVN_BROKER_URL: `http://127.0.0.1:${impostorPort}` });
  assert.deepEqual([payload.present, payload.brokerAccepted, payload.status], [true, false, 'broker_foreign_owner']);
  assert.match(payload.reason, /belongs to another account \(.+\), not to .+; the agent key was not sent/);
  assert.deepEqual(heard.trim().split('\n').slice(1), ['-'], 'only the key-less /health reached it');
});
