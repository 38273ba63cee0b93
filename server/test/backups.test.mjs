import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { fileURLToPath } from 'node:url';
import { startReadyBroker, FAST_SCRYPT, PASSPHRASE } from '../testkit/brokerHarness.mjs';
import { startFakeProvider } from '../testkit/fakeProvider.mjs';
import { readConfig } from '../config.mjs';
import { createServices } from '../services.mjs';
import { restoreBackup } from '../backups/backups.mjs';

const BACKUP_PASSPHRASE = 'backup passphrase \u00e9\u00e9';
const serverDir = path.dirname(path.dirname(fileURLToPath(import.meta.url)));

describe('encrypted backups', () => {
  let fake;
  let origin;
  let a; // the broker backed up
  let b; // a fresh broker restored into
  let agent;
  let backup;
  const vaultText = (h) => fs.readFileSync(path.join(h.stateDir, 'vault.json'), 'utf8');
  const restore = (h, body) => h.post('/v1/backups/restore', body, { session: h.session });
  const proxyUserCall = (h, profileId, serviceId) =>
    h.post('/v1/proxy/request', { profileId, serviceId, method: 'GET', path: '/github/user' }, { bearer: agent.key });

  before(async () => {
    fake = await startFakeProvider();
    origin = new URL(fake.env().TVN_PROVIDER_BASE_URL_GITHUB).origin;
    a = await startReadyBroker({ env: fake.env() });
    b = await startReadyBroker({ env: fake.env() });
    const s = { session: a.session };
    await a.post('/v1/credentials/github', { token: 'valid-gh-backup-token', accountId: 'default' }, s);
    agent = (await a.post('/v1/master-keys', { agentId: 'hermes', name: 'hermes', connectorIds: ['github'] }, s)).body;
    const service = { id: 'svc_github_1', connectorId: 'github', accountId: 'default', allowedOrigins: [origin], allowedMethods: ['GET'], allowedPathPrefixes: ['/github/user'], risk: 'low', credential: { placement: 'authorization_bearer' } };
    assert.equal((await a.post('/v1/proxy/services', service, s)).status, 201);
    agent.profile = (await a.post('/v1/proxy/profiles', { name: 'hermes proxy', masterKeyId: agent.record.id, serviceIds: [service.id] }, s)).body.profile;
    backup = (await a.post('/v1/backups/export', { passphrase: BACKUP_PASSPHRASE, note: 'Mac app export' }, s)).body;
  });
  after(async () => {
    await a.close();
    await b.close();
    await fake.close();
  });

  test('an export is one encrypted document that a fresh vault restores into a working state', async () => {
    assert.deepEqual(Object.keys(backup).sort(), ['cipher', 'ciphertext', 'createdAt', 'format', 'kdf', 'nonce', 'note', 'tag', 'version']);
    assert.deepEqual([backup.format, backup.version, backup.cipher, backup.note], ['torvane-backup', 1, 'aes-256-gcm', 'Mac app export']);
    assert.deepEqual([backup.kdf.name, backup.kdf.N, backup.kdf.r, backup.kdf.p, backup.kdf.keyLength], ['scrypt', FAST_SCRYPT.N, 8, 1, 32]);
    const text = JSON.stringify(backup);
    for (const secret of ['valid-gh-backup-token', BACKUP_PASSPHRASE, agent.key, 'hermes']) assert.ok(!text.includes(secret), 'nothing readable inside');
    const short = await a.post('/v1/backups/export', { passphrase: '\u00e9'.repeat(11) }, { session: a.session });
    assert.deepEqual([short.status, short.body.error], [400, 'Backup passphrase must be at least 12 characters']);

    const restored = await restore(b, { passphrase: BACKUP_PASSPHRASE, backup });
    assert.equal(restored.status, 200, restored.text);
    assert.deepEqual([restored.body.connections, restored.body.keys, restored.body.proxyProfiles, restored.body.note], [1, 1, 1, 'Mac app export']);
    assert.ok(!vaultText(b).includes('valid-gh-backup-token'), 'credentials are sealed again under the new vault');
    const call = await proxyUserCall(b, agent.profile.id, 'svc_github_1');
    assert.equal(call.status, 200, call.text);
    assert.equal(fake.requests.at(-1).token, 'valid-gh-backup-token');
    const events = (await b.get('/v1/audit', { session: b.session })).body.events;
    assert.ok(events.some((e) => e.action === 'backup.restore' && e.decision === 'allowed'));
  });

  test('a wrong passphrase, a changed, cut or malformed backup restores nothing', async () => {
    const flip = (text) => (text[0] === 'A' ? 'B' : 'A') + text.slice(1);
    const cases = [
      ['wrong passphrase', { passphrase: 'not the backup passphrase', backup }, 'backup could not be decrypted'],
      ['short passphrase', { passphrase: 'short', backup }, 'Backup passphrase must be at least 12 characters'],
      ['ciphertext changed', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, ciphertext: flip(backup.ciphertext) } }, 'backup could not be decrypted'],
      ['tag changed', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, tag: flip(backup.tag) } }, 'backup could not be decrypted'],
      ['note changed', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, note: 'other' } }, 'backup could not be decrypted'],
      ['date changed', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, createdAt: '2020-01-01T00:00:00.000Z' } }, 'backup could not be decrypted'],
      ['kdf changed', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, kdf: { ...backup.kdf, N: 2048 } } }, 'backup could not be decrypted'],
      ['ciphertext cut', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, ciphertext: backup.ciphertext.slice(0, 8) } }, 'backup could not be decrypted'],
      ['ciphertext empty', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, ciphertext: '' } }, 'backup field ciphertext has the wrong length'],
      ['ciphertext not base64', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, ciphertext: `${backup.ciphertext.slice(0, -4)}!!!!` } }, 'backup field ciphertext must be base64'],
      ['nonce missing', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, nonce: undefined } }, 'backup field nonce must be base64'],
      ['hostile kdf', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, kdf: { ...backup.kdf, N: 2 ** 30 } } }, 'backup field kdf must be scrypt parameters'],
      ['other format', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, format: 'torvane-vault' } }, 'backup is not a Torvane backup document'],
      ['newer version', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, version: 2 } }, 'backup version 2 is not supported'],
      ['unknown field', { passphrase: BACKUP_PASSPHRASE, backup: { ...backup, extra: 1 } }, 'backup has an unknown field extra'],
      ['text instead of the document', { passphrase: BACKUP_PASSPHRASE, backup: JSON.stringify(backup) }, 'backup must be the exported backup document'],
      ['no backup', { passphrase: BACKUP_PASSPHRASE }, 'backup must be the exported backup document'],
    ];
    b.broker.services.store.update(() => {}); // last-use times kept in memory go out now, not during the check
    const before = vaultText(b);
    for (const [what, body, error] of cases) {
      const res = await restore(b, body);
      assert.equal(res.status, 400, what);
      assert.ok(res.body.error.startsWith(error), `${what}: ${res.body.error}`);
    }
    const cut = JSON.stringify({ passphrase: BACKUP_PASSPHRASE, backup });
    const truncated = await b.request('POST', '/v1/backups/restore', { body: cut.slice(0, cut.length / 2), session: b.session });
    assert.deepEqual([truncated.status, truncated.body.error], [400, 'malformed JSON body']);
    b.broker.services.store.update((draft) => {
      draft.bulk = 'x'.repeat(b.broker.config.bodyLimitBytes);
    });
    const tooLarge = await b.post('/v1/backups/export', { passphrase: BACKUP_PASSPHRASE }, { session: b.session });
    b.broker.services.store.update((draft) => {
      delete draft.bulk;
    });
    assert.equal(tooLarge.status, 413, 'no backup is handed out that a restore could not take back');
    b.broker.services.vault.lock();
    const locked = [await restore(b, { passphrase: BACKUP_PASSPHRASE, backup }), await b.post('/v1/backups/export', { passphrase: BACKUP_PASSPHRASE }, { session: b.session })];
    await b.broker.services.operator.unlockWithPassphrase(PASSPHRASE);
    assert.deepEqual(locked.map((res) => res.status), [423, 423], 'a locked vault neither exports nor restores');
    assert.equal(vaultText(b), before, 'the state file is untouched');
    const denied = (await b.get('/v1/audit', { session: b.session })).body.events.filter((e) => e.action === 'backup.restore' && e.decision === 'denied');
    assert.ok(denied.length >= cases.length);
    assert.ok(denied.every((e) => !JSON.stringify(e).includes(BACKUP_PASSPHRASE)));
  });

  test('restoring an older backup keeps what was stopped since: revoked keys and profiles, the kill switch', async () => {
    const s = { session: a.session };
    await a.post(`/v1/proxy/profiles/${agent.profile.id}/revoke`, {}, s);
    await a.post('/v1/killswitch', { enabled: true }, s);
    assert.equal((await restore(a, { passphrase: BACKUP_PASSPHRASE, backup })).status, 200);
    assert.equal((await a.get('/v1/killswitch', s)).body.enabled, true);
    await a.post('/v1/killswitch', { enabled: false }, s);
    assert.ok((await a.get('/v1/proxy/profiles', s)).body.profiles.find((p) => p.id === agent.profile.id).revokedAt);
    assert.equal((await proxyUserCall(a, agent.profile.id, 'svc_github_1')).status, 403);

    await a.post(`/v1/master-keys/${agent.record.id}/revoke`, {}, s);
    assert.equal((await restore(a, { passphrase: BACKUP_PASSPHRASE, backup })).status, 200);
    assert.equal((await a.get('/v1/master-keys', s)).body.keys.find((k) => k.id === agent.record.id).status, 'revoked');
    assert.equal((await a.get('/v1/agent/tools', { bearer: agent.key })).status, 401);
  });
});

// A child process restores two backups in turn until it is killed; afterwards the state must be
// one of the two, whole: its records and the credentials they seal.
describe('a kill during restore', () => {
  const fingerprint = (state, readToken) =>
    JSON.stringify({
      connections: state.connections.map((c) => `${c.connectorId}/${c.accountId}=${c.revokedAt ? '-' : readToken(c)}`).sort(),
      keys: state.masterKeys.map((k) => k.id).sort(),
    });

  // Opens the state as a broker would; `doc`, when given, is restored first (in this process).
  async function openState(stateDir, doc) {
    const services = createServices(readConfig({ HOME: path.dirname(stateDir) }, { stateDir, scryptParams: FAST_SCRYPT }), { log: () => {}, bindAddress: () => '' });
    await services.operator.unlockWithPassphrase(PASSPHRASE);
    if (doc) await restoreBackup(services, { passphrase: BACKUP_PASSPHRASE, backup: doc });
    const print = fingerprint(services.store.state, (c) => services.connections.readCredential(c.connectorId, c.accountId));
    services.close();
    return print;
  }

  function startRestorer(stateDir, docsFile) {
    const code = `
      import fs from 'node:fs';
      const { readConfig } = await import(${JSON.stringify(path.join(serverDir, 'config.mjs'))});
      const { createServices } = await import(${JSON.stringify(path.join(serverDir, 'services.mjs'))});
      const { restoreBackup } = await import(${JSON.stringify(path.join(serverDir, 'backups/backups.mjs'))});
      const stateDir = ${JSON.stringify(stateDir)};
      const services = createServices(readConfig({ HOME: stateDir }, { stateDir }), { log: () => {}, bindAddress: () => '' });
      await services.operator.unlockWithPassphrase(${JSON.stringify(PASSPHRASE)});
      const docs = JSON.parse(fs.readFileSync(${JSON.stringify(docsFile)}, 'utf8'));
      for (let i = 0; ; i++) {
        await restoreBackup(services, { passphrase: ${JSON.stringify(BACKUP_PASSPHRASE)}, backup: docs[i % 2] });
        process.stdout.write('restored\\n');
      }`;
    return spawn(process.execPath, ['--input-type=module', '-e', code], { stdio: ['ignore', 'pipe', 'inherit'] });
  }

  // Resolves once the child has reported `count` finished restores; keeps reading after that, so
  // the child is never stopped by a closed pipe instead of the kill.
  function restoresSeen(child, count) {
    return new Promise((resolve, reject) => {
      let seen = 0;
      child.stdout.on('data', (chunk) => {
        seen += String(chunk).split('\n').filter((line) => line === 'restored').length;
        if (seen >= count) resolve();
      });
      child.once('exit', () => reject(new Error('the restoring child ended early')));
    });
  }

  test('leaves the old or the new state, never a mix', async () => {
    const fake = await startFakeProvider();
    const h = await startReadyBroker({ env: fake.env() });
    const s = { session: h.session };
    const exportNow = async () => (await h.post('/v1/backups/export', { passphrase: BACKUP_PASSPHRASE }, s)).body;
    await h.post('/v1/credentials/github', { token: 'valid-first', accountId: 'default' }, s);
    await h.post('/v1/master-keys', { agentId: 'one', connectorIds: ['github'] }, s);
    const first = await exportNow();
    await h.post('/v1/credentials/github', { token: 'valid-second', accountId: 'default' }, s);
    await h.post('/v1/credentials/slack', { token: 'valid-slack', accountId: 'team' }, s);
    await h.post('/v1/master-keys', { agentId: 'two', connectorIds: ['slack'] }, s);
    const second = await exportNow();
    await h.close();
    await fake.close();

    const docsFile = path.join(path.dirname(h.stateDir), 'docs.json');
    fs.writeFileSync(docsFile, JSON.stringify([first, second]), { mode: 0o600 });
    const expected = new Set([await openState(h.stateDir, first), await openState(h.stateDir, second)]);
    assert.equal(expected.size, 2, 'the two backups differ');

    for (let round = 0; round < 8; round++) {
      const child = startRestorer(h.stateDir, docsFile);
      await restoresSeen(child, 3);
      await new Promise((resolve) => setTimeout(resolve, Math.random() * 30));
      child.kill('SIGKILL');
      await once(child, 'exit');
      const found = await openState(h.stateDir);
      assert.ok(expected.has(found), `round ${round}: ${found}`);
    }
  });
});
