// Whole-state export and replacement, for backups. The export carries credentials in the clear,
// so its caller must encrypt it before it leaves the process; replacement re-seals them under the
// current data key and swaps connections, agent keys and the kill switch in one atomic write.
// The vault's own keys (passphrase and bootstrap wraps) stay as they are.
import { StateFileError } from './files.mjs';
import { vaultLocked } from './vault.mjs';

export const SNAPSHOT_FORMAT = 'torvane-state-snapshot';
const SNAPSHOT_VERSION = 1;

export function exportSnapshot(store, vault) {
  if (vault.status !== 'unlocked') throw vaultLocked();
  const { connections, masterKeys, killSwitch } = structuredClone(store.state);
  return {
    format: SNAPSHOT_FORMAT,
    version: SNAPSHOT_VERSION,
    connections: connections.map(({ secret, ...meta }) => ({ ...meta, token: secret ? vault.decrypt(meta.id, secret) : null })),
    masterKeys,
    killSwitch,
  };
}

function checkSnapshot(snapshot) {
  const ok = snapshot?.format === SNAPSHOT_FORMAT && snapshot.version === SNAPSHOT_VERSION
    && Array.isArray(snapshot.connections) && Array.isArray(snapshot.masterKeys) && typeof snapshot.killSwitch?.enabled === 'boolean'
    && snapshot.connections.every((c) => typeof c.id === 'string' && typeof c.connectorId === 'string' && typeof c.accountId === 'string'
      && (c.token === null || typeof c.token === 'string'))
    && snapshot.masterKeys.every((k) => typeof k.id === 'string' && typeof k.secretHash === 'string' && Array.isArray(k.scopes));
  if (!ok) throw new StateFileError('the snapshot is not a Torvane state snapshot of a known version');
}

export function replaceFromSnapshot(store, vault, snapshot) {
  if (vault.status !== 'unlocked') throw vaultLocked();
  checkSnapshot(snapshot);
  const connections = snapshot.connections.map(({ token, ...meta }) => ({ ...meta, secret: token === null ? null : vault.encrypt(meta.id, token) }));
  store.update((draft) => {
    draft.connections = connections;
    draft.masterKeys = structuredClone(snapshot.masterKeys);
    draft.killSwitch = structuredClone(snapshot.killSwitch);
  });
}
