// Tool calls from agents (bearer agent key) and the app's smoke test (operator session + agentId),
// the agent's view of its tools, and pending approvals.
import { HttpError, badRequest } from '../http/errors.mjs';
import { checkAgentId, checkIdentifier } from '../lib/ids.mjs';
import { inputSchema } from '../lib/schema.mjs';
import { riskAtMost } from '../lib/risk.mjs';
import { needsApproval } from '../execution.mjs';
import { fullApproval, summarizeApproval } from '../state/approvals.mjs';

const MAX_REASON = 500;
const MAX_ID_LENGTH = 128;

function callerOf(ctx) {
  if (ctx.auth.kind === 'agent') {
    const key = ctx.auth.key;
    if (ctx.body.agentId !== undefined && ctx.body.agentId !== key.agentId) throw badRequest('agentId does not match the agent key');
    return { caller: { actor: 'agent', agentId: key.agentId, keyId: key.id }, key };
  }
  return { caller: { actor: 'operator', agentId: checkAgentId(ctx.body.agentId) }, key: null };
}

async function execute(ctx) {
  for (const field of ['connectorId', 'toolId']) {
    if (typeof ctx.body[field] !== 'string' || ctx.body[field] === '') throw badRequest(`${field} is required`);
    if (ctx.body[field].length > MAX_ID_LENGTH) throw badRequest(`${field} is longer than ${MAX_ID_LENGTH} characters`);
  }
  if (ctx.body.accountId !== undefined) checkIdentifier(ctx.body.accountId, 'accountId');
  const { caller, key } = callerOf(ctx);
  const outcome = await ctx.services.executor.execute(caller, key, ctx.body);
  if (key) ctx.agentKeys.touch(key.id);
  return ctx.reply(outcome.status, outcome.body);
}

function collect(ctx) {
  const outcome = ctx.services.executor.collect(ctx.auth.key, ctx.params.approval);
  return ctx.reply(outcome.status, outcome.body);
}

function agentTools(ctx) {
  const key = ctx.auth.key;
  const { catalog, connections } = ctx.services;
  const connected = connections.connectedConnectorIds();
  const tools = [];
  for (const scope of key.scopes) {
    const connector = catalog.get(scope.replace(/^connector:/, ''));
    if (!connector) continue;
    for (const tool of connector.tools) {
      if (!riskAtMost(tool.risk, key.maxRisk)) continue;
      tools.push({
        connectorId: connector.id,
        toolId: tool.id,
        title: tool.title,
        risk: tool.risk,
        mode: tool.mode,
        requiresApproval: needsApproval(tool),
        connected: connected.has(connector.id),
        inputSchema: inputSchema(tool),
      });
    }
  }
  return { agentId: key.agentId, keyId: key.id, maxRisk: key.maxRisk, tools };
}

async function approve(ctx) {
  const { requestDigest } = ctx.body;
  if (requestDigest !== undefined && (typeof requestDigest !== 'string' || requestDigest.length > 128)) throw badRequest('requestDigest must be the digest of the reviewed request');
  return ctx.services.executor.approve(ctx.params.approval, requestDigest);
}

function showApproval(ctx) {
  const approval = ctx.services.approvals.get(ctx.params.approval);
  if (!approval) throw new HttpError(404, `no approval ${ctx.params.approval}`);
  return fullApproval(approval);
}

function deny(ctx) {
  const { reason } = ctx.body;
  if (reason !== undefined && reason !== null && typeof reason !== 'string') throw badRequest('reason must be a string');
  const text = (reason ?? '').trim().slice(0, MAX_REASON) || 'Denied by the operator';
  return ctx.services.executor.deny(ctx.params.approval, text);
}

export const routes = [
  { method: 'POST', path: '/v1/execute', auth: 'operator-or-agent', handler: execute },
  { method: 'GET', path: '/v1/execute/{approval}', auth: 'agent', handler: collect },
  { method: 'GET', path: '/v1/agent/tools', auth: 'agent', handler: agentTools },
  { method: 'GET', path: '/v1/approvals', auth: 'operator', handler: (ctx) => ({ approvals: ctx.services.approvals.pending().map(summarizeApproval) }) },
  { method: 'GET', path: '/v1/approvals/{approval}', auth: 'operator', handler: showApproval },
  { method: 'POST', path: '/v1/approvals/{approval}/approve', auth: 'operator', handler: approve },
  { method: 'POST', path: '/v1/approvals/{approval}/deny', auth: 'operator', handler: deny },
];
