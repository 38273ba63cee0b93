// The operator bootstrap secret and session minting. In file mode the secret lives in
// "operator-bootstrap.local" (created once, stable across restarts). In sealed mode the desktop
// app holds the only copy; the broker keeps a verifier and learns the secret when it is presented.
import path from 'node:path';
import { HttpError } from '../http/errors.mjs';
import { constantTimeEqual, randomSecret, sha256Hex } from '../lib/ids.mjs';
import { readPrivateFile, writePrivateFileAtomic } from './files.mjs';
import { checkPassphraseShape } from './vault.mjs';

export const BOOTSTRAP_FILE = 'operator-bootstrap.local';
const verifierOf = (secret) => sha256Hex(`torvane-operator-bootstrap:${secret}`);

// Slows down passphrase guessing: after a run of failures, refuse for a while. A check in progress
// counts against the run from its start, so guesses sent all at once are held to the same limit
// as guesses sent one after another.
function createFailureGate({ limit = 10, coolDownMs = 60_000, now = () => Date.now() } = {}) {
  let failures = 0;
  let inProgress = 0;
  let blockedUntil = 0;
  const refusal = () => new HttpError(429, 'too many failed passphrase attempts; wait a minute and try again');
  return {
    // Runs check() (the slow passphrase test, true when it passed) as one counted attempt.
    async attempt(check) {
      if (now() < blockedUntil || failures + inProgress >= limit) throw refusal();
      inProgress += 1;
      let passed = false;
      try {
        passed = await check();
      } finally {
        inProgress -= 1;
        if (passed) failures = 0;
        else if (++failures >= limit) {
          blockedUntil = now() + coolDownMs;
          failures = 0;
        }
      }
      return passed;
    },
  };
}

export function createOperator({ config, store, vault, sessions, log }) {
  const file = path.join(config.stateDir, BOOTSTRAP_FILE);
  let knownSecret = null;
  const gate = createFailureGate();

  function loadFileSecret() {
    const existing = readPrivateFile(file)?.toString('utf8').trim();
    if (existing) return existing;
    const secret = randomSecret(32);
    writePrivateFileAtomic(file, `${secret}\n`);
    log('operator: created a new operator bootstrap secret file');
    return secret;
  }

  if (!config.sealed) {
    knownSecret = loadFileSecret();
    if (store.state.operator.bootstrapVerifier !== verifierOf(knownSecret)) {
      store.update((draft) => {
        draft.operator.bootstrapVerifier = verifierOf(knownSecret);
      });
    }
  }

  function verifyBootstrap(secret) {
    const verifier = store.state.operator.bootstrapVerifier;
    if (typeof secret !== 'string' || secret.trim() === '' || !verifier) return false;
    if (!constantTimeEqual(verifierOf(secret.trim()), verifier)) return false;
    knownSecret = secret.trim();
    return true;
  }

  function bootstrapOrThrow(header) {
    if (header === undefined || header === '') throw new HttpError(401, 'local operator session required');
    if (!verifyBootstrap(String(header))) throw new HttpError(401, 'invalid operator bootstrap secret');
    return knownSecret;
  }

  return {
    unlockMethod: config.sealed ? 'secure-enclave' : 'local-file',
    get bootstrapSecret() {
      return knownSecret;
    },
    // For routes that accept the bootstrap header in place of a session (first-run vault setup).
    authenticateBootstrap(header) {
      bootstrapOrThrow(header);
      return { kind: 'bootstrap' };
    },

    mintWithBootstrap(header, label) {
      const secret = bootstrapOrThrow(header);
      if (vault.configured && !vault.unlockWithBootstrap(secret)) {
        // The secret changed since the data key was wrapped: only the passphrase can re-wrap it.
        throw new HttpError(401, 'Operator passphrase is required');
      }
      return sessions.mint(label, 'bootstrap');
    },

    async unlockWithPassphrase(passphrase) {
      checkPassphraseShape(passphrase);
      if (!(await gate.attempt(() => vault.unlockWithPassphrase(passphrase)))) throw new HttpError(401, 'invalid local operator passphrase');
      vault.rewrapBootstrap(knownSecret);
    },

    async mintWithPassphrase(passphrase, label) {
      await this.unlockWithPassphrase(passphrase);
      return sessions.mint(label, 'passphrase');
    },
  };
}
