// The connector catalog and linked accounts.
import { HttpError, badRequest } from '../http/errors.mjs';
import { checkIdentifier } from '../lib/ids.mjs';
import { vaultLocked } from '../state/vault.mjs';
import { callProvider, errorCodeOf, isRejection, ProviderError } from '../connectors/provider.mjs';

const MAX_TOKEN_LENGTH = 16 * 1024;

function requireConnector(ctx, id) {
  const connector = ctx.services.catalog.get(id);
  if (!connector) throw new HttpError(404, `unknown connector ${id}`);
  return connector;
}

function optionalText(body, key, max) {
  const value = body[key];
  if (value === undefined || value === null) return '';
  if (typeof value !== 'string') throw badRequest(`${key} must be a string`);
  if (value.length > max) throw badRequest(`${key} is longer than ${max} characters`);
  return value.trim();
}

function readLinkRequest(connector, body) {
  if (typeof body.token !== 'string' || body.token.trim() === '') throw badRequest('token is required');
  const token = body.token.trim();
  if (token.length > MAX_TOKEN_LENGTH || /[\s\0]/.test(token)) throw badRequest('token must be a single line without spaces');
  const accountId = checkIdentifier(optionalText(body, 'accountId', 128) || 'default', 'accountId');
  const authModeId = optionalText(body, 'authModeId', 64);
  if (authModeId && !connector.authOptions.some((o) => o.id === authModeId)) throw badRequest(`unknown authModeId ${authModeId} for ${connector.id}`);
  return {
    token,
    accountId,
    authModeId: authModeId || undefined,
    alias: optionalText(body, 'alias', 200) || `${connector.displayName} ${accountId}`,
    source: optionalText(body, 'source', 64) || 'api',
  };
}

function requireUnlockedVault(vault) {
  if (vault.status === 'unconfigured') throw new HttpError(409, 'Set up the vault passphrase before linking accounts');
  if (vault.status !== 'unlocked') throw vaultLocked();
}

// Asks the provider whether the token works. Throws unless it does.
async function validateCredential(ctx, connector, token) {
  let result;
  try {
    result = await callProvider(connector, token, connector.check, {}, { timeoutMs: ctx.config.providerTimeoutMs });
  } catch (error) {
    if (error instanceof ProviderError) throw new HttpError(504, `could not check the credential: ${error.message}; nothing was stored`);
    throw error;
  }
  if (result.ok) return;
  if (isRejection(result)) throw new HttpError(400, `credential validation failed: ${connector.displayName} rejected the credential (HTTP ${result.status})`);
  throw new HttpError(502, `could not check the credential: ${connector.displayName} answered HTTP ${result.status}; nothing was stored`);
}

async function linkCredential(ctx) {
  const connector = requireConnector(ctx, ctx.params.connector);
  const request = readLinkRequest(connector, ctx.body);
  const { vault, connections } = ctx.services;
  requireUnlockedVault(vault);
  const audited = { actor: 'operator', action: 'credential.link', connectorId: connector.id, accountId: request.accountId };
  try {
    await validateCredential(ctx, connector, request.token);
  } catch (error) {
    ctx.audit.append({ ...audited, decision: 'denied', reason: error.message });
    throw error;
  }
  requireUnlockedVault(vault);
  const connection = connections.link({ ...request, connectorId: connector.id, authType: connector.auth.type }, { audit: () => [{ ...audited, decision: 'allowed' }] });
  return ctx.reply(201, { ok: true, connection });
}

async function connectionHealth(ctx) {
  const connector = requireConnector(ctx, ctx.params.connector);
  const { vault, connections } = ctx.services;
  const record = connections.requireActive(connector.id, ctx.params.account);
  requireUnlockedVault(vault);
  const token = connections.readCredential(connector.id, record.accountId);
  let outcome;
  try {
    const result = await callProvider(connector, token, connector.check, {}, { timeoutMs: ctx.config.providerTimeoutMs });
    outcome = { healthy: result.ok, errorCode: errorCodeOf(result) };
  } catch (error) {
    if (!(error instanceof ProviderError)) throw error;
    outcome = { healthy: false, errorCode: error.code };
  }
  const health = connections.recordHealth(record, outcome, {
    audit: (recorded) => [{ actor: 'operator', action: 'connection.health', decision: recorded.status, connectorId: connector.id, accountId: record.accountId }],
  });
  const answer = {
    tenantId: 'local',
    providerId: connector.id,
    accountId: record.accountId,
    status: health.status,
    checkedAt: health.checkedAt,
    consecutiveFailures: health.consecutiveFailures,
  };
  if (health.lastErrorCode) answer.lastErrorCode = health.lastErrorCode;
  return answer;
}

function revokeConnection(ctx) {
  const connector = requireConnector(ctx, ctx.params.connector);
  const connection = ctx.services.connections.revoke(connector.id, ctx.params.account, {
    audit: () => [{ actor: 'operator', action: 'connection.revoke', decision: 'allowed', connectorId: connector.id, accountId: ctx.params.account }],
  });
  return { ok: true, connection };
}

export const routes = [
  {
    method: 'GET',
    path: '/v1/connectors',
    auth: 'operator',
    handler: (ctx) => ({ connectors: ctx.services.catalog.summaries() }),
  },
  { method: 'POST', path: '/v1/credentials/{connector}', auth: 'operator', handler: linkCredential },
  { method: 'GET', path: '/v1/connections', auth: 'operator', handler: (ctx) => ({ connections: ctx.services.connections.list() }) },
  { method: 'GET', path: '/v1/connections/{connector}/{account}/health', auth: 'operator', handler: connectionHealth },
  { method: 'POST', path: '/v1/connections/{connector}/{account}/revoke', auth: 'operator', handler: revokeConnection },
];
