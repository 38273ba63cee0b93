import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import net from 'node:net';

async function freePort() {
  const srv = net.createServer().listen(0, '127.0.0.1');
  await new Promise((r) => srv.once('listening', r));
  const { port } = srv.address();
  await new Promise((r) => srv.close(r));
  return port;
}

test('broker answers /health as switchyard-broker on loopback', async (t) => {
  const port = await freePort();
  const child = spawn(process.execPath, ['server/main.mjs'], { env: { ...process.env, PORT: String(port) } });
  t.after(() => child.kill('SIGKILL'));
  let health;
  for (let i = 0; i < 50 && !health; i++) {
    try { health = await (await fetch(`http://127.0.0.1:${port}/health`)).json(); } catch { await new Promise((r) => setTimeout(r, 100)); }
  }
  assert.equal(health.service, 'switchyard-broker');
});
