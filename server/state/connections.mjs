// Linked provider accounts. Metadata is plain; the credential is sealed by the vault with the
// record id as associated data, so a sealed credential cannot be moved to another record.
import { HttpError } from '../http/errors.mjs';
import { nowIso, randomId } from '../lib/ids.mjs';

export function summarizeConnection(c) {
  const summary = {
    connectorId: c.connectorId,
    accountId: c.accountId,
    authType: c.authType,
    source: c.source,
    status: c.revokedAt ? 'revoked' : 'connected',
    linkedAt: c.linkedAt,
    updatedAt: c.updatedAt,
  };
  for (const key of ['alias', 'authModeId', 'lastUsedAt', 'revokedAt']) if (c[key]) summary[key] = c[key];
  return summary;
}

export function createConnectionStore(store, vault) {
  const all = () => store.state.connections;
  const find = (connectorId, accountId) => all().find((c) => c.connectorId === connectorId && c.accountId === accountId) ?? null;
  const findIn = (draft, record) => draft.connections.find((c) => c.id === record.id);

  function requireActive(connectorId, accountId) {
    const record = find(connectorId, accountId);
    if (!record) throw new HttpError(404, `no connection ${connectorId}/${accountId}`);
    if (record.revokedAt) throw new HttpError(409, `connection ${connectorId}/${accountId} is revoked`);
    return record;
  }

  return {
    list: () => all().map(summarizeConnection),
    find,
    requireActive,
    connectedConnectorIds: () => new Set(all().filter((c) => !c.revokedAt).map((c) => c.connectorId)),

    // The account an agent call uses: the one named, else "default", else the latest linked.
    pickAccount(connectorId, accountId) {
      if (accountId) return requireActive(connectorId, accountId);
      const active = all().filter((c) => c.connectorId === connectorId && !c.revokedAt);
      if (!active.length) throw new HttpError(409, `no connected ${connectorId} account: link one in Torvane first`);
      return active.find((c) => c.accountId === 'default') ?? active.sort((a, b) => b.updatedAt.localeCompare(a.updatedAt))[0];
    },

    // Links or re-links (rotates) one account; the caller has validated the token already.
    // options: { audit } as for store.update.
    link({ connectorId, accountId, alias, authType, authModeId, source, token }, options) {
      const existing = find(connectorId, accountId);
      const id = existing?.id ?? randomId('conn');
      const secret = vault.encrypt(id, token);
      const at = nowIso();
      store.update((draft) => {
        const record = existing ? findIn(draft, existing) : { id, connectorId, accountId, linkedAt: at };
        Object.assign(record, { alias, authType, authModeId, source, updatedAt: at, revokedAt: null, secret, health: null });
        if (!existing) draft.connections.push(record);
      }, options);
      return summarizeConnection(find(connectorId, accountId));
    },

    revoke(connectorId, accountId, options) {
      const record = find(connectorId, accountId);
      if (!record) throw new HttpError(404, `no connection ${connectorId}/${accountId}`);
      if (record.revokedAt) throw new HttpError(409, 'already revoked');
      store.update((draft) => {
        const target = findIn(draft, record);
        target.revokedAt = nowIso();
        target.secret = null; // the credential is gone, not just hidden
      }, options);
      return summarizeConnection(find(connectorId, accountId));
    },

    // The stored credential of an active connection (vault must be unlocked).
    readCredential(connectorId, accountId) {
      return this.openCredential(connectorId, accountId).text;
    },

    // The same as the vault's opened credential object (vault.openCredential).
    openCredential(connectorId, accountId) {
      const record = requireActive(connectorId, accountId);
      return vault.openCredential(record.id, record.secret);
    },

    // options: { audit } as for store.update, given the new health.
    recordHealth(record, { healthy, errorCode }, options) {
      const at = nowIso();
      store.update((draft) => {
        const target = findIn(draft, record);
        const failures = healthy ? 0 : (target.health?.consecutiveFailures ?? 0) + 1;
        target.health = { status: healthy ? 'healthy' : 'unhealthy', checkedAt: at, consecutiveFailures: failures, lastErrorCode: errorCode ?? null };
        return target.health;
      }, options);
      return find(record.connectorId, record.accountId).health;
    },

    // Last use is shown, not relied on: kept in memory and written in batches.
    touch(record) {
      const at = nowIso();
      store.soon((state) => {
        const target = findIn(state, record);
        if (target) target.lastUsedAt = at;
      });
    },
  };
}
