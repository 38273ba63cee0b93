// Export and restore of the whole broker state. Restore checks and decrypts everything first and
// then replaces the state in one atomic write: a wrong passphrase, a changed or cut backup, or a
// crash half-way leaves the state exactly as it was.
import { HttpError, badRequest } from '../http/errors.mjs';
import { nowIso } from '../lib/ids.mjs';
import { vaultLocked } from '../state/vault.mjs';
import { SNAPSHOT_FORMAT } from '../state/snapshot.mjs';
import { BACKUP_SCRYPT, MAX_NOTE_LENGTH, checkBackupPassphrase, openBackup, readBackupDocument, sealBackup } from './document.mjs';

function readNote(value) {
  if (value === undefined || value === null) return '';
  if (typeof value !== 'string' || value.length > MAX_NOTE_LENGTH) throw badRequest(`note must be a string of at most ${MAX_NOTE_LENGTH} characters`);
  return value.trim();
}

function requireUnlocked(vault) {
  if (vault.status !== 'unlocked') throw vaultLocked();
}

// Room in a restore request for everything but the document (passphrase, keys, white space).
const RESTORE_REQUEST_OVERHEAD = 16 * 1024;

// services: the broker's services; restoreLimitBytes: the largest request body the broker reads,
// so that no backup is handed out that could not be restored; scryptParams for tests only.
export async function exportBackup(services, body, { restoreLimitBytes, scryptParams = BACKUP_SCRYPT }) {
  const passphrase = checkBackupPassphrase(body.passphrase);
  const note = readNote(body.note);
  requireUnlocked(services.vault);
  const doc = await sealBackup(services.exportState(), passphrase, { note, createdAt: nowIso(), scryptParams });
  // Measured as the app keeps it (indented) and sends it back.
  if (Buffer.byteLength(JSON.stringify(doc, null, 2)) + RESTORE_REQUEST_OVERHEAD > restoreLimitBytes) {
    throw new HttpError(413, `the broker state is too large for a backup that could be restored (limit ${restoreLimitBytes} bytes per request)`);
  }
  return doc;
}

const revokedIds = (records = []) => new Map(records.filter((r) => r.revokedAt).map((r) => [r.id, r.revokedAt]));

function keepRevoked(restored, current) {
  if (!Array.isArray(restored)) return restored;
  const revoked = revokedIds(current);
  return restored.map((r) => (revoked.has(r.id) && !r.revokedAt ? { ...r, revokedAt: revoked.get(r.id) } : r));
}

// An old backup must not bring back what was stopped since it was taken: agent keys and proxy
// profiles revoked now stay revoked, and a kill switch that is on stays on.
function withCurrentStops(snapshot, state) {
  return {
    ...snapshot,
    masterKeys: keepRevoked(snapshot.masterKeys, state.masterKeys),
    ...(snapshot.proxyProfiles ? { proxyProfiles: keepRevoked(snapshot.proxyProfiles, state.proxyProfiles) } : {}),
    killSwitch: state.killSwitch.enabled && snapshot.killSwitch ? { ...snapshot.killSwitch, enabled: true } : snapshot.killSwitch,
  };
}

// options: { audit } for the state change; its describe() is given the backup document.
export async function restoreBackup(services, body, { audit } = {}) {
  const passphrase = checkBackupPassphrase(body.passphrase);
  const doc = readBackupDocument(body.backup);
  requireUnlocked(services.vault);
  const snapshot = await openBackup(doc, passphrase);
  if (snapshot?.format !== SNAPSHOT_FORMAT) throw badRequest('backup content is not a Torvane state snapshot');
  requireUnlocked(services.vault);
  const previousKeys = services.store.state.masterKeys.map((k) => k.id);
  services.replaceState(withCurrentStops(snapshot, services.store.state), { audit: audit && (() => audit(doc)) });
  const { connections, masterKeys, proxyProfiles = [] } = services.store.state;
  // Requests waiting for approval from keys that are now gone or revoked can never run.
  const active = new Set(masterKeys.filter((k) => !k.revokedAt).map((k) => k.id));
  for (const id of previousKeys) if (!active.has(id)) services.executor.cancelForKey(id);
  return { ok: true, restoredAt: nowIso(), createdAt: doc.createdAt, note: doc.note, connections: connections.length, keys: masterKeys.length, proxyProfiles: proxyProfiles.length };
}
