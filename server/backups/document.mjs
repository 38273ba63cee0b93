// The backup document: the broker's state encrypted under a key from the backup passphrase
// (scrypt), as one JSON object. Every field but the encrypted part itself is authenticated as
// associated data, so a changed note, date or KDF parameter fails like a changed ciphertext.
import { badRequest } from '../http/errors.mjs';
import { canonicalJson } from '../lib/canonical.mjs';
import { checkPassphrase } from '../lib/passphrase.mjs';
import { deriveScryptKey, newScryptParams, open, seal } from '../state/vaultCrypto.mjs';

export const BACKUP_FORMAT = 'torvane-backup';
export const BACKUP_VERSION = 1;
export const BACKUP_CIPHER = 'aes-256-gcm';
export const MIN_BACKUP_PASSPHRASE_LENGTH = 12;
export const MAX_NOTE_LENGTH = 500;
// Backups leave the machine, so they get a costlier KDF than the vault (128 MiB, well under a second).
export const BACKUP_SCRYPT = Object.freeze({ N: 2 ** 17, r: 8, p: 1 });
export const UNREADABLE_BACKUP = 'backup could not be decrypted: the passphrase is wrong or the backup was changed';

// Bounds for parameters read from a document, which may be hostile: a huge N would tie up memory.
const KDF_LIMITS = { minLogN: 10, maxLogN: 20, maxR: 32, maxP: 4, maxMemory: 256 * 1024 * 1024 };
const BASE64 = /^[A-Za-z0-9+/]*={0,2}$/;
const FIELDS = ['format', 'version', 'createdAt', 'note', 'kdf', 'cipher', 'nonce', 'ciphertext', 'tag'];

export const checkBackupPassphrase = (passphrase) => checkPassphrase(passphrase, { min: MIN_BACKUP_PASSPHRASE_LENGTH, what: 'Backup passphrase' });

const associatedData = ({ format, version, createdAt, note, kdf, cipher }) => canonicalJson({ format, version, createdAt, note, kdf, cipher });

export async function sealBackup(snapshot, passphrase, { note, createdAt, scryptParams = BACKUP_SCRYPT }) {
  const header = { format: BACKUP_FORMAT, version: BACKUP_VERSION, createdAt, note, kdf: newScryptParams(scryptParams), cipher: BACKUP_CIPHER };
  const key = await deriveScryptKey(passphrase, header.kdf);
  const box = seal(key, Buffer.from(JSON.stringify(snapshot), 'utf8'), associatedData(header));
  return { ...header, ...box };
}

function base64Field(doc, name, { min = 1, max = Infinity, exact } = {}) {
  const value = doc[name];
  if (typeof value !== 'string' || !BASE64.test(value) || value.length % 4 !== 0) throw badRequest(`backup field ${name} must be base64 text`);
  const size = Buffer.from(value, 'base64').length;
  if ((exact !== undefined && size !== exact) || size < min || size > max) throw badRequest(`backup field ${name} has the wrong length`);
  return value;
}

function checkKdf(kdf) {
  const bad = () => badRequest('backup field kdf must be scrypt parameters within this broker\'s limits');
  if (kdf === null || typeof kdf !== 'object' || Array.isArray(kdf) || kdf.name !== 'scrypt') throw bad();
  const { N, r, p, keyLength } = kdf;
  const logN = Math.log2(N);
  if (!Number.isInteger(logN) || logN < KDF_LIMITS.minLogN || logN > KDF_LIMITS.maxLogN) throw bad();
  if (!Number.isInteger(r) || r < 1 || r > KDF_LIMITS.maxR || !Number.isInteger(p) || p < 1 || p > KDF_LIMITS.maxP) throw bad();
  if (128 * N * r > KDF_LIMITS.maxMemory || keyLength !== 32) throw bad();
  if (Object.keys(kdf).some((k) => !['name', 'N', 'r', 'p', 'keyLength', 'salt'].includes(k))) throw bad();
  base64Field(kdf, 'salt', { min: 16, max: 64 });
}

// The document's shape, checked before any key is derived; names the first field that is wrong.
export function readBackupDocument(doc) {
  if (doc === null || typeof doc !== 'object' || Array.isArray(doc)) throw badRequest('backup must be the exported backup document (a JSON object)');
  if (doc.format !== BACKUP_FORMAT) throw badRequest('backup is not a Torvane backup document');
  if (doc.version !== BACKUP_VERSION) throw badRequest(`backup version ${JSON.stringify(doc.version)?.slice(0, 20)} is not supported`);
  const unknown = Object.keys(doc).find((k) => !FIELDS.includes(k));
  if (unknown) throw badRequest(`backup has an unknown field ${unknown.slice(0, 64)}`);
  if (typeof doc.createdAt !== 'string' || doc.createdAt.length > 64) throw badRequest('backup field createdAt must be a string');
  if (typeof doc.note !== 'string' || doc.note.length > MAX_NOTE_LENGTH) throw badRequest('backup field note must be a string');
  if (doc.cipher !== BACKUP_CIPHER) throw badRequest(`backup field cipher must be ${BACKUP_CIPHER}`);
  checkKdf(doc.kdf);
  base64Field(doc, 'nonce', { exact: 12 });
  base64Field(doc, 'tag', { exact: 16 });
  base64Field(doc, 'ciphertext');
  return doc;
}

// The snapshot inside a checked document, or a 400 that says nothing about which part failed.
export async function openBackup(doc, passphrase) {
  const key = await deriveScryptKey(passphrase, doc.kdf);
  const plain = open(key, doc, associatedData(doc));
  if (!plain) throw badRequest(UNREADABLE_BACKUP);
  try {
    return JSON.parse(plain.toString('utf8'));
  } catch {
    throw badRequest('backup content is not readable');
  }
}
