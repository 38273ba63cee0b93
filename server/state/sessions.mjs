// Operator sessions: random ids, kept in memory only and looked up by their hash so the lookup
// itself does not compare secrets.
import { nowIso, randomSecret, sha256Hex } from '../lib/ids.mjs';

const digest = sha256Hex;

export function createSessionStore({ ttlSeconds, now = () => Date.now() }) {
  const sessions = new Map();

  function prune() {
    const t = now();
    for (const [key, session] of sessions) if (session.expiresAt <= t) sessions.delete(key);
  }

  return {
    ttlSeconds,
    mint(label, method) {
      prune();
      const id = randomSecret(32);
      const session = { label: String(label ?? '').slice(0, 64), method, createdAt: now(), expiresAt: now() + ttlSeconds * 1000 };
      sessions.set(digest(id), session);
      return { sessionId: id, expiresAt: nowIso(session.expiresAt) };
    },
    // The live session for an id, or null when unknown or expired.
    find(id) {
      if (typeof id !== 'string' || id === '') return null;
      const session = sessions.get(digest(id));
      if (!session) return null;
      if (session.expiresAt <= now()) {
        sessions.delete(digest(id));
        return null;
      }
      return session;
    },
    get activeCount() {
      prune();
      return sessions.size;
    },
    clear() {
      sessions.clear();
    },
  };
}
