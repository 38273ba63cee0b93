// Sends one checked request to the provider and brings back what the agent may see: the status,
// a safe subset of the headers and the body, bounded in size and time. Redirects are handed back,
// never followed. The credential is cut out of everything that comes back, since a provider may
// echo it (an error text, a Location carrying the query, a JSON or base64 echo).
import { redactBytes, redactText, redactValue } from '../connectors/redact.mjs';
import { exchange } from '../connectors/transport.mjs';

export const MAX_PROXY_RESPONSE_BYTES = 2 * 1024 * 1024;

const PASSED_HEADERS = new Set([
  'content-type', 'content-language', 'content-disposition', 'cache-control', 'etag', 'last-modified', 'expires', 'date',
  'link', 'location', 'retry-after', 'x-request-id', 'x-github-request-id',
]);
const PASSED_PREFIXES = ['x-ratelimit-', 'ratelimit'];
const TEXTUAL = /^(text\/|application\/([\w.-]+\+)?(json|xml)\b|application\/(javascript|x-www-form-urlencoded)\b)/i;
const strictUtf8 = new TextDecoder('utf-8', { fatal: true }); // keeps no state between whole-buffer decodes

function passedHeaders(headers, forms) {
  const out = {};
  for (const [name, value] of Object.entries(headers)) {
    if (PASSED_HEADERS.has(name) || PASSED_PREFIXES.some((prefix) => name.startsWith(prefix))) {
      out[name] = redactText(Array.isArray(value) ? value.join(', ') : String(value), forms);
    }
  }
  return out;
}

function encodeBody(bytes, contentType) {
  if (bytes.length === 0) return { body: '', bodyEncoding: 'utf8' };
  if (contentType === '' || TEXTUAL.test(contentType)) {
    try {
      return { body: strictUtf8.decode(bytes), bodyEncoding: 'utf8' };
    } catch {
      // not UTF-8 after all: fall through to base64
    }
  }
  return { body: bytes.toString('base64'), bodyEncoding: 'base64' };
}

// A JSON answer can spell the credential with "\u" escapes, which only show once parsed: such an
// answer is parsed, and sent re-serialised if that reveals anything to cut.
function redactEscapedJson(encoded, contentType, forms) {
  if (encoded.bodyEncoding !== 'utf8' || !encoded.body.includes('\\u') || !/json/i.test(contentType)) return encoded;
  let parsed;
  try {
    parsed = JSON.parse(encoded.body);
  } catch {
    return encoded;
  }
  const redacted = JSON.stringify(redactValue(parsed, forms));
  return redacted === JSON.stringify(parsed) ? encoded : { ...encoded, body: redacted };
}

// request: { url, method, headers, body }; returns { status, ok, headers, body, bodyEncoding }.
// stop: the in-flight call's handle, by which the kill switch stops it.
// forms: the credential's forms (redact.mjs), to cut out of the answer.
export async function forward(request, { forms, timeoutMs, providerName, stop }) {
  const response = await exchange(request, { timeoutMs, maxBytes: MAX_PROXY_RESPONSE_BYTES, stop, providerName });
  const headers = passedHeaders(response.headers, forms);
  const contentType = headers['content-type'] ?? '';
  return {
    status: response.status,
    ok: response.status >= 200 && response.status < 300,
    headers,
    ...redactEscapedJson(encodeBody(redactBytes(response.body, forms), contentType), contentType, forms),
  };
}
