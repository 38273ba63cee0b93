// Encrypted backups of the whole broker state: export under a backup passphrase, restore from one.
import { HttpError } from '../http/errors.mjs';
import { exportBackup, restoreBackup } from '../backups/backups.mjs';

// Runs a backup action with its audit record: action(options) may hand options to a state change,
// which then writes the "allowed" record with it; otherwise it is appended after the action. A
// refusal is recorded with the error's text.
async function audited(ctx, action, run, reason = () => undefined) {
  let carried = false;
  const options = {
    audit: (result) => {
      carried = true;
      return [{ actor: 'operator', action, decision: 'allowed', reason: reason(result) }];
    },
  };
  try {
    const result = await run(options);
    if (!carried) ctx.audit.append({ actor: 'operator', action, decision: 'allowed', reason: reason(result) });
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

// The restored state and its record land in one write; the record names the backup's date.
function restoreHandler(ctx) {
  return audited(ctx, 'backup.restore', (options) => restoreBackup(ctx.services, ctx.body, options), (doc) => `backup created ${doc.createdAt.slice(0, 64)}`);
}
export const routes = [
  { method: 'POST', path: '/v1/backups/export', auth: 'operator', handler: exportHandler },
  { method: 'POST', path: '/v1/backups/restore', auth: 'operator', handler: restoreHandler },
];
