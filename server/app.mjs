// The broker: configuration, state, services and the HTTP front (host check, body reading, auth,
// routing, one JSON error shape). createBroker() is what main.mjs and the tests start.
import http from 'node:http';
import { readConfig } from './config.mjs';
import { createRouter } from './http/router.mjs';
import { readJsonBody } from './http/body.mjs';
import { HttpError, errorBody } from './http/errors.mjs';
import { Reply, reply, raw, sendReply } from './http/reply.mjs';
import { createServices } from './services.mjs';
import { StateFileError } from './state/files.mjs';
import { routeModules } from './routes/index.mjs';

const BODY_METHODS = new Set(['POST', 'PUT', 'PATCH', 'DELETE']);
const SESSION_HEADER = 'x-tvn-operator-session';

function formatHost(host) {
  return host.includes(':') ? `[${host}]` : host;
}

// DNS-rebinding defence: only the bound loopback address and localhost, on our port.
function allowedHosts(bindHost, port) {
  return new Set([`${formatHost(bindHost)}:${port}`, `localhost:${port}`]);
}

function bearerToken(req) {
  const match = /^Bearer\s+(\S+)\s*$/i.exec(String(req.headers.authorization ?? ''));
  return match ? match[1] : null;
}

export function createBroker(options = {}) {
  const config = readConfig(options.env ?? process.env, options);
  const log = options.log ?? ((line) => process.stderr.write(`[broker] ${line}\n`));
  const services = createServices(config, { log, bindAddress: () => server.address()?.address ?? '' });
  const router = createRouter(options.routeModules ?? routeModules);
  const server = http.createServer((req, res) => handle(req, res));
  server.requestTimeout = 60_000;
  server.headersTimeout = 20_000;
  let hosts = allowedHosts(config.bindHost, config.port);
  let origins = new Set();
  const broker = { config, services, server, log, url: '', port: config.port };

  function authenticateOperator(req) {
    const id = req.headers[SESSION_HEADER];
    if (id === undefined || id === '') throw new HttpError(401, 'local operator session required');
    const session = services.sessions.find(String(id));
    if (!session) throw new HttpError(401, 'Invalid or expired local operator session');
    return { kind: 'operator', session };
  }

  function authenticateAgent(req) {
    const token = bearerToken(req);
    if (!token) throw new HttpError(401, 'agent key required (authorization: Bearer <agent key>)');
    const key = services.agentKeys.findBySecret(token);
    const refuse = (status, message, reason) => {
      services.audit.append({ actor: 'agent', action: 'agent.request', decision: 'denied', agentId: key.agentId, keyId: key.id, reason });
      return new HttpError(status, message);
    };
    if (!key) throw new HttpError(401, 'invalid or revoked agent key');
    if (key.revokedAt) throw refuse(401, 'invalid or revoked agent key', 'revoked agent key');
    if (services.killSwitch.enabled) throw refuse(403, 'Kill switch is on: agent access is paused', 'kill switch on');
    return { kind: 'agent', key };
  }

  function authenticate(route, req) {
    switch (route.auth) {
      case 'none':
        return { kind: 'none' };
      case 'operator':
        return authenticateOperator(req);
      case 'agent':
        return authenticateAgent(req);
      case 'operator-or-agent':
        return req.headers[SESSION_HEADER] !== undefined ? authenticateOperator(req) : authenticateAgent(req);
      case 'operator-or-bootstrap':
        if (req.headers[SESSION_HEADER] !== undefined) return authenticateOperator(req);
        return services.operator.authenticateBootstrap(req.headers['x-tvn-operator-bootstrap']);
      default:
        throw new HttpError(500, 'route has no auth rule');
    }
  }

  function checkRequestOrigin(req) {
    if (!hosts.has(String(req.headers.host ?? '').toLowerCase())) throw new HttpError(421, 'request refused: unexpected Host header');
    // Browsers name the page's origin; only pages served by this broker may call it ("null" never).
    const origin = req.headers.origin;
    if (origin !== undefined && !origins.has(String(origin).toLowerCase())) {
      throw new HttpError(403, 'request refused: cross-origin requests are not allowed');
    }
  }

  // What every request's context shares; each request adds only its own few fields on top.
  const sharedContext = {
    config,
    env: config.env,
    get brokerUrl() {
      return broker.url;
    },
    services,
    audit: services.audit,
    agentKeys: services.agentKeys,
    killSwitch: services.killSwitch,
    reply,
    raw,
    log,
    get url() {
      this.parsedUrl ??= new URL(this.req.url, broker.url); // parsed only for the routes that read it
      return this.parsedUrl;
    },
    get query() {
      return this.url.searchParams;
    },
    // For routes with auth 'none' that decide themselves: the operator session or a 401.
    requireOperator() {
      return authenticateOperator(this.req);
    },
    operatorSession() {
      try {
        return authenticateOperator(this.req).session;
      } catch {
        return null;
      }
    },
  };

  function makeContext(req, res, params, auth, body) {
    const context = Object.create(sharedContext);
    context.req = req;
    context.res = res;
    context.method = req.method;
    context.params = params;
    context.body = body;
    context.headers = req.headers;
    context.auth = auth;
    context.parsedUrl = null;
    return context;
  }

  async function handle(req, res) {
    try {
      checkRequestOrigin(req);
      // Route on the path as sent: URL parsing would fold "%2e%2e" segments away silently.
      const rawPath = String(req.url).split('?')[0];
      if (!rawPath.startsWith('/')) throw new HttpError(400, 'invalid request path');
      const { route, params } = router.match(req.method, rawPath);
      const auth = authenticate(route, req);
      const body = BODY_METHODS.has(req.method) ? await readJsonBody(req, config.bodyLimitBytes) : undefined;
      const result = await route.handler(makeContext(req, res, params, auth, body));
      await services.audit.durable(); // nothing is answered before its audit record is on disk
      sendReply(res, result ?? {});
    } catch (error) {
      await services.audit.durable().catch(() => {}); // the refusal's record, if it has one
      if (!(error instanceof HttpError)) log(`${req.method} ${String(req.url).split('?')[0]} failed: ${error?.message ?? error}`);
      const status = error instanceof HttpError ? error.status : 500;
      let body = { error: 'internal broker error' };
      if (error instanceof HttpError) body = errorBody(error);
      else if (error instanceof StateFileError) body = { error: `broker state problem: ${error.message}` };
      if (status === 413 || status === 421) res.setHeader('connection', 'close');
      sendReply(res, new Reply(status, body));
    }
  }

  broker.start = () =>
    new Promise((resolve, reject) => {
      server.once('error', reject);
      server.listen(config.port, config.bindHost, () => {
        server.off('error', reject);
        broker.port = server.address().port;
        broker.url = `http://${formatHost(config.bindHost)}:${broker.port}`;
        hosts = allowedHosts(config.bindHost, broker.port);
        origins = new Set([broker.url, `http://localhost:${broker.port}`]);
        resolve(broker);
      });
    });

  broker.close = async () => {
    await new Promise((resolve) => {
      server.close(() => resolve());
      server.closeAllConnections?.();
    });
    await services.close();
  };

  return broker;
}
