// Encrypted backups of the whole broker state: export under a backup passphrase, restore from one.
import { HttpError } from '../http/errors.mjs';
import { exportBackup, restoreBackup } from '../backups/backups.mjs';

async function audited(ctx, action, run) {
  try {
    const result = await run();
    ctx.audit.append({ actor: 'operator', action, decision: 'allowed' });
    return result;
  } catch (error) {
    if (error instanceof HttpError) ctx.audit.append({ actor: 'operator', action, decision: 'denied', reason: error.message });
    throw error;
  }
}

export const routes = [
  {
    method: 'POST',
    path: '/v1/backups/export',
    auth: 'operator',
    handler: (ctx) => audited(ctx, 'backup.export', () => exportBackup(ctx.services, ctx.body, { scryptParams: ctx.config.scryptParams })),
  },
  { method: 'POST', path: '/v1/backups/restore', auth: 'operator', handler: (ctx) => audited(ctx, 'backup.restore', () => restoreBackup(ctx.services, ctx.body)) },
];
