// Child process for the crash test: writes the vault file and the audit log in a tight loop
// until it is killed. Usage: node stateWriter.mjs <stateDir>
import { openStore } from '../state/store.mjs';
import { openAuditLog } from '../state/audit.mjs';
import { ensurePrivateDir } from '../state/files.mjs';

const dir = process.argv[2];
ensurePrivateDir(dir);
const store = openStore(dir);
const audit = openAuditLog(dir);
const padding = 'x'.repeat(4096);
let round = 0;
for (;;) {
  round += 1;
  store.update((draft) => {
    draft.masterKeys.push({ id: `mk_${process.pid}_${round}`, name: padding, agentId: 'crash', scopes: [], secretHash: String(round) });
    if (draft.masterKeys.length > 300) draft.masterKeys.splice(0, 100);
  });
  audit.append({ actor: 'test', action: 'crash.write', decision: 'allowed', reason: padding.slice(0, 1000 + (round % 3000)) });
  if (round === 5) process.stdout.write('writing\n');
}
