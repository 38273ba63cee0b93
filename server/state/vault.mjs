// The vault: a random 256-bit data key encrypts every stored credential (AES-256-GCM, a fresh
// nonce per record, the record id as associated data). The data key is wrapped twice: by a key
// from the operator passphrase (scrypt, parameters stored beside it) and by a key derived from the
// operator bootstrap secret, so a bootstrap-minted session opens the vault as well.
import crypto from 'node:crypto';
import { HttpError } from '../http/errors.mjs';
import { nowIso } from '../lib/ids.mjs';
import { checkPassphrase } from '../lib/passphrase.mjs';
import { deriveBootstrapKey, deriveScryptKey, newScryptParams, open, seal } from './vaultCrypto.mjs';

const PASSPHRASE_AAD = 'torvane-vault-data-key:passphrase';
const BOOTSTRAP_AAD = 'torvane-vault-data-key:bootstrap';
export const MIN_PASSPHRASE_LENGTH = 8;

export const VAULT_LOCKED = 'Vault is locked: unlock Torvane on this computer first';
export const vaultLocked = () => new HttpError(423, VAULT_LOCKED);

export const checkPassphraseShape = (passphrase) => checkPassphrase(passphrase, { min: MIN_PASSPHRASE_LENGTH, what: 'Vault passphrase' });

function bootstrapWrap(dataKey, secret) {
  const salt = crypto.randomBytes(16).toString('base64');
  return { salt, box: seal(deriveBootstrapKey(secret, salt), dataKey, BOOTSTRAP_AAD) };
}

// onUnlock(dataKey) runs whenever the data key becomes available, onLock() when it goes.
export function createVault(store, { scryptParams, onUnlock = () => {}, onLock = () => {} } = {}) {
  let dataKey = null;
  // Credentials opened while unlocked, by their sealed box: every agent call reads one. A changed
  // record gets a new box (updates replace the state), and locking forgets them all.
  let opened = new WeakMap();
  const unlocked = (key) => {
    dataKey = key;
    opened = new WeakMap();
    onUnlock(key);
  };

  const header = () => store.state.vault;

  function openBootstrapWrap(secret) {
    const wrap = header()?.bootstrapWrap;
    if (!wrap || !secret) return null;
    return open(deriveBootstrapKey(secret, wrap.salt), wrap.box, BOOTSTRAP_AAD);
  }

  return {
    get status() {
      if (!header()) return 'unconfigured';
      return dataKey ? 'unlocked' : 'locked';
    },
    get configured() {
      return Boolean(header());
    },

    // options: { audit } as for store.update.
    async setup(passphrase, bootstrapSecret, options) {
      checkPassphraseShape(passphrase);
      if (header()) throw new HttpError(409, 'Vault is already set up');
      const key = crypto.randomBytes(32);
      const kdf = newScryptParams(scryptParams);
      const passphraseKey = await deriveScryptKey(passphrase, kdf);
      if (header()) throw new HttpError(409, 'Vault is already set up');
      store.update((draft) => {
        draft.vault = {
          createdAt: nowIso(),
          cipher: 'aes-256-gcm',
          kdf,
          passphraseWrap: seal(passphraseKey, key, PASSPHRASE_AAD),
          bootstrapWrap: bootstrapSecret ? bootstrapWrap(key, bootstrapSecret) : null,
        };
      }, options);
      unlocked(key);
    },

    // True when the passphrase opens the data key (the vault is then unlocked).
    async unlockWithPassphrase(passphrase) {
      const current = header();
      if (!current) throw new HttpError(409, 'Vault is not set up yet: set a vault passphrase first');
      const key = open(await deriveScryptKey(passphrase, current.kdf), current.passphraseWrap, PASSPHRASE_AAD);
      if (!key) return false;
      unlocked(key);
      return true;
    },

    // True when the bootstrap wrap opens with this secret (the vault is then unlocked).
    unlockWithBootstrap(secret) {
      const key = openBootstrapWrap(secret);
      if (!key) return false;
      unlocked(key);
      return true;
    },

    bootstrapWrapMatches(secret) {
      return Boolean(openBootstrapWrap(secret));
    },

    // Re-wraps the unlocked data key for the current bootstrap secret (after it changed).
    rewrapBootstrap(secret) {
      if (!dataKey || !secret || openBootstrapWrap(secret)) return;
      const key = dataKey;
      store.update((draft) => {
        draft.vault.bootstrapWrap = bootstrapWrap(key, secret);
      });
    },

    encrypt(recordId, plaintext) {
      if (!dataKey) throw vaultLocked();
      return seal(dataKey, Buffer.from(plaintext, 'utf8'), recordId);
    },

    decrypt(recordId, box) {
      return this.openCredential(recordId, box).text;
    },

    // The opened credential, { recordId, text }: the same object for as long as it stays opened,
    // so what is derived from it can be kept beside it (in a WeakMap) and go with it.
    openCredential(recordId, box) {
      if (!dataKey) throw vaultLocked();
      const known = opened.get(box);
      if (known?.recordId === recordId) return known;
      const plain = open(dataKey, box, recordId);
      if (!plain) throw new HttpError(500, `stored credential ${recordId} does not decrypt; the vault file may be damaged`);
      const credential = Object.freeze({ recordId, text: plain.toString('utf8') });
      opened.set(box, credential);
      return credential;
    },

    lock() {
      dataKey = null;
      opened = new WeakMap();
      onLock();
    },
  };
}
