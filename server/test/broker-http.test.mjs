import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { createBroker } from '../app.mjs';
import { routeModules } from '../routes/index.mjs';
import { createSessionStore } from '../state/sessions.mjs';
import { startReadyBroker, tempStateDir } from '../testkit/brokerHarness.mjs';

// Raw request so the Host and Origin headers can be anything.
function rawRequest(port, { method = 'GET', path = '/health', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path, headers, setHost: false }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, body: JSON.parse(Buffer.concat(chunks).toString() || 'null') }));
    });
    req.on('error', reject);
    req.end(body);
  });
}

describe('broker HTTP front', () => {
  let h;
  before(async () => {
    h = await startReadyBroker();
  });
  after(() => h.close());

  test('health and posture answer as this broker without credentials', async () => {
    const health = await h.get('/health');
    assert.deepEqual(health.body, { ok: true, service: 'switchyard-broker', vault: 'unlocked' });
    const posture = await h.get('/v1/local-posture');
    assert.deepEqual(Object.keys(posture.body), [
      'bindMode', 'workerMode', 'loopbackOnly', 'brokerUrl', 'brokerPort', 'runtimeLane', 'serviceLabel', 'appBundleId', 'stateDir',
      'profileStoreDir', 'logDir', 'applicationSupportRoot', 'keychainMode', 'operatorBootstrapMode', 'buildId', 'buildChannel',
      'serviceRoot', 'serviceRootDisplay', 'entrypoint', 'wrapperCommand', 'trustedAppPaths',
    ]);
    assert.equal(posture.body.loopbackOnly, true);
    assert.equal(posture.body.brokerPort, h.broker.port);
    assert.equal(posture.body.brokerUrl, `http://127.0.0.1:${h.broker.port}`);
  });

  test('Host header must name the bound loopback address or localhost on this port', async () => {
    const port = h.broker.port;
    const cases = [
      [`127.0.0.1:${port}`, 200],
      [`localhost:${port}`, 200],
      [`LOCALHOST:${port}`, 200],
      [`attacker.example:${port}`, 421],
      [`127.0.0.1:${port + 1}`, 421],
      ['127.0.0.1', 421],
      [`[::1]:${port}`, 421],
      ['', 400], // node's HTTP/1.1 parser refuses a request without Host itself
    ];
    for (const [host, status] of cases) {
      const res = await rawRequest(port, { headers: host ? { host } : {} });
      assert.equal(res.status, status, `Host "${host}"`);
    }
  });

  test('cross-origin browser requests are refused, same-origin ones pass', async () => {
    const port = h.broker.port;
    const host = `127.0.0.1:${port}`;
    for (const [origin, status] of [[`http://127.0.0.1:${port}`, 200], [`http://localhost:${port}`, 200], ['http://evil.example', 403], ['null', 403]]) {
      const res = await rawRequest(port, { headers: { host, origin } });
      assert.equal(res.status, status, origin);
    }
  });

  test('every operator route refuses a missing or unknown session with the exact texts', async () => {
    const operatorRoutes = routeModules.flatMap((m) => m.routes).filter((r) => r.auth === 'operator');
    assert.ok(operatorRoutes.length >= 12);
    for (const route of operatorRoutes) {
      const path = route.path.replace(/\{\w+\}/g, 'x');
      const missing = await h.request(route.method, path, { body: route.method === 'GET' ? undefined : {} });
      assert.equal(missing.status, 401, `${route.method} ${route.path}`);
      assert.equal(missing.body.error, 'local operator session required');
      const unknown = await h.request(route.method, path, { session: 'not-a-session', body: route.method === 'GET' ? undefined : {} });
      assert.equal(unknown.body.error, 'Invalid or expired local operator session', `${route.method} ${route.path}`);
    }
  });

  test('bad bodies get one JSON error each and change nothing', async () => {
    const s = { session: h.session, headers: { 'content-type': 'application/json' } };
    const cases = [
      ['{"agentId": "a",', 400, 'malformed JSON body'],
      ['[1, 2]', 400, 'request body must be a JSON object'],
      ['"text"', 400, 'request body must be a JSON object'],
      [JSON.stringify({ agentId: 'a', connectorIds: ['github'], pad: 'x'.repeat(1024 * 1024) }), 413, 'request body too large'],
      [JSON.stringify({ agentId: 42, connectorIds: ['github'] }), 400, 'agentId must be'],
      [JSON.stringify({ agentId: 'a', connectorIds: 'github' }), 400, 'connectorIds must be'],
      [JSON.stringify({ agentId: 'a', connectorIds: ['nope'] }), 404, 'unknown connector nope'],
      [JSON.stringify({ agentId: 'a', connectorIds: ['github'], maxRisk: 'extreme' }), 400, 'maxRisk must be one of'],
      [`{"agentId":"a","connectorIds":["github"],"x":${'['.repeat(50_000)}${']'.repeat(50_000)}}`, 400, 'request body is nested too deeply'],
      [`{"agentId":"a","connectorIds":["github"],"x":${'{"a":'.repeat(65)}1${'}'.repeat(65)}}`, 400, 'request body is nested too deeply (at most 64 levels)'],
    ];
    for (const [body, status, message] of cases) {
      const res = await h.request('POST', '/v1/master-keys', { ...s, body });
      assert.equal(res.status, status, body.slice(0, 40));
      assert.ok(res.body.error.startsWith(message), res.body.error);
    }
    const plain = await h.request('POST', '/v1/master-keys', { session: h.session, headers: { 'content-type': 'text/plain' }, body: '{"agentId":"a","connectorIds":["github"]}' });
    assert.equal(plain.status, 415);
    assert.deepEqual((await h.get('/v1/master-keys', { session: h.session })).body.keys, []);
  });

  test('path tricks in identifiers are refused before any handler runs', async () => {
    const s = { session: h.session };
    const headers = { host: `127.0.0.1:${h.broker.port}`, 'x-tvn-operator-session': h.session };
    for (const path of [
      '/v1/connections/github/..%2F..%2Fetc/health',
      '/v1/connections/github/%2E%2E/health',
      '/v1/connections/github/a%5Cb/health',
      '/v1/connections/github/a%00b/health',
      '/v1/connections/github/%E0%A4%A/health',
    ]) {
      const res = await rawRequest(h.broker.port, { path, headers }); // sent as written, not normalised
      assert.equal(res.status, 400, path);
    }
    const bad = await h.post('/v1/credentials/github', { token: 'valid-x', accountId: '../../etc' }, s);
    assert.equal(bad.status, 400);
    assert.equal((await h.get('/v1/nope', s)).status, 404);
    assert.equal((await h.request('DELETE', '/v1/master-keys', s)).status, 405);
  });
});

test('the broker refuses to bind anything but loopback', () => {
  for (const host of ['0.0.0.0', '192.168.1.10', '::', 'example.com']) {
    assert.throws(() => createBroker({ env: { SWITCHYARD_STATE_DIR: tempStateDir(), SWITCHYARD_BIND_HOST: host }, port: 0 }), /loopback/);
  }
});

test('sessions expire after their lifetime and are counted only while live', () => {
  let now = 1_000_000;
  const sessions = createSessionStore({ ttlSeconds: 60, now: () => now });
  const { sessionId, expiresAt } = sessions.mint('mac-app', 'bootstrap');
  assert.match(sessionId, /^[A-Za-z0-9_-]{43}$/);
  assert.equal(expiresAt, new Date(1_060_000).toISOString());
  assert.ok(sessions.find(sessionId));
  assert.equal(sessions.activeCount, 1);
  now += 60_000;
  assert.equal(sessions.find(sessionId), null);
  assert.equal(sessions.activeCount, 0);
});
