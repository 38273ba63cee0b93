// Encrypted backups of the whole broker state: export under a backup passphrase, restore from one.
import { HttpError } from '../http/errors.mjs';
import { exportBackup, restoreBackup } from '../backups/backups.mjs';

// describe(result): what the audit record says about a success.
async function audited(ctx, action, run, describe = () => undefined) {
  try {
    const result = await run();
    ctx.audit.append({ actor: 'operator', action, decision: 'allowed', reason: describe(result) });
    return result;
  } catch (error) {
    if (error instanceof HttpError) ctx.audit.append({ actor: 'operator', action, decision: 'denied', reason: error.message });
    throw error;
  }
}

function exportHandler(ctx) {
  const options = { restoreLimitBytes: ctx.config.bodyLimitBytes, scryptParams: ctx.config.scryptParams };
  return audited(ctx, 'backup.export', () => exportBackup(ctx.services, ctx.body, options));
}

function restoreHandler(ctx) {
  return audited(ctx, 'backup.restore', () => restoreBackup(ctx.services, ctx.body), (result) => `backup created ${result.createdAt.slice(0, 64)}`);
}

export const routes = [
  { method: 'POST', path: '/v1/backups/export', auth: 'operator', handler: exportHandler },
  { method: 'POST', path: '/v1/backups/restore', auth: 'operator', handler: restoreHandler },
];
