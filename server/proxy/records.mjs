// Proxy services (what may be called with which stored credential) and proxy profiles (which
// agent key may use which services): the operator's create requests and the listed records.
import { HttpError, badRequest } from '../http/errors.mjs';
import { checkIdentifier } from '../lib/ids.mjs';
import { RISK_LEVELS, isRisk } from '../lib/risk.mjs';
import { canonicalOrigin, canonicalPath } from './target.mjs';

export const CredentialPlacement = Object.freeze({
  authorizationBearer: 'authorization_bearer',
  header: 'header',
  query: 'query',
});

export const PROXY_METHODS = Object.freeze(['GET', 'HEAD', 'POST', 'PUT', 'PATCH', 'DELETE']);
const MAX_LIST = 32;
const MAX_TEXT = 200;
export const HEADER_NAME = /^[A-Za-z0-9!#$%&'*+.^_`|~-]{1,64}$/;
const QUERY_NAME = /^[A-Za-z0-9._~-]{1,64}$/;
// Headers the transport or the broker owns; a credential placed there would be dropped or doubled.
export const RESERVED_HEADERS = new Set([
  'host', 'authorization', 'proxy-authorization', 'cookie', 'content-length', 'transfer-encoding', 'connection', 'keep-alive',
  'upgrade', 'te', 'trailer', 'expect', 'forwarded', 'via', 'origin',
]);

export const isReservedHeader = (name) => RESERVED_HEADERS.has(name) || name.startsWith('x-forwarded-') || name.startsWith('proxy-');

function optionalText(body, key, max = MAX_TEXT) {
  const value = body[key];
  if (value === undefined || value === null) return '';
  if (typeof value !== 'string') throw badRequest(`${key} must be a string`);
  if (value.length > max) throw badRequest(`${key} is longer than ${max} characters`);
  if (/[\u0000-\u001f\u007f]/.test(value)) throw badRequest(`${key} must not contain control characters`);
  return value.trim();
}

function stringList(body, key, read) {
  const value = body[key];
  if (!Array.isArray(value) || value.length === 0 || value.length > MAX_LIST || value.some((v) => typeof v !== 'string')) {
    throw badRequest(`${key} must be a list of 1 to ${MAX_LIST} strings`);
  }
  return [...new Set(value.map(read))];
}

function readMethod(text) {
  const method = text.trim().toUpperCase();
  if (!PROXY_METHODS.includes(method)) throw badRequest(`allowedMethods may only hold ${PROXY_METHODS.join(', ')}; got "${text.slice(0, 20)}"`);
  return method;
}

function readCredential(value) {
  if (value === null || typeof value !== 'object' || Array.isArray(value)) throw badRequest('credential must be an object with a placement');
  const placement = optionalText(value, 'placement', 64);
  const placements = Object.values(CredentialPlacement);
  if (!placements.includes(placement)) throw badRequest(`credential.placement must be one of ${placements.join(', ')}`);
  const credential = { placement };
  const valuePrefix = value.valuePrefix ?? '';
  if (typeof valuePrefix !== 'string' || valuePrefix.length > 64 || /[\u0000-\u001f\u007f]/.test(valuePrefix)) {
    throw badRequest('credential.valuePrefix must be a single-line string of at most 64 characters');
  }
  if (placement === CredentialPlacement.header) {
    const headerName = optionalText(value, 'headerName', 64).toLowerCase();
    if (!HEADER_NAME.test(headerName) || isReservedHeader(headerName)) {
      throw badRequest('credential.headerName must be a header name the transport does not own (not host, cookie, content-length, …)');
    }
    credential.headerName = headerName;
  }
  if (placement === CredentialPlacement.query) {
    const queryParam = optionalText(value, 'queryParam', 64);
    if (!QUERY_NAME.test(queryParam)) throw badRequest('credential.queryParam must be 1-64 letters, digits or . _ ~ -');
    credential.queryParam = queryParam;
  }
  if (valuePrefix) {
    if (placement === CredentialPlacement.authorizationBearer) throw badRequest('credential.valuePrefix does not apply to authorization_bearer');
    credential.valuePrefix = valuePrefix;
  }
  return credential;
}

// connector: the catalog entry; its API origin is the only place its credential may go.
export function readServiceRequest(body, connector) {
  const id = checkIdentifier(body.id, 'id');
  const accountId = checkIdentifier(body.accountId, 'accountId');
  const apiOrigin = new URL(connector.baseUrl).origin;
  const allowedOrigins = stringList(body, 'allowedOrigins', (text) => {
    const origin = canonicalOrigin(text, 'allowedOrigins entry');
    if (origin !== apiOrigin) throw badRequest(`allowedOrigins may only hold ${connector.displayName}'s API origin ${apiOrigin}`);
    return origin;
  });
  const risk = body.risk === undefined || body.risk === null || body.risk === '' ? 'low' : body.risk;
  if (!isRisk(risk)) throw badRequest(`risk must be one of ${RISK_LEVELS.join(', ')}`);
  return {
    id,
    displayName: optionalText(body, 'displayName') || `${connector.displayName} ${accountId}`,
    connectorId: connector.id,
    accountId,
    allowedOrigins,
    allowedMethods: stringList(body, 'allowedMethods', readMethod),
    allowedPathPrefixes: stringList(body, 'allowedPathPrefixes', (text) => canonicalPath(text.trim(), 'allowedPathPrefixes entry')),
    risk,
    credential: readCredential(body.credential),
  };
}

export function readProfileRequest(body, key) {
  if (!key) throw new HttpError(404, 'masterKeyId must name an agent key');
  if (key.revokedAt) throw new HttpError(409, `agent key ${key.id} is revoked`);
  const agentId = optionalText(body, 'agentId', 128);
  if (agentId && agentId !== key.agentId) throw badRequest('agentId does not match the agent key');
  const serviceIds = stringList(body, 'serviceIds', (id) => checkIdentifier(id.trim(), 'serviceIds entry'));
  return { name: optionalText(body, 'name') || `${key.agentId} proxy profile`, agentId: key.agentId, masterKeyId: key.id, serviceIds };
}

// stoppedAt: when the service's connection was revoked, if it was; the service is off from then on.
export function summarizeService(s, stoppedAt = null) {
  const summary = {
    id: s.id,
    displayName: s.displayName,
    connectorId: s.connectorId,
    accountId: s.accountId,
    allowedOrigins: [...s.allowedOrigins],
    allowedMethods: [...s.allowedMethods],
    allowedPathPrefixes: [...s.allowedPathPrefixes],
    risk: s.risk,
    credential: { ...s.credential },
    createdAt: s.createdAt,
  };
  const disabledAt = s.disabledAt ?? stoppedAt;
  if (disabledAt) summary.disabledAt = disabledAt;
  return summary;
}

// stoppedAt: when the profile's agent key was revoked, if it was; the profile is dead from then on.
export function summarizeProfile(p, stoppedAt = null) {
  const summary = { id: p.id, name: p.name, agentId: p.agentId, masterKeyId: p.masterKeyId, serviceIds: [...p.serviceIds], createdAt: p.createdAt };
  const revokedAt = p.revokedAt ?? stoppedAt;
  if (revokedAt) summary.revokedAt = revokedAt;
  return summary;
}
