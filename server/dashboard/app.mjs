// Dashboard entry: reads the seeded session, loads status and operator data from the broker and
// renders one screen at a time. Without a session only the public status calls are made.

import { ApiError, LockedError, createApi, readEventStream } from './api.mjs';
import { askDenyReason, confirmAction } from './dialogs.mjs';
import { byId, replaceChildren } from './dom.mjs';
import { asText } from './format.mjs';
import {
  NativeMessage, Surface, hasNativeHost, postNative, readFirstRunCompleted, readSession, requestNativeAction,
  storeFirstRunCompleted, storeSession, watchNativeSeeds,
} from './native.mjs';
import { VaultState, lockedView, offlineView, overviewView, servicePill, setupView, vaultStateOf } from './views.mjs';

const View = Object.freeze({ loading: 'loading', offline: 'offline', setup: 'setup', locked: 'locked', overview: 'overview' });
const POLL_MS = 15000;
const EVENT_RETRY_MS = 2000;

const state = {
  session: readSession(),
  firstRunCompleted: readFirstRunCompleted(),
  health: null,
  healthFailure: null,
  operatorStatus: null,
  killSwitch: null,
  connectors: [],
  connections: [],
  keys: [],
  approvals: [],
  fullRequests: new Map(), // approval id -> the whole request, once the operator opened it
  audit: [],
  proof: null,
  errors: {},
  busy: new Set(),
  lockMessage: '',
  unlocking: false,
  view: View.loading,
  generation: 0,
  postedSurface: null,
  native: hasNativeHost(),
  // The form the guide opened ('connect', 'key' or 'agents'), what is typed in it, and the agent apps.
  form: null,
  formBusy: false,
  formValues: { connect: {}, key: {} },
  agentApps: [],
};

const api = createApi(() => state.session);

// --- Banner --------------------------------------------------------------------------------

const SUCCESS_SHOWN_MS = 8000;
let bannerTimer = null;

// One status line for actions. Errors stay until the next action; good news fades.
function say(text, tone = 'info') {
  const banner = byId('banner');
  banner.textContent = text;
  banner.className = `banner banner-${tone}`;
  banner.hidden = !text;
  clearTimeout(bannerTimer);
  if (tone === 'success') bannerTimer = setTimeout(() => say(''), SUCCESS_SHOWN_MS);
}

// --- Rendering -----------------------------------------------------------------------------

function surfaceFor(view) {
  if (view === View.setup) return Surface.firstRunSecurity;
  if (view === View.overview && !state.firstRunCompleted) return Surface.firstRun;
  return Surface.home;
}

function focusKey() {
  return document.activeElement?.closest?.('#main [data-focus]')?.getAttribute('data-focus') ?? null;
}

function restoreFocus(key) {
  if (!key) return;
  const target = [...document.querySelectorAll('#main [data-focus]')].find((node) => node.getAttribute('data-focus') === key);
  target?.focus();
}

function screenFor(view) {
  const native = hasNativeHost();
  switch (view) {
    case View.offline:
      return offlineView({ message: state.healthFailure ?? 'The local Torvane service is not answering', onRetry: refresh });
    case View.setup:
      return setupView({ native, onNativeSetup: requestNativeUnlock });
    case View.locked:
      return lockedView({
        native, message: state.lockMessage, busy: state.unlocking,
        onNativeUnlock: requestNativeUnlock, onNativeReset: requestNativeVaultReset, onPassphrase: unlockWithPassphrase,
      });
    case View.overview:
      return overviewView(state, actions);
    default:
      return null;
  }
}

function render(view = state.view) {
  state.view = view;
  state.native = hasNativeHost();
  const keepFocus = focusKey();
  const main = byId('main');
  replaceChildren(main, screenFor(view));
  main.setAttribute('aria-busy', 'false');
  restoreFocus(keepFocus);

  const pill = servicePill(state.health, state.healthFailure);
  const pillNode = byId('service-pill');
  pillNode.textContent = pill.text;
  pillNode.className = `pill pill-${pill.tone}`;
  byId('lock-button').hidden = !(state.session && !hasNativeHost());
  byId('first-run-reset').hidden = !(view === View.overview && state.firstRunCompleted);
  announceReady(surfaceFor(view));
}

// Tells the app the page has drawn real content, once per surface shown. A timer, not an
// animation frame: the app keeps the view hidden until it is ready, and hidden views get no frames.
function announceReady(surface) {
  if (surface === state.postedSurface) return;
  setTimeout(() => {
    const textLength = document.body.innerText.trim().length;
    if (textLength < 1) return;
    state.postedSurface = surface;
    globalThis.__tvnNativeDashboardReady = true;
    postNative(NativeMessage.dashboardReady, { textLength, surface });
  }, 0);
}

// --- Loading -------------------------------------------------------------------------------

function clearOperatorData() {
  Object.assign(state, { connectors: [], connections: [], keys: [], approvals: [], audit: [], proof: null, errors: {}, killSwitch: null });
  state.fullRequests.clear();
  state.busy.clear();
}

function lockOut(message) {
  stopEvents();
  closeForm();
  state.generation += 1;
  state.session = '';
  storeSession('');
  state.lockMessage = message;
  clearOperatorData();
  render(View.locked);
}

const listOrEmpty = (value) => (Array.isArray(value) ? value : []);
const booleanOrUnknown = (value) => (typeof value === 'boolean' ? value : null);

// What the overview loads with the session, and what each part reads as when its call fails.
const operatorLoads = [
  { name: 'connectors', load: () => api.connectors().then((body) => listOrEmpty(body?.connectors)), empty: [] },
  { name: 'connections', load: () => api.connections().then((body) => listOrEmpty(body?.connections)), empty: [] },
  { name: 'keys', load: () => api.masterKeys().then((body) => listOrEmpty(body?.keys)), empty: [] },
  { name: 'approvals', load: () => api.approvals().then((body) => listOrEmpty(body?.approvals)), empty: [] },
  { name: 'audit', load: () => api.audit().then((body) => listOrEmpty(body?.events)), empty: [] },
  // The self-check re-reads the chain and the state files: run it on demand, not on the background poll.
  { name: 'proof', load: () => api.latestProof(), empty: null, onDemand: true },
  // An unknown kill switch state is shown as such, not as an error.
  { name: 'killSwitch', load: () => api.killSwitch().then((body) => booleanOrUnknown(body?.enabled)), empty: null, quiet: true },
];

async function loadOperatorData(generation, { background }) {
  const loads = operatorLoads.filter((entry) => !(background && entry.onDemand));
  const results = await Promise.allSettled(loads.map(({ load }) => load()));
  if (generation !== state.generation) return;
  if (results.some((result) => result.reason instanceof ApiError && result.reason.sessionRejected)) {
    lockOut('Your operator session has ended. Unlock the vault again to continue.');
    return;
  }
  if (results.some((result) => result.reason instanceof LockedError)) return render(View.locked);
  loads.forEach(({ name, empty, quiet }, index) => {
    const result = results[index];
    state[name] = result.status === 'fulfilled' ? result.value : empty;
    delete state.errors[name];
    if (result.status === 'rejected' && !quiet) state.errors[name] = result.reason?.message ?? 'unknown error';
  });
  state.lockMessage = '';
  render(View.overview);
  watchEvents();
}

async function refresh({ background = false } = {}) {
  const generation = ++state.generation;
  byId('main').setAttribute('aria-busy', 'true');
  const [health, operatorStatus] = await Promise.allSettled([api.health(), api.operatorStatus()]);
  if (generation !== state.generation) return;
  state.health = health.status === 'fulfilled' ? health.value : null;
  state.healthFailure = health.status === 'rejected' ? health.reason.message : null;
  state.operatorStatus = operatorStatus.status === 'fulfilled' ? operatorStatus.value : null;
  if (state.healthFailure) {
    clearOperatorData();
    return render(View.offline);
  }
  if (vaultStateOf(state.health) === VaultState.unconfigured) {
    // A vault that was reset starts the guide over.
    if (state.firstRunCompleted) storeFirstRunCompleted(false);
    state.firstRunCompleted = false;
    clearOperatorData();
    return render(View.setup);
  }
  if (!state.session) {
    clearOperatorData();
    return render(View.locked);
  }
  await loadOperatorData(generation, { background });
}

// --- Actions -------------------------------------------------------------------------------

async function runAction(busyKey, progress, work, done) {
  if (state.busy.has(busyKey)) return;
  state.busy.add(busyKey);
  say(progress);
  render();
  try {
    await work();
    say(done, 'success');
  } catch (error) {
    if (error instanceof ApiError && error.sessionRejected) return lockOut('Your operator session has ended. Unlock the vault again to continue.');
    if (error instanceof LockedError) return render(View.locked);
    say(`${progress.replace(/…$/, '')} failed: ${error.message}`, 'error');
  } finally {
    state.busy.delete(busyKey);
  }
  await refresh();
}

function firstConnectable() {
  return state.connectors.find((connector) => connector.status !== 'not_implemented')?.id ?? '';
}

// What was typed goes with the form: a closed form keeps no key in the page.
function closeForm() {
  state.form = null;
  state.formValues = { connect: {}, key: {} };
}

async function loadAgentApps() {
  try {
    state.agentApps = (await api.agentApps())?.apps ?? [];
  } catch {
    state.agentApps = [];
  }
  render();
}

// Asks the app to run one action and says how it ended; a success closes the form and reloads.
async function runNativeAction(type, fields, { busyKey = 'form', keepForm = false } = {}) {
  if (state.busy.has(busyKey)) return;
  state.busy.add(busyKey);
  state.formBusy = busyKey === 'form';
  render();
  const outcome = await requestNativeAction(type, fields);
  state.busy.delete(busyKey);
  state.formBusy = false;
  say(outcome.message, outcome.ok ? 'success' : 'error');
  if (outcome.ok && !keepForm) closeForm();
  render();
  if (outcome.ok) await refresh({ background: true });
}

const actions = {
  // A request the list shows cut is approved only from its whole view, with that view's digest.
  async approve(approval) {
    const tool = asText(approval.toolId);
    const full = state.fullRequests.get(approval.id);
    if (approval.displayTruncated && !full) {
      await actions.showWholeRequest(approval);
      say(`Read the whole request for ${tool} below, then approve it`);
      return render();
    }
    const digest = (full ?? approval).requestDigest;
    return runAction(`approval:${approval.id}`, `Approving ${tool}…`, () => api.approve(approval.id, digest), `Approved ${tool}`);
  },

  showWholeRequest(approval) {
    return runAction(`approval:${approval.id}`, 'Loading the whole request…', async () => {
      state.fullRequests.set(approval.id, await api.approval(approval.id));
    }, 'Showing the whole request');
  },

  async deny(approval) {
    const tool = asText(approval.toolId);
    const reason = await askDenyReason(`${tool}, requested by ${asText(approval.agentId)} through ${asText(approval.connectorId)}.`);
    if (reason === null) return;
    await runAction(`approval:${approval.id}`, `Denying ${tool}…`, () => api.deny(approval.id, reason), `Denied ${tool}`);
  },

  async revokeKey(key) {
    const name = asText(key.name);
    const confirmed = await confirmAction({
      title: 'Revoke this agent key?',
      text: `The agent using "${name}" loses access at once. Your connected app credentials stay safe in the local vault. This cannot be undone.`,
      accept: 'Revoke key', danger: true,
    });
    if (confirmed) await runAction(`key:${key.id}`, `Revoking ${name}…`, () => api.revokeKey(key.id), `Revoked ${name}`);
  },

  async setKillSwitch(enabled) {
    const confirmed = await confirmAction(enabled
      ? { title: 'Stop every agent call?', text: 'While the kill switch is on, the local service refuses every agent call. Your connected app credentials stay safe in the local vault.', accept: 'Stop all agent calls', danger: true }
      : { title: 'Allow agent calls again?', text: 'Agent keys that are not revoked work again for their apps.', accept: 'Allow agent calls' });
    if (!confirmed) return;
    await runAction('killswitch', enabled ? 'Turning the kill switch on…' : 'Turning the kill switch off…',
      () => api.setKillSwitch(enabled), enabled ? 'Kill switch is on: agent calls are refused' : 'Kill switch is off');
  },

  openForm(form) {
    state.form = state.form === form ? null : form;
    if (state.form === 'connect' && !state.formValues.connect.connectorId) state.formValues.connect.connectorId = firstConnectable();
    if (state.form !== null && state.agentApps.length === 0) loadAgentApps();
    render();
    byId(`${form}-form`)?.scrollIntoView?.({ block: 'nearest' });
  },

  closeForm() {
    closeForm();
    render();
  },

  updateField(form, name, value) {
    state.formValues[form][name] = value;
  },

  toggleKeyApp(connectorId, chosen) {
    const ids = new Set(state.formValues.key.connectorIds ?? []);
    if (chosen) ids.add(connectorId); else ids.delete(connectorId);
    state.formValues.key.connectorIds = [...ids];
  },

  submitConnect() {
    const values = state.formValues.connect;
    return runNativeAction(NativeMessage.linkApiKey, {
      connectorId: values.connectorId ?? '', accountId: values.accountId ?? '', alias: values.alias ?? '', secret: values.secret ?? '',
    });
  },

  submitKey() {
    const values = state.formValues.key;
    return runNativeAction(NativeMessage.createMasterKey, {
      agentId: values.agentId ?? '', name: values.name ?? '', connectorIds: values.connectorIds ?? [], maxRisk: values.maxRisk ?? '',
    });
  },

  openKeyPage() {
    return runNativeAction(NativeMessage.openProviderKeyPage, { connectorId: state.formValues.connect.connectorId ?? '' }, { keepForm: true });
  },

  setUpAgent(app) {
    return runNativeAction(NativeMessage.connectAgentApp, { agentAppId: app.id }, { busyKey: `agent:${app.id}`, keepForm: true });
  },

  copyAgentSetup(app) {
    return runNativeAction(NativeMessage.copyAgentSetup, { agentAppId: app.id }, { busyKey: `agent:${app.id}`, keepForm: true });
  },

  completeFirstRun() {
    state.firstRunCompleted = true;
    storeFirstRunCompleted(true);
    postNative(NativeMessage.firstRunCompleted);
    render();
  },
};

function resetFirstRun() {
  state.firstRunCompleted = false;
  storeFirstRunCompleted(false);
  postNative(NativeMessage.firstRunReset);
  render();
  byId('setup-guide')?.scrollIntoView({ block: 'start' });
}

function requestNativeUnlock() {
  postNative(NativeMessage.requestOperatorUnlock);
  say('Finish unlocking in the Torvane window.');
}

function requestNativeVaultReset() {
  postNative(NativeMessage.requestVaultReset);
}

function passphraseError(error) {
  if (error instanceof ApiError && error.status === 401) return "That TVN password didn't work. Check it and try again.";
  return error.message;
}

// Minting with the passphrase also opens the vault on the broker.
async function unlockWithPassphrase(passphrase) {
  if (state.unlocking) return;
  state.unlocking = true;
  state.lockMessage = '';
  render(View.locked);
  try {
    const minted = await api.mintSession(passphrase);
    const session = typeof minted?.sessionId === 'string' ? minted.sessionId : '';
    if (!session) throw new Error('The local service did not return a session');
    state.session = session;
    storeSession(session);
    postNative(NativeMessage.vaultSecurityUpdated);
    say('Vault unlocked', 'success');
  } catch (error) {
    state.lockMessage = passphraseError(error);
  } finally {
    state.unlocking = false;
  }
  await refresh();
}

function lockPage() {
  lockOut('Locked. Operator data was cleared from this page.');
  say('');
}

// --- Wiring --------------------------------------------------------------------------------

function onSessionSeeded(sessionId) {
  if (sessionId === state.session) return;
  state.session = sessionId;
  state.lockMessage = '';
  if (!sessionId) {
    // Drop what was on screen at once; the refresh only re-reads public status.
    stopEvents();
    state.generation += 1;
    clearOperatorData();
    render(View.locked);
  }
  refresh();
}

function onFirstRunSeeded(completed) {
  if (completed === state.firstRunCompleted) return;
  state.firstRunCompleted = completed;
  if (state.view === View.overview) render();
}

// New approvals arrive as broker events, so a request shows within a moment, not on the next poll.
let events = null;

function watchEvents() {
  if (events?.session === state.session || !state.session) return;
  events?.controller.abort();
  const session = state.session;
  const controller = new AbortController();
  events = { session, controller };
  const stillWanted = () => events?.controller === controller && state.session === session;
  (async () => {
    while (stillWanted()) {
      try {
        await readEventStream(session, (name) => {
          if (name === 'approvals') reloadApprovals();
          if (name === 'session-ended') refresh();
        }, controller.signal);
      } catch {
        // A dropped stream is opened again below while the session lasts.
      }
      if (stillWanted()) await new Promise((resolve) => setTimeout(resolve, EVENT_RETRY_MS));
    }
  })();
}

// Only the list that changed is read again, so the new request shows at once.
async function reloadApprovals() {
  if (state.view !== View.overview || state.busy.size > 0) return;
  const generation = state.generation;
  try {
    const approvals = listOrEmpty((await api.approvals())?.approvals);
    if (generation !== state.generation || state.view !== View.overview) return;
    state.approvals = approvals;
    delete state.errors.approvals;
    render();
  } catch (error) {
    if (error instanceof ApiError && error.sessionRejected) lockOut('Your operator session has ended. Unlock the vault again to continue.');
  }
}

function stopEvents() {
  events?.controller.abort();
  events = null;
}

function pollWhileVisible() {
  setInterval(() => {
    if (document.visibilityState !== 'visible' || state.view !== View.overview || state.busy.size > 0 || state.form) return;
    if (document.querySelector('dialog[open]')) return;
    refresh({ background: true });
  }, POLL_MS);
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'visible' && state.view === View.overview) refresh({ background: true });
  });
}

function start() {
  watchNativeSeeds({ onSession: onSessionSeeded, onFirstRun: onFirstRunSeeded });
  byId('refresh-button').addEventListener('click', () => { say(''); refresh(); });
  byId('lock-button').addEventListener('click', lockPage);
  byId('first-run-reset').addEventListener('click', resetFirstRun);
  pollWhileVisible();
  refresh();
}

start();
