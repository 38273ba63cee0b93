// Starts the real broker on an ephemeral loopback port with a temporary state directory, and
// gives tests a small JSON client for it.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createBroker } from '../app.mjs';

export const FAST_SCRYPT = { N: 1024, r: 8, p: 1 };
export const PASSPHRASE = 'correct horse battery';

// Temporary roots live until the test process ends (a test may restart a broker on the same
// state), then they go.
const tempRoots = [];
process.once('exit', () => {
  for (const root of tempRoots) fs.rmSync(root, { recursive: true, force: true });
});

export function tempStateDir() {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-broker-'));
  tempRoots.push(root);
  return path.join(root, 'state');
}

// Extra options (approvalTtlMs, …) go to createBroker as they are.
export async function startBroker({ env = {}, stateDir = tempStateDir(), logs = [], ...options } = {}) {
  const broker = createBroker({
    env: { HOME: path.dirname(stateDir), SWITCHYARD_STATE_DIR: stateDir, ...env },
    port: 0,
    scryptParams: FAST_SCRYPT,
    log: (line) => logs.push(line),
    ...options,
  });
  await broker.start();
  broker.server.unref(); // a failed test that never closes it must not keep the run alive
  const client = makeClient(broker.url);
  return { broker, stateDir, logs, ...client, close: () => broker.close() };
}

export function makeClient(url) {
  async function request(method, pathname, { body, headers = {}, session, bearer } = {}) {
    const h = { ...headers };
    if (session) h['x-tvn-operator-session'] = session;
    if (bearer) h.authorization = `Bearer ${bearer}`;
    let payload;
    if (body !== undefined) {
      payload = typeof body === 'string' ? body : JSON.stringify(body);
      h['content-type'] ??= 'application/json';
    }
    const res = await fetch(url + pathname, { method, headers: h, body: payload });
    const text = await res.text();
    let json;
    try {
      json = text ? JSON.parse(text) : null;
    } catch {
      json = undefined;
    }
    return { status: res.status, body: json, text, headers: res.headers };
  }
  return {
    url,
    request,
    get: (p, opts) => request('GET', p, opts),
    post: (p, body = {}, opts = {}) => request('POST', p, { ...opts, body }),
  };
}

export function bootstrapSecret(stateDir) {
  return fs.readFileSync(path.join(stateDir, 'operator-bootstrap.local'), 'utf8').trim();
}

// A broker with a set-up, unlocked vault and an operator session.
export async function startReadyBroker(options = {}) {
  const h = await startBroker(options);
  const headers = { 'x-tvn-operator-bootstrap': bootstrapSecret(h.stateDir) };
  const minted = await h.post('/v1/operator/session', { label: 'test' }, { headers });
  const setup = await h.post('/v1/vault/setup', { passphrase: PASSPHRASE }, { session: minted.body.sessionId });
  if (setup.status !== 200) throw new Error(`vault setup failed: ${setup.text}`);
  return { ...h, session: minted.body.sessionId };
}
