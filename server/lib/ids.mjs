// Identifiers and secrets.
import crypto from 'node:crypto';
import { badRequest } from '../http/errors.mjs';

// Identifiers come from a pool filled a few kilobytes at a time: one call into the random source
// per id cost more than the rest of an agent call's bookkeeping. Bytes handed out are wiped.
const POOL_BYTES = 4096;
const pool = Buffer.alloc(POOL_BYTES);
let poolOffset = POOL_BYTES;

export function randomId(prefix, bytes = 12) {
  if (poolOffset + bytes > POOL_BYTES) {
    crypto.randomFillSync(pool);
    poolOffset = 0;
  }
  const hex = pool.toString('hex', poolOffset, poolOffset + bytes);
  pool.fill(0, poolOffset, poolOffset + bytes);
  poolOffset += bytes;
  return `${prefix}_${hex}`;
}
export const randomSecret = (bytes = 32) => crypto.randomBytes(bytes).toString('base64url');
// One-shot hashing: no Hash object per call.
export const sha256Hex = (text) => crypto.hash('sha256', text, 'hex');

// Calls in the same millisecond share one formatted time: an agent call asks for it several times.
let isoMs = NaN;
let isoText = '';
export function nowIso(ms = Date.now()) {
  if (ms !== isoMs) {
    isoText = new Date(ms).toISOString();
    isoMs = ms;
  }
  return isoText;
}

export function constantTimeEqual(a, b) {
  const left = crypto.createHash('sha256').update(String(a)).digest();
  const right = crypto.createHash('sha256').update(String(b)).digest();
  return crypto.timingSafeEqual(left, right);
}

// Identifiers that may appear in paths and file names: no separators, no dot-only names.
const SAFE_ID = /^[A-Za-z0-9][A-Za-z0-9._@+:-]{0,127}$/;

export function checkIdentifier(value, what) {
  if (typeof value !== 'string' || !SAFE_ID.test(value) || value.includes('..')) {
    throw badRequest(`${what} must be 1-128 letters, digits or . _ @ + : - (not starting with a symbol)`);
  }
  return value;
}

// Agent ids are names the operator types ("Claude Code" is fine); they are stored and shown, never
// used as a path, so only control characters and unreasonable lengths are refused.
export function checkAgentId(value) {
  if (typeof value !== 'string' || value.trim() === '' || value.length > 128 || /\p{Cc}/u.test(value)) {
    throw badRequest('agentId must be a name of 1-128 characters without control characters');
  }
  return value.trim();
}
