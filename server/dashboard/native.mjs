// The page's side of the desktop app's embedded view: the storage keys the app seeds before any
// page script runs, the events it dispatches when they change, and the messages posted back.
// In a plain browser there is no native side and every post is a no-op.

export const SESSION_KEY = 'torvane.operator-session';
export const FIRST_RUN_KEY = 'torvane.first-run-complete';
export const SESSION_EVENT = 'tvn-operator-session-updated';
export const FIRST_RUN_EVENT = 'tvn-native-first-run-updated';
export const ACTION_EVENT = 'tvn-native-action-finished';

export const NativeMessage = Object.freeze({
  vaultSecurityUpdated: 'vault-security-updated',
  requestOperatorUnlock: 'request-operator-unlock',
  requestVaultReset: 'request-vault-reset',
  firstRunCompleted: 'first-run-completed',
  firstRunReset: 'first-run-reset',
  openExternalUrl: 'open-external-url',
  dashboardReady: 'dashboard-ready',
  // Actions the page's guide leads to, each run by the app action of the same name.
  linkApiKey: 'link-api-key',
  createMasterKey: 'create-master-key',
  connectAgentApp: 'connect-agent-app',
  copyAgentSetup: 'copy-agent-setup',
  openProviderKeyPage: 'open-provider-key-page',
});

export const Surface = Object.freeze({
  home: 'home',
  overview: 'overview',
  setup: 'setup',
  keys: 'keys',
  connectors: 'connectors',
  byok: 'byok',
  firstRun: 'first-run',
  firstRunSecurity: 'first-run-security',
});

function handler() {
  return globalThis.webkit?.messageHandlers?.tvnNative ?? null;
}

export function hasNativeHost() {
  return typeof handler()?.postMessage === 'function';
}

export function postNative(type, fields = {}) {
  const target = handler();
  if (typeof target?.postMessage !== 'function') return false;
  try {
    target.postMessage({ ...fields, type });
    return true;
  } catch {
    return false;
  }
}

// Storage can throw (disabled storage, opaque origins); a missing value and an unreadable one
// mean the same here.
function readStorage(storage, key) {
  try {
    return globalThis[storage]?.getItem(key) ?? null;
  } catch {
    return null;
  }
}

function writeStorage(storage, key, value) {
  try {
    if (value === null) globalThis[storage]?.removeItem(key);
    else globalThis[storage]?.setItem(key, value);
  } catch {
    // The in-memory state still changes; only persistence across reloads is lost.
  }
}

export function readSession() {
  return (readStorage('sessionStorage', SESSION_KEY) ?? '').trim();
}

export function storeSession(sessionId) {
  writeStorage('sessionStorage', SESSION_KEY, sessionId ? sessionId : null);
}

export function readFirstRunCompleted() {
  return readStorage('sessionStorage', FIRST_RUN_KEY) === 'true' || readStorage('localStorage', FIRST_RUN_KEY) === 'true';
}

export function storeFirstRunCompleted(completed) {
  for (const storage of ['sessionStorage', 'localStorage']) writeStorage(storage, FIRST_RUN_KEY, completed ? 'true' : null);
}

// Fires `onSession(id)` and `onFirstRun(completed)` when the app re-seeds without reloading.
export function watchNativeSeeds({ onSession, onFirstRun }) {
  globalThis.addEventListener(SESSION_EVENT, (event) => {
    const id = event.detail?.sessionId;
    onSession(typeof id === 'string' ? id.trim() : readSession());
  });
  globalThis.addEventListener(FIRST_RUN_EVENT, (event) => {
    const completed = event.detail?.completed;
    onFirstRun(typeof completed === 'boolean' ? completed : readFirstRunCompleted());
  });
}

const ACTION_TIMEOUT_MS = 120000;

// Asks the app to run an action and resolves with how it ended: { ok, message }. One request per
// type at a time; the app answers with ACTION_EVENT naming the type.
export function requestNativeAction(type, fields = {}, { timeoutMs = ACTION_TIMEOUT_MS } = {}) {
  return new Promise((resolve) => {
    let timer = null;
    const finish = (outcome) => {
      clearTimeout(timer);
      globalThis.removeEventListener(ACTION_EVENT, onFinished);
      resolve(outcome);
    };
    function onFinished(event) {
      if (event.detail?.type !== type) return;
      finish({ ok: event.detail.ok === true, message: typeof event.detail.message === 'string' ? event.detail.message : '' });
    }
    globalThis.addEventListener(ACTION_EVENT, onFinished);
    timer = setTimeout(() => finish({ ok: false, message: "The Torvane app didn't answer. Try again." }), timeoutMs);
    if (!postNative(type, fields)) finish({ ok: false, message: 'Open this dashboard in the Torvane app to do this.' });
  });
}
