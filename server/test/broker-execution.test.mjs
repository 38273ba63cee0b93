import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { bootstrapSecret, startBroker, startReadyBroker } from '../testkit/brokerHarness.mjs';
import { MAX_PENDING, MAX_PENDING_INPUT_BYTES_PER_KEY, MAX_PENDING_PER_KEY } from '../state/approvals.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { echoedForms, echoJson, revealsToken } from '../testkit/echoForms.mjs';

describe('agent keys, execution and approvals', () => {
  let fake;
  let h;
  let s;
  const createKey = async (body) => (await h.post('/v1/master-keys', { name: '', maxRisk: 'medium', ...body }, s)).body;
  const execute = (bearer, body) => h.post('/v1/execute', body, { bearer });
  const actions = async () => (await h.get('/v1/audit', s)).body.events.map((e) => `${e.action}:${e.decision}`);

  before(async () => {
    fake = await startFakeProvider();
    h = await startReadyBroker({ env: { ...fake.env(), SWITCHYARD_PROVIDER_TIMEOUT_SECONDS: '0.3' } });
    s = { session: h.session };
    for (const connector of ['github', 'slack', 'vercel']) await h.post(`/v1/credentials/${connector}`, { token: `valid-${connector}`, accountId: 'default' }, s);
  });
  after(async () => {
    await h.close();
    await fake.close();
  });

  test('a new key is shown once, stored as a hash, and listed without its secret', async () => {
    const created = await createKey({ agentId: 'claude-code', name: 'Claude Code', connectorIds: ['github', 'github', 'slack'] });
    assert.match(created.key, /^tvn_[A-Za-z0-9_-]{43}$/);
    assert.deepEqual(Object.keys(created.record).sort(), ['agentId', 'createdAt', 'id', 'maxRisk', 'name', 'scopes', 'status']);
    assert.deepEqual(created.record.scopes, ['connector:github', 'connector:slack']);
    assert.ok(!fs.readFileSync(path.join(h.stateDir, 'vault.json'), 'utf8').includes(created.key));
    const listed = (await h.get('/v1/master-keys', s)).body.keys.find((k) => k.id === created.record.id);
    assert.equal(listed.status, 'active');
    assert.ok(!JSON.stringify(listed).includes(created.key));
    assert.equal((await createKey({ agentId: 'x', connectorIds: ['github'], maxRisk: '' })).record.maxRisk, 'medium');
    assert.equal((await createKey({ agentId: 'named', connectorIds: ['github'] })).record.name, 'named');
    assert.equal((await createKey({ agentId: 'Claude Code', connectorIds: ['github'] })).record.agentId, 'Claude Code');
    for (const agentId of ['', '   ', 'a\nb', 'x'.repeat(129), 7]) {
      const res = await h.post('/v1/master-keys', { agentId, name: 'n', connectorIds: ['github'] }, s);
      assert.equal(res.status, 400, JSON.stringify(agentId));
    }
  });

  test('the agent sees only the tools of its scopes up to its maxRisk, with input schemas', async () => {
    const low = await createKey({ agentId: 'reader', connectorIds: ['github', 'vercel'], maxRisk: 'low' });
    const tools = (await h.get('/v1/agent/tools', { bearer: low.key })).body;
    assert.ok(tools.tools.length > 0);
    assert.ok(tools.tools.every((t) => t.risk === 'low' && ['github', 'vercel'].includes(t.connectorId)));
    const issues = tools.tools.find((t) => t.toolId === 'github.issues.list');
    assert.deepEqual(issues.inputSchema.required, ['owner', 'repo']);
    assert.equal(issues.inputSchema.properties.per_page.type, 'integer');
    const high = await createKey({ agentId: 'deployer', connectorIds: ['vercel'], maxRisk: 'high' });
    const cancel = (await h.get('/v1/agent/tools', { bearer: high.key })).body.tools.find((t) => t.toolId === 'vercel.deployment.cancel');
    assert.equal(cancel.requiresApproval, true);
  });

  test('a read runs at once with the stored credential and the input placed by the template', async () => {
    const { key } = await createKey({ agentId: 'runner', connectorIds: ['github'] });
    const res = await execute(key, { connectorId: 'github', toolId: 'github.issues.list', input: { owner: 'oct o', repo: 'hello?', state: 'open' } });
    assert.equal(res.status, 200);
    assert.equal(res.body.status, 'completed');
    const call = fake.requests.at(-1);
    assert.deepEqual([call.method, call.path, call.query, call.token], ['GET', '/repos/oct%20o/hello%3F/issues', { state: 'open' }, 'valid-github']);
    assert.ok(!JSON.stringify(res.body).includes('valid-github'));
    const listed = (await h.get('/v1/master-keys', s)).body.keys.find((k) => k.agentId === 'runner');
    assert.ok(listed.lastUsedAt);
  });

  test('policy and input errors are refused before the provider is called', async () => {
    const { key } = await createKey({ agentId: 'limited', connectorIds: ['github'], maxRisk: 'low' });
    const before = fake.requests.length;
    const cases = [
      [{ connectorId: 'slack', toolId: 'slack.auth.test' }, 403, 'agent key is not allowed to use connector slack'],
      [{ connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'a', repo: 'b', title: 't' } }, 403, 'tool github.issue.create (risk medium) is above'],
      [{ connectorId: 'nope', toolId: 'x' }, 404, 'unknown connector nope'],
      [{ connectorId: 'github', toolId: 'github.nope' }, 404, 'unknown tool github.nope'],
      [{ connectorId: 'github', toolId: 'github.issues.list', input: { owner: 'a' } }, 400, 'input.repo is required'],
      [{ connectorId: 'github', toolId: 'github.issues.list', input: { owner: 'a', repo: 'b', per_page: '5' } }, 400, 'input.per_page must be of type integer'],
      [{ connectorId: 'github', toolId: 'github.issues.list', input: { owner: 'a', repo: 'b', extra: 1 } }, 400, 'input.extra is not an input'],
      [{ connectorId: 'github', toolId: 'github.issues.list', input: { owner: '..', repo: 'b' } }, 400, 'input.owner is not a valid path value'],
      [{ connectorId: 'github', toolId: 'github.issues.list', input: [] }, 400, 'input must be a JSON object'],
      [{ connectorId: 'github', toolId: 'github.user.get', accountId: 'someone-else' }, 404, 'no connection github/someone-else'],
      [{ connectorId: 'github', toolId: 'github.user.get', agentId: 'impostor' }, 400, 'agentId does not match the agent key'],
      [{ toolId: 'github.user.get' }, 400, 'connectorId is required'],
      [{ connectorId: 'x'.repeat(1024 * 1024 - 100), toolId: 'github.user.get' }, 400, 'connectorId is longer than 128 characters'],
      [{ connectorId: 'github', toolId: 'y'.repeat(129) }, 400, 'toolId is longer than 128 characters'],
    ];
    for (const [body, status, error] of cases) {
      const res = await execute(key, body);
      assert.equal(res.status, status, JSON.stringify(body));
      assert.ok(res.body.error.startsWith(error), res.body.error);
    }
    assert.equal(fake.requests.length, before);
    assert.ok((await actions()).includes('tool.execute:denied'));
    assert.equal((await execute('tvn_not-a-key', { connectorId: 'github', toolId: 'github.user.get' })).status, 401);
    assert.equal((await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' })).status, 401);
  });

  test('a write above low risk waits for approval; approving runs it and the agent collects the result', async () => {
    const { key } = await createKey({ agentId: 'writer', connectorIds: ['github'] });
    const input = { owner: 'o', repo: 'r', title: 'Bug', labels: ['a', { nested: [1, null] }] };
    const pending = await execute(key, { connectorId: 'github', toolId: 'github.issue.create', input });
    assert.equal(pending.status, 202);
    assert.equal(pending.body.status, 'pending_approval');
    const id = pending.body.approvalId;
    const listed = (await h.get('/v1/approvals', s)).body.approvals.find((a) => a.id === id);
    assert.deepEqual([listed.agentId, listed.connectorId, listed.toolId, listed.risk], ['writer', 'github', 'github.issue.create', 'medium']);
    assert.deepEqual(listed.displayInput, input);
    assert.match(listed.requestDigest, /^[0-9a-f]{64}$/);
    assert.ok(Date.parse(listed.expiresAt) - Date.now() > 9 * 60 * 1000);
    assert.equal((await h.get(`/v1/execute/${id}`, { bearer: key })).status, 202);
    assert.ok(!fake.requests.some((r) => r.path === '/repos/o/r/issues'), 'nothing ran before approval');

    assert.equal((await h.post(`/v1/approvals/${id}/approve`, {}, s)).status, 200);
    const result = await h.get(`/v1/execute/${id}`, { bearer: key });
    assert.equal(result.status, 200);
    assert.deepEqual(result.body.output.echo.body, { title: 'Bug', labels: ['a', { nested: [1, null] }] });
    assert.equal((await h.post(`/v1/approvals/${id}/approve`, {}, s)).status, 409);
    assert.ok(!(await h.get('/v1/approvals', s)).body.approvals.some((a) => a.id === id));
    const other = await createKey({ agentId: 'other', connectorIds: ['github'] });
    assert.equal((await h.get(`/v1/execute/${id}`, { bearer: other.key })).status, 404, 'only the asking key sees the result');
  });

  test('what the operator approves is what was shown: the whole request on demand, bound by its digest', async () => {
    const { key } = await createKey({ agentId: 'verbose', connectorIds: ['github'] });
    const hidden = `${'x'.repeat(2000)}HIDDEN-TAIL`;
    const cases = [
      ['a long string', { owner: 'o', repo: 'r', title: hidden }],
      ['a long list', { owner: 'o', repo: 'r', title: 't', labels: Array.from({ length: 150 }, (_, i) => `l${i}`) }],
      ['deep nesting', { owner: 'o', repo: 'r', title: 't', labels: [[[[[[[['deep']]]]]]]] }],
    ];
    for (const [what, input] of cases) {
      const { approvalId } = (await execute(key, { connectorId: 'github', toolId: 'github.issue.create', input })).body;
      const listed = (await h.get('/v1/approvals', s)).body.approvals.find((a) => a.id === approvalId);
      assert.equal(listed.displayTruncated, true, what);
      const refused = await h.post(`/v1/approvals/${approvalId}/approve`, {}, s);
      assert.deepEqual([refused.status, /too large to show in full/.test(refused.body.error)], [409, true], `${what}: not from the cut view`);
      const whole = (await h.get(`/v1/approvals/${approvalId}`, s)).body;
      assert.deepEqual(whole.input, input, `${what}: the whole input on demand`);
      assert.equal(whole.requestDigest, listed.requestDigest);
      const wrong = await h.post(`/v1/approvals/${approvalId}/approve`, { requestDigest: '0'.repeat(64) }, s);
      assert.deepEqual([wrong.status, /digest differs/.test(wrong.body.error)], [409, true], `${what}: another request's digest`);
      assert.equal((await h.post(`/v1/approvals/${approvalId}/approve`, { requestDigest: 7 }, s)).status, 400);
      assert.equal((await h.post(`/v1/approvals/${approvalId}/approve`, { requestDigest: whole.requestDigest }, s)).status, 200, what);
      assert.equal('input' in (await h.get(`/v1/approvals/${approvalId}`, s)).body, false, `${what}: the input is not kept once decided`);
    }
    const short = (await execute(key, { connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'o', repo: 'r', title: 'short' } })).body.approvalId;
    assert.equal((await h.get('/v1/approvals', s)).body.approvals.find((a) => a.id === short).displayTruncated, false);
    assert.equal((await h.post(`/v1/approvals/${short}/approve`, {}, s)).status, 200, 'a request shown whole needs no digest');
    assert.equal((await h.get('/v1/approvals/apr_missing', s)).status, 404);
  });

  test('denying records the reason for the agent; unknown approvals are 404', async () => {
    const { key } = await createKey({ agentId: 'denied', connectorIds: ['slack'] });
    const { approvalId } = (await execute(key, { connectorId: 'slack', toolId: 'slack.message.post', input: { channel: 'C1', text: 'hi' } })).body;
    assert.equal((await h.post(`/v1/approvals/${approvalId}/deny`, { reason: 'Denied from Torvane Mac app' }, s)).status, 200);
    const res = await h.get(`/v1/execute/${approvalId}`, { bearer: key });
    assert.deepEqual([res.status, res.body.status, res.body.reason], [403, 'denied', 'Denied from Torvane Mac app']);
    assert.equal((await h.post('/v1/approvals/apr_missing/approve', {}, s)).status, 404);
    assert.ok((await actions()).includes('approval.deny:denied'));
  });

  test('agent input nested past any sane depth is a clear 400 that runs and stores nothing', async () => {
    const { key } = await createKey({ agentId: 'deep', connectorIds: ['github'] });
    const before = fake.requests.length;
    const deep = (depth) => `${'['.repeat(depth)}${']'.repeat(depth)}`;
    for (const [toolId, depth] of [['github.issue.create', 50_000], ['github.user.get', 50_000], ['github.issue.create', 200]]) {
      const res = await h.request('POST', '/v1/execute', { bearer: key, body: `{"connectorId":"github","toolId":"${toolId}","input":{"owner":"o","repo":"r","title":"t","labels":${deep(depth)}}}` });
      assert.deepEqual([res.status, res.body.error], [400, 'request body is nested too deeply (at most 64 levels)'], `${toolId} ${depth}`);
    }
    assert.equal(fake.requests.length, before);
    assert.ok(!(await h.get('/v1/approvals', s)).body.approvals.some((a) => a.agentId === 'deep'));
  });

  test("the app's smoke test raises an approval with its operator session, whatever its input keys", async () => {
    const res = await h.post('/v1/execute', { agentId: 'codex', connectorId: 'github', toolId: 'github.issue.create', input: { text: 'Mac approval smoke test' } }, s);
    assert.equal(res.status, 202);
    const approval = (await h.get('/v1/approvals', s)).body.approvals.find((a) => a.id === res.body.approvalId);
    assert.equal(approval.agentId, 'codex');
    assert.deepEqual(approval.displayInput, { text: 'Mac approval smoke test' });
    const before = fake.requests.length;
    const approved = await h.post(`/v1/approvals/${approval.id}/approve`, {}, s);
    assert.deepEqual([approved.status, approved.body.error], [400, 'input.text is not an input of github.issue.create']);
    assert.equal(fake.requests.length, before, 'an input that does not fit the tool never reaches the provider');
    assert.ok(!(await h.get('/v1/approvals', s)).body.approvals.some((a) => a.id === approval.id));
    assert.equal((await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, s)).status, 400, 'agentId is required');
  });

  test('the kill switch refuses every agent call and approval until it is turned off', async () => {
    const { key } = await createKey({ agentId: 'paused', connectorIds: ['github'] });
    const { approvalId } = (await execute(key, { connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'o', repo: 'r', title: 't' } })).body;
    assert.equal((await h.post('/v1/killswitch', { enabled: 'yes' }, s)).status, 400);
    assert.equal((await h.post('/v1/killswitch', { enabled: true }, s)).status, 200);
    const read = { connectorId: 'github', toolId: 'github.user.get' };
    assert.equal((await execute(key, read)).status, 403);
    assert.equal((await h.get('/v1/agent/tools', { bearer: key })).status, 403);
    assert.equal((await h.post('/v1/execute', { ...read, agentId: 'codex' }, s)).status, 403);
    assert.equal((await h.post(`/v1/approvals/${approvalId}/approve`, {}, s)).status, 409);
    assert.equal((await h.post('/v1/killswitch', { enabled: false }, s)).status, 200);
    assert.equal((await execute(key, read)).status, 200);
    assert.ok((await actions()).includes('killswitch.enable:allowed'));
  });

  test('revoking a key stops it at once and cancels its pending requests', async () => {
    const { key, record } = await createKey({ agentId: 'revoked', connectorIds: ['github'] });
    const { approvalId } = (await execute(key, { connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'o', repo: 'r', title: 't' } })).body;
    assert.equal((await h.post(`/v1/master-keys/${record.id}/revoke`, {}, s)).status, 200);
    assert.equal((await h.post(`/v1/master-keys/${record.id}/revoke`, {}, s)).body.error, 'already revoked');
    assert.equal((await h.post('/v1/master-keys/mk_missing/revoke', {}, s)).status, 404);
    const res = await execute(key, { connectorId: 'github', toolId: 'github.user.get' });
    assert.deepEqual([res.status, res.body.error], [401, 'invalid or revoked agent key']);
    const [latest] = (await h.get('/v1/audit?limit=1', s)).body.events;
    assert.deepEqual([latest.action, latest.decision, latest.keyId, latest.reason], ['agent.request', 'denied', record.id, 'revoked agent key']);
    assert.ok(!(await h.get('/v1/approvals', s)).body.approvals.some((a) => a.id === approvalId));
    const listed = (await h.get('/v1/master-keys', s)).body.keys.find((k) => k.id === record.id);
    assert.deepEqual([listed.status, Boolean(listed.revokedAt)], ['revoked', true]);
  });

  test('a re-linked credential is the one sent from the next call on', async () => {
    const { key } = await createKey({ agentId: 'rotating', connectorIds: ['vercel'] });
    const tokenSent = async () => {
      assert.equal((await execute(key, { connectorId: 'vercel', toolId: 'vercel.user.get' })).status, 200);
      return fake.requests.at(-1).token;
    };
    assert.equal(await tokenSent(), 'valid-vercel');
    assert.equal((await h.post('/v1/credentials/vercel', { token: 'valid-vercel-rotated', accountId: 'default' }, s)).status, 201);
    assert.equal(await tokenSent(), 'valid-vercel-rotated');
  });

  test('a provider that hangs during a call is cut off with a clear error', async () => {
    await h.post('/v1/credentials/github', { token: 'valid-gh-2', accountId: 'second' }, s);
    h.broker.services.store.update((draft) => {
      const record = draft.connections.find((c) => c.accountId === 'second');
      record.secret = h.broker.services.vault.encrypt(record.id, 'hang-now');
    });
    const { key } = await createKey({ agentId: 'patient', connectorIds: ['github'] });
    const res = await execute(key, { connectorId: 'github', toolId: 'github.user.get', accountId: 'second' });
    assert.deepEqual([res.status, res.body.error], [502, 'provider request failed: GitHub did not answer within 0.3 s']);
    assert.ok((await actions()).includes('tool.execute:provider_error'));
  });
});

test('approvals expire after their window', async (t) => {
  const fake = await startFakeProvider();
  t.after(() => fake.close());
  const h = await startReadyBroker({ env: fake.env(), approvalTtlMs: 150 });
  t.after(() => h.close());
  const s = { session: h.session };
  await h.post('/v1/credentials/github', { token: 'valid-gh', accountId: 'default' }, s);
  const { key } = (await h.post('/v1/master-keys', { agentId: 'slow', name: 'slow', connectorIds: ['github'] }, s)).body;
  const { approvalId } = (await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'o', repo: 'r', title: 't' } }, { bearer: key })).body;
  await new Promise((resolve) => setTimeout(resolve, 200));
  assert.deepEqual((await h.get('/v1/approvals', s)).body.approvals, []);
  assert.equal((await h.post(`/v1/approvals/${approvalId}/approve`, {}, s)).status, 410);
  assert.equal((await h.get(`/v1/execute/${approvalId}`, { bearer: key })).status, 410);
  assert.ok((await h.get('/v1/audit', s)).body.events.some((e) => e.action === 'approval.expire'));
});

test('one agent key cannot fill the approval queue for the others', async (t) => {
  const fake = await startFakeProvider();
  t.after(() => fake.close());
  const h = await startReadyBroker({ env: fake.env() });
  t.after(() => h.close());
  const s = { session: h.session };
  await h.post('/v1/credentials/slack', { token: 'valid-slack', accountId: 'default' }, s);
  const newKey = async (name) => (await h.post('/v1/master-keys', { agentId: name, name, connectorIds: ['slack'] }, s)).body.key;
  const write = (key, text = 'hi') => h.post('/v1/execute', { connectorId: 'slack', toolId: 'slack.message.post', input: { channel: 'C1', text } }, { bearer: key });

  const noisy = await newKey('noisy');
  const flood = await Promise.all(Array.from({ length: MAX_PENDING_PER_KEY + 10 }, () => write(noisy)));
  assert.equal(flood.filter((res) => res.status === 202).length, MAX_PENDING_PER_KEY);
  assert.ok(flood.filter((res) => res.status === 429).every((res) => /this agent key already has/.test(res.body.error)));
  assert.equal((await write(await newKey('quiet'))).status, 202, 'another agent still gets through');

  const bulky = await newKey('bulky');
  const big = 'y'.repeat(400 * 1024);
  const bulkyAnswers = [];
  for (let i = 0; i < 3; i++) bulkyAnswers.push((await write(bulky, big)).status);
  assert.deepEqual(bulkyAnswers, [202, 202, 429], `at most ${MAX_PENDING_INPUT_BYTES_PER_KEY} bytes of waiting input per key`);

  // The shared cap still holds across many keys.
  const keys = await Promise.all(Array.from({ length: Math.ceil(MAX_PENDING / MAX_PENDING_PER_KEY) }, (_, i) => newKey(`many-${i}`)));
  for (const key of keys) await Promise.all(Array.from({ length: MAX_PENDING_PER_KEY }, () => write(key)));
  assert.equal((await h.get('/v1/approvals', s)).body.approvals.length, MAX_PENDING);
  assert.equal((await write(await newKey('late'))).status, 429);
});

// A ready broker on the provider stand-in, with a linked GitHub account and an agent key for it.
// The caller closes the broker (some tests restart it on the same state).
async function brokerWithGithubKey(t, { agentId, token = 'valid-gh', env = {} }) {
  const fake = await startFakeProvider();
  t.after(() => fake.close());
  const h = await startReadyBroker({ env: { ...fake.env(), ...env } });
  const s = { session: h.session };
  await h.post('/v1/credentials/github', { token, accountId: 'default' }, s);
  const { key, record } = (await h.post('/v1/master-keys', { agentId, name: agentId, connectorIds: ['github'] }, s)).body;
  return { fake, h, s, key, record };
}

test('after a restart agents wait for the operator to unlock the vault', async (t) => {
  const { fake, h: first, key } = await brokerWithGithubKey(t, { agentId: 'early' });
  await first.close();

  const h = await startBroker({ stateDir: first.stateDir, env: fake.env() });
  t.after(() => h.close());
  const read = { connectorId: 'github', toolId: 'github.user.get' };
  const locked = await h.post('/v1/execute', read, { bearer: key });
  assert.deepEqual([locked.status, locked.body.error], [423, 'Vault is locked: unlock Torvane on this computer first']);
  await h.post('/v1/operator/session', { label: 'mac-app' }, { headers: { 'x-tvn-operator-bootstrap': bootstrapSecret(first.stateDir) } });
  assert.equal((await h.post('/v1/execute', read, { bearer: key })).status, 200);
});

test('agent calls leave the vault file alone: last use is shown at once and written in batches', async (t) => {
  const { h, s, key, record } = await brokerWithGithubKey(t, { agentId: 'busy' });
  await h.post('/v1/master-keys', { agentId: 'idle', name: 'idle', connectorIds: ['github'] }, s);
  const vaultFile = path.join(h.stateDir, 'vault.json');
  const before = fs.statSync(vaultFile);
  const calls = await Promise.all(Array.from({ length: 60 }, () => h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, { bearer: key })));
  assert.deepEqual([...new Set(calls.map((res) => res.status))], [200]);
  const after = fs.statSync(vaultFile);
  assert.deepEqual([after.ino, after.mtimeMs], [before.ino, before.mtimeMs], 'no call rewrote the vault file');
  const listed = (await h.get('/v1/master-keys', s)).body.keys;
  assert.ok(listed.find((k) => k.id === record.id).lastUsedAt, 'last use is shown at once');
  assert.equal(listed.find((k) => k.name === 'idle').lastUsedAt, undefined);
  assert.ok((await h.get('/v1/connections', s)).body.connections[0].lastUsedAt);
  const events = (await h.get('/v1/audit?limit=1000', s)).body.events.filter((e) => e.action === 'tool.execute');
  assert.equal(events.length, 60, 'every call has its record');
  await h.close();
  const stored = JSON.parse(fs.readFileSync(vaultFile, 'utf8'));
  assert.ok(stored.masterKeys.find((k) => k.id === record.id).lastUsedAt, 'written at shutdown at the latest');
});

test('a tool call\'s answer never carries the credential back, in any encoding', async (t) => {
  const token = 'valid-ab/cd+ef=gh_secret';
  const { fake, h, key } = await brokerWithGithubKey(t, { agentId: 'echo', token });
  t.after(() => h.close());
  const forms = echoedForms(token);
  fake.respond('github', 'GET', '/user', () => ({ status: 200, raw: echoJson(forms) }));
  const res = await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, { bearer: key });
  assert.equal(res.status, 200);
  assert.deepEqual(Object.keys(res.body.output), Object.keys(forms));
  for (const [form, value] of Object.entries(res.body.output)) assert.ok(!revealsToken(value, token), `${form}: ${value}`);
  fake.respond('github', 'GET', '/user', () => ({ status: 500, raw: `upstream said: ${token}` }));
  const failed = await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, { bearer: key });
  assert.ok(!failed.text.includes(token), failed.text);
});

test('turning the kill switch on stops calls already on their way, approved ones too, and records it', async (t) => {
  const { fake, h, s, key } = await brokerWithGithubKey(t, { agentId: 'slow', env: { SWITCHYARD_PROVIDER_TIMEOUT_SECONDS: '30' } });
  t.after(() => h.close());
  fake.respond('github', 'GET', '/user', () => null);
  fake.respond('github', 'POST', '/repos/o/r/issues', () => null);
  const { approvalId } = (await h.post('/v1/execute', { connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'o', repo: 'r', title: 't' } }, { bearer: key })).body;
  const before = fake.requests.length;
  const read = h.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, { bearer: key });
  const approved = h.post(`/v1/approvals/${approvalId}/approve`, {}, s);
  while (fake.requests.length < before + 2) await new Promise((resolve) => setTimeout(resolve, 5));

  assert.equal((await h.post('/v1/killswitch', { enabled: true }, s)).status, 200);
  const [stoppedRead, stoppedApproval] = await Promise.all([read, approved]);
  assert.deepEqual([stoppedRead.status, stoppedRead.body.error], [403, 'Kill switch is on: agent access is paused']);
  assert.deepEqual([stoppedApproval.status, stoppedApproval.body.error], [409, 'Kill switch turned on: the approved call was stopped while it ran']);
  await h.post('/v1/killswitch', { enabled: false }, s);
  const collected = await h.get(`/v1/execute/${approvalId}`, { bearer: key });
  assert.deepEqual([collected.status, collected.body.status], [409, 'cancelled']);
  const events = (await h.get('/v1/audit', s)).body.events;
  assert.equal(events.filter((e) => e.action === 'tool.execute' && e.decision === 'aborted').length, 2);
  assert.ok(events.some((e) => e.action === 'killswitch.enable' && e.reason === 'stopping 2 call(s) in flight'));
});
