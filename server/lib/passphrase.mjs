// Passphrase shape: a string of at least `min` characters as the user sees them ("é" typed as e +
// accent is one) and at most MAX_PASSPHRASE_LENGTH code units. The upper bound is checked first:
// it keeps a hostile length away from the grapheme count and from scrypt.
import { badRequest } from '../http/errors.mjs';

export const MAX_PASSPHRASE_LENGTH = 1024;

// Counts graphemes only as far as `limit`: the answer is "at least limit" or the exact count.
function graphemesUpTo(text, limit) {
  let count = 0;
  for (const _ of new Intl.Segmenter(undefined, { granularity: 'grapheme' }).segment(text)) {
    count += 1;
    if (count >= limit) break;
  }
  return count;
}

// what: the name in the error text ("Vault passphrase", "Backup passphrase").
export function checkPassphrase(passphrase, { min, what }) {
  if (typeof passphrase !== 'string') throw badRequest('passphrase must be a string');
  if (passphrase.length > MAX_PASSPHRASE_LENGTH) throw badRequest(`${what} must be at most ${MAX_PASSPHRASE_LENGTH} characters`);
  if (graphemesUpTo(passphrase, min) < min) throw badRequest(`${what} must be at least ${min} characters`);
  return passphrase;
}
