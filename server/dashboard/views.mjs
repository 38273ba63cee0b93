// Screens of the dashboard, built from broker records. Each function returns detached nodes;
// app.mjs decides which one is shown.

import { el } from './dom.mjs';
import { asText, formatRelative, formatTime, listOf, plural, prettyJSON, shortHash } from './format.mjs';

const GENESIS_HASH = '0'.repeat(64);

export const VaultState = Object.freeze({ unconfigured: 'unconfigured', locked: 'locked', unlocked: 'unlocked' });

export function vaultStateOf(health) {
  const word = typeof health?.vault === 'string' ? health.vault.trim().toLowerCase() : '';
  if (word) return word;
  return health?.ok ? VaultState.unlocked : VaultState.locked;
}

export function servicePill(health, failure) {
  if (failure) return { text: 'Local service not answering', tone: 'danger' };
  if (!health) return { text: 'Checking the local service…', tone: 'neutral' };
  if (!health.ok) return { text: 'Local service needs attention', tone: 'warning' };
  return { text: 'Running on this computer', tone: 'ok' };
}

function badge(text, tone = 'neutral') {
  return el('span', { class: `badge badge-${tone}`, text });
}

const statusTones = {
  connected: 'ok', active: 'ok', ok: 'ok', pass: 'ok', passed: 'ok', allow: 'ok', allowed: 'ok', approved: 'ok', executed: 'ok',
  revoked: 'muted', expired: 'muted', disabled: 'muted',
  deny: 'danger', denied: 'danger', fail: 'danger', failed: 'danger', error: 'danger', refused: 'danger', blocked: 'danger',
  pending: 'warning', pending_approval: 'warning', degraded: 'warning',
};

function statusBadge(word) {
  const text = asText(word);
  return badge(text, statusTones[text.toLowerCase()] ?? 'neutral');
}

function riskBadge(risk) {
  const text = asText(risk);
  const tone = { low: 'ok', medium: 'warning', high: 'danger', critical: 'danger' }[text.toLowerCase()] ?? 'neutral';
  return badge(`${text} risk`, tone);
}

// Lists show how long ago; the exact time is in the tooltip. The audit shows exact times.
function timeCell(timestamp, { exact = false } = {}) {
  if (!timestamp) return el('span', { class: 'muted', text: '—' });
  return el('time', { datetime: timestamp, title: formatTime(timestamp), text: exact ? formatTime(timestamp) : formatRelative(timestamp) });
}

function card({ id, title, description, headerExtra, children, labelledBy = `${id}-title` }) {
  return el('section', { class: 'card', id, 'aria-labelledby': labelledBy },
    el('div', { class: 'card-header' },
      el('div', {},
        el('h2', { class: 'card-title', id: labelledBy, text: title }),
        description ? el('p', { class: 'card-description', text: description }) : null),
      headerExtra),
    children);
}

function emptyState(title, text) {
  return el('div', { class: 'empty' }, el('p', { class: 'empty-title', text: title }), text ? el('p', { class: 'empty-text', text }) : null);
}

function sectionError(message, what = 'this list') {
  return el('p', { class: 'inline-error', text: `Couldn't load ${what}: ${message}` });
}

function table(caption, headers, rows) {
  return el('div', { class: 'table-wrap' },
    el('table', {},
      el('caption', { class: 'visually-hidden', text: caption }),
      el('thead', {}, el('tr', {}, headers.map((header) => el('th', { scope: 'col', text: header })))),
      el('tbody', {}, rows)));
}

// --- Gate screens ----------------------------------------------------------------------------

function gate({ id, title, text, children, tone = 'neutral' }) {
  return el('section', { class: `gate gate-${tone}`, id, 'aria-labelledby': `${id}-title` },
    el('div', { class: 'gate-icon', 'aria-hidden': 'true' }, el('span', { class: 'lock-glyph' })),
    el('h1', { class: 'gate-title', id: `${id}-title`, text: title }),
    el('p', { class: 'gate-text', text }),
    children);
}

export function lockedView({ native, message, busy, onNativeUnlock, onNativeReset, onPassphrase }) {
  const intro = 'Torvane is protecting the local vault. Unlock it to see connected apps, agent keys, pending approvals and the audit chain.';
  const notice = message ? el('p', { class: 'gate-notice', role: 'alert', text: message }) : null;
  if (native) {
    return gate({
      id: 'locked', title: 'The vault is locked', text: intro,
      children: [notice,
        el('div', { class: 'gate-actions' },
          el('button', { class: 'button', type: 'button', onclick: onNativeUnlock, text: 'Unlock the vault' }),
          el('button', { class: 'link-button', type: 'button', onclick: onNativeReset, text: 'Forgot your TVN password?' }))],
    });
  }
  const input = el('input', { id: 'unlock-passphrase', class: 'field', type: 'password', name: 'passphrase', autocomplete: 'current-password', required: true, minlength: '1' });
  const form = el('form', { class: 'unlock-form', 'aria-label': 'Unlock the vault' },
    el('label', { class: 'field-label', for: 'unlock-passphrase', text: 'TVN password' }),
    el('div', { class: 'unlock-row' }, input,
      el('button', { class: 'button', type: 'submit', disabled: busy, text: busy ? 'Unlocking…' : 'Unlock' })));
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    const passphrase = input.value;
    input.value = '';
    if (passphrase) onPassphrase(passphrase);
  });
  return gate({
    id: 'locked', title: 'The vault is locked', text: intro,
    children: [notice, form,
      el('p', { class: 'gate-hint', text: 'You can also open the Torvane app, which unlocks the vault for you. Closing this tab forgets the session.' })],
  });
}

export function setupView({ native, onNativeSetup }) {
  return gate({
    id: 'vault-setup', title: 'Set up your encrypted vault',
    text: 'Torvane keeps your app keys in an encrypted vault on this computer. Choose a TVN password to create it; agents never see it or your keys.',
    children: native
      ? el('div', { class: 'gate-actions' }, el('button', { class: 'button', type: 'button', onclick: onNativeSetup, text: 'Set up the vault' }))
      : el('p', { class: 'gate-hint', text: 'Open the Torvane app to set up the vault. Once it is set up, this page shows everything the local service manages.' }),
  });
}

export function offlineView({ message, onRetry }) {
  return gate({
    id: 'offline', title: "The local service isn't answering", tone: 'danger',
    text: `${message}. Open the Torvane app to turn it on or repair it, then try again.`,
    children: el('div', { class: 'gate-actions' }, el('button', { class: 'button', type: 'button', onclick: onRetry, text: 'Try again' })),
  });
}

// --- Overview ------------------------------------------------------------------------------

function activeConnections(model) {
  return listOf(model.connections).filter((connection) => !connection.revokedAt);
}

function activeKeys(model) {
  return listOf(model.keys).filter((key) => !key.revokedAt && String(key.status ?? '').toLowerCase() !== 'revoked');
}

function statusTile(label, value, detail, tone = 'neutral', extra = null) {
  return el('div', { class: `tile tile-${tone}` },
    el('p', { class: 'tile-label', text: label }),
    el('p', { class: 'tile-value', text: value }),
    detail ? el('p', { class: 'tile-detail', text: detail }) : null,
    extra);
}

function statusRow(model, actions) {
  const health = model.health ?? {};
  const vault = vaultStateOf(health);
  const operator = model.operatorStatus;
  const kill = model.killSwitch;
  const killBusy = model.busy.has('killswitch');
  const killButton = kill === null ? null : el('button', {
    class: `button button-small ${kill ? '' : 'button-danger-outline'}`, type: 'button', disabled: killBusy, 'data-focus': 'killswitch',
    onclick: () => actions.setKillSwitch(!kill),
    text: kill ? 'Allow agent calls again' : 'Stop all agent calls',
  });
  return el('section', { class: 'tiles', 'aria-label': 'Status' },
    statusTile('Local service', health.ok ? 'Running' : 'Needs attention', asText(health.service, 'unknown service'), health.ok ? 'ok' : 'warning'),
    statusTile('Vault', vault === VaultState.unlocked ? 'Unlocked' : vault === VaultState.locked ? 'Locked' : asText(vault),
      'Provider keys stay encrypted on this computer', vault === VaultState.unlocked ? 'ok' : 'warning'),
    statusTile('Kill switch', kill === null ? 'Unknown' : kill ? 'On' : 'Off',
      kill === null ? "The local service didn't report it" : kill ? 'Every agent call is refused' : 'Agent keys work for their apps',
      kill ? 'danger' : kill === null ? 'neutral' : 'ok', killButton),
    statusTile('Operator sessions', operator ? (operator.enabled ? 'Required' : 'Not enforced') : 'Unknown',
      operator ? `${plural(Number(operator.activeSessions) || 0, 'active session')} · unlock: ${asText(operator.unlockMethod)}` : null,
      operator?.enabled ? 'ok' : 'warning'));
}

function statsRow(model) {
  const stat = (count, failed, label, target) => el('a', { class: 'stat', href: `#${target}` },
    el('span', { class: 'stat-value', text: failed ? '—' : String(count) }), el('span', { class: 'stat-label', text: label }));
  const { errors } = model;
  return el('nav', { class: 'stats', 'aria-label': 'Summary' },
    stat(activeConnections(model).length, errors.connections, 'Connected apps', 'apps'),
    stat(activeKeys(model).length, errors.keys, 'Active agent keys', 'keys'),
    stat(listOf(model.approvals).length, errors.approvals, 'Pending approvals', 'approvals'),
    stat(listOf(model.audit).length, errors.audit, 'Audit events', 'audit'));
}

// Each step leads to the app's own action when the page runs inside the app; in a browser the
// text says where to go.
function firstRunGuide(model, actions) {
  const steps = [
    ['Connect an app', 'Add a provider account in the Torvane app. Its key goes straight into the encrypted vault.', activeConnections(model).length > 0, 'connect', 'Connect an app'],
    ['Make an agent key', 'Create one limited key per agent, scoped to the apps you choose.', activeKeys(model).length > 0, 'key', 'Make an agent key'],
    ['Hand it to your agent', 'Use "Set up" or "Copy agent setup" in the Torvane app, then verify the handoff.', false, 'agents', 'Set up your agent'],
  ];
  return el('section', { class: 'card guide', id: 'setup-guide', 'aria-labelledby': 'guide-title' },
    el('div', { class: 'card-header' },
      el('div', {},
        el('h2', { class: 'card-title', id: 'guide-title', text: 'Welcome to Torvane' }),
        el('p', { class: 'card-description', text: 'Three steps give an agent safe, revocable access. Your real keys never leave this computer.' })),
      el('button', { class: 'button button-quiet', type: 'button', onclick: actions.completeFirstRun, text: 'Done, hide this guide' })),
    el('ol', { class: 'guide-steps' }, steps.map(([title, text, done, form, label], index) =>
      el('li', { class: `guide-step ${done ? 'guide-step-done' : ''}` },
        el('span', { class: 'guide-dot', 'aria-hidden': 'true', text: done ? '✓' : String(index + 1) }),
        el('div', {},
          el('p', { class: 'guide-step-title', text: `${title}${done ? ' (done)' : ''}` }),
          el('p', { class: 'guide-step-text', text }),
          model.native ? formButton(model, actions, form, label) : null)))));
}

function formButton(model, actions, form, label) {
  return el('button', { class: 'button button-small', type: 'button', 'data-focus': `open:${form}`, 'aria-expanded': model.form === form ? 'true' : 'false', onclick: () => actions.openForm(form), text: label });
}

// --- Forms that ask the app to act ------------------------------------------------------------

function fieldRow(id, label, input, hint) {
  return el('div', { class: 'form-row' },
    el('label', { class: 'field-label', for: id, text: label }), input,
    hint ? el('p', { class: 'muted small', text: hint }) : null);
}

function input(model, actions, form, name, attrs = {}) {
  const id = `${form}-${name}`;
  return el('input', {
    id, class: 'field', 'data-focus': id, value: model.formValues[form][name] ?? '', autocomplete: 'off',
    oninput: (event) => actions.updateField(form, name, event.target.value), ...attrs,
  });
}

function select(model, actions, form, name, options) {
  const id = `${form}-${name}`;
  const current = model.formValues[form][name] ?? '';
  return el('select', { id, class: 'field', 'data-focus': id, onchange: (event) => actions.updateField(form, name, event.target.value) },
    options.map(([value, label]) => el('option', { value, selected: value === current, text: label })));
}

function formCard({ id, title, description, onSubmit, busy, submitLabel, actions, children }) {
  const form = el('form', { class: 'action-form', 'aria-labelledby': `${id}-title` }, children,
    el('div', { class: 'form-actions' },
      el('button', { class: 'button', type: 'submit', disabled: busy, 'data-focus': `${id}-submit`, text: busy ? 'Working…' : submitLabel }),
      el('button', { class: 'button button-quiet', type: 'button', onclick: actions.closeForm, text: 'Cancel' })));
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    onSubmit();
  });
  return card({ id, title, description, children: form });
}

const connectable = (model) => listOf(model.connectors).filter((connector) => connector.status !== 'not_implemented');

function connectForm(model, actions) {
  const options = connectable(model).map((connector) => [asText(connector.id, ''), asText(connector.displayName ?? connector.id)]);
  return formCard({
    id: 'connect-form', title: 'Connect an app', actions, busy: model.formBusy, submitLabel: 'Connect',
    description: 'The key goes to the Torvane app, which puts it in the encrypted vault. This page never shows it again.',
    onSubmit: actions.submitConnect,
    children: [
      fieldRow('connect-connectorId', 'App', select(model, actions, 'connect', 'connectorId', options)),
      fieldRow('connect-secret', 'API key', input(model, actions, 'connect', 'secret', { type: 'password', required: true }),
        null),
      el('p', {}, el('button', { class: 'link-button', type: 'button', onclick: actions.openKeyPage, text: 'Where do I get a key?' })),
      fieldRow('connect-accountId', 'Account name', input(model, actions, 'connect', 'accountId', { placeholder: 'default' }),
        'Tells several accounts of one app apart.'),
      fieldRow('connect-alias', 'Label (optional)', input(model, actions, 'connect', 'alias')),
    ],
  });
}

const RISKS = [['', "The local service's default"], ['low', 'Low-risk tools only'], ['medium', 'Up to medium risk'], ['high', 'Up to high risk']];

function keyForm(model, actions) {
  const apps = [['', 'Choose the agent…'], ...listOf(model.agentApps).map((app) => [asText(app.id, ''), asText(app.label ?? app.id)])];
  const chosen = new Set(model.formValues.key.connectorIds ?? []);
  const connected = [...new Set(activeConnections(model).filter((c) => c.status === 'connected').map((c) => c.connectorId))];
  return formCard({
    id: 'key-form', title: 'Make an agent key', actions, busy: model.formBusy, submitLabel: 'Make agent key',
    description: 'The Torvane app creates the key and saves it in this computer\'s setup profile for the agent. You never have to copy it.',
    onSubmit: actions.submitKey,
    children: [
      fieldRow('key-agentId', 'Agent', select(model, actions, 'key', 'agentId', apps)),
      fieldRow('key-name', 'Key name', input(model, actions, 'key', 'name', { placeholder: 'For example: Claude on my laptop' })),
      el('fieldset', { class: 'form-row' },
        el('legend', { class: 'field-label', text: 'Apps this key may use' }),
        connected.length === 0
          ? el('p', { class: 'muted small', text: 'No apps connected yet. Connect one app, then create the key.' })
          : connected.map((id) => el('label', { class: 'check' },
            el('input', { type: 'checkbox', value: id, checked: chosen.has(id), 'data-focus': `key-app-${id}`, onchange: (event) => actions.toggleKeyApp(id, event.target.checked) }),
            ` ${connectorName(model, id)}`))),
      fieldRow('key-maxRisk', 'Most it may do', select(model, actions, 'key', 'maxRisk', RISKS)),
    ],
  });
}

function agentsCard(model, actions) {
  const apps = listOf(model.agentApps);
  return card({
    id: 'agents-form', title: 'Set up your agent',
    description: 'Set up writes Torvane\'s entry into the agent app\'s own settings and checks it end to end. Apps whose settings cannot be written safely get the entry to paste.',
    headerExtra: el('button', { class: 'button button-quiet', type: 'button', onclick: actions.closeForm, text: 'Close' }),
    children: apps.length === 0 ? emptyState('No agent apps listed', 'Refresh to load the list of agent apps.')
      : el('ul', { class: 'agent-apps' }, apps.map((app) => {
        const id = asText(app.id, '');
        const busy = model.busy.has(`agent:${id}`);
        return el('li', { class: 'agent-app' },
          el('span', { class: 'agent-app-name', text: asText(app.label ?? app.id) }),
          app.autoWrite
            ? el('button', { class: 'button button-small', type: 'button', disabled: busy, 'data-focus': `setup:${id}`, 'aria-label': `Set up ${asText(app.label)}`, onclick: () => actions.setUpAgent(app), text: 'Set up' })
            : el('button', { class: 'button button-small button-quiet', type: 'button', disabled: busy, 'data-focus': `copy:${id}`, 'aria-label': `Copy agent setup for ${asText(app.label)}`, onclick: () => actions.copyAgentSetup(app), text: 'Copy agent setup' }));
      })),
  });
}

function openForm(model, actions) {
  if (!model.native) return null;
  if (model.form === 'connect') return connectForm(model, actions);
  if (model.form === 'key') return keyForm(model, actions);
  if (model.form === 'agents') return agentsCard(model, actions);
  return null;
}

function approvalItem(approval, model, actions) {
  const id = asText(approval.id, '');
  const busy = model.busy.has(`approval:${id}`);
  const tool = asText(approval.toolId);
  const agent = asText(approval.agentId);
  const full = model.fullRequests.get(id);
  const shown = full ? full.input : approval.displayInput;
  const input = shown && typeof shown === 'object' ? prettyJSON(shown) : '';
  const cut = approval.displayTruncated && !full;
  return el('li', { class: 'approval', 'data-approval-id': id },
    el('div', { class: 'approval-main' },
      el('p', { class: 'approval-title' }, el('strong', { text: tool }), ' ', riskBadge(approval.risk)),
      el('p', { class: 'approval-meta', text: `Requested by ${agent} through ${asText(approval.connectorId)}` }),
      el('p', { class: 'approval-meta' }, 'Expires ', timeCell(approval.expiresAt)),
      input ? el('details', { class: 'approval-input', open: Boolean(full) },
        el('summary', { text: full ? 'The whole request the agent wants to send' : 'What the agent wants to send' }),
        el('pre', { text: input })) : null,
      cut ? el('p', { class: 'approval-meta' }, 'This view is cut short. ',
        el('button', { class: 'link-button', type: 'button', disabled: busy, onclick: () => actions.showWholeRequest(approval), text: 'Show the whole request' })) : null),
    el('div', { class: 'approval-actions' },
      el('button', { class: 'button', type: 'button', disabled: busy, 'data-focus': `approve:${id}`, 'aria-label': `Approve ${tool} for ${agent}`, onclick: () => actions.approve(approval), text: 'Approve' }),
      el('button', { class: 'button button-danger-outline', type: 'button', disabled: busy, 'data-focus': `deny:${id}`, 'aria-label': `Deny ${tool} for ${agent}`, onclick: () => actions.deny(approval), text: 'Deny' })));
}

function approvalsCard(model, actions) {
  const approvals = listOf(model.approvals);
  let body;
  if (model.errors.approvals) body = sectionError(model.errors.approvals);
  else if (approvals.length === 0) body = emptyState('Nothing waiting for you', 'When an agent requests a risky write, it pauses here for your decision.');
  else body = el('ul', { class: 'approvals' }, approvals.map((approval) => approvalItem(approval, model, actions)));
  return card({
    id: 'approvals', title: 'Pending approvals',
    description: 'Risky writes wait here until you approve or deny them.',
    headerExtra: approvals.length ? badge(`${approvals.length} waiting`, 'warning') : null,
    children: body,
  });
}

function connectorName(model, connectorId) {
  const connector = listOf(model.connectors).find((entry) => entry.id === connectorId);
  return asText(connector?.displayName ?? connectorId);
}

function appsCard(model, actions) {
  const connections = activeConnections(model);
  let body;
  if (model.errors.connections) body = sectionError(model.errors.connections);
  else if (connections.length === 0) body = [emptyState('Connect your first app', 'No provider secret is copied to your agent — it only gets a scoped agent key you can revoke any time.'),
    model.native ? formButton(model, actions, 'connect', 'Connect an app') : null];
  else body = table('Connected apps', ['App', 'Account', 'Status', 'Linked', 'Last used'], connections.map((connection) =>
    el('tr', {},
      el('th', { scope: 'row', text: connectorName(model, connection.connectorId) }),
      el('td', {}, el('span', { text: asText(connection.alias ?? connection.accountId) }),
        connection.alias ? el('span', { class: 'muted small', text: ` ${asText(connection.accountId)}` }) : null),
      el('td', {}, statusBadge(connection.status)),
      el('td', {}, timeCell(connection.linkedAt)),
      el('td', {}, timeCell(connection.lastUsedAt)))));
  return card({ id: 'apps', title: 'Connected apps', description: 'Provider accounts whose keys live in the local vault.', children: body });
}

function scopeList(scopes) {
  const names = listOf(scopes).map((scope) => String(scope).replace(/^connector:/, ''));
  if (names.length === 0) return el('span', { class: 'muted', text: 'No apps' });
  return el('ul', { class: 'chips' }, names.map((name) => el('li', { class: 'chip', text: name })));
}

function keysCard(model, actions) {
  const keys = listOf(model.keys);
  const active = activeKeys(model);
  let body;
  if (model.errors.keys) body = sectionError(model.errors.keys);
  else if (active.length === 0) body = [emptyState('No agent keys yet', 'Create one in the Torvane app to give an agent scoped access.'),
    model.native ? formButton(model, actions, 'key', 'Make an agent key') : null];
  else body = table('Active agent keys', ['Name', 'Agent', 'Apps', 'Created', 'Last used', ''], active.map((key) => {
    const id = asText(key.id, '');
    return el('tr', { 'data-key-id': id },
      el('th', { scope: 'row', text: asText(key.name) }),
      el('td', { text: asText(key.agentId) }),
      el('td', {}, scopeList(key.scopes)),
      el('td', {}, timeCell(key.createdAt)),
      el('td', {}, timeCell(key.lastUsedAt)),
      el('td', { class: 'cell-action' }, el('button', {
        class: 'button button-small button-danger-outline', type: 'button', disabled: model.busy.has(`key:${id}`), 'data-focus': `revoke:${id}`,
        'aria-label': `Revoke agent key ${asText(key.name)}`, onclick: () => actions.revokeKey(key), text: 'Revoke',
      })));
  }));
  const revoked = keys.length - active.length;
  return card({
    id: 'keys', title: 'Agent keys',
    description: 'Each key works only for its apps and can be revoked at any time.',
    headerExtra: revoked > 0 ? el('span', { class: 'muted small', text: `${plural(revoked, 'revoked key')} hidden` }) : null,
    children: body,
  });
}

// Broker order is not relied on: events are put in sequence order before their links are checked.
export function bySequence(events) {
  return [...events].sort((a, b) => Number(a.sequence) - Number(b.sequence));
}

// Checks that each event names its predecessor's hash (the first one the genesis hash); the
// broker's own self-check re-hashes the chain. A window that starts mid-chain is checked from there.
export function chainLinkBreak(ordered) {
  for (let index = 0; index < ordered.length; index += 1) {
    const event = ordered[index];
    const expected = index > 0 ? ordered[index - 1].hash : Number(event.sequence) === 1 ? GENESIS_HASH : null;
    const gap = index > 0 && Number(event.sequence) !== Number(ordered[index - 1].sequence) + 1;
    if (gap || (expected !== null && event.previousHash !== expected)) return event;
  }
  return null;
}

const humanName = (name) => asText(name).replace(/[_-]+/g, ' ').replace(/^./, (first) => first.toUpperCase());

function proofSummary(model) {
  if (model.errors.proof) return sectionError(model.errors.proof, 'the latest self-check');
  const latest = model.proof;
  if (!latest?.available) return el('p', { class: 'proof proof-neutral', text: 'No self-check has been written yet.' });
  const ok = latest.proof?.ok === true;
  return el('div', { class: `proof proof-${ok ? 'ok' : 'danger'}` },
    el('p', { class: 'proof-title', text: ok ? 'Latest self-check passed' : 'Latest self-check found a problem' }),
    el('ul', { class: 'proof-results' }, listOf(latest.proof?.results).map((result) =>
      el('li', {},
        statusBadge(result.status), ' ', el('span', { class: 'proof-name', text: humanName(result.name) }),
        typeof result.detail === 'string' ? el('span', { class: 'muted small', text: ` ${result.detail}` }) : null))),
    latest.artifact ? el('p', { class: 'muted small' }, 'Written to ', el('code', { text: latest.artifact })) : null);
}

const AUDIT_ROWS_SHOWN = 100;

function auditCard(model) {
  const events = listOf(model.audit);
  let chain = null;
  let body;
  if (model.errors.audit) body = sectionError(model.errors.audit);
  else if (events.length === 0) body = emptyState('No activity yet', "Reads, writes, approvals, and revocations show up here after your agent's first run.");
  else {
    const ordered = bySequence(events);
    const broken = chainLinkBreak(ordered);
    chain = broken
      ? badge(`Chain broken at #${asText(broken.sequence)}`, 'danger')
      : badge(`Chain linked across ${plural(events.length, 'event')}`, 'ok');
    const newestFirst = ordered.slice(-AUDIT_ROWS_SHOWN).reverse();
    body = [
      table('Audit events, newest first', ['#', 'Time', 'Actor', 'Action', 'Tool', 'App', 'Decision', 'Hash'], newestFirst.map((event) =>
        el('tr', {},
          el('td', { class: 'numeric', text: asText(event.sequence) }),
          el('td', {}, timeCell(event.timestamp, { exact: true })),
          el('td', { text: event.agentId ? `${asText(event.actor)} · ${asText(event.agentId)}` : asText(event.actor) }),
          el('td', { text: asText(event.action) }),
          el('td', {}, event.toolId ? el('code', { class: 'tool-id', text: asText(event.toolId) }) : el('span', { class: 'muted', text: '—' })),
          el('td', { text: asText(event.connectorId) }),
          el('td', {}, statusBadge(event.decision)),
          el('td', {}, el('code', { class: 'hash', title: asText(event.hash, ''), text: shortHash(event.hash) }))))),
      events.length > AUDIT_ROWS_SHOWN ? el('p', { class: 'muted small', text: `Showing the newest ${AUDIT_ROWS_SHOWN} of ${events.length} events.` }) : null,
    ];
  }
  return card({
    id: 'audit', title: 'Audit chain',
    description: 'Broker decisions appear here as a tamper-evident chain.',
    headerExtra: chain,
    children: [proofSummary(model), body],
  });
}

export function overviewView(model, actions) {
  return [
    el('h1', { class: model.firstRunCompleted ? 'page-title' : 'visually-hidden', text: 'Overview' }),
    model.firstRunCompleted ? null : firstRunGuide(model, actions),
    openForm(model, actions),
    statusRow(model, actions),
    statsRow(model),
    approvalsCard(model, actions),
    el('div', { class: 'columns' }, appsCard(model, actions), keysCard(model, actions)),
    auditCard(model),
  ];
}
