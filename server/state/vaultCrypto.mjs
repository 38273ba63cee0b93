// Vault cryptography: AES-256-GCM boxes, scrypt for the passphrase key, HKDF for the key derived
// from the operator bootstrap secret.
import crypto from 'node:crypto';
import { promisify } from 'node:util';

const scryptAsync = promisify(crypto.scrypt);
export const DEFAULT_SCRYPT = { N: 32768, r: 8, p: 1 };

export function newScryptParams(params = DEFAULT_SCRYPT) {
  return { name: 'scrypt', N: params.N, r: params.r, p: params.p, keyLength: 32, salt: crypto.randomBytes(16).toString('base64') };
}

export async function deriveScryptKey(passphrase, kdf) {
  if (kdf?.name !== 'scrypt' || !Number.isInteger(kdf.N) || !Number.isInteger(kdf.r) || !Number.isInteger(kdf.p)) {
    throw new Error('unsupported key derivation parameters');
  }
  const maxmem = 256 * kdf.N * kdf.r * kdf.p;
  return scryptAsync(String(passphrase).normalize('NFC'), Buffer.from(kdf.salt, 'base64'), kdf.keyLength ?? 32, { N: kdf.N, r: kdf.r, p: kdf.p, maxmem });
}

export function deriveBootstrapKey(secret, saltBase64) {
  return Buffer.from(crypto.hkdfSync('sha256', Buffer.from(secret, 'utf8'), Buffer.from(saltBase64, 'base64'), 'torvane vault bootstrap wrap v1', 32));
}

export function seal(key, plaintext, aad) {
  const nonce = crypto.randomBytes(12);
  const cipher = crypto.createCipheriv('aes-256-gcm', key, nonce);
  cipher.setAAD(Buffer.from(aad, 'utf8'));
  const ciphertext = Buffer.concat([cipher.update(plaintext), cipher.final()]);
  return { nonce: nonce.toString('base64'), ciphertext: ciphertext.toString('base64'), tag: cipher.getAuthTag().toString('base64') };
}

// Returns the plaintext, or null when the key, the associated data or the box is wrong.
export function open(key, box, aad) {
  try {
    const decipher = crypto.createDecipheriv('aes-256-gcm', key, Buffer.from(box.nonce, 'base64'));
    decipher.setAAD(Buffer.from(aad, 'utf8'));
    decipher.setAuthTag(Buffer.from(box.tag, 'base64'));
    return Buffer.concat([decipher.update(Buffer.from(box.ciphertext, 'base64')), decipher.final()]);
  } catch {
    return null;
  }
}
