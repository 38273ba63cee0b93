// Who owns the listener on the broker port. Linux shows every TCP socket of this network
// namespace in /proc/net/tcp and /proc/net/tcp6 with the uid of the account that opened it, so
// the wrapper can refuse a listener another account started before it sends the agent key.
import fs from 'node:fs/promises';

const LISTEN_STATE = '0A';
const TABLES = ['/proc/net/tcp', '/proc/net/tcp6'];

// The uids of the listening sockets on `port` in one table's text (header line first).
export function listeningUids(tableText, port) {
  const uids = [];
  for (const line of tableText.split('\n').slice(1)) {
    const fields = line.trim().split(/\s+/);
    if (fields.length < 8) continue;
    const [, localAddress, , state, , , , uid] = fields;
    const localPort = Number.parseInt(localAddress.split(':').at(-1), 16);
    if (state === LISTEN_STATE && localPort === port) uids.push(Number(uid));
  }
  return uids;
}

// Every uid listening on `port`; null when this system does not show its sockets.
export async function listenerUids(port, tables = TABLES) {
  const uids = new Set();
  let readable = false;
  for (const table of tables) {
    let text;
    try {
      text = await fs.readFile(table, 'utf8');
    } catch {
      continue;
    }
    readable = true;
    for (const uid of listeningUids(text, port)) uids.add(uid);
  }
  return readable ? uids : null;
}
