// The one way out to providers, for tool calls and proxied requests alike: an undici connection
// pool per provider origin (a socket is reused, not opened per call), one deadline for the whole
// exchange, a cap on the answer's size, and a stop from outside (the kill switch). Redirects are
// handed back, never followed. The answer comes back uncompressed or not at all: what cannot be
// read cannot be checked for the credential.
//
// undici's dispatcher rather than node:http's client: it costs about a third less broker CPU per
// agent call. Only its Agent is loaded, not the package's whole index (fetch, WebSocket, caches:
// some 10 MB more resident for nothing the broker uses).
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const Agent = require('undici/lib/dispatcher/agent.js');

export class ProviderError extends Error {
  constructor(code, message) {
    super(message);
    this.code = code;
  }
}

// As many sockets kept per origin as may be in use: with fewer, calls above that count wait for
// a socket rather than open one.
const dispatcher = new Agent({ connections: 128 });

const outgoingHeaders = (headers) => ({ ...headers, 'accept-encoding': 'identity' });

// Response headers as node:http gives them: lower-case names, a repeated header as a list.
function headerObject(raw) {
  const headers = {};
  for (let i = 0; i < raw.length; i += 2) {
    const name = raw[i].toString('latin1').toLowerCase();
    const value = raw[i + 1].toString('latin1');
    headers[name] = headers[name] === undefined ? value : [].concat(headers[name], value);
  }
  return headers;
}

function contentEncodingOf(headers) {
  const value = headers['content-encoding'];
  return String(Array.isArray(value) ? value.join(',') : value ?? 'identity').trim().toLowerCase();
}

// request: { url (URL), method, headers, body? }. Returns { status, headers (lower-case names),
// body (Buffer) }; throws ProviderError with code timeout, network_error, too_large, encoded or
// aborted. stop: the in-flight call's handle (inflight.mjs), when the call may be stopped.
export function exchange(request, { timeoutMs, maxBytes, stop, providerName }) {
  const { url } = request;
  return new Promise((resolve, reject) => {
    let finished = false;
    let abortRequest = null;
    const response = { status: 0, headers: null, chunks: [], size: 0 };
    const finish = (error, value) => {
      if (finished) return;
      finished = true;
      clearTimeout(timer);
      if (stop) stop.onStop = null;
      if (error) {
        abortRequest?.(error);
        reject(error);
      } else resolve(value);
    };
    const timer = setTimeout(() => finish(new ProviderError('timeout', `${providerName} did not answer within ${Math.round(timeoutMs / 100) / 10} s`)), timeoutMs);
    const onAbort = () => finish(new ProviderError('aborted', 'the call was stopped by the kill switch'));
    if (stop?.stopped) return onAbort();
    if (stop) stop.onStop = onAbort;
    const options = { origin: url.origin, path: url.pathname + url.search, method: request.method, headers: outgoingHeaders(request.headers), body: request.body };
    dispatcher.dispatch(options, {
      onConnect(abort) {
        abortRequest = abort;
        if (finished) abort(new ProviderError('aborted', 'the call was already over'));
      },
      onHeaders(status, raw) {
        response.status = status;
        response.headers = headerObject(raw);
        const encoding = contentEncodingOf(response.headers);
        if (encoding !== 'identity' && encoding !== '') finish(new ProviderError('encoded', `${providerName} answered with a compressed body (${encoding.slice(0, 32)})`));
        return true;
      },
      onData(chunk) {
        response.size += chunk.length;
        if (response.size > maxBytes) finish(new ProviderError('too_large', `provider response exceeds ${maxBytes} bytes`));
        else response.chunks.push(chunk);
        return true;
      },
      onComplete() {
        finish(null, { status: response.status, headers: response.headers, body: Buffer.concat(response.chunks) });
      },
      onError() {
        finish(new ProviderError('network_error', `${providerName} could not be reached`));
      },
    });
  });
}
