import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import net from 'node:net';
import { chmodSync, mkdirSync } from 'node:fs';
import { tempStateDir } from '../testkit/brokerHarness.mjs';

async function freePort() {
  const srv = net.createServer().listen(0, '127.0.0.1');
  await new Promise((r) => srv.once('listening', r));
  const { port } = srv.address();
  await new Promise((r) => srv.close(r));
  return port;
}

function startMain(env) {
  const child = spawn(process.execPath, ['server/main.mjs'], { env: { ...process.env, ...env }, stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => {
    stderr += d;
  });
  const exited = new Promise((resolve) => child.once('exit', (code) => resolve(code)));
  return { child, exited, stderr: () => stderr };
}

test('main.mjs answers /health as switchyard-broker on loopback and stops on SIGTERM', async (t) => {
  const port = await freePort();
  const { child, exited, stderr } = startMain({ PORT: String(port), SWITCHYARD_STATE_DIR: tempStateDir() });
  t.after(() => child.kill('SIGKILL'));
  let health;
  for (let i = 0; i < 50 && !health; i++) {
    try {
      health = await (await fetch(`http://127.0.0.1:${port}/health`)).json();
    } catch {
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  assert.equal(health.service, 'switchyard-broker');
  child.kill('SIGTERM');
  assert.equal(await exited, 0);
  assert.ok(!/[A-Za-z0-9_-]{43}/.test(stderr()), 'no secret in the log');
});

test('main.mjs refuses a non-loopback bind and a shared state directory with a clear message', async () => {
  const port = await freePort();
  const bad = startMain({ PORT: String(port), SWITCHYARD_STATE_DIR: tempStateDir(), SWITCHYARD_BIND_HOST: '0.0.0.0' });
  assert.equal(await bad.exited, 1);
  assert.match(bad.stderr(), /failed to start: SWITCHYARD_BIND_HOST must be a loopback address/);
  const dir = tempStateDir();
  mkdirSync(dir, { recursive: true });
  chmodSync(dir, 0o755);
  const shared = startMain({ PORT: String(port), SWITCHYARD_STATE_DIR: dir });
  assert.equal(await shared.exited, 1);
  assert.match(shared.stderr(), /is accessible by other users \(mode 0755\)/);
});
