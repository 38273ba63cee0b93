// Append-only, hash-chained audit log (JSON lines). hash = sha256(previousHash + canonical JSON of
// the event without its hash fields); the first event's previousHash is 64 zeros.
import fs from 'node:fs';
import path from 'node:path';
import crypto from 'node:crypto';
import { canonicalJson } from '../lib/canonical.mjs';
import { checkPrivateFile, openPrivateAppend, StateFileError } from './files.mjs';
import { nowIso } from '../lib/ids.mjs';

export const AUDIT_FILE = 'audit.log';
export const GENESIS_HASH = '0'.repeat(64);

export function eventHash(previousHash, event) {
  const { hash, previousHash: _ignored, ...body } = event;
  return crypto.createHash('sha256').update(previousHash + canonicalJson(body)).digest('hex');
}

// Verifies events in chain order, optionally continuing after `start` verified events that end in
// `previous`; returns { ok, checked, brokenAt?, reason? } with counts over the whole chain.
export function verifyChain(events, { start = 0, previous = GENESIS_HASH } = {}) {
  for (let i = start; i < events.length; i++) {
    const event = events[i];
    const broken = (reason) => ({ ok: false, checked: i, brokenAt: i + 1, reason });
    if (event.sequence !== i + 1) return broken('sequence gap');
    if (event.previousHash !== previous) return broken('previous hash mismatch');
    if (eventHash(previous, event) !== event.hash) return broken('hash mismatch');
    previous = event.hash;
  }
  return { ok: true, checked: events.length };
}

// Reads the log. A last line without its newline is a write that was cut off before it was
// acknowledged (the append and its fsync come before any answer); it is cut away, and reported.
function loadEvents(file, log) {
  if (!checkPrivateFile(file)) return [];
  const text = fs.readFileSync(file, 'utf8');
  const lines = text.split('\n');
  const tail = lines.pop();
  if (tail !== '') {
    fs.truncateSync(file, Buffer.byteLength(text) - Buffer.byteLength(tail));
    log(`audit: discarded an incomplete trailing record (${Buffer.byteLength(tail)} bytes) left by an interrupted write`);
  }
  return lines.map((line, index) => {
    try {
      return JSON.parse(line);
    } catch {
      throw new StateFileError(`${file} line ${index + 1} is not valid JSON; the audit log is damaged`);
    }
  });
}

const OPTIONAL_TEXT = ['connectorId', 'agentId', 'keyId', 'toolId', 'accountId', 'approvalId', 'reason'];

export function openAuditLog(stateDir, { log = () => {} } = {}) {
  const file = path.join(stateDir, AUDIT_FILE);
  const events = loadEvents(file, log);
  const fd = openPrivateAppend(file);
  let size = fs.fstatSync(fd).size;
  let closed = false;
  let verified = {};

  return {
    file,
    get events() {
      return events;
    },
    get lastHash() {
      return events.length ? events[events.length - 1].hash : GENESIS_HASH;
    },
    // event: { actor, action, decision, correlationId?, connectorId?, agentId?, keyId?, toolId?, ... }.
    // Never pass secrets: the log is plain text.
    append(event) {
      if (closed) throw new Error('audit log is closed');
      for (const key of ['actor', 'action', 'decision']) {
        if (typeof event[key] !== 'string' || !event[key]) throw new Error(`audit event needs a ${key}`);
      }
      const record = {
        id: `evt_${crypto.randomBytes(10).toString('hex')}`,
        sequence: events.length + 1,
        timestamp: nowIso(),
        actor: event.actor,
        action: event.action,
        decision: event.decision,
        correlationId: event.correlationId ?? `corr_${crypto.randomBytes(8).toString('hex')}`,
      };
      for (const key of OPTIONAL_TEXT) if (typeof event[key] === 'string' && event[key]) record[key] = event[key];
      record.previousHash = this.lastHash;
      record.hash = eventHash(record.previousHash, record);
      const line = Buffer.from(`${JSON.stringify(record)}\n`);
      try {
        for (let written = 0; written < line.length;) written += fs.writeSync(fd, line, written);
        fs.fsyncSync(fd);
      } catch (error) {
        fs.ftruncateSync(fd, size); // never leave half a record for the next append to extend
        throw error;
      }
      size += line.length;
      events.push(record);
      return record;
    },
    // Verified once in full, then only the events added since (a break stays reported).
    verify() {
      if (verified.ok === false) return verified;
      const start = verified.checked ?? 0;
      verified = verifyChain(events, { start, previous: start ? events[start - 1].hash : GENESIS_HASH });
      return verified;
    },
    close() {
      if (!closed) fs.closeSync(fd);
      closed = true;
    },
  };
}
