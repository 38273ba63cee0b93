// POST /v1/agents/{id}/connect on the real broker, with a temporary home and state directory.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { parse as parseToml } from 'smol-toml';
import { createBroker } from '../app.mjs';

async function startBroker(t) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-agents-route-'));
  const stateDir = path.join(home, '.torvane-dev', 'state');
  const broker = await createBroker({ env: { HOME: home }, stateDir, port: 0, log: () => {} }).start();
  t.after(async () => {
    await broker.close();
    fs.rmSync(home, { recursive: true, force: true });
  });
  const bootstrap = fs.readFileSync(path.join(stateDir, 'operator-bootstrap.local'), 'utf8').trim();
  const post = async (urlPath, { session, headers = {}, body = {} } = {}) => {
    const res = await fetch(broker.url + urlPath, {
      method: 'POST',
      headers: { 'content-type': 'application/json', ...(session ? { 'x-tvn-operator-session': session } : {}), ...headers },
      body: JSON.stringify(body),
    });
    return { status: res.status, body: await res.json() };
  };
  const minted = await post('/v1/operator/session', { headers: { 'x-tvn-operator-bootstrap': bootstrap }, body: { label: 'agents-test' } });
  return { broker, home, stateDir, session: minted.body.sessionId, post };
}

const connectEvents = (broker) => JSON.parse(broker.services.audit.pageBytes(1000)).events.reverse().filter((event) => event.action === 'agent.connect');

test('connect writes the entry for the broker, reports the active key and is audited', async (t) => {
  const { broker, home, stateDir, session, post } = await startBroker(t);
  const { secret, key } = broker.services.agentKeys.create({ name: 'codex-keel-tvn', agentId: 'codex', connectorIds: ['github'], maxRisk: 'low' });

  const res = await post('/v1/agents/codex/connect', { session });
  assert.equal(res.status, 200);
  const configPath = path.join(home, '.codex', 'config.toml');
  assert.deepEqual(res.body, { action: 'created', configPath, profile: 'codex-keel-tvn', keyId: key.id, brokerAccepted: true });
  const written = JSON.parse(JSON.stringify(parseToml(fs.readFileSync(configPath, 'utf8'))));
  assert.deepEqual(written.mcp_servers.tvn, {
    command: path.join(broker.config.serviceRoot, 'script', 'tvn-mcp-launch.sh'),
    args: ['--profile', 'codex-keel-tvn'],
    env: { TVN_BROKER_URL: broker.url, TVN_RUNTIME_LANE: 'development', SWITCHYARD_STATE_DIR: stateDir },
  });
  const [event] = connectEvents(broker);
  assert.equal(event.decision, 'allowed');
  assert.equal(event.agentId, 'codex');
  assert.equal(event.keyId, key.id);
  assert.ok(!fs.readFileSync(path.join(stateDir, 'audit.log'), 'utf8').includes(secret), 'the agent key never reaches the audit log');

  broker.services.killSwitch.set(true);
  const paused = await post('/v1/agents/codex/connect', { session });
  assert.deepEqual([paused.body.action, paused.body.brokerAccepted], ['unchanged', false]);

  broker.services.agentKeys.revoke(key.id);
  broker.services.killSwitch.set(false);
  const revoked = await post('/v1/agents/codex/connect', { session });
  assert.equal(revoked.body.brokerAccepted, false);
  assert.equal('keyId' in revoked.body, false);
});

test('connect needs an operator session and refuses with a clear error, audited, file untouched', async (t) => {
  const { broker, home, session, post } = await startBroker(t);
  const configPath = path.join(home, '.hermes', 'config.yaml');
  fs.mkdirSync(path.dirname(configPath));
  fs.writeFileSync(configPath, 'mcp_servers: [broken\n');

  const cases = [
    { path: '/v1/agents/hermes/connect', session: undefined, status: 401, error: /local operator session required/ },
    { path: '/v1/agents/hermes/connect', session: 'not-a-session', status: 401, error: /Invalid or expired local operator session/ },
    { path: '/v1/agents/hermes/connect', session, status: 409, error: new RegExp(`^Refusing to edit ${configPath}: it is not valid YAML at line 2\\. The file was left untouched\\.$`) },
    { path: '/v1/agents/jetbrains/connect', session, status: 400, error: /^This agent requires a manual setup snippet\.$/ },
    { path: '/v1/agents/notepad/connect', session, status: 404, error: /Unknown agent app "notepad"/ },
  ];
  for (const testCase of cases) {
    const res = await post(testCase.path, { session: testCase.session });
    assert.equal(res.status, testCase.status, testCase.path);
    assert.match(res.body.error, testCase.error);
  }
  assert.equal(fs.readFileSync(configPath, 'utf8'), 'mcp_servers: [broken\n');
  assert.deepEqual(fs.readdirSync(path.dirname(configPath)), ['config.yaml']);
  assert.deepEqual(connectEvents(broker).map((event) => [event.agentId, event.decision]), [['hermes', 'denied'], ['jetbrains', 'denied'], ['notepad', 'denied']]);
});

test('a big config is read off the event loop: the broker keeps answering meanwhile', async (t) => {
  const { broker, home, session, post } = await startBroker(t);
  const configPath = path.join(home, '.claude.json');
  const projects = Object.fromEntries(Array.from({ length: 12_000 }, (_, i) => [`/home/u/project-${i}`, { history: [{ display: 'x'.repeat(200) }], allowedTools: [] }]));
  // Refused only once it is parsed (the server map is a list), so no write time hides the parse.
  fs.writeFileSync(configPath, JSON.stringify({ projects, mcpServers: [] }, null, 2));
  assert.ok(fs.statSync(configPath).size < 4 * 1024 * 1024);
  let settled = false;
  const connecting = post('/v1/agents/claude-code/connect', { session }).finally(() => {
    settled = true;
  });
  let answered = 0;
  while (!settled) {
    const health = await fetch(`${broker.url}/health`).then((res) => res.json());
    if (health.ok && !settled) answered += 1;
  }
  const res = await connecting;
  assert.equal(res.status, 409, JSON.stringify(res.body));
  assert.match(res.body.error, /is not a map/);
  assert.ok(answered >= 40, `only ${answered} health checks were answered while the set-up ran`);
});
