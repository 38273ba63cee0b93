// Pending approvals of risky writes. Kept in memory on purpose: a request older than its
// 10-minute window is void anyway, and the agent's input never has to be written to disk.
import { HttpError } from '../http/errors.mjs';
import { canonicalJson } from '../lib/canonical.mjs';
import { nowIso, randomId } from '../lib/ids.mjs';

const KEEP_FINISHED_MS = 60 * 60 * 1000;
// Bounds on what waiting requests may hold: in all, and per agent key, so one key cannot fill
// the queue for every other agent.
export const MAX_PENDING = 200;
export const MAX_PENDING_PER_KEY = 20;
export const MAX_PENDING_INPUT_BYTES_PER_KEY = 1024 * 1024;
const MAX_DISPLAY_TEXT = 2000;
const MAX_DISPLAY_ITEMS = 100;
const MAX_DISPLAY_DEPTH = 6;

// The input as the list shows it: long strings, long lists and deep nesting are cut. `cut` is
// set when anything was left out, so the operator is told the view is not the whole request.
function displayValue(value, cut, depth = 0) {
  if (typeof value === 'string') {
    if (value.length <= MAX_DISPLAY_TEXT) return value;
    cut.happened = true;
    return `${value.slice(0, MAX_DISPLAY_TEXT)}…`;
  }
  if (value === null || typeof value !== 'object') return value;
  if (depth > MAX_DISPLAY_DEPTH) {
    cut.happened = true;
    return '…';
  }
  if (Array.isArray(value)) {
    if (value.length > MAX_DISPLAY_ITEMS) cut.happened = true;
    return value.slice(0, MAX_DISPLAY_ITEMS).map((v) => displayValue(v, cut, depth + 1));
  }
  return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, displayValue(v, cut, depth + 1)]));
}

function display(input) {
  const cut = { happened: false };
  return { displayInput: displayValue(input, cut), displayTruncated: cut.happened };
}

const ownerOf = (request) => request.keyId ?? 'operator';

export function summarizeApproval(a) {
  return {
    id: a.id,
    agentId: a.agentId,
    connectorId: a.connectorId,
    toolId: a.toolId,
    risk: a.risk,
    expiresAt: nowIso(a.expiresAt),
    displayInput: a.display.displayInput,
    requestDigest: a.requestDigest,
    accountId: a.accountId,
    createdAt: nowIso(a.createdAt),
    displayTruncated: a.display.displayTruncated,
  };
}

// The whole request, for the operator to read before approving what the list shows cut.
export function fullApproval(a) {
  const view = { ...summarizeApproval(a), status: a.status };
  if (a.input !== undefined) view.input = a.input;
  return view;
}

export function createApprovalStore({ ttlMs, now = () => Date.now(), onExpired = () => {} }) {
  const approvals = new Map();

  // Marks overdue requests expired and forgets finished ones after a while.
  function sweep() {
    const t = now();
    for (const a of approvals.values()) {
      if (a.status === 'pending' && a.expiresAt <= t) {
        a.status = 'expired';
        a.finishedAt = t;
        onExpired(a);
      } else if (a.status !== 'pending' && a.status !== 'running' && a.finishedAt + KEEP_FINISHED_MS <= t) {
        approvals.delete(a.id);
      }
    }
  }

  return {
    create(request) {
      sweep();
      const waiting = [...approvals.values()].filter((a) => a.status === 'pending');
      if (waiting.length >= MAX_PENDING) throw new HttpError(429, `${waiting.length} requests are already waiting for approval; decide on them or let them expire first`);
      const own = waiting.filter((a) => ownerOf(a) === ownerOf(request));
      if (own.length >= MAX_PENDING_PER_KEY) {
        throw new HttpError(429, `this agent key already has ${own.length} requests waiting for approval; wait for the operator's decision first`);
      }
      const inputBytes = Buffer.byteLength(canonicalJson(request.input));
      const held = own.reduce((sum, a) => sum + a.inputBytes, 0);
      if (held + inputBytes > MAX_PENDING_INPUT_BYTES_PER_KEY) {
        throw new HttpError(429, `this agent key's requests waiting for approval would hold more than ${MAX_PENDING_INPUT_BYTES_PER_KEY} bytes of input; wait for the operator's decision first`);
      }
      const approval = { ...request, inputBytes, display: display(request.input), id: randomId('apr'), status: 'pending', createdAt: now(), expiresAt: now() + ttlMs };
      approvals.set(approval.id, approval);
      return approval;
    },
    pending() {
      sweep();
      return [...approvals.values()].filter((a) => a.status === 'pending').sort((a, b) => a.createdAt - b.createdAt);
    },
    get(id) {
      sweep();
      return approvals.get(id) ?? null;
    },
    // The pending approval with this id, or the HTTP error that says why it cannot be decided.
    requirePending(id) {
      const approval = this.get(id);
      if (!approval) throw new HttpError(404, `no approval ${id}`);
      if (approval.status === 'expired') throw new HttpError(410, 'approval expired');
      if (approval.status !== 'pending') throw new HttpError(409, `approval is already ${approval.status}`);
      return approval;
    },
    // Once decided, a request keeps its result for the agent but not its input.
    finish(approval, status, fields = {}) {
      Object.assign(approval, fields, { status, finishedAt: now() });
      if (status !== 'running') {
        delete approval.input;
        approval.display = { displayInput: {}, displayTruncated: false };
      }
    },
    sweep,
    forKey(keyId) {
      return [...approvals.values()].filter((a) => a.keyId === keyId && a.status === 'pending');
    },
  };
}
