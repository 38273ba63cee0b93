// Calls a provider with a stored credential: builds the request from a tool's template, bounds
// the time and the response size, never lets the credential into an error text (some providers
// carry it in the URL), and cuts it out of the answer in every form it may come back in.
import { HttpError } from '../http/errors.mjs';
import { credentialForms, redactText, redactValue } from './redact.mjs';
import { exchange, ProviderError } from './transport.mjs';

export { ProviderError };

const MAX_RESPONSE_BYTES = 2 * 1024 * 1024;

function pathValue(name, value) {
  const text = String(value);
  if (text === '' || text === '.' || text === '..') throw new HttpError(400, `input.${name} is not a valid path value`);
  return encodeURIComponent(text);
}

export function buildProviderRequest(connector, template, input, token) {
  const base = new URL(connector.baseUrl);
  let path = template.path.replace(/\{(\w+)\}/g, (_, name) => pathValue(name, input[name]));
  if (connector.auth.placement === 'path') path = connector.auth.pathPrefix.replace('{token}', encodeURIComponent(token)) + path;
  const url = new URL(base.origin);
  url.pathname = base.pathname.replace(/\/+$/, '') + path;
  for (const [name, value] of Object.entries(template.staticQuery ?? {})) url.searchParams.set(name, value);
  for (const name of template.query ?? []) {
    if (input[name] !== undefined && input[name] !== null) url.searchParams.set(name, String(input[name]));
  }
  const headers = { accept: 'application/json', ...(connector.headers ?? {}) };
  if (connector.auth.placement === 'bearer') headers.authorization = `Bearer ${token}`;
  if (connector.auth.placement === 'header') headers[connector.auth.header] = token;
  let body;
  if (template.body) {
    const payload = {};
    for (const name of template.body) if (input[name] !== undefined && input[name] !== null) payload[name] = input[name];
    body = JSON.stringify(payload);
    headers['content-type'] = 'application/json';
  }
  return { url, method: template.method, headers, body };
}

function parseBody(text) {
  try {
    return text === '' ? null : JSON.parse(text);
  } catch {
    return text;
  }
}

// Returns { status, ok, body }: ok is a 2xx answer whose okField (if the connector has one) is true.
// stop: the in-flight call's handle, by which the kill switch stops it. forms: the token's
// credential forms, when the caller has them at hand already.
export async function callProvider(connector, token, template, input, { timeoutMs, stop, forms = credentialForms(token) }) {
  const request = buildProviderRequest(connector, template, input, token);
  const response = await exchange(request, { timeoutMs, maxBytes: MAX_RESPONSE_BYTES, stop, providerName: connector.displayName });
  const body = redactValue(parseBody(redactText(response.body.toString('utf8'), forms)), forms);
  const fieldOk = connector.okField ? body?.[connector.okField] === true : true;
  return { status: response.status, ok: response.status >= 200 && response.status < 300 && fieldOk, body };
}

// Rejections are answers that say the credential itself is wrong (Slack and Telegram answer a
// bad token with a success status and {"ok": false}).
const refusedInBody = (result) => result.status >= 200 && result.status < 300 && !result.ok;
export const isRejection = (result) => [401, 403].includes(result.status) || refusedInBody(result);
export function errorCodeOf(result) {
  if (result.ok) return undefined;
  return refusedInBody(result) ? 'provider_refused' : `http_${result.status}`;
}
