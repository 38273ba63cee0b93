import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { PASSPHRASE, bootstrapSecret, startBroker, startReadyBroker, tempStateDir } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { GENESIS_HASH, eventHash, openAuditLog, verifyChain } from '../state/audit.mjs';
import { newestRecords } from '../state/auditLines.mjs';
import { canonicalJson } from '../lib/canonical.mjs';
import { openStore } from '../state/store.mjs';

const auditFile = (dir) => path.join(dir, 'audit.log');
const readLines = (dir) => fs.readFileSync(auditFile(dir), 'utf8').trim().split('\n');

describe('audit chain', () => {
  test('each hash is sha256(previousHash + canonical JSON of the event); listing is newest first', async (t) => {
    const h = await startReadyBroker();
    t.after(() => h.close());
    await h.post('/v1/killswitch', { enabled: true }, { session: h.session });
    await h.post('/v1/killswitch', { enabled: false }, { session: h.session });
    const { events } = (await h.get('/v1/audit', { session: h.session })).body;
    assert.deepEqual(events.map((e) => e.sequence), [...Array(events.length).keys()].map((i) => events.length - i));
    const chain = [...events].reverse();
    assert.equal(chain[0].previousHash, GENESIS_HASH);
    for (const event of chain) {
      const { hash, previousHash, ...body } = event;
      const expected = crypto.createHash('sha256').update(previousHash + canonicalJson(body)).digest('hex');
      assert.equal(hash, expected);
      for (const key of ['id', 'timestamp', 'actor', 'action', 'decision', 'correlationId']) assert.equal(typeof event[key], 'string', key);
    }
    assert.equal((await h.get('/v1/audit?limit=2', { session: h.session })).body.events[0].sequence, events[0].sequence);
    assert.equal((await h.get('/v1/audit?limit=abc', { session: h.session })).status, 400);
  });

  test('canonical JSON gives the text every stored hash was made from', () => {
    const rows = [
      [{ b: 'x', a: 1, c: true, d: null, e: undefined }, '{"a":1,"b":"x","c":true,"d":null}'],
      [{ z: { y: 1, x: [2, { b: 1, a: 0 }] }, a: [] }, '{"a":[],"z":{"x":[2,{"a":0,"b":1}],"y":1}}'],
      [{ b: 1, 10: 'ten', 9: 'nine', a: 2 }, '{"10":"ten","9":"nine","a":2,"b":1}'],
      [JSON.parse('{"__proto__":1,"a":2}'), '{"__proto__":1,"a":2}'],
      [{ n: NaN, i: -Infinity, z: -0 }, '{"i":null,"n":null,"z":0}'],
      [{ 'é': 'é', E: 'line\nbreak "q"', '': 'empty' }, '{"":"empty","E":"line\\nbreak \\"q\\"","é":"é"}'],
    ];
    for (const [value, text] of rows) assert.equal(canonicalJson(value), text);
  });

  // The log is read backwards in 64 KiB pieces; rows are line lengths (without the newline).
  test('the newest events are listed whole wherever the file\'s read boundaries fall', () => {
    const rows = [
      ['a boundary on the newline after a line', [300, 100, 65534]],
      ['a boundary just after a newline', [1000, 65535]],
      ['the file exactly one read long', [65535]],
      ['a line longer than a read', [300, 70000, 40]],
      ['many short lines', Array.from({ length: 2000 }, (_, i) => 60 + (i % 90))],
    ];
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    const file = path.join(dir, 'lines.log');
    for (const [name, lengths] of rows) {
      const lines = lengths.map((length, i) => {
        const bare = JSON.stringify({ i, p: '' });
        return JSON.stringify({ i, p: 'x'.repeat(length - bare.length) });
      });
      fs.writeFileSync(file, `${lines.join('\n')}\n`);
      const fd = fs.openSync(file, 'r');
      try {
        const size = fs.fstatSync(fd).size;
        for (const limit of [1, 2, lengths.length]) {
          const listed = newestRecords(fd, size, limit).map((record) => record.i);
          assert.deepEqual(listed, lengths.map((_, i) => i).reverse().slice(0, limit), `${name}, limit ${limit}`);
        }
      } finally {
        fs.closeSync(fd);
      }
    }
  });

  test('verification finds an edited, removed or reordered event', async () => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    const log = openAuditLog(dir);
    const events = Array.from({ length: 4 }, () => log.append({ actor: 'operator', action: 'test', decision: 'allowed' }));
    await log.close();
    assert.equal(verifyChain(events).ok, true);
    const edited = structuredClone(events);
    edited[1].decision = 'denied';
    const rehashed = structuredClone(edited);
    rehashed[1].hash = eventHash(rehashed[1].previousHash, rehashed[1]);
    const cases = [
      [edited, 2, 'hash mismatch'],
      [rehashed, 3, 'previous hash mismatch'],
      [[events[0], events[2], events[3]], 2, 'sequence gap'],
      [[events[1], events[0]], 1, 'sequence gap'],
    ];
    for (const [list, brokenAt, reason] of cases) assert.deepEqual(verifyChain(list), { ok: false, checked: brokenAt - 1, brokenAt, reason });
  });

  test('a cut-off last record is discarded on open and the chain goes on from the last whole one', async () => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    const first = openAuditLog(dir);
    first.append({ actor: 'operator', action: 'one', decision: 'allowed' });
    await first.close();
    fs.appendFileSync(auditFile(dir), '{"id":"evt_half","sequence":2,"times');
    const logs = [];
    const reopened = openAuditLog(dir, { log: (line) => logs.push(line) });
    assert.equal(reopened.head.sequence, 1);
    assert.match(logs[0], /discarded an incomplete trailing record/);
    reopened.append({ actor: 'operator', action: 'two', decision: 'allowed' });
    await reopened.close();
    assert.equal(verifyChain(readLines(dir).map((l) => JSON.parse(l))).ok, true);
  });
});

  // A full disk cannot be had here: the failing write is injected.
  test('records appended together share a write; a failed one is reported to every waiter and the chain goes on from the durable head', async (t) => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    const log = openAuditLog(dir);
    log.append({ actor: 'operator', action: 'kept', decision: 'allowed' });
    await log.durable();
    const writes = t.mock.method(fs, 'writeSync', () => {
      throw Object.assign(new Error('no space left on device'), { code: 'ENOSPC' });
    });
    for (let i = 0; i < 3; i++) log.append({ actor: 'operator', action: 'lost', decision: 'allowed' });
    const waiters = [log.durable(), log.durable()];
    for (const waiter of waiters) await assert.rejects(waiter, /could not write the audit log: ENOSPC/);
    assert.equal(writes.mock.callCount(), 1);
    assert.equal(log.head.sequence, 1);
    writes.mock.restore();
    log.append({ actor: 'operator', action: 'after', decision: 'allowed' });
    await log.durable();
    await log.close();
    const lines = readLines(dir).map((l) => JSON.parse(l));
    assert.deepEqual(lines.map((e) => `${e.sequence}:${e.action}`), ['1:kept', '2:after']);
    assert.equal(verifyChain(lines).ok, true);
  });

  test('a lone record is synced in place, a batch or a record while other calls are on their way in the thread pool, and every sync there while recent ones were slow', async (t) => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    let othersOnTheirWay = false;
    const log = openAuditLog(dir, { busy: () => othersOnTheirWay });
    // Stand-ins for the disk and the clock: each sync takes `syncMs` (real ones here could take
    // anything, which would make the test depend on the machine).
    let now = 0;
    let syncMs = 0.1;
    t.mock.method(performance, 'now', () => now);
    const inPlace = t.mock.method(fs, 'fdatasyncSync', () => {
      now += syncMs;
    });
    const pooled = t.mock.method(fs, 'fdatasync', (fd, done) => {
      now += syncMs;
      setImmediate(done);
    });
    const landed = async (count) => {
      for (let i = 0; i < count; i++) log.append({ actor: 'operator', action: 'sync', decision: 'allowed' });
      await log.durable();
      return [inPlace.mock.callCount(), pooled.mock.callCount()];
    };
    assert.deepEqual(await landed(1), [1, 0]);
    assert.deepEqual(await landed(3), [1, 1]);
    othersOnTheirWay = true;
    assert.deepEqual(await landed(1), [1, 2]);
    othersOnTheirWay = false;
    syncMs = 5;
    assert.deepEqual(await landed(1), [2, 2], 'one late sync does not send the next ones away');
    assert.deepEqual(await landed(1), [3, 2]);
    assert.deepEqual(await landed(1), [3, 3], 'after two, they go to the pool');
    syncMs = 0.1;
    let fastSyncs = 0;
    while ((await landed(1))[0] === 3 && fastSyncs < 10) fastSyncs += 1;
    assert.ok(fastSyncs >= 1 && fastSyncs <= 3, `fast again, they come back after a few syncs (${fastSyncs})`);
    await log.close();
    assert.equal(verifyChain(readLines(dir).map((l) => JSON.parse(l))).ok, true);
  });

  test('a write waits a few event loop rounds for the records of calls on their way, and no longer', async (t) => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    let onTheirWay = true;
    const log = openAuditLog(dir, { busy: () => onTheirWay });
    const writes = t.mock.method(fs, 'writeSync');
    const append = (action) => log.append({ actor: 'agent', action, decision: 'allowed' });
    append('first');
    await new Promise((resolve) => setImmediate(() => {
      append('answered a moment later');
      onTheirWay = false;
      resolve();
    }));
    await log.durable();
    assert.equal(writes.mock.callCount(), 1, 'both records in one write');
    onTheirWay = true; // a call that never ends does not hold the log
    append('while a call hangs');
    await log.durable();
    assert.equal(writes.mock.callCount(), 2);
    await log.close();
    assert.deepEqual(readLines(dir).map((l) => JSON.parse(l).action), ['first', 'answered a moment later', 'while a call hangs']);
  });

describe('local proof', () => {
  test('reports a passing self-check and writes an owner-only artifact', async (t) => {
    const h = await startReadyBroker();
    t.after(() => h.close());
    const res = await h.get('/v1/proof/latest', { session: h.session });
    assert.equal(res.body.available, true);
    assert.equal(res.body.proof.ok, true, JSON.stringify(res.body.proof.results));
    assert.deepEqual(res.body.proof.results.map((r) => r.name), ['audit_chain', 'state_modes_owner_only', 'loopback_bind', 'credentials_sealed', 'audit_anchor']);
    assert.equal(fs.statSync(res.body.artifact).mode & 0o777, 0o600);
    assert.deepEqual(JSON.parse(fs.readFileSync(res.body.artifact, 'utf8')).results, res.body.proof.results);
  });

  test('fails on a tampered audit log and on a file others can read', async (t) => {
    const h = await startReadyBroker();
    await h.post('/v1/killswitch', { enabled: true }, { session: h.session });
    await h.close();
    const lines = readLines(h.stateDir);
    const second = JSON.parse(lines[1]);
    second.decision = 'denied';
    lines[1] = JSON.stringify(second);
    fs.writeFileSync(auditFile(h.stateDir), `${lines.join('\n')}\n`);
    fs.chmodSync(auditFile(h.stateDir), 0o640);
    assert.throws(() => openAuditLog(h.stateDir), /mode 0640/);
    fs.chmodSync(auditFile(h.stateDir), 0o600);

    const b = await startBroker({ stateDir: h.stateDir });
    t.after(() => b.close());
    const bootstrap = { headers: { 'x-tvn-operator-bootstrap': bootstrapSecret(h.stateDir) } };
    const session = (await b.post('/v1/operator/session', { label: 't' }, bootstrap)).body.sessionId;
    fs.writeFileSync(path.join(h.stateDir, 'stray.txt'), 'x', { mode: 0o644 });
    fs.chmodSync(path.join(h.stateDir, 'stray.txt'), 0o644);
    const proof = (await b.get('/v1/proof/latest', { session })).body.proof;
    const byName = Object.fromEntries(proof.results.map((r) => [r.name, r]));
    assert.equal(proof.ok, false);
    assert.equal(byName.audit_chain.status, 'fail');
    assert.match(byName.audit_chain.detail, /chain breaks at event 2/);
    assert.equal(byName.state_modes_owner_only.status, 'fail');
    assert.match(byName.state_modes_owner_only.detail, /stray\.txt/);
    assert.equal(byName.loopback_bind.status, 'pass');
  });
});

test('kill -9 in the middle of writes never leaves a broken vault file or audit chain, nor a change without its record', async () => {
  const dir = tempStateDir();
  const writer = fileURLToPath(new URL('../testkit/stateWriter.mjs', import.meta.url));
  for (let round = 0; round < 6; round++) {
    const child = spawn(process.execPath, [writer, dir], { stdio: ['ignore', 'pipe', 'inherit'] });
    await new Promise((resolve) => child.stdout.once('data', resolve));
    await new Promise((resolve) => setTimeout(resolve, 30 + round * 37));
    child.kill('SIGKILL');
    await new Promise((resolve) => child.once('exit', resolve));

    const store = openStore(dir); // throws on a torn or invalid file
    assert.ok(store.state.masterKeys.length > 0);
    const log = openAuditLog(dir);
    store.attachAudit(log);
    store.recoverOutbox();
    assert.equal((await log.verifyFile()).ok, true, `round ${round}`);
    assert.equal(log.integrity.ok, true, `round ${round}`);
    const recorded = new Set(JSON.parse(log.pageBytes(10_000)).events.map((e) => e.keyId));
    const unrecorded = store.state.masterKeys.filter((k) => !recorded.has(k.id));
    assert.deepEqual(unrecorded.map((k) => k.id), [], `round ${round}: every stored change has its audit record`);
    await log.close();
  }
  const broker = await startBroker({ stateDir: dir });
  assert.deepEqual(fs.readdirSync(dir).filter((n) => n.endsWith('.tmp')), [], 'a killed writer leaves no temp file behind the broker');
  await broker.close();
});

test('no secret reaches the broker log, the audit file or an error answer', async (t) => {
  const fake = await startFakeProvider();
  t.after(() => fake.close());
  const logs = [];
  const h = await startReadyBroker({ env: { ...fake.env(), SWITCHYARD_PROVIDER_TIMEOUT_SECONDS: '0.2' }, logs });
  t.after(() => h.close());
  const s = { session: h.session };
  const answers = [];
  const keep = (res) => {
    if (res.status >= 300) answers.push(res.text);
    return res;
  };
  keep(await h.post('/v1/credentials/telegram', { token: 'valid-123:telegram-secret', accountId: 'bot' }, s));
  keep(await h.post('/v1/credentials/telegram', { token: 'rejected-999:telegram-secret', accountId: 'bot2' }, s));
  keep(await h.post('/v1/credentials/github', { token: 'hang-github-secret', accountId: 'slow' }, s));
  const { key } = keep(await h.post('/v1/master-keys', { agentId: 'a', name: 'a', connectorIds: ['telegram'] }, s)).body;
  keep(await h.post('/v1/execute', { connectorId: 'telegram', toolId: 'telegram.bot.get' }, { bearer: key }));
  keep(await h.post('/v1/operator/session', { passphrase: `${PASSPHRASE}-wrong` }));
  keep(await h.post('/v1/operator/session', { label: 'x' }, { headers: { 'x-tvn-operator-bootstrap': 'guessed-bootstrap-secret' } }));
  keep(await h.get('/v1/connectors', { session: `${h.session}x` }));

  const secrets = ['telegram-secret', 'hang-github-secret', key, h.session, PASSPHRASE, bootstrapSecret(h.stateDir), 'guessed-bootstrap-secret'];
  const auditText = fs.readFileSync(path.join(h.stateDir, 'audit.log'), 'utf8');
  for (const secret of secrets) {
    assert.ok(!auditText.includes(secret), 'audit file');
    assert.ok(!logs.join('\n').includes(secret), 'broker log');
    assert.ok(!answers.join('\n').includes(secret), 'error answers');
  }
  assert.equal(answers.length, 5);
});

test('requests without a credential cannot grow the audit chain without bound: a flood is one record and one summary', async () => {
  const h = await startReadyBroker();
  const count = async () => (await h.get('/v1/audit?limit=10000', { session: h.session })).body.events.length;
  const before = await count();
  const flood = async (send) => {
    for (let batch = 0; batch < 3; batch++) await Promise.all(Array.from({ length: 50 }, send));
  };
  await flood(() => h.post('/v1/local/keychain/repair-trust', { repairAll: true }));
  await flood(() => h.post('/v1/operator/session', { label: 'x' }, { headers: { 'x-tvn-operator-bootstrap': 'guessed' } }));
  assert.equal(await count(), before + 2, 'the first of each kind only');
  await h.close(); // a window still open is summarised at shutdown
  const events = readLines(h.stateDir).map((line) => JSON.parse(line));
  assert.equal(events.length, before + 4, 'plus one summary of each kind');
  const summaries = events.filter((e) => /149 more like this within 60 s/.test(e.reason ?? '')).map((e) => `${e.action}:${e.decision}`).sort();
  assert.deepEqual(summaries, ['keychain.repair:skipped', 'operator.session.create:denied']);

  const quick = await startBroker({ stateDir: h.stateDir, auditCoalesceMs: 200 });
  for (let i = 0; i < 3; i++) await quick.post('/v1/local/keychain/repair-trust', { repairAll: true });
  await new Promise((resolve) => setTimeout(resolve, 400));
  await quick.post('/v1/local/keychain/repair-trust', { repairAll: true });
  await quick.close();
  const later = readLines(h.stateDir).slice(before + 4).map((line) => JSON.parse(line).reason);
  assert.deepEqual(later, ['no keychain on linux', 'no keychain on linux; 2 more like this within 0.2 s', 'no keychain on linux'], 'a window that ends is summarised then');
});
