// The broker's persistent state: one JSON document in the state directory, replaced atomically
// as a whole. Updates run on a copy, so a failed write leaves both disk and memory as they were.
//
// An update may carry the audit events that describe it. They are written into the document
// (its outbox) in the same atomic replace, then appended to the audit log; an outbox entry stays
// in the document until its event is durable in the log. After a crash between the two steps,
// recoverOutbox() appends what the log is missing, so an action and its audit record both land
// or neither does.
//
// Small facts that change on every agent call (last use) are set in memory with soon() and
// written in batches, not once per call.
import path from 'node:path';
import { readPrivateFile, writePrivateFileAtomic, StateFileError } from './files.mjs';
import { prepareRecord } from './audit.mjs';

export const STATE_FILE = 'vault.json';
const FORMAT = 'torvane-vault';
const VERSION = 1;
const BATCH_DELAY_MS = 5000;

export function emptyState() {
  return {
    format: FORMAT,
    version: VERSION,
    operator: { bootstrapVerifier: null },
    vault: null,
    connections: [],
    masterKeys: [],
    killSwitch: { enabled: false, updatedAt: null },
  };
}

function validate(doc, file) {
  const ok = doc && typeof doc === 'object' && doc.format === FORMAT && doc.version === VERSION
    && Array.isArray(doc.connections) && Array.isArray(doc.masterKeys) && doc.killSwitch && doc.operator;
  if (!ok) throw new StateFileError(`${file} is not a Torvane vault file of version ${VERSION}`);
  return doc;
}

export function parseState(text, file = STATE_FILE) {
  let doc;
  try {
    doc = JSON.parse(text);
  } catch {
    throw new StateFileError(`${file} is not valid JSON`);
  }
  return validate(doc, file);
}

export function openStore(stateDir, { log = () => {}, batchDelayMs = BATCH_DELAY_MS } = {}) {
  const file = path.join(stateDir, STATE_FILE);
  const existing = readPrivateFile(file);
  let doc = existing ? parseState(existing.toString('utf8'), file) : emptyState();
  if (!existing) writePrivateFileAtomic(file, JSON.stringify(doc));
  let audit = null;
  let unconfirmed = []; // outbox entries whose events are not durable yet
  let batchTimer = null;

  function write(next) {
    validate(next, file);
    if (unconfirmed.length) next.auditOutbox = unconfirmed;
    else delete next.auditOutbox;
    writePrivateFileAtomic(file, JSON.stringify(next));
    doc = next;
    clearTimeout(batchTimer); // in-memory changes went out with this write
    batchTimer = null;
  }

  function confirmWhenDurable(entries) {
    audit.durable().then(
      () => {
        unconfirmed = unconfirmed.filter((entry) => !entries.includes(entry));
      },
      () => {}, // stays in the outbox: start-up recovery appends it
    );
  }

  return {
    file,
    get state() {
      return doc;
    },
    attachAudit(log_) {
      audit = log_;
    },
    // mutator(draft) changes the draft and may return a value, which update returns.
    // describe(result) names the audit events of the change ([] or a list of events).
    update(mutator, { audit: describe } = {}) {
      const draft = structuredClone(doc);
      const result = mutator(draft);
      const entries = describe ? describe(result).map((event) => ({ afterSize: audit.durableSize, record: prepareRecord(event) })) : [];
      unconfirmed = [...unconfirmed, ...entries];
      try {
        write(draft);
      } catch (error) {
        unconfirmed = unconfirmed.filter((entry) => !entries.includes(entry));
        throw error;
      }
      if (entries.length) {
        for (const entry of entries) audit.append(entry.record);
        confirmWhenDurable(entries);
      }
      return result;
    },
    // Changes the state in memory now and writes it within batchDelayMs (or with the next update).
    soon(mutator) {
      mutator(doc);
      batchTimer ??= setTimeout(() => {
        batchTimer = null;
        try {
          write(structuredClone(doc));
        } catch (error) {
          log(`state: could not write recent last-use times: ${error.message}`);
        }
      }, batchDelayMs);
      batchTimer.unref?.();
    },
    // Writes what soon() still holds (at shutdown).
    flush() {
      if (batchTimer) write(structuredClone(doc));
    },
    // Start-up: events of saved actions that never reached the log are appended now.
    recoverOutbox() {
      const outbox = doc.auditOutbox ?? [];
      if (!outbox.length) return 0;
      const seen = audit.idsFrom(Math.min(...outbox.map((entry) => entry.afterSize ?? 0)));
      const missing = outbox.filter((entry) => !seen.has(entry.record.id));
      for (const entry of missing) audit.append(entry.record);
      audit.flushSync();
      write(structuredClone(doc));
      return missing.length;
    },
  };
}
