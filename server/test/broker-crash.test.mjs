// The real broker killed with SIGKILL under load, again and again, and the audit log tampered with
// in the ways an attacker without the vault key can: nothing acknowledged is lost, every saved
// action has its record, and every tampering shows as a failed self-check.
import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { PASSPHRASE, bootstrapSecret, makeClient, startBroker, startReadyBroker, tempStateDir } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { eventHash, GENESIS_HASH } from '../state/audit.mjs';

const brokerProcess = fileURLToPath(new URL('../testkit/brokerProcess.mjs', import.meta.url));
const withBootstrap = (stateDir) => ({ headers: { 'x-tvn-operator-bootstrap': bootstrapSecret(stateDir) } });
const auditFile = (dir) => path.join(dir, 'audit.log');
const anchorFile = (dir) => path.join(dir, 'audit.anchor');
const readLines = (dir) => fs.readFileSync(auditFile(dir), 'utf8').trim().split('\n');
const writeLines = (dir, lines) => fs.writeFileSync(auditFile(dir), lines.length ? `${lines.join('\n')}\n` : '');

async function spawnBroker(stateDir, env) {
  const child = spawn(process.execPath, [brokerProcess], {
    env: { ...process.env, ...env, HOME: path.dirname(stateDir), SWITCHYARD_STATE_DIR: stateDir },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  child.stderr.on('data', (d) => {
    stderr += d;
  });
  const url = await new Promise((resolve, reject) => {
    child.stdout.once('data', (d) => resolve(String(d).trim()));
    child.once('exit', (code) => reject(new Error(`broker exited with ${code}: ${stderr}`)));
  });
  return { child, client: makeClient(url), stderr: () => stderr };
}

async function session(client, stateDir) {
  const minted = await client.post('/v1/operator/session', { label: 'crash-test' }, withBootstrap(stateDir));
  assert.equal(minted.status, 200, minted.text);
  return { session: minted.body.sessionId };
}

function byName(proof) {
  return Object.fromEntries(proof.results.map((r) => [r.name, r]));
}

test('kill -9 under load: every acknowledged action and call keeps its audit record, every saved action has one, no false alarm', async (t) => {
  const fake = await startFakeProvider();
  t.after(() => fake.close());
  const stateDir = tempStateDir();
  const acknowledged = { links: [], keys: [], calls: [] };
  let agentKey = null;
  let running = null;
  t.after(() => running?.kill('SIGKILL')); // a failed round must not leave its broker behind
  for (let round = 0; round < 12; round++) {
    const { child, client, stderr } = await spawnBroker(stateDir, fake.env());
    running = child;
    const s = await session(client, stateDir);
    if (round === 0) {
      assert.equal((await client.post('/v1/vault/setup', { passphrase: PASSPHRASE }, s)).status, 200);
      await client.post('/v1/credentials/github', { token: 'valid-github', accountId: 'default' }, s);
      agentKey = (await client.post('/v1/master-keys', { agentId: 'load', name: 'load', connectorIds: ['github'] }, s)).body.key;
    }
    // Everything the broker saw before this start must be there, and nothing falsely flagged.
    const proof = (await client.get('/v1/proof/latest', s)).body.proof;
    assert.equal(proof.ok, true, `round ${round}: ${JSON.stringify(proof.results)} ${stderr()}`);
    const listed = await client.get('/v1/audit?limit=10000', s);
    assert.equal(listed.status, 200, `round ${round}: ${listed.text} ${stderr()}`);
    const { events } = listed.body;
    const recorded = (action, field) => new Set(events.filter((e) => e.action === action && e.decision === 'allowed').map((e) => e[field]));
    const linkEvents = recorded('credential.link', 'accountId');
    const keyEvents = recorded('agent_key.create', 'keyId');
    const callEvents = new Set(events.filter((e) => e.action === 'tool.execute').map((e) => e.correlationId));
    const connections = (await client.get('/v1/connections', s)).body.connections;
    const keys = (await client.get('/v1/master-keys', s)).body.keys;
    for (const account of acknowledged.links) assert.ok(linkEvents.has(account), `round ${round}: acknowledged link ${account} has its record`);
    for (const id of acknowledged.keys) assert.ok(keyEvents.has(id), `round ${round}: acknowledged key ${id} has its record`);
    for (const id of acknowledged.calls) assert.ok(callEvents.has(id), `round ${round}: acknowledged call ${id} has its record`);
    for (const c of connections) assert.ok(linkEvents.has(c.accountId), `round ${round}: stored connection ${c.accountId} has its record`);
    for (const k of keys) assert.ok(keyEvents.has(k.id), `round ${round}: stored key ${k.name} has its record`);

    // Load of every kind, then a kill at a moment nobody chose.
    let stop = false;
    const worker = async (kind, n) => {
      for (let i = 0; !stop; i++) {
        const name = `r${round}-${kind}${n}-${i}`;
        try {
          if (kind === 'link') {
            const res = await client.post('/v1/credentials/github', { token: 'valid-github', accountId: name }, s);
            if (res.status === 201) acknowledged.links.push(name);
          } else if (kind === 'key') {
            const res = await client.post('/v1/master-keys', { agentId: name, name, connectorIds: ['github'] }, s);
            if (res.status === 201) acknowledged.keys.push(res.body.record.id);
          } else {
            const res = await client.post('/v1/execute', { connectorId: 'github', toolId: 'github.user.get' }, { bearer: agentKey });
            if (res.status === 200) acknowledged.calls.push(res.body.correlationId);
          }
        } catch {
          return; // the broker is gone
        }
      }
    };
    const load = ['link', 'key', 'call', 'call', 'call', 'call'].map((kind, n) => worker(kind, n));
    // Kill once this round has had answers of every kind (however slow the disk is), a little later.
    const counts = () => Object.values(acknowledged).map((list) => list.length);
    const start = counts();
    while (counts().some((n, i) => n === start[i])) await new Promise((resolve) => setTimeout(resolve, 10));
    await new Promise((resolve) => setTimeout(resolve, (round * 37) % 120));
    child.kill('SIGKILL');
    await new Promise((resolve) => child.once('exit', resolve));
    stop = true;
    await Promise.all(load);
  }
  assert.ok(acknowledged.calls.length > 0 && acknowledged.links.length > 0 && acknowledged.keys.length > 0, JSON.stringify(Object.values(acknowledged).map((a) => a.length)));
});

describe('a tampered audit log shows as a failed self-check and in the log', () => {
  // Each case changes the files of a stopped broker; the next start must notice.
  const rehashFrom = (lines, index) => {
    let previous = index === 0 ? GENESIS_HASH : JSON.parse(lines[index - 1]).hash;
    return lines.map((line, i) => {
      if (i < index) return line;
      const event = JSON.parse(line);
      event.previousHash = previous;
      event.hash = eventHash(previous, event);
      previous = event.hash;
      return JSON.stringify(event);
    });
  };
  const cases = [
    ['the last events cut off', (dir) => writeLines(dir, readLines(dir).slice(0, -2)), /shorter than its anchor/],
    ['the log deleted', (dir) => fs.rmSync(auditFile(dir)), /shorter than its anchor/],
    ['the anchor deleted', (dir) => fs.rmSync(anchorFile(dir)), /anchor file is missing/],
    ['log and anchor deleted', (dir) => {
      fs.rmSync(auditFile(dir));
      fs.rmSync(anchorFile(dir));
    }, /anchor file is missing/],
    ['an event edited and the rest re-hashed', (dir) => {
      const lines = readLines(dir);
      const event = JSON.parse(lines[1]);
      event.decision = 'skipped'; // as long as "allowed": the file keeps its size
      lines[1] = JSON.stringify(event);
      writeLines(dir, rehashFrom(lines, 1));
    }, /is not the one that was anchored/],
    ['events cut and the anchor rewritten to match, without the key', (dir) => {
      const lines = readLines(dir).slice(0, -2);
      writeLines(dir, lines);
      const last = JSON.parse(lines.at(-1));
      const forged = Buffer.alloc(1024, ' ');
      const stored = JSON.parse(fs.readFileSync(anchorFile(dir), 'utf8').slice(0, 512));
      forged.write(JSON.stringify({ ...stored, counter: stored.counter + 10, sequence: last.sequence, hash: last.hash, size: fs.statSync(auditFile(dir)).size }));
      fs.writeFileSync(anchorFile(dir), forged);
    }, /does not carry this vault's seal/],
    ['the anchor file scrambled', (dir) => fs.writeFileSync(anchorFile(dir), 'x'.repeat(1024)), /anchor file is unreadable/],
  ];
  for (const [name, tamper, reason] of cases) {
    test(name, async (t) => {
      const h = await startReadyBroker();
      for (const enabled of [true, false, true, false]) await h.post('/v1/killswitch', { enabled }, { session: h.session });
      await h.close();
      tamper(h.stateDir);
      const logs = [];
      const b = await startBroker({ stateDir: h.stateDir, logs });
      t.after(() => b.close());
      const s = await session(b, h.stateDir);
      const proof = (await b.get('/v1/proof/latest', s)).body.proof;
      assert.equal(proof.ok, false);
      assert.equal(byName(proof).audit_anchor.status, 'fail');
      assert.match(byName(proof).audit_anchor.detail, reason);
      assert.ok(logs.some((line) => /audit: integrity check failed/.test(line)), logs.join('\n'));
      // The finding stays after the next restart: the anchor is left where it was.
      await b.close();
      const again = await startBroker({ stateDir: h.stateDir });
      t.after(() => again.close());
      const later = (await again.get('/v1/proof/latest', await session(again, h.stateDir))).body.proof;
      assert.equal(byName(later).audit_anchor.status, 'fail', 'still reported after a restart');
    });
  }

  test('an event edited in place while the broker runs', async (t) => {
    const h = await startReadyBroker();
    t.after(() => h.close());
    for (const enabled of [true, false]) await h.post('/v1/killswitch', { enabled }, { session: h.session });
    assert.equal((await h.get('/v1/proof/latest', { session: h.session })).body.proof.ok, true);
    const lines = readLines(h.stateDir);
    lines[1] = lines[1].replace('"allowed"', '"denied!"');
    writeLines(h.stateDir, lines);
    const proof = (await h.get('/v1/proof/latest', { session: h.session })).body.proof;
    assert.equal(byName(proof).audit_chain.status, 'fail');
    assert.match(byName(proof).audit_chain.detail, /chain breaks at event 2/);
  });

  test('a log from before anchoring is checked whole once and anchored at the first unlock', async (t) => {
    const h = await startReadyBroker();
    await h.post('/v1/killswitch', { enabled: true }, { session: h.session });
    await h.close();
    // What an older broker left: no anchor, no marker.
    fs.rmSync(anchorFile(h.stateDir));
    const vaultFile = path.join(h.stateDir, 'vault.json');
    const doc = JSON.parse(fs.readFileSync(vaultFile, 'utf8'));
    delete doc.vault.auditAnchorKeyId;
    fs.writeFileSync(vaultFile, JSON.stringify(doc));
    const b = await startBroker({ stateDir: h.stateDir });
    t.after(() => b.close());
    const proof = (await b.get('/v1/proof/latest', await session(b, h.stateDir))).body.proof;
    assert.equal(proof.ok, true, JSON.stringify(proof.results));
    assert.ok(fs.existsSync(anchorFile(h.stateDir)));
  });
});
