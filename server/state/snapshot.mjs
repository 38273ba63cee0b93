// Whole-state export and replacement, for backups. The export carries credentials in the clear,
// so its caller must encrypt it before it leaves the process; replacement re-seals them under the
// current data key and swaps every data section in one atomic write. The vault's own keys
// (passphrase and bootstrap wraps) and the bootstrap verifier stay as they are. Sections other
// route modules keep in the store (draft.<name>) travel along without being listed here.
import { StateFileError } from './files.mjs';
import { vaultLocked } from './vault.mjs';

export const SNAPSHOT_FORMAT = 'torvane-state-snapshot';
const SNAPSHOT_VERSION = 1;
const KEPT = ['format', 'version', 'operator', 'vault', 'auditOutbox'];

export function exportSnapshot(store, vault) {
  if (vault.status !== 'unlocked') throw vaultLocked();
  const sections = structuredClone(store.state);
  for (const key of KEPT) delete sections[key];
  sections.connections = sections.connections.map(({ secret, ...meta }) => ({ ...meta, token: secret ? vault.decrypt(meta.id, secret) : null }));
  return { ...sections, format: SNAPSHOT_FORMAT, version: SNAPSHOT_VERSION };
}

function checkSnapshot(snapshot) {
  const ok = snapshot?.format === SNAPSHOT_FORMAT && snapshot.version === SNAPSHOT_VERSION && !('operator' in snapshot) && !('vault' in snapshot)
    && Array.isArray(snapshot.connections) && Array.isArray(snapshot.masterKeys) && typeof snapshot.killSwitch?.enabled === 'boolean'
    && snapshot.connections.every((c) => typeof c.id === 'string' && typeof c.connectorId === 'string' && typeof c.accountId === 'string'
      && (c.token === null || typeof c.token === 'string'))
    && snapshot.masterKeys.every((k) => typeof k.id === 'string' && typeof k.secretHash === 'string' && Array.isArray(k.scopes));
  if (!ok) throw new StateFileError('the snapshot is not a Torvane state snapshot of a known version');
}

// options: { audit } as for store.update.
export function replaceFromSnapshot(store, vault, snapshot, options) {
  if (vault.status !== 'unlocked') throw vaultLocked();
  checkSnapshot(snapshot);
  const { format, version, ...sections } = structuredClone(snapshot);
  sections.connections = sections.connections.map(({ token, ...meta }) => ({ ...meta, secret: token === null ? null : vault.encrypt(meta.id, token) }));
  store.update((draft) => {
    for (const key of Object.keys(draft)) if (!KEPT.includes(key)) delete draft[key];
    Object.assign(draft, sections);
  }, options);
}
