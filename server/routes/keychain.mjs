// Keychain trust: Linux keeps no keychain items (the vault is the owner-only local file), so the
// answer reports that truth and the trusted application paths the service was given.
import fs from 'node:fs';
import { badRequest } from '../http/errors.mjs';
import { nowIso } from '../lib/ids.mjs';

const NO_KEYCHAIN = 'Linux builds keep no keychain items; the owner-only local vault is used';

function trustStatus(ctx) {
  const paths = ctx.config.trustedAppPaths;
  return {
    ok: true,
    platform: 'linux',
    keychainEnabled: false,
    trustedAppPaths: paths,
    trustedAppPathStatus: paths.map((p) => ({ path: p, exists: fs.existsSync(p), trustedForRepair: false })),
    items: [],
  };
}

function repairTrust(ctx) {
  const { targets, repairAll } = ctx.body;
  const validTargets = Array.isArray(targets) && targets.length > 0 && targets.every((t) => typeof t === 'string' && t.length <= 128);
  if (!validTargets && repairAll !== true) throw badRequest('send either targets (a list of item ids) or repairAll: true');
  const ids = validTargets ? [...new Set(targets)] : [];
  ctx.services.unauthenticatedAudit.record({ actor: 'operator', action: 'keychain.repair', decision: 'skipped', reason: 'no keychain on linux' });
  return {
    ...trustStatus(ctx),
    repairResults: ids.map((id) => ({ id, label: id, service: '', account: id, status: 'missing', reason: NO_KEYCHAIN })),
    repairedAt: nowIso(),
  };
}

export const routes = [
  { method: 'GET', path: '/v1/local/keychain/trust-status', auth: 'none', handler: trustStatus },
  { method: 'POST', path: '/v1/local/keychain/repair-trust', auth: 'none', handler: repairTrust },
];
