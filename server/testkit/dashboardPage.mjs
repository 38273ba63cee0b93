// The dashboard page in a real headless Chromium (Debian's), opened against a real broker. The
// desktop app's side of the embedded view cannot run here: an init script stands in for it,
// seeding what the app's seed scripts seed and recording what the page posts to "tvnNative".
import { chromium } from 'playwright-core';

const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
export const SURFACES = ['home', 'overview', 'setup', 'keys', 'connectors', 'byok', 'first-run', 'first-run-security'];
// Calls that carry no operator data: status, minting a session from the typed passphrase, and
// the page's own list of agent apps.
const PUBLIC_PATHS = new Set(['/health', '/v1/operator/status', '/v1/operator/session', '/dashboard/agent-apps.json']);

// Playwright gives every launch a fresh temporary profile directory of its own.
export function launchChromium() {
  return chromium.launch({ executablePath: CHROMIUM, args: CHROMIUM_ARGS });
}

// Opens the page in a fresh context (fresh storage). `native` installs the stand-in for the app.
export async function openDashboard(browser, env, { session = '', firstRunCompleted = false, native = true, path = '/' } = {}) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
  const page = await context.newPage();
  const requests = [];
  const pageErrors = [];
  page.on('request', (request) => requests.push({ path: new URL(request.url()).pathname, method: request.method(), headers: request.headers(), body: request.postData() }));
  page.on('pageerror', (error) => pageErrors.push(error.message));
  await page.addInitScript((seed) => {
    if (seed.native) {
      window.__posted = [];
      window.webkit = { messageHandlers: { tvnNative: { postMessage: (message) => window.__posted.push(JSON.parse(JSON.stringify(message))) } } };
    }
    if (seed.session) sessionStorage.setItem('torvane.operator-session', seed.session);
    if (seed.firstRunCompleted) {
      sessionStorage.setItem('torvane.first-run-complete', 'true');
      localStorage.setItem('torvane.first-run-complete', 'true');
    }
  }, { session, firstRunCompleted, native });
  await page.goto(`${env.url}${path}`);
  return {
    page,
    requests,
    pageErrors,
    posted: () => page.evaluate(() => window.__posted ?? []),
    async readyMessage() {
      await page.waitForFunction(() => (window.__posted ?? []).some((m) => m.type === 'dashboard-ready'));
      const messages = await page.evaluate(() => window.__posted);
      return messages.filter((m) => m.type === 'dashboard-ready').at(-1);
    },
    // What the app does when an action it was asked for ends.
    answerAction: (type, ok, message) => page.evaluate(([t, o, m]) => {
      window.dispatchEvent(new CustomEvent('tvn-native-action-finished', { detail: { type: t, ok: o, message: m } }));
    }, [type, ok, message]),
    operatorRequests: () => requests.filter((r) => r.headers['x-tvn-operator-session'] !== undefined || (r.path.startsWith('/v1/') && !PUBLIC_PATHS.has(r.path))),
    close: () => context.close(),
  };
}

// What the app's readiness probe reads from the page.
export function readinessProbe(page) {
  return page.evaluate(() => ({
    ready: window.__tvnNativeDashboardReady === true,
    readyState: document.readyState,
    textLength: document.body.innerText.trim().length,
    rootTextLength: document.getElementById('root')?.innerText.trim().length ?? 0,
  }));
}
