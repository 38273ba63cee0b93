// The one way out to providers, for tool calls and proxied requests alike: node:http(s) with
// keep-alive agents (a socket is reused, not opened per call), one deadline for the whole
// exchange, a cap on the answer's size, and a stop from outside (the kill switch). Redirects are
// handed back, never followed. The answer comes back uncompressed or not at all: what cannot
// be read cannot be checked for the credential.
import http from 'node:http';
import https from 'node:https';

export class ProviderError extends Error {
  constructor(code, message) {
    super(message);
    this.code = code;
  }
}

// As many sockets kept as may be in use: with fewer, every burst above that count closes the
// extra sockets when it ends and opens them again for the next one.
const AGENT_OPTIONS = { keepAlive: true, maxSockets: 128, maxFreeSockets: 128, scheduling: 'lifo' };
const agents = { 'http:': new http.Agent(AGENT_OPTIONS), 'https:': new https.Agent(AGENT_OPTIONS) };

function outgoingHeaders(headers, body) {
  const out = { ...headers, 'accept-encoding': 'identity' };
  if (body !== undefined) out['content-length'] = Buffer.byteLength(body);
  return out;
}

// request: { url (URL), method, headers, body? }. Returns { status, headers (node's object), body
// (Buffer) }; throws ProviderError with code timeout, network_error, too_large, encoded or aborted.
// stop: the in-flight call's handle (inflight.mjs), when the call may be stopped.
export function exchange(request, { timeoutMs, maxBytes, stop, providerName }) {
  const { url } = request;
  const lib = url.protocol === 'https:' ? https : http;
  return new Promise((resolve, reject) => {
    let req;
    let finished = false;
    const finish = (error, value) => {
      if (finished) return;
      finished = true;
      clearTimeout(timer);
      if (stop) stop.onStop = null;
      if (error) {
        req.destroy();
        reject(error);
      } else resolve(value);
    };
    const timer = setTimeout(() => finish(new ProviderError('timeout', `${providerName} did not answer within ${Math.round(timeoutMs / 100) / 10} s`)), timeoutMs);
    const onAbort = () => finish(new ProviderError('aborted', 'the call was stopped by the kill switch'));
    const unreachable = () => finish(new ProviderError('network_error', `${providerName} could not be reached`));
    req = lib.request(url, { method: request.method, headers: outgoingHeaders(request.headers, request.body), agent: agents[url.protocol] }, (res) => {
      const encoding = String(res.headers['content-encoding'] ?? 'identity').trim().toLowerCase();
      if (encoding !== 'identity' && encoding !== '') {
        finish(new ProviderError('encoded', `${providerName} answered with a compressed body (${encoding.slice(0, 32)})`));
        return;
      }
      const chunks = [];
      let size = 0;
      res.on('data', (chunk) => {
        size += chunk.length;
        if (size > maxBytes) finish(new ProviderError('too_large', `provider response exceeds ${maxBytes} bytes`));
        else chunks.push(chunk);
      });
      res.on('end', () => finish(null, { status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
      res.on('error', unreachable);
      res.on('close', () => {
        if (!res.complete) unreachable();
      });
    });
    req.on('error', unreachable);
    if (stop?.stopped) return onAbort();
    if (stop) stop.onStop = onAbort;
    req.end(request.body);
  });
}
