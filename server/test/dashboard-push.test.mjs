// What the dashboard adds to the broker for its page and the app: the approvals event stream, the
// help pages and the agent app list; and, in a real headless Chromium, a new approval showing in
// the page at once, the audit's tool column, and the guide asking the app to act.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { startReadyBroker } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { launchChromium, openDashboard } from '../testkit/dashboardPage.mjs';
import { approvalFeed } from '../events/approvalFeed.mjs';
import { DASHBOARD_ASSETS } from '../dashboard/serve.mjs';

const WRITE = { agentId: 'codex', connectorId: 'github', toolId: 'github.issue.create' };

async function seededBroker(provider) {
  const env = await startReadyBroker({ env: provider.env() });
  const linked = await env.post('/v1/credentials/github', { token: 'valid-gh-token', accountId: 'octo', alias: 'Octo work', source: 'mac-app' }, { session: env.session });
  assert.ok(linked.status < 300, linked.text);
  return env;
}

async function requestWrite(env, title) {
  const res = await env.post('/v1/execute', { ...WRITE, input: { owner: 'octo', repo: 'demo', title } }, { session: env.session });
  assert.equal(res.status, 202, res.text);
  return res.body.approvalId;
}

async function closeBroker(env) {
  if (!env) return;
  await env.close();
  fs.rmSync(path.dirname(env.stateDir), { recursive: true, force: true });
}

// Opens the event stream and collects its events; `next(name)` waits for the next one by name.
function openEvents(env, session) {
  return new Promise((resolve, reject) => {
    const url = new URL('/v1/events', env.url);
    const req = http.get({ host: url.hostname, port: url.port, path: url.pathname, headers: session ? { 'x-tvn-operator-session': session } : {} }, (res) => {
      const events = [];
      const waiting = [];
      let buffer = '';
      let ended = false;
      const settle = () => {
        for (const wait of [...waiting]) {
          const index = events.findIndex((event) => event.name === wait.name);
          if (index >= 0) {
            waiting.splice(waiting.indexOf(wait), 1);
            wait.resolve(events.splice(index, 1)[0]);
          }
        }
      };
      res.setEncoding('utf8');
      res.on('data', (chunk) => {
        buffer += chunk;
        let end;
        while ((end = buffer.indexOf('\n\n')) >= 0) {
          const block = buffer.slice(0, end);
          buffer = buffer.slice(end + 2);
          const name = /^event: (.*)$/m.exec(block)?.[1];
          const data = /^data: (.*)$/m.exec(block)?.[1];
          if (name) events.push({ name, data: data ? JSON.parse(data) : null, at: Date.now() });
        }
        settle();
      });
      res.on('end', () => { ended = true; });
      resolve({
        status: res.statusCode,
        headers: res.headers,
        ended: () => ended,
        next: (name) => new Promise((done) => { waiting.push({ name, resolve: done }); settle(); }),
        close: () => req.destroy(),
      });
    });
    req.on('error', reject);
  });
}

describe('the approvals event stream', () => {
  let provider;
  let env;
  before(async () => {
    provider = await startFakeProvider();
    env = await seededBroker(provider);
  });
  after(async () => {
    await closeBroker(env);
    await provider?.close();
  });

  test('needs an operator session', async () => {
    const refused = await env.get('/v1/events');
    assert.equal(refused.status, 401);
    assert.match(refused.body.error, /operator session required/);
    assert.equal((await env.get('/v1/events', { session: 'not-a-session' })).status, 401);
  });

  test('says how many approvals wait when it opens and again within a moment of each change', async () => {
    const stream = await openEvents(env, env.session);
    try {
      assert.equal(stream.status, 200);
      assert.match(stream.headers['content-type'], /^text\/event-stream/);
      assert.equal(stream.headers['cache-control'], 'no-store');
      assert.deepEqual((await stream.next('approvals')).data, { pending: 0 });

      const asked = Date.now();
      const id = await requestWrite(env, 'Pushed');
      const created = await stream.next('approvals');
      assert.deepEqual(created.data, { pending: 1 });
      assert.ok(created.at - asked < 1000, `${created.at - asked} ms`);

      const denied = await env.post(`/v1/approvals/${id}/deny`, { reason: 'not now' }, { session: env.session });
      assert.equal(denied.status, 200, denied.text);
      assert.deepEqual((await stream.next('approvals')).data, { pending: 0 });
    } finally {
      stream.close();
    }
  });

  test('ends when its session ends, and the watch stops with its last listener', async () => {
    const minted = await env.post('/v1/operator/session', { label: 'events-test', passphrase: 'correct horse battery' });
    assert.equal(minted.status, 200, minted.text);
    const stream = await openEvents(env, minted.body.sessionId);
    await stream.next('approvals');
    const feed = approvalFeed(env.broker.services);
    assert.equal(feed.listenerCount, 1);
    env.broker.services.sessions.clear();
    await stream.next('session-ended');
    await new Promise((resolve) => setTimeout(resolve, 100));
    assert.equal(stream.ended(), true);
    assert.equal(feed.listenerCount, 0);
  });
});

describe('help pages and the agent app list', () => {
  let env;
  before(async () => { env = await startReadyBroker(); });
  after(async () => { await closeBroker(env); });

  test('every help page is served offline, and every link in it leads to a page the broker serves', async () => {
    const helpPages = Object.keys(DASHBOARD_ASSETS).filter((p) => p.startsWith('/help/') && !p.endsWith('.css'));
    assert.ok(helpPages.length >= 4);
    for (const page of helpPages) {
      const res = await env.get(page);
      assert.equal(res.status, 200, page);
      assert.match(res.headers.get('content-type'), /^text\/html/);
      assert.match(res.headers.get('content-security-policy'), /default-src 'self'/);
      assert.match(res.text, /id="root"/, `${page}: the app's readiness probe looks for the root`);
      for (const [, href] of res.text.matchAll(/(?:href|src)="([^"]+)"/g)) {
        assert.ok(href.startsWith('/'), `${page} links off the broker: ${href}`);
        assert.equal((await env.get(href)).status, 200, `${page} -> ${href}`);
      }
    }
  });

  test('the agent apps are listed without any path on this computer', async () => {
    const res = await env.get('/dashboard/agent-apps.json');
    assert.equal(res.status, 200);
    const ids = res.body.apps.map((app) => app.id);
    assert.ok(ids.includes('claude-code') && ids.includes('jetbrains'));
    assert.equal(res.body.apps.find((app) => app.id === 'jetbrains').autoWrite, false);
    for (const app of res.body.apps) assert.deepEqual(Object.keys(app).sort(), ['autoWrite', 'id', 'label']);
  });
});

describe('the page', () => {
  let browser;
  let provider;
  let env;
  before(async () => {
    browser = await launchChromium();
    provider = await startFakeProvider();
    env = await seededBroker(provider);
  });
  after(async () => {
    await browser?.close();
    await closeBroker(env);
    await provider?.close();
  });

  test('shows a new approval within a second, without waiting for its poll', async () => {
    const view = await openDashboard(browser, env, { session: env.session, firstRunCompleted: true });
    try {
      await view.readyMessage();
      await view.page.getByText('Nothing waiting for you').waitFor();
      // The stream is open before the request is made.
      while (!view.requests.some((r) => r.path === '/v1/events')) await new Promise((resolve) => setTimeout(resolve, 20));
      const asked = Date.now();
      const id = await requestWrite(env, 'Shown at once');
      await view.page.locator(`[data-approval-id="${id}"]`).waitFor({ timeout: 1000 });
      assert.ok(Date.now() - asked < 1000);
      assert.deepEqual(view.pageErrors, []);
    } finally {
      await view.close();
    }
  });

  test('the audit names the tool of each call, so a read and an approved write read differently', async () => {
    const read = await env.post('/v1/execute', { agentId: 'codex', connectorId: 'github', toolId: 'github.user.get', input: {} }, { session: env.session });
    assert.ok(read.status < 300, read.text);
    const approved = await requestWrite(env, 'Approve me');
    assert.equal((await env.post(`/v1/approvals/${approved}/approve`, {}, { session: env.session })).status, 200);
    const view = await openDashboard(browser, env, { session: env.session, firstRunCompleted: true });
    try {
      const audit = view.page.locator('#audit');
      await audit.locator('tbody tr').first().waitFor();
      const headers = await audit.locator('thead th').allTextContents();
      assert.deepEqual(headers, ['#', 'Time', 'Actor', 'Action', 'Tool', 'App', 'Decision', 'Hash']);
      const rows = await audit.locator('tbody tr').allInnerTexts();
      assert.ok(rows.some((row) => /tool\.execute\s+github\.user\.get\s+github/.test(row)), rows.join('\n'));
      assert.ok(rows.some((row) => /github\.issue\.create\s+github/.test(row)), rows.join('\n'));
    } finally {
      await view.close();
    }
  });

  test('the guide asks the app to connect an app, and shows how it ended', async () => {
    const view = await openDashboard(browser, env, { session: env.session });
    try {
      await view.page.getByRole('heading', { name: 'Welcome to Torvane' }).waitFor();
      await view.page.getByRole('button', { name: 'Connect an app' }).first().click();
      const form = view.page.locator('#connect-form');
      await form.getByLabel('App', { exact: true }).selectOption('github');
      await form.getByLabel('API key').fill('valid-typed-key');
      await form.getByLabel('Account name').fill('work');
      await form.getByRole('button', { name: 'Connect' }).click();
      await view.page.waitForFunction(() => window.__posted.some((m) => m.type === 'link-api-key'));
      const asked = (await view.posted()).filter((m) => m.type === 'link-api-key');
      assert.deepEqual(asked, [{ type: 'link-api-key', connectorId: 'github', accountId: 'work', alias: '', secret: 'valid-typed-key' }]);
      assert.equal(await form.getByRole('button', { name: 'Working…' }).count(), 1, 'one request at a time');

      await view.answerAction('link-api-key', false, 'That key was refused by GitHub.');
      await view.page.locator('#banner').getByText('That key was refused by GitHub.').waitFor();
      assert.equal(await form.getByLabel('API key').inputValue(), 'valid-typed-key', 'a failure keeps what was typed');

      await form.getByRole('button', { name: 'Connect' }).click();
      await view.answerAction('link-api-key', true, 'Connected GitHub. Its key is in the local vault.');
      await form.waitFor({ state: 'detached' });
      assert.match(await view.page.locator('#banner').innerText(), /Connected GitHub/);
      assert.ok(!(await view.page.content()).includes('valid-typed-key'), 'a closed form keeps no key');
    } finally {
      await view.close();
    }
  });

  test('the guide leads to making a key and setting up an agent app through the app', async () => {
    const view = await openDashboard(browser, env, { session: env.session });
    try {
      await view.page.getByRole('button', { name: 'Make an agent key' }).first().click();
      const form = view.page.locator('#key-form');
      await form.getByLabel('Agent', { exact: true }).selectOption('claude-code');
      await form.getByLabel('Key name').fill('Claude on this laptop');
      await form.getByLabel('GitHub').check();
      await form.getByRole('button', { name: 'Make agent key' }).click();
      await view.page.waitForFunction(() => window.__posted.some((m) => m.type === 'create-master-key'));
      const asked = (await view.posted()).find((m) => m.type === 'create-master-key');
      assert.deepEqual(asked, { type: 'create-master-key', agentId: 'claude-code', name: 'Claude on this laptop', connectorIds: ['github'], maxRisk: '' });
      await view.answerAction('create-master-key', true, 'Created and saved setup profile claude-code-keel-tvn in the local vault.');
      await form.waitFor({ state: 'detached' });

      await view.page.getByRole('button', { name: 'Set up your agent' }).click();
      await view.page.getByRole('button', { name: 'Set up Cursor' }).click();
      await view.page.getByRole('button', { name: 'Copy agent setup for JetBrains AI Assistant' }).waitFor();
      const setUp = (await view.posted()).filter((m) => m.type === 'connect-agent-app');
      assert.deepEqual(setUp, [{ type: 'connect-agent-app', agentAppId: 'cursor' }]);
    } finally {
      await view.close();
    }
  });

  test('in a plain browser the guide only says where to go', async () => {
    const view = await openDashboard(browser, env, { session: env.session, native: false });
    try {
      await view.page.getByRole('heading', { name: 'Welcome to Torvane' }).waitFor();
      assert.equal(await view.page.getByRole('button', { name: 'Connect an app' }).count(), 0);
      assert.match(await view.page.locator('#setup-guide').innerText(), /Add a provider account in the Torvane app/);
    } finally {
      await view.close();
    }
  });
});
