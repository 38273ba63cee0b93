// Operator sessions and the vault passphrase.
import { HttpError, badRequest } from '../http/errors.mjs';

const BOOTSTRAP_HEADER = 'x-tvn-operator-bootstrap';

function optionalLabel(body) {
  if (body.label === undefined || body.label === null) return '';
  if (typeof body.label !== 'string') throw badRequest('label must be a string');
  return body.label;
}

function status(ctx) {
  const { sessions, operator } = ctx.services;
  return {
    enabled: true,
    activeSessions: sessions.activeCount,
    sessionTtlSeconds: sessions.ttlSeconds,
    unlockMethod: operator.unlockMethod,
  };
}

async function mintSession(ctx) {
  const { operator } = ctx.services;
  const label = optionalLabel(ctx.body);
  const bootstrap = ctx.headers[BOOTSTRAP_HEADER];
  const method = bootstrap !== undefined ? 'bootstrap' : 'passphrase';
  try {
    let session;
    if (bootstrap !== undefined) session = operator.mintWithBootstrap(bootstrap, label);
    else if (ctx.body.passphrase !== undefined) session = await operator.mintWithPassphrase(ctx.body.passphrase, label);
    else throw new HttpError(401, 'local operator session required');
    ctx.audit.append({ actor: 'operator', action: 'operator.session.create', decision: 'allowed', reason: method });
    return session;
  } catch (error) {
    if (error instanceof HttpError && error.status === 401) {
      ctx.services.unauthenticatedAudit.record({ actor: 'operator', action: 'operator.session.create', decision: 'denied', reason: method });
    }
    throw error;
  }
}

async function setupVault(ctx) {
  const { vault, operator } = ctx.services;
  await vault.setup(ctx.body.passphrase, operator.bootstrapSecret, { audit: () => [{ actor: 'operator', action: 'vault.setup', decision: 'allowed' }] });
  return { ok: true, vault: vault.status };
}

async function unlockVault(ctx) {
  const { vault, operator } = ctx.services;
  try {
    await operator.unlockWithPassphrase(ctx.body.passphrase);
  } catch (error) {
    if (error instanceof HttpError && error.status === 401) ctx.audit.append({ actor: 'operator', action: 'vault.unlock', decision: 'denied' });
    throw error;
  }
  ctx.audit.append({ actor: 'operator', action: 'vault.unlock', decision: 'allowed' });
  return { ok: true, vault: vault.status };
}

export const routes = [
  { method: 'GET', path: '/v1/operator/status', auth: 'none', handler: status },
  { method: 'POST', path: '/v1/operator/session', auth: 'none', handler: mintSession },
  { method: 'POST', path: '/v1/vault/setup', auth: 'operator-or-bootstrap', handler: setupVault },
  { method: 'POST', path: '/v1/vault/unlock', auth: 'operator', handler: unlockVault },
];
