// Pending approvals of risky writes. Kept in memory on purpose: a request older than its
// 10-minute window is void anyway, and the agent's input never has to be written to disk.
import { HttpError } from '../http/errors.mjs';
import { nowIso, randomId } from '../lib/ids.mjs';

const KEEP_FINISHED_MS = 60 * 60 * 1000;
export const MAX_PENDING = 200; // bounds the memory a flood of agent requests can take
const MAX_DISPLAY_TEXT = 2000;

function displayValue(value, depth = 0) {
  if (typeof value === 'string') return value.length > MAX_DISPLAY_TEXT ? `${value.slice(0, MAX_DISPLAY_TEXT)}…` : value;
  if (value === null || typeof value !== 'object') return value;
  if (depth > 6) return '…';
  if (Array.isArray(value)) return value.slice(0, 100).map((v) => displayValue(v, depth + 1));
  return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, displayValue(v, depth + 1)]));
}

export function summarizeApproval(a) {
  return {
    id: a.id,
    agentId: a.agentId,
    connectorId: a.connectorId,
    toolId: a.toolId,
    risk: a.risk,
    expiresAt: nowIso(a.expiresAt),
    displayInput: displayValue(a.input),
    requestDigest: a.requestDigest,
    accountId: a.accountId,
    createdAt: nowIso(a.createdAt),
  };
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
      const waiting = [...approvals.values()].filter((a) => a.status === 'pending').length;
      if (waiting >= MAX_PENDING) throw new HttpError(429, `${waiting} requests are already waiting for approval; decide on them or let them expire first`);
      const approval = { ...request, id: randomId('apr'), status: 'pending', createdAt: now(), expiresAt: now() + ttlMs };
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
    finish(approval, status, fields = {}) {
      Object.assign(approval, fields, { status, finishedAt: now() });
    },
    sweep,
    forKey(keyId) {
      return [...approvals.values()].filter((a) => a.keyId === keyId && a.status === 'pending');
    },
  };
}
