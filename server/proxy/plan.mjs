// Turns an agent's proxy request into the exact outgoing request, or refuses it. Every check runs
// before the credential is read: profile (this key's, not revoked), service (in the profile,
// within the key's risk), method, origin and path (allow lists), headers and body.
import { HttpError, badRequest, forbidden } from '../http/errors.mjs';
import { riskAtMost } from '../lib/risk.mjs';
import { CredentialPlacement, HEADER_NAME, isReservedHeader } from './records.mjs';
import { canonicalOrigin, pathWithin, splitTarget } from './target.mjs';

const MAX_HEADERS = 50;
const MAX_HEADER_VALUE = 8192;
const HEADER_VALUE = /^[\t\x20-\x7e\x80-\xff]*$/;

function requiredText(body, key) {
  const value = body[key];
  if (typeof value !== 'string' || value.trim() === '') throw badRequest(`${key} is required`);
  return value.trim();
}

function requireProfile(proxy, key, profileId) {
  const profile = proxy.findProfile(profileId);
  if (!profile) throw new HttpError(404, `no proxy profile ${profileId}`);
  if (profile.masterKeyId !== key.id) throw forbidden(`proxy profile ${profileId} belongs to another agent key`);
  if (profile.revokedAt) throw forbidden(`proxy profile ${profileId} is revoked`);
  return profile;
}

function requireService(proxy, profile, serviceId, key) {
  if (!profile.serviceIds.includes(serviceId)) throw forbidden(`service ${serviceId} is not part of proxy profile ${profile.id}`);
  const service = proxy.findService(serviceId);
  if (!service) throw new HttpError(404, `no proxy service ${serviceId}`);
  if (service.disabledAt) throw forbidden(`proxy service ${serviceId} is disabled`);
  if (!riskAtMost(service.risk, key.maxRisk)) {
    throw forbidden(`proxy service ${serviceId} (risk ${service.risk}) is above this agent key's maxRisk (${key.maxRisk})`);
  }
  return service;
}

function chooseOrigin(service, requested) {
  if (requested === undefined || requested === null) {
    if (service.allowedOrigins.length === 1) return service.allowedOrigins[0];
    throw badRequest('origin is required: this service allows more than one origin');
  }
  const origin = canonicalOrigin(requested, 'origin');
  if (!service.allowedOrigins.includes(origin)) throw forbidden(`origin ${origin} is not allowed for service ${service.id}`);
  return origin;
}

function readHeaders(value, credential) {
  if (value === undefined || value === null) return {};
  if (typeof value !== 'object' || Array.isArray(value)) throw badRequest('headers must be an object of header names and strings');
  const entries = Object.entries(value);
  if (entries.length > MAX_HEADERS) throw badRequest(`at most ${MAX_HEADERS} headers`);
  const headers = {};
  for (const [raw, text] of entries) {
    const name = raw.toLowerCase();
    if (!HEADER_NAME.test(name)) throw badRequest(`"${raw.slice(0, 64)}" is not a header name`);
    if (isReservedHeader(name) || name === credential.headerName) throw badRequest(`header ${name} cannot be set through the proxy`);
    if (typeof text !== 'string' || text.length > MAX_HEADER_VALUE || !HEADER_VALUE.test(text)) throw badRequest(`header ${name} must be a single-line string of visible characters`);
    headers[name] = text;
  }
  return headers;
}

function readPayload(method, value, headers) {
  if (value === undefined || value === null) return undefined;
  if (method === 'GET' || method === 'HEAD') throw badRequest(`a ${method} request has no body`);
  if (typeof value === 'string') {
    headers['content-type'] ??= 'text/plain; charset=utf-8';
    return value;
  }
  headers['content-type'] ??= 'application/json';
  return JSON.stringify(value);
}

function placeCredential(url, headers, credential, token) {
  const value = (credential.valuePrefix ?? '') + token;
  switch (credential.placement) {
    case CredentialPlacement.authorizationBearer:
      headers.authorization = `Bearer ${token}`;
      return;
    case CredentialPlacement.header:
      headers[credential.headerName] = value;
      return;
    case CredentialPlacement.query:
      url.search = `${url.search ? `${url.search.slice(1)}&` : ''}${encodeURIComponent(credential.queryParam)}=${encodeURIComponent(value)}`;
      return;
    default:
      throw new HttpError(500, 'proxy service has an unknown credential placement');
  }
}

// services: { proxy, catalog, connections }. facts collects what the audit record should name.
// Returns { service, connector, connection, method, origin, path, build(token) }; build gives the
// outgoing { url, method, headers, body } with the credential in place.
export function planRequest({ proxy, catalog, connections }, key, body, facts) {
  const profile = requireProfile(proxy, key, requiredText(body, 'profileId'));
  facts.profileId = profile.id;
  const service = requireService(proxy, profile, requiredText(body, 'serviceId'), key);
  Object.assign(facts, { serviceId: service.id, connectorId: service.connectorId, accountId: service.accountId });
  const method = requiredText(body, 'method').toUpperCase();
  if (!service.allowedMethods.includes(method)) throw forbidden(`method ${method.slice(0, 16)} is not allowed for service ${service.id}`);
  const origin = chooseOrigin(service, body.origin);
  const { path, query } = splitTarget(body.path);
  facts.target = `${method} ${origin}${path}`;
  if (!service.allowedPathPrefixes.some((prefix) => pathWithin(path, prefix))) throw forbidden(`path ${path} is outside the allowed path prefixes of service ${service.id}`);
  const { credential } = service;
  if (credential.placement === CredentialPlacement.query && new URLSearchParams(query).has(credential.queryParam)) {
    throw badRequest(`query parameter ${credential.queryParam} is set by the broker`);
  }
  const headers = readHeaders(body.headers, credential);
  const payload = readPayload(method, body.body, headers);
  const connector = catalog.get(service.connectorId);
  const connection = connections.requireActive(service.connectorId, service.accountId);

  const build = (token) => {
    const url = new URL(origin);
    url.pathname = path;
    url.search = query;
    const outgoing = { ...(connector?.headers ?? {}), ...headers };
    placeCredential(url, outgoing, credential, token);
    // The URL class must not have re-read what was checked.
    if (url.origin !== origin || url.pathname !== path) throw badRequest('path cannot be sent as checked');
    return { url, method, headers: outgoing, body: payload };
  };
  return { service, connector, connection, method, origin, path, build };
}
