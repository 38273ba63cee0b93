import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { startReadyBroker } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { CONNECTOR_DEFINITIONS, createCatalog } from '../connectors/catalog.mjs';

const REQUIRED_CATALOG = ['github', 'openai', 'claude', 'gemini', 'openrouter', 'slack', 'telegram', 'notion', 'sentry', 'vercel', 'render', 'posthog'];

describe('connectors and connections', () => {
  let fake;
  let h;
  let s;
  before(async () => {
    fake = await startFakeProvider();
    h = await startReadyBroker({ env: { ...fake.env(), SWITCHYARD_PROVIDER_TIMEOUT_SECONDS: '0.3' } });
    s = { session: h.session };
  });
  after(async () => {
    await h.close();
    await fake.close();
  });
  const vaultText = () => fs.readFileSync(path.join(h.stateDir, 'vault.json'), 'utf8');

  test('the catalog lists every connector with tools, previews and setup guidance', async () => {
    const { connectors } = (await h.get('/v1/connectors', s)).body;
    assert.deepEqual(connectors.map((c) => c.id), REQUIRED_CATALOG);
    for (const c of connectors) {
      assert.equal(c.status, 'available');
      assert.equal(c.tools, c.toolPreview.length);
      assert.equal(c.authType, 'api_key');
      assert.ok(c.toolPreview.some((t) => t.mode === 'read') && c.toolPreview.some((t) => t.mode === 'write'), c.id);
      assert.ok(c.setupGuide.steps.length > 0 && c.scopes.length > 0 && c.authOptions.length > 0, c.id);
      assert.equal(c.runtime.healthCheck, true);
    }
  });

  test('each connector validates a key against its provider with the credential where the provider wants it', async () => {
    for (const def of CONNECTOR_DEFINITIONS) {
      const token = `valid-${def.id}-key`;
      const res = await h.post(`/v1/credentials/${def.id}`, { token: ` ${token}\n`, accountId: 'default', alias: '', source: 'mac-app' }, s);
      assert.equal(res.status, 201, `${def.id}: ${res.text}`);
      const check = fake.requests.findLast((r) => r.connectorId === def.id);
      assert.equal(check.token, token, def.id);
      assert.equal(check.path, def.check.path, def.id);
      assert.equal(res.body.connection.alias, `${def.displayName} default`);
    }
    const github = fake.requests.find((r) => r.connectorId === 'github');
    assert.equal(github.headers['user-agent'], 'Torvane-Broker');
    assert.equal(fake.requests.find((r) => r.connectorId === 'claude').headers['anthropic-version'], '2023-06-01');
    assert.deepEqual(fake.requests.find((r) => r.connectorId === 'render').query, { limit: '1' });
  });

  test('a rejected, failing or silent provider stores nothing and says why', async () => {
    fake.respond('sentry', 'GET', '/api/0/organizations/', () => ({ status: 503, body: { detail: 'down' } }));
    const cases = [
      ['github', 'wrong-token', 400, /^credential validation failed: GitHub rejected the credential \(HTTP 401\)$/],
      ['slack', 'xoxb-revoked', 400, /^credential validation failed: Slack rejected/],
      ['telegram', 'bad:token', 400, /^credential validation failed/],
      ['sentry', 'valid-but-down', 502, /answered HTTP 503; nothing was stored$/],
      ['notion', 'hang-forever', 504, /did not answer within 0\.3 s; nothing was stored$/],
    ];
    for (const [connector, token, status, message] of cases) {
      const started = Date.now();
      const res = await h.post(`/v1/credentials/${connector}`, { token, accountId: 'rejected' }, s);
      assert.equal(res.status, status, connector);
      assert.match(res.body.error, message);
      assert.ok(!res.body.error.includes(token), 'the token never appears in an error');
      assert.ok(Date.now() - started < 3000, 'bounded by the provider time-out');
    }
    assert.ok(!(await h.get('/v1/connections', s)).body.connections.some((c) => c.accountId === 'rejected'));
    assert.ok(!vaultText().includes('rejected'));
  });

  test('link requests with bad fields are refused', async () => {
    const cases = [
      ['unknown', { token: 'valid-x' }, 404, 'unknown connector unknown'],
      ['github', {}, 400, 'token is required'],
      ['github', { token: '   ' }, 400, 'token is required'],
      ['github', { token: 42 }, 400, 'token is required'],
      ['github', { token: 'valid-a b' }, 400, 'token must be a single line without spaces'],
      ['github', { token: 'valid-x', accountId: 'a/b' }, 400, 'accountId must be'],
      ['github', { token: 'valid-x', alias: ['x'] }, 400, 'alias must be a string'],
      ['github', { token: 'valid-x', authModeId: 'oauth' }, 400, 'unknown authModeId oauth for github'],
    ];
    for (const [connector, body, status, error] of cases) {
      const res = await h.post(`/v1/credentials/${connector}`, body, s);
      assert.equal(res.status, status, JSON.stringify(body));
      assert.ok(res.body.error.startsWith(error), res.body.error);
    }
  });

  test('re-linking rotates the key in place, keeping linkedAt', async () => {
    const first = (await h.post('/v1/credentials/vercel', { token: 'valid-old', accountId: 'team', authModeId: 'api-key' }, s)).body.connection;
    const second = (await h.post('/v1/credentials/vercel', { token: 'valid-new', accountId: 'team' }, s)).body.connection;
    assert.equal(second.linkedAt, first.linkedAt);
    assert.equal(h.broker.services.connections.readCredential('vercel', 'team'), 'valid-new');
    assert.equal((await h.get('/v1/connections', s)).body.connections.filter((c) => c.connectorId === 'vercel' && c.accountId === 'team').length, 1);
  });

  test('health counts consecutive failures and resets on success', async () => {
    await h.post('/v1/credentials/posthog', { token: 'valid-ph', accountId: 'org@example.com' }, s);
    const url = '/v1/connections/posthog/org%40example.com/health';
    let failing = true;
    fake.respond('posthog', 'GET', '/api/users/@me/', () => (failing ? { status: 500, body: {} } : { status: 200, body: { ok: true } }));
    const one = (await h.get(url, s)).body;
    const two = (await h.get(url, s)).body;
    assert.deepEqual([one.status, one.consecutiveFailures, one.lastErrorCode], ['unhealthy', 1, 'http_500']);
    assert.equal(two.consecutiveFailures, 2);
    assert.deepEqual(Object.keys(one).sort(), ['accountId', 'checkedAt', 'consecutiveFailures', 'lastErrorCode', 'providerId', 'status', 'tenantId']);
    failing = false;
    const ok = (await h.get(url, s)).body;
    assert.deepEqual([ok.status, ok.consecutiveFailures, ok.lastErrorCode], ['healthy', 0, undefined]);
    assert.equal((await h.get('/v1/connections/posthog/nobody/health', s)).status, 404);
    fake.respond('slack', 'POST', '/api/auth.test', () => ({ status: 200, body: { ok: false, error: 'token_revoked' } }));
    const slack = (await h.get('/v1/connections/slack/default/health', s)).body;
    assert.deepEqual([slack.status, slack.lastErrorCode], ['unhealthy', 'provider_refused']);
  });

  test('revoking removes the credential itself and is not repeatable', async () => {
    await h.post('/v1/credentials/render', { token: 'valid-render-secret', accountId: 'ws' }, s);
    const res = await h.post('/v1/connections/render/ws/revoke', {}, s);
    assert.equal(res.status, 200);
    assert.equal(res.body.connection.status, 'revoked');
    assert.ok(res.body.connection.revokedAt);
    const doc = JSON.parse(vaultText());
    assert.equal(doc.connections.find((c) => c.connectorId === 'render' && c.accountId === 'ws').secret, null);
    const again = await h.post('/v1/connections/render/ws/revoke', {}, s);
    assert.deepEqual([again.status, again.body.error], [409, 'already revoked']);
    assert.equal((await h.get('/v1/connections/render/ws/health', s)).status, 409);
  });

  test('a state snapshot moves connections and keys into another vault intact', async () => {
    const key = (await h.post('/v1/master-keys', { agentId: 'snap', name: 'snap', connectorIds: ['github'] }, s)).body.key;
    h.broker.services.store.update((draft) => {
      draft.proxyServices = [{ id: 'svc_1' }]; // a section another module keeps travels along
    });
    const snapshot = h.broker.services.exportState();
    assert.ok(snapshot.connections.some((c) => c.token === 'valid-github-key'));
    assert.equal(snapshot.vault, undefined, 'the vault keys never leave');
    const other = await startReadyBroker({ env: fake.env() });
    other.broker.services.store.update((draft) => {
      draft.stale = true;
    });
    const vaultBefore = other.broker.services.store.state.vault;
    other.broker.services.replaceState(JSON.parse(JSON.stringify(snapshot)));
    assert.equal(other.broker.services.connections.readCredential('github', 'default'), 'valid-github-key');
    assert.deepEqual(other.broker.services.store.state.proxyServices, [{ id: 'svc_1' }]);
    assert.equal(other.broker.services.store.state.stale, undefined);
    assert.deepEqual(other.broker.services.store.state.vault, vaultBefore);
    const tools = await other.get('/v1/agent/tools', { bearer: key });
    assert.equal(tools.status, 200);
    for (const bad of [{ format: 'nope' }, { ...snapshot, vault: {} }, { ...snapshot, masterKeys: 'x' }]) {
      assert.throws(() => other.broker.services.replaceState(bad), /not a Torvane state snapshot/);
    }
    await other.close();
  });
});

test('provider base URLs move only to a loopback stand-in, and a connector without tools says so', () => {
  const github = CONNECTOR_DEFINITIONS[0];
  const cases = [
    ['http://127.0.0.1:9/github', 'http://127.0.0.1:9/github'],
    ['http://localhost:9/', 'http://localhost:9'],
    ['http://[::1]:9', 'http://[::1]:9'],
    ['https://api.example.com', /must be an http\(s\) URL on this computer/],
    ['http://127.0.0.1.example.com', /must be an http\(s\) URL on this computer/],
    ['file:///etc/passwd', /must be an http\(s\) URL on this computer/],
    ['not a url', /is not a URL/],
  ];
  for (const [value, expected] of cases) {
    const build = () => createCatalog({ TVN_PROVIDER_BASE_URL_GITHUB: value }).get('github').baseUrl;
    if (expected instanceof RegExp) assert.throws(build, expected, value);
    else assert.equal(build(), expected);
  }
  assert.equal(createCatalog({}).get('github').baseUrl, 'https://api.github.com');
  const [summary] = createCatalog({}, [{ ...github, id: 'later', tools: [] }]).summaries();
  assert.deepEqual([summary.status, summary.tools, summary.runtime.status], ['not_implemented', 0, 'not_implemented']);
});
