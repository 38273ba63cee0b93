// Append-only, hash-chained audit log (JSON lines). hash = sha256(previousHash + canonical JSON of
// the event without its hash fields); the first event's previousHash is 64 zeros.
//
// Only the chain's head is kept in memory; listing and verification read the file. Appends are
// group-committed: records queued while a write is on its way, or appended by calls that were on
// their way when it was due, go out together in one write and fsync, and durable() tells a caller
// when everything it appended has landed. The head is anchored (auditAnchor.mjs) whenever the
// vault key is at hand, under a steady flow of records at most every 100 ms; a log that does not
// match its anchor is reported, logged, recorded, and the anchor is left where it was, so the
// finding stays.
import fs from 'node:fs';
import path from 'node:path';
import { canonicalJson } from '../lib/canonical.mjs';
import { nowIso, randomId, sha256Hex } from '../lib/ids.mjs';
import { checkPrivateFile, openPrivateAppend, StateFileError } from './files.mjs';
import { ANCHOR_FILE, anchorKeyId, anchorSealValid, openAnchorWriter, readAnchor, sealAnchor } from './auditAnchor.mjs';
import { lineEndingAt, lineStartBefore, linesBetween, newestRecords, parseRecord } from './auditLines.mjs';

export const AUDIT_FILE = 'audit.log';
export const GENESIS_HASH = '0'.repeat(64);
const GENESIS = { sequence: 0, hash: GENESIS_HASH };
const SLOW_SYNC_MS = 2;
const SYNC_ESTIMATE_WEIGHT = 4; // the newest sync's share of the running estimate: 1/4
const ANCHOR_INTERVAL_MS = 100; // under a steady flow of records, the anchor moves at most this often
const GATHER_ROUNDS = 8; // event loop rounds a write may wait for the records of calls on their way

const chainHash = (previousHash, body) => sha256Hex(previousHash + canonicalJson(body));

export function eventHash(previousHash, event) {
  const { hash, previousHash: _ignored, ...body } = event;
  return chainHash(previousHash, body);
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

// One step of chain verification over file lines: from `head`, the next record or the reason
// it does not follow.
function follow(head, line) {
  let record;
  try {
    record = JSON.parse(line);
  } catch {
    return { reason: 'not valid JSON' };
  }
  if (record?.sequence !== head.sequence + 1) return { reason: 'sequence gap' };
  if (record.previousHash !== head.hash) return { reason: 'previous hash mismatch' };
  if (eventHash(head.hash, record) !== record.hash) return { reason: 'hash mismatch' };
  return { record };
}

// Checks lines [start, end) of the file as a chain continuing `from` ({ sequence, hash }).
function verifyRange(fd, start, end, from) {
  let head = from;
  for (const { line } of linesBetween(fd, start, end)) {
    const step = follow(head, line);
    if (!step.record) return { ok: false, head, brokenAt: head.sequence + 1, reason: step.reason };
    head = { sequence: step.record.sequence, hash: step.record.hash };
  }
  return { ok: true, head };
}

// A last line without its newline is a write that was cut off before it was acknowledged (the
// append and its fsync come before any answer); it is cut away, and reported.
function dropCutOffTail(fd, rfd, log) {
  const size = fs.fstatSync(fd).size;
  const whole = lineStartBefore(rfd, size);
  if (whole === size) return size;
  fs.ftruncateSync(fd, whole);
  log(`audit: discarded an incomplete trailing record (${size - whole} bytes) left by an interrupted write`);
  return whole;
}

const batchBytes = (batch) => Buffer.from(batch.length === 1 ? batch[0].line : batch.map((entry) => entry.line).join(''));

function headOfFile(fd, size) {
  const line = lineEndingAt(fd, size);
  if (line === null) return GENESIS;
  const record = parseRecord(line, 'its last line');
  return { sequence: record.sequence, hash: record.hash };
}

const OPTIONAL_TEXT = ['connectorId', 'agentId', 'keyId', 'toolId', 'accountId', 'approvalId', 'reason'];

// A record ready to be chained: what the event says, with its id and time fixed now.
export function prepareRecord(event) {
  for (const key of ['actor', 'action', 'decision']) {
    if (typeof event[key] !== 'string' || !event[key]) throw new Error(`audit event needs a ${key}`);
  }
  const record = {
    id: event.id ?? randomId('evt', 10),
    timestamp: event.timestamp ?? nowIso(),
    actor: event.actor,
    action: event.action,
    decision: event.decision,
    correlationId: event.correlationId ?? randomId('corr', 8),
  };
  for (const key of OPTIONAL_TEXT) if (typeof event[key] === 'string' && event[key]) record[key] = event[key];
  return record;
}

// marker: { get(), set(keyId) } keeps, beside the vault, the id of the key the log is anchored
// under, so an anchor file that disappears is missed rather than taken for a first start.
// busy() says whether other calls are on their way (see syncLog).
export function openAuditLog(stateDir, { log = () => {}, marker = { get: () => null, set: () => {} }, busy = () => false } = {}) {
  const file = path.join(stateDir, AUDIT_FILE);
  checkPrivateFile(file);
  const fd = openPrivateAppend(file);
  const rfd = fs.openSync(file, fs.constants.O_RDONLY | fs.constants.O_NOFOLLOW); // the same file, for reading
  const anchorFile = path.join(stateDir, ANCHOR_FILE);
  let anchor = readAnchor(anchorFile);
  const anchorWriter = openAnchorWriter(anchorFile);
  let durable = { ...GENESIS, size: dropCutOffTail(fd, rfd, log) }; // what is on disk and fsynced
  let head = GENESIS; // the last record handed out, durable or not
  let queue = []; // { record, line } not yet written (line: the record's JSON text and newline)
  let appended = 0;
  let landed = 0;
  let waiters = [];
  let writing = null;
  let anchorKey = null;
  let failure = null;
  let closed = false;
  let anchorDue = false;
  let anchoredAt = -Infinity; // performance.now() of the last anchor written
  let syncEstimateMs = 0; // recent fdatasync times, as a running average
  const pageCache = new Map();
  let fileCheck = { key: null, result: null, running: null };

  function fail(reason) {
    if (failure) return;
    failure = reason;
    log(`audit: integrity check failed: ${reason}`);
    append({ actor: 'broker', action: 'audit.verify', decision: 'failed', reason });
  }

  // The line that ends where the anchor says is the anchored record, whole and unchanged.
  function anchoredRecordInPlace() {
    const line = lineEndingAt(rfd, anchor.size);
    if (line === null) return anchor.sequence === 0;
    let record;
    try {
      record = JSON.parse(line);
    } catch {
      return false;
    }
    return record?.sequence === anchor.sequence && record.hash === anchor.hash && eventHash(record.previousHash, record) === record.hash;
  }

  // Start-up: the anchored record must be where the anchor says, and what follows must chain on
  // from it. A log without an anchor (older installs, a vault not set up yet) is checked whole.
  function checkOnOpen() {
    if (anchor?.damaged) {
      anchor = null;
      return { reason: 'the audit anchor file is unreadable' };
    }
    if (!anchor) {
      const whole = verifyRange(rfd, 0, durable.size, GENESIS);
      if (marker.get()) return { reason: 'the audit anchor file is missing', whole };
      return whole.ok ? { head: whole.head } : { reason: `chain breaks at event ${whole.brokenAt}: ${whole.reason}`, whole };
    }
    if (durable.size < anchor.size) return { reason: `the audit log is shorter than its anchor (${anchor.sequence} events were anchored)` };
    if (!anchoredRecordInPlace()) return { reason: `event ${anchor.sequence} in the audit log is not the one that was anchored` };
    const tail = verifyRange(rfd, anchor.size, durable.size, anchor);
    return tail.ok ? { head: tail.head } : { reason: `chain breaks at event ${tail.brokenAt}: ${tail.reason}` };
  }

  function open() {
    let opened;
    try {
      opened = checkOnOpen();
    } catch {
      opened = { reason: 'the audit anchor does not match the log' };
    }
    const last = headOfFile(rfd, durable.size);
    durable = { ...last, size: durable.size };
    head = last;
    if (opened.reason) fail(opened.reason);
  }

  // The file on disk from `from` to the durable end must chain on to the head in memory.
  function diskMatchesHead(from) {
    const checked = verifyRange(rfd, from.size, durable.size, from);
    if (!checked.ok) return `chain breaks at event ${checked.brokenAt}: ${checked.reason}`;
    if (checked.head.sequence !== durable.sequence || checked.head.hash !== durable.hash) return 'the audit log on disk does not end where it was written';
    return null;
  }

  function writeAnchorSync() {
    anchor = sealAnchor(anchorKey, (anchor?.counter ?? 0) + 1, durable);
    anchorWriter.writeSync(anchor);
    anchoredAt = performance.now();
  }

  // The vault is unlocked: check the stored anchor under its key, then anchor the current head.
  function unlock(key) {
    anchorKey = key;
    if (failure) return;
    const keyId = anchorKeyId(key);
    const expected = marker.get();
    if (anchor && anchor.keyId === keyId && !anchorSealValid(key, anchor)) return fail('the audit anchor does not carry this vault\'s seal');
    if (anchor && anchor.keyId !== keyId) {
      if (expected) return fail('the audit anchor was not made with this vault\'s key');
      log('audit: the log was anchored under an earlier vault; anchoring it under this one');
    }
    const problem = diskMatchesHead(anchor ? { sequence: anchor.sequence, hash: anchor.hash, size: anchor.size } : { ...GENESIS, size: 0 });
    if (problem) return fail(problem);
    writeAnchorSync();
    if (expected !== keyId) marker.set(keyId);
  }

  function settleWaiters() {
    const ready = waiters.filter((w) => w.target <= landed);
    waiters = waiters.filter((w) => w.target > landed);
    for (const w of ready) w.resolve();
  }

  // A failed write takes back everything not yet on disk: the chain goes on from the last durable
  // record, and every caller still waiting hears of the failure.
  function rollBack(cause) {
    const error = new StateFileError(`could not write the audit log: ${cause.code ?? cause.message}`);
    fs.ftruncateSync(fd, durable.size);
    queue = [];
    head = { sequence: durable.sequence, hash: durable.hash };
    appended = landed;
    for (const w of waiters) w.reject(error);
    waiters = [];
  }

  function landedBatch(batch, bytes) {
    const last = batch.at(-1).record;
    durable = { sequence: last.sequence, hash: last.hash, size: durable.size + bytes };
    landed += batch.length;
    pageCache.clear();
  }

  // A lone record's fdatasync on a fast disk costs less than the trip through the thread pool and
  // back (two thread wake-ups), so it runs in place when nothing else is going on. A batch, or a
  // record while other calls are on their way, goes to the pool: the event loop has those calls to
  // serve meanwhile. So does every sync while recent ones were slow (a running estimate, which one
  // late sync does not tip), so a slow disk holds up only the calls that wait for their records.
  async function syncLog(records) {
    const started = performance.now();
    if (records > 1 || busy() || syncEstimateMs > SLOW_SYNC_MS) {
      await new Promise((resolve, reject) => fs.fdatasync(fd, (e) => (e ? reject(e) : resolve())));
    } else {
      fs.fdatasyncSync(fd);
    }
    syncEstimateMs += (performance.now() - started - syncEstimateMs) / SYNC_ESTIMATE_WEIGHT;
  }

  // The anchor follows the head once the answers waiting for the batch are on their way, and
  // under a steady flow of records at most every ANCHOR_INTERVAL_MS rather than once per batch:
  // it is not on any call's path, and start-up checks the log from wherever it points.
  function anchorSoon() {
    if (anchorDue) return;
    anchorDue = true;
    const wait = anchoredAt + ANCHOR_INTERVAL_MS - performance.now();
    if (wait > 0) setTimeout(writeDueAnchor, wait).unref();
    else setImmediate(writeDueAnchor);
  }

  function writeDueAnchor() {
    if (!anchorDue) return;
    anchorDue = false;
    writeAnchor();
  }

  function writeAnchor() {
    if (!anchorKey || failure || closed) return;
    try {
      writeAnchorSync();
    } catch (error) {
      log(`audit: could not write the anchor: ${error.code ?? error.message}`);
    }
  }

  // While provider calls are on their way, their records are moments from being appended: the
  // event loop goes round a few more times, serving what came in, before the write, so those
  // records share its fdatasync. Fewer and larger syncs leave more of the machine to the calls
  // themselves. A lone call does not wait: nothing else is on its way.
  async function gatherWhileBusy() {
    for (let round = 0; round < GATHER_ROUNDS && busy(); round++) await new Promise((resolve) => setImmediate(resolve));
  }

  // Writing a batch into the page cache is cheaper than a trip through the thread pool.
  async function writeBatches() {
    while (queue.length) {
      await gatherWhileBusy();
      const batch = queue;
      queue = [];
      const bytes = batchBytes(batch);
      try {
        for (let written = 0; written < bytes.length;) written += fs.writeSync(fd, bytes, written);
        await syncLog(batch.length);
      } catch (error) {
        rollBack(error);
        return;
      }
      landedBatch(batch, bytes.length);
      settleWaiters();
      anchorSoon();
    }
  }

  // Writing starts once the code that appended is done (a microtask), not a loop round later: a
  // lone call's answer waits for nothing else, and records of calls still on their way are
  // waited for by gatherWhileBusy.
  function startWriting() {
    if (writing || closed) return;
    writing = Promise.resolve().then(writeBatches).finally(() => {
      writing = null;
      if (queue.length) startWriting();
    });
  }

  // event: { actor, action, decision, correlationId?, connectorId?, agentId?, keyId?, toolId?, ... }.
  // Never pass secrets: the log is plain text. Returns the chained record at once; durable()
  // says when it is on disk.
  function append(event) {
    if (closed) throw new Error('audit log is closed');
    const prepared = prepareRecord(event);
    // Keys in the order the log has always had them: id, sequence, timestamp, the rest, then the
    // chain's two, which the hash does not cover.
    const ordered = { id: prepared.id, sequence: head.sequence + 1, ...prepared };
    const hash = chainHash(head.hash, ordered);
    ordered.previousHash = head.hash;
    ordered.hash = hash;
    queue.push({ record: ordered, line: `${JSON.stringify(ordered)}\n` });
    head = { sequence: ordered.sequence, hash: ordered.hash };
    appended += 1;
    startWriting();
    return ordered;
  }

  // Resolves when every record appended so far is on disk; rejects when their write failed.
  function whenDurable() {
    if (landed >= appended) return Promise.resolve();
    return new Promise((resolve, reject) => waiters.push({ target: appended, resolve, reject }));
  }

  // For start-up and shutdown: everything queued goes out now, synchronously.
  function flushSync() {
    if (!queue.length) return;
    const batch = queue;
    queue = [];
    const bytes = batchBytes(batch);
    try {
      for (let written = 0; written < bytes.length;) written += fs.writeSync(fd, bytes, written);
      fs.fdatasyncSync(fd);
    } catch (error) {
      rollBack(error);
      throw new StateFileError(`could not write the audit log: ${error.code ?? error.message}`);
    }
    landedBatch(batch, bytes.length);
    settleWaiters();
    anchorDue = false;
    writeAnchor();
  }

  // The whole file, read from disk, must be one chain that ends in the durable head and passes
  // through the anchor. Remembered while the file is unchanged.
  async function verifyFile() {
    const snapshot = { ...durable };
    let stat;
    try {
      stat = await fs.promises.stat(file);
    } catch {
      return { ok: false, checked: 0, brokenAt: 1, reason: 'the audit log file is missing' };
    }
    const key = [stat.ino, stat.size, stat.mtimeMs, stat.ctimeMs, snapshot.size, snapshot.hash].join(':');
    if (fileCheck.key === key) return fileCheck.result;
    if (fileCheck.running?.key === key) return fileCheck.running.promise;
    const promise = verifyPath(snapshot).then((result) => {
      fileCheck = { key, result, running: null };
      return result;
    });
    fileCheck.running = { key, promise };
    return promise;
  }

  async function verifyPath(snapshot) {
    const handle = await fs.promises.open(file, 'r');
    try {
      const { size } = await handle.stat();
      if (size < snapshot.size) return { ok: false, checked: 0, brokenAt: 1, reason: `the file is shorter than the ${snapshot.sequence} events written` };
      let chain = GENESIS;
      let lines = 0;
      for (const { line, end } of linesBetween(handle.fd, 0, snapshot.size)) {
        const step = follow(chain, line);
        if (!step.record) return { ok: false, checked: chain.sequence, brokenAt: chain.sequence + 1, reason: step.reason };
        chain = { sequence: step.record.sequence, hash: step.record.hash };
        if (anchor && !anchor.damaged && end === anchor.size && chain.hash !== anchor.hash) {
          return { ok: false, checked: chain.sequence, brokenAt: chain.sequence, reason: 'the anchored event was changed' };
        }
        if (++lines % 2000 === 0) await new Promise((resolve) => setImmediate(resolve)); // others go on meanwhile
      }
      if (chain.hash !== snapshot.hash) return { ok: false, checked: chain.sequence, brokenAt: chain.sequence, reason: 'the log does not end with the last event written' };
      return { ok: true, checked: chain.sequence };
    } finally {
      await handle.close();
    }
  }

  // The newest `limit` durable events, newest first, as the JSON text of an { events } answer.
  function pageBytes(limit) {
    const key = `${durable.sequence}:${limit}`;
    if (!pageCache.has(key)) {
      pageCache.clear();
      pageCache.set(key, Buffer.from(JSON.stringify({ events: newestRecords(rfd, durable.size, limit) })));
    }
    return pageCache.get(key);
  }

  // Ids of the events in the file from byte `from` on (start-up recovery looks there).
  function idsFrom(from) {
    const start = lineStartBefore(rfd, Math.min(from, durable.size));
    const ids = new Set();
    for (const { line } of linesBetween(rfd, start, durable.size)) ids.add(parseRecord(line, 'a recent event').id);
    return ids;
  }

  open();

  return {
    file,
    append,
    durable: whenDurable,
    flushSync,
    unlock,
    lock() {
      anchorKey = null;
    },
    get head() {
      return { sequence: head.sequence, hash: head.hash };
    },
    get durableSize() {
      return durable.size;
    },
    // { ok, reason?, anchoredSequence?, anchoring } for the self-check.
    get integrity() {
      return { ok: !failure, reason: failure, anchoredSequence: anchor?.damaged ? null : anchor?.sequence ?? null, anchoring: Boolean(anchorKey) };
    },
    verifyFile,
    pageBytes,
    idsFrom,
    async close() {
      if (closed) return;
      while (writing) await writing;
      flushSync();
      writeDueAnchor();
      closed = true;
      fs.closeSync(fd);
      fs.closeSync(rfd);
      anchorWriter.close();
    },
  };
}
