// Throughput and latency of the app's refresh waves against the real broker: three GETs without
// headers (health, posture, operator status), then seven with the operator session (connectors,
// approvals, connections, agent keys, proxy profiles, proxy services, audit), then the proof.
// State: 50 connectors each with a linked account, 200 agent keys, 1000 audit events.
//   node bench/service/refresh-waves.mjs [--cycles N] [--out file.json]
// The broker runs in a child process so client and server do not share an event loop.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { fileURLToPath } from 'node:url';

const CONNECTORS = 50;
const KEYS = 200;
const AUDIT_EVENTS = 1000;
const FIRST_WAVE = ['/health', '/v1/local-posture', '/v1/operator/status'];
const SECOND_WAVE = ['/v1/connectors', '/v1/approvals', '/v1/connections', '/v1/master-keys', '/v1/proxy/profiles', '/v1/proxy/services', '/v1/audit'];

async function runFixture(stateDir) {
  const { createBroker } = await import('../../server/app.mjs');
  const { CONNECTOR_DEFINITIONS } = await import('../../server/connectors/catalog.mjs');
  // 50 connectors: the real ones, then copies under new ids.
  const definitions = Array.from({ length: CONNECTORS }, (_, i) => {
    const base = CONNECTOR_DEFINITIONS[i % CONNECTOR_DEFINITIONS.length];
    if (i < CONNECTOR_DEFINITIONS.length) return base;
    const id = `${base.id}-${i}`;
    return { ...base, id, tools: base.tools.map((t) => ({ ...t, id: t.id.replace(`${base.id}.`, `${id}.`) })) };
  });
  const broker = createBroker({ env: { ...process.env, SWITCHYARD_STATE_DIR: stateDir, PORT: '0' }, connectorDefinitions: definitions, log: () => {} });
  const { vault, connections, agentKeys, audit, operator, sessions } = broker.services;
  await vault.setup('benchmark passphrase', operator.bootstrapSecret);
  for (const def of definitions) {
    connections.link({ connectorId: def.id, accountId: 'default', alias: `${def.displayName} default`, authType: 'api_key', source: 'bench', token: `bench-${def.id}` });
  }
  for (let i = 0; i < KEYS; i++) agentKeys.create({ name: `agent ${i}`, agentId: `agent-${i}`, connectorIds: [definitions[i % CONNECTORS].id], maxRisk: 'medium' });
  while (audit.head.sequence < AUDIT_EVENTS) audit.append({ actor: 'bench', action: 'bench.fill', decision: 'allowed' });
  await audit.durable();
  await broker.start();
  const { sessionId } = sessions.mint('bench', 'bootstrap');
  process.stdout.write(`${JSON.stringify({ url: broker.url, sessionId })}\n`);
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

function stats(samples) {
  const sorted = [...samples].sort((a, b) => a - b);
  const round = (v) => Math.round(v * 100) / 100;
  return { count: sorted.length, p50Ms: round(percentile(sorted, 50)), p95Ms: round(percentile(sorted, 95)), p99Ms: round(percentile(sorted, 99)), maxMs: round(sorted.at(-1)) };
}

async function timedGet(url, headers, byPath, pathname) {
  const started = performance.now();
  const res = await fetch(url + pathname, { headers });
  await res.arrayBuffer();
  const ms = performance.now() - started;
  (byPath[pathname] ??= { statuses: new Set(), samples: [] }).samples.push(ms);
  byPath[pathname].statuses.add(res.status);
  return ms;
}

async function runBenchmark(cycles, outFile) {
  const stateDir = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-bench-')), 'state');
  const child = spawn(process.execPath, [fileURLToPath(import.meta.url), '--fixture', stateDir], { stdio: ['ignore', 'pipe', 'inherit'] });
  try {
    const line = await new Promise((resolve, reject) => {
      child.stdout.once('data', (d) => resolve(String(d)));
      child.once('exit', (code) => reject(new Error(`broker fixture exited with ${code}`)));
    });
    const { url, sessionId } = JSON.parse(line);
    const operator = { 'x-tvn-operator-session': sessionId };
    const byPath = {};
    const waveOne = [];
    const waveTwo = [];
    const cycleTimes = [];
    const run = async (record) => {
      const started = performance.now();
      let t = performance.now();
      await Promise.all(FIRST_WAVE.map((p) => timedGet(url, {}, byPath, p)));
      if (record) waveOne.push(performance.now() - t);
      t = performance.now();
      await Promise.all(SECOND_WAVE.map((p) => timedGet(url, operator, byPath, p)));
      if (record) waveTwo.push(performance.now() - t);
      await timedGet(url, operator, byPath, '/v1/proof/latest');
      if (record) cycleTimes.push(performance.now() - started);
    };
    for (let i = 0; i < 20; i++) await run(false); // warm-up
    for (const entry of Object.values(byPath)) entry.samples.length = 0;
    const started = performance.now();
    for (let i = 0; i < cycles; i++) await run(true);
    const seconds = (performance.now() - started) / 1000;
    const requests = cycles * (FIRST_WAVE.length + SECOND_WAVE.length + 1);
    const result = {
      benchmark: 'service/refresh-waves',
      state: { connectors: CONNECTORS, agentKeys: KEYS, auditEvents: AUDIT_EVENTS },
      cycles,
      seconds: Math.round(seconds * 1000) / 1000,
      cyclesPerSecond: Math.round((cycles / seconds) * 10) / 10,
      requestsPerSecond: Math.round(requests / seconds),
      firstWave: stats(waveOne),
      secondWave: stats(waveTwo),
      wholeCycle: stats(cycleTimes),
      perPath: Object.fromEntries(Object.entries(byPath).map(([p, v]) => [p, { statuses: [...v.statuses], ...stats(v.samples) }])),
    };
    const text = JSON.stringify(result, null, 2);
    process.stdout.write(`${text}\n`);
    if (outFile) fs.writeFileSync(outFile, `${text}\n`);
  } finally {
    child.kill('SIGTERM');
    fs.rmSync(path.dirname(stateDir), { recursive: true, force: true });
  }
}

const args = process.argv.slice(2);
if (args[0] === '--fixture') {
  await runFixture(args[1]);
} else {
  const option = (name, fallback) => (args.includes(name) ? args[args.indexOf(name) + 1] : fallback);
  await runBenchmark(Number(option('--cycles', '300')), option('--out', null));
}
