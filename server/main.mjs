// Broker entry point. Binds loopback only; the port and paths come from the environment the
// app (or the control script) hands over.
import http from 'node:http';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const serviceRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const build = JSON.parse(readFileSync(path.join(serviceRoot, 'tvn-build.json'), 'utf8'));
const env = process.env;
const host = '127.0.0.1';
const port = Number.parseInt(env.PORT ?? '47382', 10);

function posture() {
  return {
    bindMode: 'loopback',
    workerMode: 'single',
    loopbackOnly: true,
    brokerUrl: `http://${host}:${port}`,
    brokerPort: port,
    runtimeLane: env.TVN_RUNTIME_LANE ?? 'development',
    serviceLabel: env.TVN_SERVICE_LABEL ?? '',
    appBundleId: env.TVN_APP_BUNDLE_ID ?? '',
    stateDir: env.SWITCHYARD_STATE_DIR ?? '',
    profileStoreDir: env.TVN_PROFILE_STORE_DIR ?? '',
    logDir: env.TVN_LOG_DIR ?? '',
    applicationSupportRoot: env.TVN_APPLICATION_SUPPORT_ROOT ?? '',
    keychainMode: env.SWITCHYARD_KEYCHAIN_MODE ?? 'file',
    operatorBootstrapMode: env.SWITCHYARD_OPERATOR_BOOTSTRAP_MODE ?? 'file',
    buildId: env.SWITCHYARD_BUILD_ID ?? build.buildId,
    buildChannel: env.SWITCHYARD_BUILD_CHANNEL ?? build.buildChannel,
    serviceRoot,
    serviceRootDisplay: serviceRoot,
    entrypoint: fileURLToPath(import.meta.url),
    wrapperCommand: path.join(serviceRoot, 'script', 'tvn-mcp-launch.sh'),
  };
}

function sendJSON(res, status, body) {
  res.writeHead(status, { 'content-type': 'application/json; charset=utf-8' });
  res.end(JSON.stringify(body));
}

const server = http.createServer((req, res) => {
  const url = new URL(req.url, `http://${host}:${port}`);
  if (req.method === 'GET' && url.pathname === '/health') {
    return sendJSON(res, 200, { ok: true, service: 'switchyard-broker', vault: 'unconfigured' });
  }
  if (req.method === 'GET' && url.pathname === '/v1/local-posture') return sendJSON(res, 200, posture());
  if (req.method === 'GET' && url.pathname === '/') {
    res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
    return res.end('<!doctype html><title>Torvane</title><p>Torvane local service is running.</p>');
  }
  sendJSON(res, 404, { error: 'not found' });
});

server.listen(port, host);
for (const signal of ['SIGTERM', 'SIGINT']) process.on(signal, () => server.close(() => process.exit(0)));
