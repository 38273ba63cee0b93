import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { PASSPHRASE, bootstrapSecret, startBroker, tempStateDir } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { createVault } from '../state/vault.mjs';
import { openStore } from '../state/store.mjs';
import { ensurePrivateDir } from '../state/files.mjs';

const mode = (file) => fs.statSync(file).mode & 0o777;
const withBootstrap = (secret) => ({ headers: { 'x-tvn-operator-bootstrap': secret } });

describe('operator bootstrap secret and sessions', () => {
  test('the bootstrap file is owner-only, created once and stable across restarts', async () => {
    const first = await startBroker();
    const file = path.join(first.stateDir, 'operator-bootstrap.local');
    const secret = bootstrapSecret(first.stateDir);
    assert.match(secret, /^[A-Za-z0-9_-]{43}$/);
    assert.equal(mode(file), 0o600);
    assert.equal(mode(first.stateDir), 0o700);
    for (const name of fs.readdirSync(first.stateDir)) assert.equal(mode(path.join(first.stateDir, name)), 0o600, name);
    assert.deepEqual((await first.get('/v1/operator/status')).body, { enabled: true, activeSessions: 0, sessionTtlSeconds: 28800, unlockMethod: 'local-file' });
    await first.close();
    const second = await startBroker({ stateDir: first.stateDir });
    assert.equal(bootstrapSecret(second.stateDir), secret);
    await second.close();
  });

  test('minting refuses with the exact texts the app reads', async () => {
    const h = await startBroker();
    const secret = bootstrapSecret(h.stateDir);
    const cases = [
      [{}, {}, 401, 'local operator session required'],
      [{}, withBootstrap('wrong-secret'), 401, 'invalid operator bootstrap secret'],
      [{ passphrase: 'short' }, {}, 400, 'Vault passphrase must be at least 8 characters'],
      [{ passphrase: 'e\u0301'.repeat(7) }, {}, 400, 'Vault passphrase must be at least 8 characters'], // 14 code points, 7 characters
      [{ passphrase: 12345678 }, {}, 400, 'passphrase must be a string'],
      [{ passphrase: PASSPHRASE }, {}, 409, 'Vault is not set up yet: set a vault passphrase first'],
      [{ label: 7 }, withBootstrap(secret), 400, 'label must be a string'],
    ];
    for (const [body, opts, status, error] of cases) {
      const res = await h.post('/v1/operator/session', body, opts);
      assert.deepEqual([res.status, res.body.error], [status, error], JSON.stringify(body));
    }
    const minted = await h.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap(secret));
    assert.equal(minted.status, 200);
    assert.match(minted.body.sessionId, /^[A-Za-z0-9_-]{43}$/);
    assert.ok(Date.parse(minted.body.expiresAt) > Date.now());
    assert.equal((await h.get('/v1/operator/status')).body.activeSessions, 1);

    assert.equal((await h.post('/v1/vault/setup', { passphrase: 'short' }, withBootstrap(secret))).body.error, 'Vault passphrase must be at least 8 characters');
    assert.equal((await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(secret))).status, 200);
    assert.equal((await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(secret))).status, 409);
    const wrong = await h.post('/v1/operator/session', { label: 'x', passphrase: 'not the passphrase' });
    assert.deepEqual([wrong.status, wrong.body.error], [401, 'invalid local operator passphrase']);
    const unlock = await h.post('/v1/vault/unlock', { passphrase: 'not the passphrase' }, { session: minted.body.sessionId });
    assert.deepEqual([unlock.status, unlock.body.error], [401, 'invalid local operator passphrase']);
    assert.equal((await h.post('/v1/operator/session', { label: 'x', passphrase: PASSPHRASE })).status, 200);
    await h.close();
  });

  test('vault state moves unconfigured → unlocked → locked after restart → unlocked by a bootstrap session', async () => {
    const h = await startBroker();
    const secret = bootstrapSecret(h.stateDir);
    assert.equal((await h.get('/health')).body.vault, 'unconfigured');
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(secret));
    assert.equal((await h.get('/health')).body.vault, 'unlocked');
    await h.close();
    const again = await startBroker({ stateDir: h.stateDir });
    assert.equal((await again.get('/health')).body.vault, 'locked');
    assert.equal((await again.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap(secret))).status, 200);
    assert.equal((await again.get('/health')).body.vault, 'unlocked');
    await again.close();
  });

  test('a changed bootstrap secret needs the passphrase once, which re-wraps the data key', async () => {
    const h = await startBroker();
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(bootstrapSecret(h.stateDir)));
    await h.close();
    fs.rmSync(path.join(h.stateDir, 'operator-bootstrap.local'));

    const restarted = await startBroker({ stateDir: h.stateDir });
    const fresh = bootstrapSecret(h.stateDir);
    const refused = await restarted.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap(fresh));
    assert.deepEqual([refused.status, refused.body.error], [401, 'Operator passphrase is required']);
    assert.equal((await restarted.get('/health')).body.vault, 'locked');
    assert.equal((await restarted.post('/v1/operator/session', { label: 'unlock', passphrase: PASSPHRASE })).status, 200);
    await restarted.close();

    const third = await startBroker({ stateDir: h.stateDir });
    assert.equal((await third.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap(fresh))).status, 200);
    assert.equal((await third.get('/health')).body.vault, 'unlocked');
    await third.close();
  });

  test('sealed mode keeps only a verifier: no file is written, the presented secret opens the vault', async () => {
    const h = await startBroker();
    const secret = bootstrapSecret(h.stateDir);
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(secret));
    await h.close();
    const file = path.join(h.stateDir, 'operator-bootstrap.local');
    fs.rmSync(file); // what the app does once the sealed copy is verified

    const sealed = await startBroker({ stateDir: h.stateDir, env: { SWITCHYARD_OPERATOR_SEALED: '1' } });
    assert.equal(fs.existsSync(file), false);
    assert.equal((await sealed.get('/v1/operator/status')).body.unlockMethod, 'secure-enclave');
    assert.equal((await sealed.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap('guess'))).status, 401);
    assert.equal((await sealed.post('/v1/operator/session', { label: 'mac-app' }, withBootstrap(secret))).status, 200);
    assert.equal((await sealed.get('/health')).body.vault, 'unlocked');
    assert.equal(fs.existsSync(file), false);
    await sealed.close();
  });

  test('a run of wrong passphrases is slowed down', async () => {
    const h = await startBroker();
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(bootstrapSecret(h.stateDir)));
    const statuses = [];
    for (let i = 0; i < 11; i++) statuses.push((await h.post('/v1/operator/session', { passphrase: `wrong-guess-${i}` })).status);
    assert.deepEqual(statuses, [...Array(10).fill(401), 429]);
    assert.equal((await h.post('/v1/operator/session', { passphrase: PASSPHRASE })).status, 429);
    await h.close();
  });
  test('guesses sent all at once are held to the same limit as guesses in a row', async () => {
    const h = await startBroker();
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(bootstrapSecret(h.stateDir)));
    const guesses = await Promise.all(Array.from({ length: 40 }, (_, i) => h.post('/v1/operator/session', { passphrase: `wrong-guess-${i}` })));
    const statuses = guesses.map((res) => res.status);
    assert.equal(statuses.filter((s) => s === 401).length, 10, statuses.join(','));
    assert.equal(statuses.filter((s) => s === 429).length, 30);
    assert.equal((await h.post('/v1/operator/session', { passphrase: PASSPHRASE })).status, 429);
    await h.close();
  });

  test('an overlong passphrase is a clear 400 on every route that takes one, and never stalls the broker', async () => {
    const h = await startBroker();
    const secret = bootstrapSecret(h.stateDir);
    const session = (await h.post('/v1/operator/session', { label: 't' }, withBootstrap(secret))).body.sessionId;
    const long = 'e\u0301'.repeat(40_000); // 80,000 code units: what used to exhaust the heap
    const vaultTooLong = 'Vault passphrase must be at most 1024 characters';
    const backupTooLong = 'Backup passphrase must be at most 1024 characters';
    const cases = [
      ['/v1/operator/session', { passphrase: long }, {}, vaultTooLong],
      ['/v1/vault/setup', { passphrase: long }, withBootstrap(secret), vaultTooLong],
      ['/v1/vault/unlock', { passphrase: long }, { session }, vaultTooLong],
      ['/v1/backups/export', { passphrase: long }, { session }, backupTooLong],
      ['/v1/backups/restore', { passphrase: long, backup: {} }, { session }, backupTooLong],
    ];
    for (const [route, body, opts, error] of cases) {
      const res = await h.post(route, body, opts);
      assert.deepEqual([res.status, res.body.error], [400, error], route);
    }
    const exact = await h.post('/v1/vault/setup', { passphrase: 'x'.repeat(1024) }, withBootstrap(secret));
    assert.equal(exact.status, 200, 'the longest allowed passphrase is accepted');
    // A bounded flood of the unauthenticated kind: every one is refused and the broker keeps answering.
    const flood = await Promise.all(Array.from({ length: 20 }, () => h.post('/v1/operator/session', { passphrase: 'x'.repeat(200_000) })));
    assert.deepEqual([...new Set(flood.map((res) => res.status))], [400]);
    assert.equal((await h.get('/health')).body.ok, true);
    assert.equal((await h.post('/v1/operator/session', { passphrase: 'x'.repeat(1024) })).status, 200);
    await h.close();
  });
});

describe('vault file', () => {
  test('credentials are sealed: no plaintext on disk, record id bound as associated data', async () => {
    const fake = await startFakeProvider();
    const h = await startBroker({ env: fake.env() });
    await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, withBootstrap(bootstrapSecret(h.stateDir)));
    const session = (await h.post('/v1/operator/session', { passphrase: PASSPHRASE })).body.sessionId;
    for (const account of ['one', 'two']) {
      assert.equal((await h.post('/v1/credentials/openai', { token: `valid-secret-${account}`, accountId: account }, { session })).status, 201);
    }
    await h.close();
    await fake.close();
    const text = fs.readFileSync(path.join(h.stateDir, 'vault.json'), 'utf8');
    assert.ok(!text.includes('valid-secret'), 'no credential in the clear');
    const doc = JSON.parse(text);
    assert.deepEqual(Object.keys(doc.vault.kdf).sort(), ['N', 'keyLength', 'name', 'p', 'r', 'salt']);
    assert.notEqual(doc.connections[0].secret.nonce, doc.connections[1].secret.nonce);

    // Swapping the sealed boxes of two records must not decrypt.
    const store = openStore(h.stateDir);
    const vault = createVault(store);
    assert.equal(await vault.unlockWithPassphrase(PASSPHRASE), true);
    const [a, b] = store.state.connections;
    assert.equal(vault.decrypt(a.id, a.secret), 'valid-secret-one');
    assert.throws(() => vault.decrypt(a.id, b.secret), /does not decrypt/);
  });

  test('a state directory that is shared with others or is a symbolic link is refused', () => {
    const dir = tempStateDir();
    fs.mkdirSync(dir, { recursive: true, mode: 0o755 });
    fs.chmodSync(dir, 0o755);
    assert.throws(() => ensurePrivateDir(dir), /mode 0755/);
    const link = `${dir}-link`;
    fs.chmodSync(dir, 0o700);
    fs.symlinkSync(dir, link);
    assert.throws(() => ensurePrivateDir(link), /symbolic link/);
  });
});
