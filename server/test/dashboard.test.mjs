// The dashboard page in a real headless Chromium against the real broker; an init script stands
// in for the desktop app's side of the embedded view (testkit/dashboardPage.mjs).
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { PASSPHRASE, bootstrapSecret, startBroker, startReadyBroker } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { SURFACES, launchChromium, openDashboard as openPage, readinessProbe } from '../testkit/dashboardPage.mjs';

let browser;

before(async () => {
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
});

async function closeBroker(env) {
  if (!env) return;
  await env.close();
  fs.rmSync(path.dirname(env.stateDir), { recursive: true, force: true });
}

async function mintSession(env) {
  const res = await env.post('/v1/operator/session', { label: 'dashboard-test' }, { headers: { 'x-tvn-operator-bootstrap': bootstrapSecret(env.stateDir) } });
  assert.equal(res.status, 200, res.text);
  return res.body.sessionId;
}

const openDashboard = (env, options) => openPage(browser, env, options);

function assertReadyMessage(message, surface) {
  assert.ok(Number.isInteger(message.textLength) && message.textLength >= 1, `textLength ${message.textLength}`);
  assert.ok(SURFACES.includes(message.surface));
  assert.equal(message.surface, surface);
}

describe('without an operator session', () => {
  let env;
  before(async () => { env = await startReadyBroker(); });
  after(async () => { await closeBroker(env); });

  test('shows the locked state, reports ready and asks the app to unlock, with no operator call', async () => {
    const view = await openDashboard(env);
    try {
      const ready = await view.readyMessage();
      assertReadyMessage(ready, 'home');
      await view.page.getByRole('heading', { name: 'The vault is locked' }).waitFor();
      const probe = await readinessProbe(view.page);
      assert.equal(probe.ready, true);
      assert.ok(probe.rootTextLength >= 1 && probe.readyState !== 'loading');

      await view.page.getByRole('button', { name: 'Unlock the vault' }).click();
      await view.page.getByRole('button', { name: 'Forgot your TVN password?' }).click();
      const types = (await view.posted()).map((m) => m.type);
      assert.deepEqual(types.filter((t) => t.startsWith('request-')), ['request-operator-unlock', 'request-vault-reset']);
      assert.equal(await view.page.locator('#unlock-passphrase').count(), 0, 'the app unlocks, not the page');

      await view.page.getByRole('button', { name: 'Refresh' }).click();
      await view.page.waitForTimeout(300);
      assert.deepEqual(view.operatorRequests(), []);
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('in a plain browser the passphrase unlocks it; a wrong one is refused without echoing it', async () => {
    const view = await openDashboard(env, { native: false });
    try {
      const field = view.page.getByLabel('TVN password');
      await field.fill('not the passphrase');
      await view.page.getByRole('button', { name: 'Unlock', exact: true }).click();
      const refusal = view.page.locator('.gate-notice');
      await refusal.waitFor();
      assert.match(await refusal.textContent(), /didn't work/);
      assert.ok(!(await view.page.content()).includes('not the passphrase'));
      assert.equal(await field.inputValue(), '');
      assert.deepEqual(view.operatorRequests(), []);

      await field.fill(PASSPHRASE);
      await view.page.getByRole('button', { name: 'Unlock', exact: true }).click();
      await view.page.getByRole('heading', { name: 'Pending approvals' }).waitFor();
      const stored = await view.page.evaluate(() => sessionStorage.getItem('torvane.operator-session'));
      assert.match(stored, /\S{16,}/);
      assert.ok(!(await view.page.locator('body').innerText()).includes(stored), 'the session id is never shown');

      await view.page.getByRole('button', { name: 'Lock' }).click();
      await view.page.getByRole('heading', { name: 'The vault is locked' }).waitFor();
      assert.equal(await view.page.evaluate(() => sessionStorage.getItem('torvane.operator-session')), null);
      assert.equal(await view.page.getByRole('heading', { name: 'Pending approvals' }).count(), 0);
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('a session the broker rejects locks the page and is dropped', async () => {
    const bogus = "stale-session-'\\-id";
    const view = await openDashboard(env, { session: bogus });
    try {
      await view.page.getByText('Your operator session has ended').waitFor();
      assert.equal(await view.page.evaluate(() => sessionStorage.getItem('torvane.operator-session')), null);
      assert.ok(!(await view.page.locator('body').innerText()).includes(bogus));
      assertReadyMessage(await view.readyMessage(), 'home');
    } finally {
      await view.close();
    }
  });
});

describe('with an unconfigured vault', () => {
  let env;
  before(async () => { env = await startBroker(); });
  after(async () => { await closeBroker(env); });

  test('shows vault setup as the first-run security surface, even with a seeded session', async () => {
    const session = await mintSession(env);
    const view = await openDashboard(env, { session, firstRunCompleted: true });
    try {
      assertReadyMessage(await view.readyMessage(), 'first-run-security');
      await view.page.getByRole('button', { name: 'Set up the vault' }).click();
      assert.ok((await view.posted()).some((m) => m.type === 'request-operator-unlock'));
      assert.equal(await view.page.evaluate(() => localStorage.getItem('torvane.first-run-complete')), null, 'a fresh vault starts the guide over');
      assert.deepEqual(view.operatorRequests(), []);
    } finally {
      await view.close();
    }
  });
});

describe('with an operator session', () => {
  let env;
  let session;
  before(async () => {
    env = await startReadyBroker();
    session = env.session;
  });
  after(async () => { await closeBroker(env); });

  test('loads every operator list with the session header and shows status', async () => {
    const view = await openDashboard(env, { session, firstRunCompleted: true });
    try {
      assertReadyMessage(await view.readyMessage(), 'home');
      const tiles = await view.page.locator('.tiles').innerText();
      assert.match(tiles, /Local service\s+Running/i);
      assert.match(tiles, /Vault\s+Unlocked/i);
      const operatorCalls = view.operatorRequests();
      for (const expected of ['/v1/connections', '/v1/master-keys', '/v1/approvals', '/v1/audit', '/v1/proof/latest']) {
        const call = operatorCalls.find((r) => r.path === expected);
        assert.ok(call, `no call to ${expected}`);
        assert.equal(call.headers['x-tvn-operator-session'], session);
      }
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('follows the app re-seeding the session and first-run flag without a reload', async () => {
    const view = await openDashboard(env, { session });
    try {
      assertReadyMessage(await view.readyMessage(), 'first-run');
      await view.page.getByRole('heading', { name: 'Welcome to Torvane' }).waitFor();
      const seed = (sessionId, completed) => view.page.evaluate(([id, done]) => {
        // The app's update script: the seeds, then the two events.
        if (id) sessionStorage.setItem('torvane.operator-session', id); else sessionStorage.removeItem('torvane.operator-session');
        window.dispatchEvent(new CustomEvent('tvn-operator-session-updated', { detail: { sessionId: id } }));
        window.dispatchEvent(new CustomEvent('tvn-native-first-run-updated', { detail: { completed: done } }));
      }, [sessionId, completed]);

      await seed('', false);
      await view.page.getByRole('heading', { name: 'The vault is locked' }).waitFor();
      assert.equal(await view.page.locator('#main .tiles, #main .card').count(), 0, 'operator data is gone at once');

      const before = view.operatorRequests().length;
      await seed(session, true);
      await view.page.getByRole('heading', { name: 'Pending approvals' }).waitFor();
      assert.ok(view.operatorRequests().length > before);
      assert.equal(await view.page.getByRole('heading', { name: 'Welcome to Torvane' }).count(), 0);
    } finally {
      await view.close();
    }
  });

  test('finishing and reopening the setup guide tells the app and keeps the flag', async () => {
    const view = await openDashboard(env, { session });
    try {
      await view.page.getByRole('button', { name: 'Done, hide this guide' }).click();
      assert.equal(await view.page.evaluate(() => localStorage.getItem('torvane.first-run-complete')), 'true');
      await view.page.getByRole('button', { name: 'Show the setup guide again' }).click();
      await view.page.getByRole('heading', { name: 'Welcome to Torvane' }).waitFor();
      assert.equal(await view.page.evaluate(() => localStorage.getItem('torvane.first-run-complete')), null);
      const types = (await view.posted()).map((m) => m.type).filter((t) => t.startsWith('first-run'));
      assert.deepEqual(types, ['first-run-completed', 'first-run-reset']);
    } finally {
      await view.close();
    }
  });

  test("the help link opens the broker's own help page in place, with a way back", async () => {
    const view = await openDashboard(env, { session, firstRunCompleted: true });
    try {
      await view.readyMessage();
      await view.page.getByRole('link', { name: 'How Torvane keeps keys safe' }).click();
      await view.page.getByRole('heading', { name: 'How Torvane keeps keys safe' }).waitFor();
      assert.equal(new URL(view.page.url()).pathname, '/help/keys-safe');
      assert.equal(view.page.context().pages().length, 1);
      assert.deepEqual((await view.posted()).filter((m) => m.type === 'open-external-url'), []);
      await view.page.getByRole('link', { name: '← Back to the dashboard' }).click();
      await view.page.getByRole('heading', { name: 'Pending approvals' }).waitFor();
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('the content security policy stops script injected into the page', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    try {
      // The strongest injection: markup inside the served page itself, under the broker's own headers.
      await page.route(`${env.url}/`, async (route) => {
        const response = await route.fetch();
        assert.match(response.headers()['content-security-policy'], /script-src 'self'/);
        const body = (await response.text()).replace('</body>',
          '<script>window.__inlineRan = true;</script><img src="/none.png" onerror="window.__handlerRan = true"></body>');
        await route.fulfill({ response, body });
      });
      const violations = [];
      await page.exposeFunction('__reportViolation', (directive) => violations.push(directive));
      await page.addInitScript(() => document.addEventListener('securitypolicyviolation', (event) => window.__reportViolation(event.effectiveDirective)));
      await page.goto(`${env.url}/`);
      await page.getByRole('heading', { name: 'The vault is locked' }).waitFor();
      const ran = await page.evaluate(() => ({ inline: window.__inlineRan === true, handler: window.__handlerRan === true }));
      assert.deepEqual(ran, { inline: false, handler: false });
      assert.ok(violations.some((d) => d.startsWith('script-src')), JSON.stringify(violations));
    } finally {
      await context.close();
    }
  });
});

describe('with data seeded through the API', () => {
  let env;
  let provider;
  let agentKeySecret;
  const hostileTitle = '<img src=x onerror="window.__pwned=1"> Mac approval smoke test';

  async function requestWrite(title) {
    const res = await env.post('/v1/execute', {
      agentId: 'codex', connectorId: 'github', toolId: 'github.issue.create', input: { owner: 'octo', repo: 'demo', title },
    }, { session: env.session });
    assert.equal(res.status, 202, res.text);
    const pending = await env.get('/v1/approvals', { session: env.session });
    return pending.body.approvals.at(-1).id;
  }

  before(async () => {
    provider = await startFakeProvider();
    env = await startReadyBroker({ env: provider.env() });
    const linked = await env.post('/v1/credentials/github', { token: 'valid-gh-token', accountId: 'octo', alias: 'Octo work', source: 'mac-app' }, { session: env.session });
    assert.equal(linked.status < 300, true, linked.text);
    const created = await env.post('/v1/master-keys', { agentId: 'codex', name: 'Codex on laptop', connectorIds: ['github'], maxRisk: 'medium' }, { session: env.session });
    assert.equal(created.status, 201, created.text);
    agentKeySecret = created.body.key;
  });

  after(async () => {
    await closeBroker(env);
    await provider?.close();
  });

  test('shows apps, keys, approvals and the audit chain as text, never the key secret', async () => {
    const approvalId = await requestWrite(hostileTitle);
    const view = await openDashboard(env, { session: env.session, firstRunCompleted: true });
    try {
      await view.readyMessage();
      const apps = view.page.locator('#apps');
      await apps.getByRole('rowheader', { name: 'GitHub' }).waitFor();
      assert.match(await apps.innerText(), /Octo work[\s\S]*connected/i);
      const keys = await view.page.locator('#keys').innerText();
      assert.match(keys, /Codex on laptop\s+codex\s+github/);

      const approval = view.page.locator(`[data-approval-id="${approvalId}"]`);
      assert.match(await approval.innerText(), /github\.issue\.create[\s\S]*medium risk[\s\S]*Requested by codex through github/);
      await approval.getByText('What the agent wants to send').click();
      assert.ok((await approval.locator('pre').textContent()).includes(JSON.stringify(hostileTitle)), 'input shown as text');
      assert.equal(await view.page.locator('#main img').count(), 0);
      assert.equal(await view.page.evaluate(() => window.__pwned), undefined);

      const audit = view.page.locator('#audit');
      assert.match(await audit.innerText(), /Chain linked across \d+ events/);
      assert.match(await audit.innerText(), /Latest self-check passed/);
      const firstRow = await audit.locator('tbody tr').first().innerText();
      const events = (await env.get('/v1/audit', { session: env.session })).body.events;
      const newest = Math.max(...events.map((e) => e.sequence));
      assert.ok(firstRow.startsWith(String(newest)), 'newest event first');

      assert.ok(!(await view.page.content()).includes(agentKeySecret));
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('approve runs the held call; deny asks for a reason and sends it', async () => {
    const toApprove = await requestWrite('Approve me');
    const toDeny = await requestWrite('Deny me');
    const view = await openDashboard(env, { session: env.session, firstRunCompleted: true });
    try {
      const approveRow = view.page.locator(`[data-approval-id="${toApprove}"]`);
      await approveRow.getByRole('button', { name: 'Approve' }).click();
      await approveRow.waitFor({ state: 'detached' });
      assert.match(await view.page.locator('#banner').innerText(), /Approved github\.issue\.create/);
      assert.ok(provider.requests.some((r) => r.method === 'POST' && r.path === '/repos/octo/demo/issues' && r.body?.title === 'Approve me'));

      const denyRow = view.page.locator(`[data-approval-id="${toDeny}"]`);
      const dialog = view.page.getByRole('dialog', { name: 'Deny this request?' });
      await denyRow.getByRole('button', { name: 'Deny' }).click();
      await dialog.getByRole('button', { name: 'Cancel' }).click();
      await dialog.waitFor({ state: 'hidden' });
      await denyRow.getByRole('button', { name: 'Deny' }).click();
      await dialog.getByLabel(/Reason/).fill('   ');
      await dialog.getByRole('button', { name: 'Deny request' }).click();
      assert.equal(await dialog.isVisible(), true, 'a blank reason is refused');
      assert.equal(view.requests.filter((r) => r.path.endsWith('/deny')).length, 0);

      await dialog.getByLabel(/Reason/).fill('Not in this repository');
      await dialog.getByRole('button', { name: 'Deny request' }).click();
      await denyRow.waitFor({ state: 'detached' });
      const denyCalls = view.requests.filter((r) => r.path === `/v1/approvals/${toDeny}/deny`);
      assert.equal(denyCalls.length, 1);
      assert.equal(denyCalls[0].headers['x-tvn-operator-session'], env.session);
      assert.deepEqual(JSON.parse(denyCalls[0].body), { reason: 'Not in this repository' });
      assert.ok(!provider.requests.some((r) => r.body?.title === 'Deny me'), 'a denied call never reaches the provider');
      assert.equal((await env.get('/v1/approvals', { session: env.session })).body.approvals.some((a) => a.id === toDeny), false);
    } finally {
      await view.close();
    }
  });

  test('a request the list shows cut is approved only from its whole view, with that view\'s digest', async () => {
    const longTitle = `Long ${'x'.repeat(2500)} END-OF-TITLE`;
    const id = await requestWrite(longTitle);
    const view = await openDashboard(env, { session: env.session, firstRunCompleted: true });
    try {
      const row = view.page.locator(`[data-approval-id="${id}"]`);
      assert.match(await row.innerText(), /This view is cut short/);
      await row.getByRole('button', { name: 'Approve' }).click();
      await row.getByText('The whole request the agent wants to send').waitFor();
      assert.ok((await row.locator('pre').textContent()).includes('END-OF-TITLE'), 'the whole input is shown');
      assert.equal(view.requests.filter((r) => r.path.endsWith('/approve')).length, 0, 'nothing approved from the cut view');
      await row.getByRole('button', { name: 'Approve' }).click();
      await row.waitFor({ state: 'detached' });
      const [approveCall] = view.requests.filter((r) => r.path === `/v1/approvals/${id}/approve`);
      assert.match(JSON.parse(approveCall.body).requestDigest, /^[0-9a-f]{64}$/);
      assert.ok(provider.requests.some((r) => r.body?.title === longTitle));
    } finally {
      await view.close();
    }
  });

  test('the kill switch and key revocation ask first, then act', async () => {
    const view = await openDashboard(env, { session: env.session, firstRunCompleted: true });
    try {
      const killTile = view.page.locator('.tile', { hasText: 'Kill switch' });
      await killTile.getByRole('button', { name: 'Stop all agent calls' }).click();
      const confirm = view.page.getByRole('dialog', { name: 'Stop every agent call?' });
      await confirm.getByRole('button', { name: 'Cancel' }).click();
      assert.equal((await env.get('/v1/killswitch', { session: env.session })).body.enabled, false);

      await killTile.getByRole('button', { name: 'Stop all agent calls' }).click();
      await confirm.getByRole('button', { name: 'Stop all agent calls' }).click();
      await killTile.getByRole('button', { name: 'Allow agent calls again' }).waitFor();
      assert.match(await killTile.innerText(), /\bOn\b/);
      assert.equal((await env.get('/v1/killswitch', { session: env.session })).body.enabled, true);
      await killTile.getByRole('button', { name: 'Allow agent calls again' }).click();
      await view.page.getByRole('dialog', { name: 'Allow agent calls again?' }).getByRole('button', { name: 'Allow agent calls' }).click();
      await killTile.getByRole('button', { name: 'Stop all agent calls' }).waitFor();
      assert.equal((await env.get('/v1/killswitch', { session: env.session })).body.enabled, false);

      await view.page.getByRole('button', { name: 'Revoke agent key Codex on laptop' }).click();
      await view.page.getByRole('dialog', { name: 'Revoke this agent key?' }).getByRole('button', { name: 'Revoke key' }).click();
      await view.page.locator('#keys').getByText('No agent keys yet').waitFor();
      const keys = (await env.get('/v1/master-keys', { session: env.session })).body.keys;
      assert.ok(keys.every((k) => k.revokedAt));
    } finally {
      await view.close();
    }
  });
});

describe('when the local service stops', () => {
  let env;
  before(async () => { env = await startReadyBroker(); });
  after(async () => { await closeBroker(env); });

  test('the page says so and drops the operator data it showed', async () => {
    const view = await openDashboard(env, { session: env.session, firstRunCompleted: true });
    try {
      await view.page.getByRole('heading', { name: 'Pending approvals' }).waitFor();
      await env.broker.close();
      await view.page.getByRole('button', { name: 'Refresh' }).click();
      await view.page.getByRole('heading', { name: "The local service isn't answering" }).waitFor();
      assert.equal(await view.page.locator('#main .tiles, #main .card').count(), 0);
      assert.match(await view.page.locator('#service-pill').innerText(), /not answering/);
    } finally {
      await view.close();
    }
  });
});
