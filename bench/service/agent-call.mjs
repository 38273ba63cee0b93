// The agent call path against the ceiling of any Node relay on this machine, in one run:
// - throughput of /v1/execute and /v1/proxy/request at 1, 16 and 64 connections, beside a bare
//   Node relay (receive, forward with node:http and a keep-alive agent, answer) to the same
//   loopback provider, and beside calling the provider directly;
// - the median latency each adds at 1 connection;
// - for reference, the same relay when it also appends a record per call and answers only once
//   that record is durable (group-committed fdatasync, as the broker's audit log), and the
//   fdatasync time of the disk: what a durable record costs any relay on this machine;
// - the broker's resident memory idle and after each of three load periods;
// - broker start-up (process start to /health) with 0 and with 100,000 audit events;
// - the MCP wrapper's --check as a whole process, beside `node -e 0`.
// Results are ratios against the targets; nothing here passes or fails.
//   node bench/service/agent-call.mjs [--seconds S] [--rounds R] [--warm-up-seconds W] [--period-seconds P] [--out file.json]
// Provider, relay and broker each run in a child process of their own; this process only sends.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { spawn, spawnSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';
import { BROKER_NODE_ARGUMENTS } from '../../scripts/lib/service-config.mjs';

const here = fileURLToPath(import.meta.url);
const repo = path.resolve(path.dirname(here), '..', '..');
const PROVIDER_ANSWER = JSON.stringify({ login: 'bench', id: 1, plan: { name: 'free' } });
const TOKEN = 'bench-provider-token';
const PROFILE = 'bench-keel-tvn';
const CONNECTIONS = [1, 16, 64];
const START_UP_EVENTS = 100_000;

const TARGETS = {
  throughputVsRelay: 0.5, // at 16 and 64 connections, at least
  addedMedianMs: 0.5, // at 1 connection, at most
  rssAfterLoadMb: 80, // at most, and flat across the periods
  startUpRatio: 1.5, // 100,000 events against 0, at most
  checkVsNodeRatio: 2, // at most
};

// --- Child roles -------------------------------------------------------------------------------

function announce(value) {
  process.stdout.write(`${JSON.stringify(value)}\n`);
}

async function readBody(req) {
  const chunks = [];
  for await (const chunk of req) chunks.push(chunk);
  return Buffer.concat(chunks).toString('utf8');
}

function listen(server) {
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${server.address().port}`)));
}

async function runProvider() {
  const server = http.createServer(async (req, res) => {
    await readBody(req);
    res.writeHead(200, { 'content-type': 'application/json', 'content-length': Buffer.byteLength(PROVIDER_ANSWER) });
    res.end(PROVIDER_ANSWER);
  });
  server.keepAliveTimeout = 60_000;
  announce({ url: await listen(server) });
}

// Appends lines to a file and tells each caller when its line is on disk: concurrent lines share
// one write and one fdatasync, as a log that answers only after its record is durable must do.
function durableLines(file) {
  const fd = fs.openSync(file, 'a', 0o600);
  let queue = [];
  let syncing = false;
  async function flush() {
    syncing = true;
    while (queue.length) {
      const batch = queue;
      queue = [];
      fs.writeSync(fd, batch.map((entry) => entry.line).join(''));
      await new Promise((resolve, reject) => fs.fdatasync(fd, (error) => (error ? reject(error) : resolve())));
      for (const entry of batch) entry.resolve();
    }
    syncing = false;
  }
  return (line) => new Promise((resolve) => {
    queue.push({ line, resolve });
    if (!syncing) setImmediate(flush);
    syncing = true;
  });
}

// What any Node relay has to do at the least: read the call, forward it, read and parse the
// answer, reply with it. With `recordFile`, it also appends a line per call and answers only
// once that line is durable: the least any relay with a durable record of each call must do.
async function runRelay(providerUrl, recordFile) {
  const agent = new http.Agent({ keepAlive: true, maxSockets: 128 });
  const target = new URL('/user', providerUrl);
  const record = recordFile ? durableLines(recordFile) : null;
  const server = http.createServer(async (req, res) => {
    JSON.parse((await readBody(req)) || '{}');
    const upstream = http.request(target, { method: 'GET', agent, headers: { authorization: `Bearer ${TOKEN}`, accept: 'application/json' } }, async (answer) => {
      const output = JSON.parse(await readBody(answer));
      const body = JSON.stringify({ status: 'completed', providerStatus: answer.statusCode, output });
      if (record) await record(`${JSON.stringify({ at: Date.now(), status: answer.statusCode })}\n`);
      res.writeHead(200, { 'content-type': 'application/json', 'content-length': Buffer.byteLength(body) });
      res.end(body);
    });
    upstream.on('error', () => res.destroy());
    upstream.end();
  });
  server.keepAliveTimeout = 60_000;
  announce({ url: await listen(server) });
}

// The broker with a vault, a linked provider account, an agent key, a proxy profile and, if
// asked, a long audit log; prints what a client needs. With --exit it stops once the state is
// written (for start-up runs).
async function runBroker(stateDir, providerUrl, events, exitAfter) {
  const { createBroker } = await import('../../server/app.mjs');
  const env = { ...process.env, SWITCHYARD_STATE_DIR: stateDir, HOME: path.dirname(stateDir), TVN_PROVIDER_BASE_URL_GITHUB: providerUrl };
  const broker = createBroker({ env, port: 0, log: () => {} });
  await broker.start();
  const { vault, operator, sessions, audit } = broker.services;
  await vault.setup('benchmark passphrase', operator.bootstrapSecret);
  const session = { 'x-tvn-operator-session': sessions.mint('bench', 'bootstrap').sessionId, 'content-type': 'application/json' };
  // node:http, not fetch: fetch's own library would sit in the broker's memory and be measured.
  const post = (p, body) => new Promise((resolve, reject) => {
    const req = http.request(broker.url + p, { method: 'POST', headers: session }, async (res) => resolve(JSON.parse(await readBody(res))));
    req.on('error', reject);
    req.end(JSON.stringify(body));
  });
  await post('/v1/credentials/github', { token: TOKEN, accountId: 'default' });
  const created = await post('/v1/master-keys', { agentId: 'bench', name: PROFILE, connectorIds: ['github'], maxRisk: 'low' });
  const service = await post('/v1/proxy/services', {
    id: 'bench_github', connectorId: 'github', accountId: 'default', allowedOrigins: [new URL(providerUrl).origin],
    allowedMethods: ['GET'], allowedPathPrefixes: ['/user'], credential: { placement: 'authorization_bearer' },
  });
  const profile = await post('/v1/proxy/profiles', { name: 'bench', agentId: 'bench', masterKeyId: created.record.id, serviceIds: [service.service.id] });
  for (let i = audit.head.sequence; i < events; i++) {
    audit.append({ actor: 'bench', action: 'bench.fill', decision: 'allowed', reason: `filler ${i}` });
    if (i % 5000 === 0) await audit.durable();
  }
  await audit.durable();
  if (exitAfter) {
    await broker.close();
    announce({ done: true });
    return;
  }
  process.once('SIGTERM', () => broker.close().finally(() => process.exit(0)));
  announce({ url: broker.url, key: created.key, profileId: profile.profile.id, serviceId: service.service.id, pid: process.pid });
}

// --- Measuring ---------------------------------------------------------------------------------

async function startChild(args, { nodeArguments = [] } = {}) {
  const child = spawn(process.execPath, [...nodeArguments, here, ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
  const line = await new Promise((resolve, reject) => {
    let text = '';
    child.stdout.on('data', (d) => {
      text += d;
      if (text.includes('\n')) resolve(text.split('\n')[0]);
    });
    child.once('exit', (code) => reject(new Error(`${args[0]} exited with ${code}`)));
  });
  return { child, info: JSON.parse(line) };
}

function stop(child) {
  if (child.exitCode === null) child.kill('SIGTERM');
}

// One kind of call: how to send it and what a good answer is.
function callKinds(provider, relay, durableRelay, broker) {
  const json = { 'content-type': 'application/json' };
  const agent = { ...json, authorization: `Bearer ${broker.key}` };
  return {
    direct: { url: `${provider.url}/user`, method: 'GET', headers: { authorization: `Bearer ${TOKEN}` } },
    relay: { url: `${relay.url}/`, method: 'POST', headers: json, body: JSON.stringify({ connectorId: 'github', toolId: 'github.user.get' }) },
    durableRelay: { url: `${durableRelay.url}/`, method: 'POST', headers: json, body: JSON.stringify({ connectorId: 'github', toolId: 'github.user.get' }) },
    execute: { url: `${broker.url}/v1/execute`, method: 'POST', headers: agent, body: JSON.stringify({ connectorId: 'github', toolId: 'github.user.get' }) },
    proxy: { url: `${broker.url}/v1/proxy/request`, method: 'POST', headers: agent, body: JSON.stringify({ profileId: broker.profileId, serviceId: broker.serviceId, method: 'GET', path: '/user' }) },
  };
}

function send(kind, agent) {
  return new Promise((resolve, reject) => {
    const started = performance.now();
    const req = http.request(kind.url, { method: kind.method, headers: kind.headers, agent }, (res) => {
      res.resume();
      res.on('end', () => (res.statusCode === 200 ? resolve(performance.now() - started) : reject(new Error(`HTTP ${res.statusCode} from ${kind.url}`))));
    });
    req.on('error', reject);
    req.end(kind.body);
  });
}

// `connections` loops sending back to back for `seconds`; returns calls per second and latencies.
async function load(kind, connections, seconds) {
  const agent = new http.Agent({ keepAlive: true, maxSockets: connections });
  const latencies = [];
  const until = performance.now() + seconds * 1000;
  await Promise.all(Array.from({ length: connections }, async () => {
    while (performance.now() < until) latencies.push(await send(kind, agent));
  }));
  agent.destroy();
  latencies.sort((a, b) => a - b);
  return { perSecond: Math.round(latencies.length / seconds), medianMs: latencies[Math.floor(latencies.length / 2)], p99Ms: latencies[Math.floor(latencies.length * 0.99)] };
}

const round = (value, places = 2) => Math.round(value * 10 ** places) / 10 ** places;

const KIND_NAMES = ['direct', 'relay', 'durableRelay', 'execute', 'proxy'];

// Every process is warmed up alike before anything is measured: a service answers with compiled
// code once it has run a while, and the first measurement (one connection) would otherwise
// count the broker's compiling against it while the few functions of the relay are long hot.
async function warmUp(kinds, seconds) {
  for (const name of KIND_NAMES) await load(kinds[name], 16, seconds);
}

// Each connection count is measured in rounds, every kind once per round in turn. The machine's
// speed drifts between measurements (on a shared VM by half), so a ratio or a difference is taken
// within a round, where its two sides ran seconds apart, and the median over the rounds is kept.
async function throughput(kinds, seconds, rounds) {
  const rows = {};
  for (const connections of CONNECTIONS) {
    const row = Object.fromEntries(KIND_NAMES.map((name) => [name, []]));
    for (const name of KIND_NAMES) await load(kinds[name], connections, Math.min(1, seconds)); // this connection count's sockets
    for (let pass = 0; pass < rounds; pass++) {
      for (const name of KIND_NAMES) row[name].push(await load(kinds[name], connections, seconds));
    }
    rows[connections] = row;
  }
  return rows;
}

// The median over the rounds of `of(round)`.
const overRounds = (rounds, of) => median(rounds.map((_, index) => of(index)));

// A line and its fdatasync on the state directory's file system, one after another: what the
// answer of a call waits for at the least when its record must be on disk first.
function fdatasyncMedianMs(dir) {
  const file = path.join(dir, 'fdatasync-probe');
  const fd = fs.openSync(file, 'a', 0o600);
  const runs = [];
  try {
    for (let i = 0; i < 500; i++) {
      const started = performance.now();
      fs.writeSync(fd, `${'x'.repeat(300)}\n`);
      fs.fdatasyncSync(fd);
      runs.push(performance.now() - started);
    }
  } finally {
    fs.closeSync(fd);
    fs.rmSync(file, { force: true });
  }
  return round(median(runs), 3);
}

function rssMb(pid) {
  const match = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
  return round(Number(match[1]) / 1024, 1);
}

async function memory(kinds, pid, periodSeconds) {
  const idle = rssMb(pid);
  const afterPeriods = [];
  for (let period = 0; period < 3; period++) {
    await Promise.all([load(kinds.execute, 8, periodSeconds), load(kinds.proxy, 8, periodSeconds)]);
    await new Promise((resolve) => setTimeout(resolve, 1000));
    afterPeriods.push(rssMb(pid));
  }
  return { idleMb: idle, afterPeriodsMb: afterPeriods };
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// Process start to the first /health answer, with the state of `stateDir`.
async function startUpMs(stateDir) {
  const port = await new Promise((resolve) => {
    const probe = http.createServer().listen(0, '127.0.0.1', () => {
      const { port: free } = probe.address();
      probe.close(() => resolve(free));
    });
  });
  const started = performance.now();
  const child = spawn(process.execPath, [...BROKER_NODE_ARGUMENTS, path.join(repo, 'server', 'main.mjs')], {
    stdio: 'ignore', env: { ...process.env, PORT: String(port), SWITCHYARD_STATE_DIR: stateDir, HOME: path.dirname(stateDir) },
  });
  try {
    for (;;) {
      try {
        const res = await fetch(`http://127.0.0.1:${port}/health`);
        if (res.ok) return performance.now() - started;
      } catch {
        await new Promise((resolve) => setTimeout(resolve, 2));
      }
    }
  } finally {
    child.kill('SIGKILL');
    await new Promise((resolve) => child.once('exit', resolve));
  }
}

async function startUp(providerUrl, scratch) {
  const result = {};
  for (const events of [0, START_UP_EVENTS]) {
    const stateDir = path.join(scratch, `start-${events}`, 'state');
    const { child } = await startChild(['--broker', stateDir, providerUrl, String(events), '--exit']);
    await new Promise((resolve) => child.once('exit', resolve));
    const runs = [];
    for (let i = 0; i < 5; i++) runs.push(await startUpMs(stateDir));
    result[events] = round(median(runs), 1);
  }
  return result;
}

function wallMs(command, args, env) {
  const runs = [];
  for (let i = 0; i < 7; i++) {
    const started = performance.now();
    spawnSync(command, args, { env: { ...process.env, ...env }, stdio: 'ignore' });
    runs.push(performance.now() - started);
  }
  return round(median(runs), 1);
}

function checkTimes(broker, scratch) {
  const stateDir = path.join(scratch, 'wrapper', 'state');
  fs.mkdirSync(path.join(stateDir, 'agent-keys'), { recursive: true, mode: 0o700 });
  fs.chmodSync(stateDir, 0o700);
  fs.writeFileSync(path.join(stateDir, 'agent-keys', `${PROFILE}.key`), `${broker.key}\n`, { mode: 0o600 });
  const env = { SWITCHYARD_STATE_DIR: stateDir, TVN_BROKER_URL: broker.url, TVN_NODE: process.execPath };
  return {
    checkMs: wallMs(path.join(repo, 'script', 'tvn-mcp-launch.sh'), ['--profile', PROFILE, '--check'], env),
    nodeMs: wallMs(process.execPath, ['-e', '0'], {}),
  };
}

function verdicts(rows, memoryResult, startUpResult, check, fdatasyncMs) {
  const ratio = (connections, name) => {
    const row = rows[connections];
    return round(overRounds(row[name], (i) => row[name][i].perSecond / row.relay[i].perSecond));
  };
  const added = (name) => round(overRounds(rows[1][name], (i) => rows[1][name][i].medianMs - rows[1].direct[i].medianMs), 3);
  const maxAfter = Math.max(...memoryResult.afterPeriodsMb);
  const spread = round(maxAfter - Math.min(...memoryResult.afterPeriodsMb), 1);
  const startRatio = round(startUpResult[START_UP_EVENTS] / startUpResult[0]);
  const checkRatio = round(check.checkMs / check.nodeMs);
  const entry = (value, target, met) => ({ value, target, met });
  return {
    executeVsRelay16: entry(ratio(16, 'execute'), `>= ${TARGETS.throughputVsRelay}`, ratio(16, 'execute') >= TARGETS.throughputVsRelay),
    executeVsRelay64: entry(ratio(64, 'execute'), `>= ${TARGETS.throughputVsRelay}`, ratio(64, 'execute') >= TARGETS.throughputVsRelay),
    proxyVsRelay16: entry(ratio(16, 'proxy'), `>= ${TARGETS.throughputVsRelay}`, ratio(16, 'proxy') >= TARGETS.throughputVsRelay),
    proxyVsRelay64: entry(ratio(64, 'proxy'), `>= ${TARGETS.throughputVsRelay}`, ratio(64, 'proxy') >= TARGETS.throughputVsRelay),
    executeAddedMedianMs: entry(added('execute'), `<= ${TARGETS.addedMedianMs}`, added('execute') <= TARGETS.addedMedianMs),
    proxyAddedMedianMs: entry(added('proxy'), `<= ${TARGETS.addedMedianMs}`, added('proxy') <= TARGETS.addedMedianMs),
    relayAddedMedianMs: entry(added('relay'), 'reference', true),
    // What a durable record of each call costs any relay on this machine's disk and cores.
    durableRelayVsRelay16: entry(ratio(16, 'durableRelay'), 'reference', true),
    durableRelayVsRelay64: entry(ratio(64, 'durableRelay'), 'reference', true),
    durableRelayAddedMedianMs: entry(added('durableRelay'), 'reference', true),
    fdatasyncMedianMs: entry(fdatasyncMs, 'reference', true),
    rssAfterLoadMb: entry(maxAfter, `<= ${TARGETS.rssAfterLoadMb}`, maxAfter <= TARGETS.rssAfterLoadMb),
    rssSpreadAcrossPeriodsMb: entry(spread, 'flat (a few MB)', spread <= 5),
    startUpRatio: entry(startRatio, `<= ${TARGETS.startUpRatio}`, startRatio <= TARGETS.startUpRatio),
    checkVsNodeRatio: entry(checkRatio, `<= ${TARGETS.checkVsNodeRatio}`, checkRatio <= TARGETS.checkVsNodeRatio),
  };
}

// Per kind, the medians over the rounds.
function summarised(rounds) {
  const of = (key, places) => round(median(rounds.map((result) => result[key])), places);
  return { perSecond: of('perSecond', 0), medianMs: of('medianMs', 3), p99Ms: of('p99Ms', 3) };
}

async function runBenchmark({ seconds, rounds, warmUpSeconds, periodSeconds, outFile }) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-bench-agent-call-'));
  const children = [];
  try {
    const provider = await startChild(['--provider']);
    children.push(provider.child);
    const relay = await startChild(['--relay', provider.info.url]);
    children.push(relay.child);
    const durableRelay = await startChild(['--relay', provider.info.url, path.join(scratch, 'relay-records.log')]);
    children.push(durableRelay.child);
    // The broker runs with the node options its launchers give it.
    const broker = await startChild(['--broker', path.join(scratch, 'load', 'state'), provider.info.url, '0'], { nodeArguments: BROKER_NODE_ARGUMENTS });
    children.push(broker.child);
    const kinds = callKinds(provider.info, relay.info, durableRelay.info, broker.info);
    const idleMb = rssMb(broker.info.pid);
    await warmUp(kinds, warmUpSeconds);
    const rows = await throughput(kinds, seconds, rounds);
    const memoryResult = { ...(await memory(kinds, broker.info.pid, periodSeconds)), idleBeforeThroughputMb: idleMb };
    const check = checkTimes(broker.info, scratch);
    const startUpResult = await startUp(provider.info.url, scratch);
    const fdatasyncMs = fdatasyncMedianMs(scratch);
    const result = {
      benchmark: 'service/agent-call',
      machine: { cpus: os.cpus().length, node: process.version },
      secondsPerMeasurement: seconds,
      roundsPerConnectionCount: rounds,
      warmUpSecondsPerKind: warmUpSeconds,
      loadPeriodSeconds: periodSeconds,
      throughput: Object.fromEntries(Object.entries(rows).map(([c, row]) => [`${c} connection(s)`, Object.fromEntries(Object.entries(row).map(([k, v]) => [k, summarised(v)]))])),
      memory: memoryResult,
      startUpMs: { '0 events': startUpResult[0], [`${START_UP_EVENTS} events`]: startUpResult[START_UP_EVENTS] },
      wrapperCheck: check,
      againstTargets: verdicts(rows, memoryResult, startUpResult, check, fdatasyncMs),
    };
    const text = JSON.stringify(result, null, 2);
    process.stdout.write(`${text}\n`);
    if (outFile) fs.writeFileSync(outFile, `${text}\n`);
  } finally {
    for (const child of children) stop(child);
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}

const args = process.argv.slice(2);
const option = (name, fallback) => (args.includes(name) ? args[args.indexOf(name) + 1] : fallback);
switch (args[0]) {
  case '--provider':
    await runProvider();
    break;
  case '--relay':
    await runRelay(args[1], args[2]);
    break;
  case '--broker':
    await runBroker(args[1], args[2], Number(args[3]), args.includes('--exit'));
    break;
  default:
    await runBenchmark({
      seconds: Number(option('--seconds', '3')),
      rounds: Number(option('--rounds', '3')),
      warmUpSeconds: Number(option('--warm-up-seconds', '5')),
      periodSeconds: Number(option('--period-seconds', '60')),
      outFile: option('--out', null),
    });
}
