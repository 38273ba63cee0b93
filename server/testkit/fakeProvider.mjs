// A stand-in for the real providers (they cannot be reached from tests): one loopback server,
// each connector under its own path prefix. Tokens starting with "valid-" are accepted; "hang-"
// tokens never get an answer (for time-out tests); anything else is rejected the way the real
// provider does (Slack and Telegram say {"ok": false}).
import http from 'node:http';
import { baseUrlVariable, CONNECTOR_DEFINITIONS } from '../connectors/catalog.mjs';

function tokenOf(req, connectorId, rest) {
  if (connectorId === 'telegram') {
    const match = /^\/bot([^/]+)(\/.*)$/.exec(rest);
    return match ? { token: decodeURIComponent(match[1]), path: match[2] } : { token: '', path: rest };
  }
  const auth = String(req.headers.authorization ?? '');
  const token = auth.startsWith('Bearer ') ? auth.slice(7) : req.headers['x-api-key'] ?? req.headers['x-goog-api-key'] ?? '';
  return { token, path: rest };
}

export async function startFakeProvider() {
  const requests = [];
  const pending = new Set();
  const responders = new Map(); // "connector METHOD path" -> (request) => { status, body }
  const server = http.createServer(async (req, res) => {
    const chunks = [];
    for await (const chunk of req) chunks.push(chunk);
    const url = new URL(req.url, 'http://fake');
    const [, connectorId, ...restParts] = url.pathname.split('/');
    const { token, path } = tokenOf(req, connectorId, `/${restParts.join('/')}`);
    const text = Buffer.concat(chunks).toString('utf8');
    const record = { connectorId, method: req.method, path, query: Object.fromEntries(url.searchParams), token, headers: req.headers, body: text ? JSON.parse(text) : null };
    requests.push(record);
    if (token.startsWith('hang-')) {
      pending.add(res);
      return;
    }
    const send = (status, body) => {
      res.writeHead(status, { 'content-type': 'application/json' });
      res.end(JSON.stringify(body));
    };
    if (!token.startsWith('valid-')) {
      if (connectorId === 'slack') return send(200, { ok: false, error: 'invalid_auth' });
      return send(401, { ok: false, message: 'Bad credentials' });
    }
    // A responder answers { status, body } (sent as JSON), { status, raw } (sent as it is), or
    // null: no answer at all, like a provider that hangs.
    const custom = responders.get(`${connectorId} ${req.method} ${path}`);
    if (custom) {
      const answer = custom(record);
      if (answer === null) {
        pending.add(res);
        return;
      }
      if (answer.raw === undefined) return send(answer.status, answer.body);
      res.writeHead(answer.status, { 'content-type': 'application/json' });
      return res.end(answer.raw);
    }
    return send(200, { ok: true, echo: { method: req.method, path, query: record.query, body: record.body } });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  server.unref();
  const base = `http://127.0.0.1:${server.address().port}`;

  return {
    requests,
    respond(connectorId, method, path, fn) {
      responders.set(`${connectorId} ${method} ${path}`, fn);
    },
    // Environment that points every connector of the catalog at this server.
    env() {
      return Object.fromEntries(CONNECTOR_DEFINITIONS.map((c) => [baseUrlVariable(c.id), `${base}/${c.id}`]));
    },
    async close() {
      for (const res of pending) res.destroy();
      server.closeAllConnections?.();
      await new Promise((resolve) => server.close(resolve));
    },
  };
}
