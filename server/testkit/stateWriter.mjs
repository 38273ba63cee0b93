// Child process for the crash test: changes the vault file, each change with its audit record, in
// a tight loop until it is killed. Usage: node stateWriter.mjs <stateDir>
import { openStore } from '../state/store.mjs';
import { openAuditLog } from '../state/audit.mjs';
import { ensurePrivateDir } from '../state/files.mjs';

const dir = process.argv[2];
ensurePrivateDir(dir);
const store = openStore(dir);
const audit = openAuditLog(dir);
store.attachAudit(audit);
store.recoverOutbox();
const padding = 'x'.repeat(4096);
for (let round = 1; ; round++) {
  const id = `mk_${process.pid}_${round}`;
  store.update((draft) => {
    draft.masterKeys.push({ id, name: padding, agentId: 'crash', scopes: [], secretHash: String(round) });
    if (draft.masterKeys.length > 300) draft.masterKeys.splice(0, 100);
  }, { audit: () => [{ actor: 'test', action: 'crash.write', decision: 'allowed', keyId: id, reason: padding.slice(0, 1000 + (round % 3000)) }] });
  audit.append({ actor: 'test', action: 'crash.note', decision: 'allowed', reason: padding.slice(0, round % 2000) });
  await audit.durable();
  if (round === 5) process.stdout.write('writing\n');
}
