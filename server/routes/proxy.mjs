// Proxy services and profiles (operator), and the proxied request itself (agent key): an agent
// calls a provider's HTTP API through the broker with a stored credential it never sees.
import { HttpError } from '../http/errors.mjs';
import { randomId } from '../lib/ids.mjs';
import { ProviderError } from '../connectors/provider.mjs';
import { openedCredentialForms } from '../connectors/redact.mjs';
import { createProxyStore } from '../proxy/store.mjs';
import { readProfileRequest, readServiceRequest, summarizeProfile, summarizeService } from '../proxy/records.mjs';
import { planRequest } from '../proxy/plan.mjs';
import { forward } from '../proxy/forward.mjs';

const proxyStore = (ctx) => createProxyStore(ctx.services.store);

// Runs an operator action with its audit record: action(options) hands options to the store
// change, which writes the "allowed" record with it; a refusal is recorded with the error's text.
async function audited(ctx, event, action) {
  try {
    return await action({ audit: () => [{ actor: 'operator', decision: 'allowed', ...event }] });
  } catch (error) {
    if (error instanceof HttpError) ctx.audit.append({ actor: 'operator', decision: 'denied', ...event, reason: [event.reason, error.message].filter(Boolean).join(': ') });
    throw error;
  }
}

// A service whose connection is revoked, or a profile whose agent key is revoked, can no longer
// work: the list says so, as the app shows only what is still live.
function listServices(ctx) {
  const { connections } = ctx.services;
  return { services: proxyStore(ctx).services().map((svc) => summarizeService(svc, connections.find(svc.connectorId, svc.accountId)?.revokedAt)) };
}

function listProfiles(ctx) {
  return { profiles: proxyStore(ctx).profiles().map((p) => summarizeProfile(p, ctx.agentKeys.findById(p.masterKeyId)?.revokedAt)) };
}

function createService(ctx) {
  const connectorId = typeof ctx.body.connectorId === 'string' ? ctx.body.connectorId : '';
  const reason = typeof ctx.body.id === 'string' ? `service ${ctx.body.id.slice(0, 128)}` : undefined;
  return audited(ctx, { action: 'proxy_service.create', connectorId, accountId: ctx.body.accountId, reason }, (options) => {
    const connector = ctx.services.catalog.get(connectorId);
    if (!connector) throw new HttpError(404, `unknown connector ${connectorId}`);
    const request = readServiceRequest(ctx.body, connector);
    ctx.services.connections.requireActive(connector.id, request.accountId);
    return ctx.reply(201, { ok: true, service: summarizeService(proxyStore(ctx).addService(request, options)) });
  });
}

function createProfile(ctx) {
  const key = typeof ctx.body.masterKeyId === 'string' ? ctx.agentKeys.findById(ctx.body.masterKeyId) : null;
  return audited(ctx, { action: 'proxy_profile.create', agentId: key?.agentId, keyId: key?.id }, (options) => {
    const profile = proxyStore(ctx).addProfile(readProfileRequest(ctx.body, key), options);
    return ctx.reply(201, { ok: true, profile: summarizeProfile(profile) });
  });
}

function revokeProfile(ctx) {
  const profile = proxyStore(ctx).findProfile(ctx.params.profile);
  return audited(ctx, { action: 'proxy_profile.revoke', agentId: profile?.agentId, keyId: profile?.masterKeyId, reason: `profile ${ctx.params.profile}` }, (options) => ({
    ok: true,
    profile: summarizeProfile(proxyStore(ctx).revokeProfile(ctx.params.profile, options)),
  }));
}

function describe(facts) {
  return [facts.profileId && `profile ${facts.profileId}`, facts.serviceId && `service ${facts.serviceId}`, facts.target].filter(Boolean).join(', ');
}

async function proxyRequest(ctx) {
  const { key } = ctx.auth;
  const { services } = ctx;
  const facts = { correlationId: randomId('corr', 8) };
  const decide = (decision, outcome) =>
    ctx.audit.append({
      actor: 'agent',
      action: 'proxy.request',
      decision,
      agentId: key.agentId,
      keyId: key.id,
      connectorId: facts.connectorId,
      accountId: facts.accountId,
      correlationId: facts.correlationId,
      reason: [describe(facts), outcome].filter(Boolean).join(': '),
    });

  let plan;
  let credential;
  let outgoing;
  try {
    plan = planRequest({ proxy: createProxyStore(services.store), catalog: services.catalog, connections: services.connections }, key, ctx.body, facts);
    credential = services.connections.openCredential(plan.service.connectorId, plan.service.accountId);
    outgoing = plan.build(credential.text);
  } catch (error) {
    if (error instanceof HttpError) decide('denied', error.message);
    throw error;
  }
  let result;
  const call = services.inflight.begin();
  try {
    result = await forward(outgoing, { forms: openedCredentialForms(credential), timeoutMs: ctx.config.providerTimeoutMs, providerName: plan.connector?.displayName ?? plan.service.connectorId, stop: call });
  } catch (error) {
    if (!(error instanceof ProviderError)) throw error;
    if (error.code === 'aborted') {
      decide('aborted', 'stopped by the kill switch while in flight');
      throw new HttpError(403, 'Kill switch is on: agent access is paused', { correlationId: facts.correlationId });
    }
    decide('provider_error', error.code);
    throw new HttpError(error.code === 'timeout' ? 504 : 502, `provider request failed: ${error.message}`, { correlationId: facts.correlationId });
  } finally {
    call.end();
  }
  decide(result.ok ? 'allowed' : 'provider_error', `HTTP ${result.status}`);
  services.connections.touch(plan.connection);
  ctx.agentKeys.touch(key.id);
  return { correlationId: facts.correlationId, serviceId: plan.service.id, ...result };
}

export const routes = [
  { method: 'GET', path: '/v1/proxy/services', auth: 'operator', handler: listServices },
  { method: 'POST', path: '/v1/proxy/services', auth: 'operator', handler: createService },
  { method: 'GET', path: '/v1/proxy/profiles', auth: 'operator', handler: listProfiles },
  { method: 'POST', path: '/v1/proxy/profiles', auth: 'operator', handler: createProfile },
  { method: 'POST', path: '/v1/proxy/profiles/{profile}/revoke', auth: 'operator', handler: revokeProfile },
  { method: 'POST', path: '/v1/proxy/request', auth: 'agent', handler: proxyRequest },
];
