// Agent keys ("master keys" in the API): the secret is "tvn_" + 32 random bytes (base64url), shown
// once; only its SHA-256 is stored. Scopes are "connector:<id>".
import { nowIso, randomId, randomSecret, sha256Hex } from '../lib/ids.mjs';

export const AGENT_KEY_PREFIX = 'tvn_';
const secretHash = sha256Hex;

export function summarizeKey(key) {
  const summary = {
    id: key.id,
    name: key.name,
    agentId: key.agentId,
    scopes: [...key.scopes],
    maxRisk: key.maxRisk,
    createdAt: key.createdAt,
    status: key.revokedAt ? 'revoked' : 'active',
  };
  if (key.lastUsedAt) summary.lastUsedAt = key.lastUsedAt;
  if (key.revokedAt) summary.revokedAt = key.revokedAt;
  return summary;
}

export function createAgentKeyStore(store) {
  // Index by secret hash for bearer lookups; rebuilt after every change of the key list.
  let byHash = new Map();
  const reindex = () => {
    byHash = new Map(store.state.masterKeys.map((key) => [key.secretHash, key.id]));
  };
  reindex();

  const findById = (id) => store.state.masterKeys.find((key) => key.id === id) ?? null;

  return {
    reindex,
    list: () => store.state.masterKeys.map(summarizeKey),
    findById,
    // The active key whose agentId is the given one (newest first), or null.
    findActiveByAgentId(agentId) {
      const keys = store.state.masterKeys.filter((key) => key.agentId === agentId && !key.revokedAt);
      return keys.length ? keys[keys.length - 1] : null;
    },
    // The key (active or revoked) for a presented bearer secret, or null.
    findBySecret(secret) {
      if (typeof secret !== 'string' || !secret.startsWith(AGENT_KEY_PREFIX)) return null;
      const id = byHash.get(secretHash(secret));
      return id ? findById(id) : null;
    },
    // options: { audit } as for store.update, given the new key.
    create({ name, agentId, connectorIds, maxRisk }, options) {
      const secret = AGENT_KEY_PREFIX + randomSecret(32);
      const key = {
        id: randomId('mk'),
        name,
        agentId,
        scopes: connectorIds.map((id) => `connector:${id}`),
        maxRisk,
        createdAt: nowIso(),
        lastUsedAt: null,
        revokedAt: null,
        secretHash: secretHash(secret),
      };
      store.update((draft) => {
        draft.masterKeys.push(key);
        return key;
      }, options);
      reindex();
      return { secret, key };
    },
    // options: { audit } as for store.update, given the revoked key.
    revoke(id, options) {
      const at = nowIso();
      store.update((draft) => {
        const key = draft.masterKeys.find((k) => k.id === id);
        key.revokedAt = at;
        return key;
      }, options);
      reindex();
      return findById(id);
    },
    // Last use is shown, not relied on: kept in memory and written in batches.
    touch(id) {
      const at = nowIso();
      store.soon((state) => {
        const key = state.masterKeys.find((k) => k.id === id);
        if (key) key.lastUsedAt = at;
      });
    },
  };
}
