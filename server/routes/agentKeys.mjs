// Agent keys ("master keys") and the kill switch.
import { HttpError, badRequest } from '../http/errors.mjs';
import { checkAgentId } from '../lib/ids.mjs';
import { DEFAULT_MAX_RISK, RISK_LEVELS, isRisk } from '../lib/risk.mjs';
import { summarizeKey } from '../state/agentKeys.mjs';

function readCreateRequest(ctx) {
  const { name, connectorIds, maxRisk } = ctx.body;
  const agentId = checkAgentId(ctx.body.agentId);
  if (name !== undefined && name !== null && typeof name !== 'string') throw badRequest('name must be a string');
  const trimmedName = (name ?? '').trim() || agentId;
  if (trimmedName.length > 128) throw badRequest('name is longer than 128 characters');
  if (!Array.isArray(connectorIds) || connectorIds.length === 0 || connectorIds.some((id) => typeof id !== 'string')) {
    throw badRequest('connectorIds must be a non-empty list of connector ids');
  }
  const ids = [...new Set(connectorIds.map((id) => id.trim()).filter(Boolean))];
  for (const id of ids) if (!ctx.services.catalog.get(id)) throw new HttpError(404, `unknown connector ${id}`);
  if (ids.length === 0) throw badRequest('connectorIds must be a non-empty list of connector ids');
  const risk = maxRisk === undefined || maxRisk === null || maxRisk === '' ? DEFAULT_MAX_RISK : maxRisk;
  if (!isRisk(risk)) throw badRequest(`maxRisk must be one of ${RISK_LEVELS.join(', ')}`);
  return { agentId, name: trimmedName, connectorIds: ids, maxRisk: risk };
}

function createKey(ctx) {
  const request = readCreateRequest(ctx);
  const { secret, key } = ctx.agentKeys.create(request, {
    audit: (created) => [{ actor: 'operator', action: 'agent_key.create', decision: 'allowed', agentId: created.agentId, keyId: created.id }],
  });
  const { id, name, agentId, scopes, createdAt, maxRisk, status } = summarizeKey(key);
  return ctx.reply(201, { key: secret, record: { id, name, agentId, scopes, createdAt, maxRisk, status } });
}

function revokeKey(ctx) {
  const key = ctx.agentKeys.findById(ctx.params.key);
  if (!key) throw new HttpError(404, `no agent key ${ctx.params.key}`);
  if (key.revokedAt) throw new HttpError(409, 'already revoked');
  const revoked = ctx.agentKeys.revoke(key.id, {
    audit: () => [{ actor: 'operator', action: 'agent_key.revoke', decision: 'allowed', agentId: key.agentId, keyId: key.id }],
  });
  ctx.services.executor.cancelForKey(key.id);
  return { ok: true, key: summarizeKey(revoked) };
}

function setKillSwitch(ctx) {
  if (typeof ctx.body.enabled !== 'boolean') throw badRequest('enabled must be true or false');
  const action = ctx.body.enabled ? 'killswitch.enable' : 'killswitch.disable';
  const { inflight } = ctx.services;
  // Turned on, it also stops the calls already on their way (each records that it was stopped).
  const stopping = ctx.body.enabled ? inflight.count : 0;
  const reason = stopping ? `stopping ${stopping} call(s) in flight` : undefined;
  ctx.killSwitch.set(ctx.body.enabled, { audit: () => [{ actor: 'operator', action, decision: 'allowed', reason }] });
  if (ctx.body.enabled) inflight.abortAll();
  return { ok: true, enabled: ctx.killSwitch.enabled };
}

export const routes = [
  { method: 'GET', path: '/v1/master-keys', auth: 'operator', handler: (ctx) => ({ keys: ctx.agentKeys.list() }) },
  { method: 'POST', path: '/v1/master-keys', auth: 'operator', handler: createKey },
  { method: 'POST', path: '/v1/master-keys/{key}/revoke', auth: 'operator', handler: revokeKey },
  { method: 'GET', path: '/v1/killswitch', auth: 'operator', handler: (ctx) => ({ enabled: ctx.killSwitch.enabled }) },
  { method: 'POST', path: '/v1/killswitch', auth: 'operator', handler: setKillSwitch },
];
