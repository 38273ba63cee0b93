// Sends one checked request to the provider and brings back what the agent may see: the status,
// a safe subset of the headers and the body, bounded in size and time. Redirects are handed back,
// never followed. The credential is cut out of everything that comes back, since a provider may
// echo it (an error text, a Location carrying the query).
import { ProviderError } from '../connectors/provider.mjs';

export const MAX_PROXY_RESPONSE_BYTES = 2 * 1024 * 1024;
export const REDACTED = '[redacted]';

const PASSED_HEADERS = new Set([
  'content-type', 'content-language', 'content-disposition', 'cache-control', 'etag', 'last-modified', 'expires', 'date',
  'link', 'location', 'retry-after', 'x-request-id', 'x-github-request-id',
]);
const PASSED_PREFIXES = ['x-ratelimit-', 'ratelimit'];
const TEXTUAL = /^(text\/|application\/([\w.-]+\+)?(json|xml)\b|application\/(javascript|x-www-form-urlencoded)\b)/i;

// Every form in which the credential could come back: as sent and percent-encoded.
export function credentialForms(token) {
  return [...new Set([token, encodeURIComponent(token)])].filter(Boolean);
}

function redactText(text, forms) {
  return forms.reduce((out, form) => out.split(form).join(REDACTED), text);
}

// Byte-exact redaction: latin1 maps each byte to one character and back.
function redactBytes(bytes, forms) {
  const text = bytes.toString('latin1');
  const out = forms.reduce((acc, form) => acc.split(Buffer.from(form, 'utf8').toString('latin1')).join(REDACTED), text);
  return out === text ? bytes : Buffer.from(out, 'latin1');
}

function passedHeaders(headers, forms) {
  const out = {};
  for (const [name, value] of headers) {
    if (PASSED_HEADERS.has(name) || PASSED_PREFIXES.some((prefix) => name.startsWith(prefix))) out[name] = redactText(value, forms);
  }
  return out;
}

async function readBounded(response) {
  const chunks = [];
  let size = 0;
  for await (const chunk of response.body ?? []) {
    size += chunk.length;
    if (size > MAX_PROXY_RESPONSE_BYTES) throw new ProviderError('too_large', `provider response exceeds ${MAX_PROXY_RESPONSE_BYTES} bytes`);
    chunks.push(chunk);
  }
  return Buffer.concat(chunks);
}

function encodeBody(bytes, contentType) {
  if (bytes.length === 0) return { body: '', bodyEncoding: 'utf8' };
  if (contentType === '' || TEXTUAL.test(contentType)) {
    try {
      return { body: new TextDecoder('utf-8', { fatal: true }).decode(bytes), bodyEncoding: 'utf8' };
    } catch {
      // not UTF-8 after all: fall through to base64
    }
  }
  return { body: bytes.toString('base64'), bodyEncoding: 'base64' };
}

// request: { url, method, headers, body }; returns { status, ok, headers, body, bodyEncoding }.
export async function forward(request, { token, timeoutMs, providerName }) {
  const forms = credentialForms(token);
  try {
    const response = await fetch(request.url, {
      method: request.method,
      headers: request.headers,
      body: request.body,
      redirect: 'manual',
      signal: AbortSignal.timeout(timeoutMs),
    });
    const bytes = redactBytes(await readBounded(response), forms);
    return {
      status: response.status,
      ok: response.status >= 200 && response.status < 300,
      headers: passedHeaders(response.headers, forms),
      ...encodeBody(bytes, response.headers.get('content-type') ?? ''),
    };
  } catch (error) {
    if (error instanceof ProviderError) throw error;
    if (error?.name === 'TimeoutError' || error?.name === 'AbortError') {
      throw new ProviderError('timeout', `${providerName} did not answer within ${Math.round(timeoutMs / 100) / 10} s`);
    }
    throw new ProviderError('network_error', `${providerName} could not be reached`);
  }
}
