// Proxy services and profiles live as two sections of the broker's state document, so they are
// written atomically with everything else and travel in backups with it.
import { HttpError } from '../http/errors.mjs';
import { nowIso, randomId } from '../lib/ids.mjs';

export function createProxyStore(store) {
  const services = () => store.state.proxyServices ?? [];
  const profiles = () => store.state.proxyProfiles ?? [];
  const findService = (id) => services().find((s) => s.id === id) ?? null;
  const findProfile = (id) => profiles().find((p) => p.id === id) ?? null;

  return {
    services,
    profiles,
    findService,
    findProfile,

    // options of the three changes: { audit } as for store.update, given the new record.
    addService(request, options) {
      const record = { ...request, createdAt: nowIso(), disabledAt: null };
      store.update((draft) => {
        draft.proxyServices ??= [];
        if (draft.proxyServices.some((s) => s.id === record.id)) throw new HttpError(409, `proxy service ${record.id} already exists`);
        draft.proxyServices.push(record);
        return record;
      }, options);
      return findService(record.id);
    },

    addProfile(request, options) {
      const record = { id: randomId('prx'), ...request, createdAt: nowIso(), revokedAt: null };
      store.update((draft) => {
        for (const id of record.serviceIds) {
          const service = (draft.proxyServices ?? []).find((s) => s.id === id);
          if (!service) throw new HttpError(404, `no proxy service ${id}`);
          if (service.disabledAt) throw new HttpError(409, `proxy service ${id} is disabled`);
        }
        (draft.proxyProfiles ??= []).push(record);
        return record;
      }, options);
      return findProfile(record.id);
    },

    revokeProfile(id, options) {
      const at = nowIso();
      store.update((draft) => {
        const profile = (draft.proxyProfiles ?? []).find((p) => p.id === id);
        if (!profile) throw new HttpError(404, `no proxy profile ${id}`);
        if (profile.revokedAt) throw new HttpError(409, 'already revoked');
        profile.revokedAt = at;
        return profile;
      }, options);
      return findProfile(id);
    },
  };
}
