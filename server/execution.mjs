// Policy and execution of agent tool calls. Read tools and low-risk writes run at once; writes
// above low risk wait for the operator's approval. Every decision goes to the audit chain.
import { HttpError } from './http/errors.mjs';
import { canonicalJson } from './lib/canonical.mjs';
import { randomId, sha256Hex } from './lib/ids.mjs';
import { riskAtMost } from './lib/risk.mjs';
import { inputObject, validateInput } from './lib/schema.mjs';
import { callProvider, ProviderError } from './connectors/provider.mjs';
import { openedCredentialForms } from './connectors/redact.mjs';
import { summarizeApproval } from './state/approvals.mjs';
import { VAULT_LOCKED, vaultLocked } from './state/vault.mjs';

export const needsApproval = (tool) => tool.mode !== 'read' && tool.risk !== 'low';

const requestDigest = (request) => sha256Hex(canonicalJson(request));

const KILL_SWITCH_ON = 'Kill switch is on: agent access is paused';

export function createExecutor({ catalog, connections, agentKeys, killSwitch, audit, approvals, vault, config, inflight }) {
  // caller: { actor: 'agent' | 'operator', agentId, keyId? }
  function auditDecision(caller, request, action, decision, extra = {}) {
    audit.append({
      actor: caller.actor,
      action,
      decision,
      agentId: caller.agentId,
      keyId: caller.keyId,
      connectorId: request.connectorId,
      toolId: request.toolId,
      accountId: request.accountId,
      correlationId: request.correlationId,
      ...extra,
    });
  }

  function refuse(caller, request, status, message) {
    auditDecision(caller, request, 'tool.execute', 'denied', { reason: message });
    return new HttpError(status, message);
  }

  function checkPolicy(caller, key, request) {
    if (killSwitch.enabled) throw refuse(caller, request, 403, KILL_SWITCH_ON);
    const connector = catalog.get(request.connectorId);
    if (!connector) throw new HttpError(404, `unknown connector ${request.connectorId}`);
    const tool = catalog.tool(request.connectorId, request.toolId);
    if (!tool) throw new HttpError(404, `unknown tool ${request.toolId} for connector ${request.connectorId}`);
    if (key && !key.scopes.includes(`connector:${connector.id}`)) {
      throw refuse(caller, request, 403, `agent key is not allowed to use connector ${connector.id}`);
    }
    if (key && !riskAtMost(tool.risk, key.maxRisk)) {
      throw refuse(caller, request, 403, `tool ${tool.id} (risk ${tool.risk}) is above this agent key's maxRisk (${key.maxRisk})`);
    }
    return { connector, tool };
  }

  async function run(connector, tool, account, input) {
    const credential = connections.openCredential(connector.id, account.accountId);
    const call = inflight.begin();
    try {
      const result = await callProvider(connector, credential.text, tool.request, input, {
        timeoutMs: config.providerTimeoutMs,
        stop: call,
        forms: openedCredentialForms(credential),
      });
      connections.touch(account);
      return result;
    } finally {
      call.end();
    }
  }

  async function runAudited(caller, request, connector, tool, account, input) {
    try {
      const result = await run(connector, tool, account, input);
      auditDecision(caller, request, 'tool.execute', result.ok ? 'allowed' : 'provider_error', result.ok ? {} : { reason: `HTTP ${result.status}` });
      return result;
    } catch (error) {
      if (error instanceof ProviderError && error.code === 'aborted') {
        auditDecision(caller, request, 'tool.execute', 'aborted', { reason: 'stopped by the kill switch while in flight' });
        throw new HttpError(403, KILL_SWITCH_ON, { stopped: true });
      }
      if (error instanceof ProviderError) {
        auditDecision(caller, request, 'tool.execute', 'provider_error', { reason: error.code });
        throw new HttpError(502, `provider request failed: ${error.message}`);
      }
      throw error;
    }
  }

  const completed = (request, result) => ({
    status: 'completed',
    correlationId: request.correlationId,
    connectorId: request.connectorId,
    toolId: request.toolId,
    accountId: request.accountId,
    providerStatus: result.status,
    ok: result.ok,
    output: result.body,
  });

  return {
    // Returns { status: 200, body } for a finished call or { status: 202, body } for a pending one.
    async execute(caller, key, body) {
      const request = {
        connectorId: body.connectorId,
        toolId: body.toolId,
        correlationId: randomId('corr', 8),
      };
      const { connector, tool } = checkPolicy(caller, key, request);
      // The app's approval smoke test sends an input of its own making: it may raise an approval
      // as it is, and is checked against the tool only if the operator approves it.
      const operatorSmokeTest = caller.actor === 'operator' && needsApproval(tool);
      const input = operatorSmokeTest ? inputObject(body.input) : validateInput(tool, body.input);
      const account = connections.pickAccount(connector.id, body.accountId);
      request.accountId = account.accountId;
      if (!needsApproval(tool)) {
        if (vault.status !== 'unlocked') throw refuse(caller, request, 423, VAULT_LOCKED);
        return { status: 200, body: completed(request, await runAudited(caller, request, connector, tool, account, input)) };
      }
      const approval = approvals.create({
        agentId: caller.agentId,
        keyId: caller.keyId ?? null,
        actor: caller.actor,
        connectorId: connector.id,
        toolId: tool.id,
        accountId: account.accountId,
        risk: tool.risk,
        input,
        correlationId: request.correlationId,
        requestDigest: requestDigest({ connectorId: connector.id, toolId: tool.id, accountId: account.accountId, input }),
      });
      auditDecision(caller, request, 'approval.request', 'pending', { approvalId: approval.id });
      return {
        status: 202,
        body: { status: 'pending_approval', approvalId: approval.id, expiresAt: summarizeApproval(approval).expiresAt, correlationId: request.correlationId },
      };
    },

    // seenDigest: the requestDigest of the request the operator reviewed, when the client sends it.
    // What runs is only ever what was shown: a request the list shows cut needs the digest of
    // its whole view.
    async approve(approvalId, seenDigest) {
      const approval = approvals.requirePending(approvalId);
      if (seenDigest !== undefined && seenDigest !== approval.requestDigest) {
        throw new HttpError(409, 'this is not the request that was reviewed (its digest differs): review it again before approving');
      }
      if (seenDigest === undefined && approval.display.displayTruncated) {
        throw new HttpError(409, 'this request is too large to show in full in the list: open the whole request in the dashboard and approve it there');
      }
      const request = approval;
      const operator = { actor: 'operator', agentId: approval.agentId, keyId: approval.keyId ?? undefined };
      if (killSwitch.enabled) throw new HttpError(409, 'Kill switch is on: disable it before approving requests');
      if (approval.keyId && agentKeys.findById(approval.keyId)?.revokedAt) {
        approvals.finish(approval, 'cancelled', { reason: 'agent key revoked' });
        throw new HttpError(409, 'the agent key that asked for this request has been revoked');
      }
      if (vault.status !== 'unlocked') throw vaultLocked();
      const connector = catalog.get(approval.connectorId);
      const tool = catalog.tool(approval.connectorId, approval.toolId);
      const account = connections.requireActive(approval.connectorId, approval.accountId);
      try {
        validateInput(tool, approval.input);
      } catch (error) {
        approvals.finish(approval, 'failed', { error: error.message });
        auditDecision(operator, request, 'approval.approve', 'invalid', { approvalId: approval.id, reason: error.message });
        throw error;
      }
      approvals.finish(approval, 'running');
      auditDecision(operator, request, 'approval.approve', 'allowed', { approvalId: approval.id });
      try {
        const result = await runAudited({ ...operator, actor: approval.actor }, request, connector, tool, account, approval.input);
        approvals.finish(approval, 'completed', { result: completed(request, result) });
        return { ok: true, approvalId: approval.id, status: 'completed', providerStatus: result.status };
      } catch (error) {
        if (error.extra?.stopped) {
          approvals.finish(approval, 'cancelled', { reason: 'the kill switch was turned on while it ran' });
          throw new HttpError(409, 'Kill switch turned on: the approved call was stopped while it ran');
        }
        approvals.finish(approval, 'failed', { error: error.message });
        throw error;
      }
    },

    deny(approvalId, reason) {
      const approval = approvals.requirePending(approvalId);
      approvals.finish(approval, 'denied', { reason });
      auditDecision({ actor: 'operator', agentId: approval.agentId, keyId: approval.keyId ?? undefined }, approval, 'approval.deny', 'denied', {
        approvalId: approval.id,
        reason,
      });
      return { ok: true, approvalId: approval.id, status: 'denied' };
    },

    // What an agent learns about its own request.
    collect(key, approvalId) {
      const approval = approvals.get(approvalId);
      if (!approval || approval.keyId !== key.id) throw new HttpError(404, `no request ${approvalId} for this agent key`);
      const base = { approvalId: approval.id, correlationId: approval.correlationId };
      switch (approval.status) {
        case 'pending':
        case 'running':
          return { status: 202, body: { ...base, status: 'pending_approval', expiresAt: summarizeApproval(approval).expiresAt } };
        case 'completed':
          return { status: 200, body: { ...base, ...approval.result } };
        case 'denied':
          throw new HttpError(403, `request denied by the operator: ${approval.reason}`, { ...base, status: 'denied', reason: approval.reason });
        case 'expired':
          throw new HttpError(410, 'approval expired before the operator decided', { ...base, status: 'expired' });
        case 'cancelled':
          throw new HttpError(409, `request cancelled: ${approval.reason}`, { ...base, status: 'cancelled' });
        default:
          throw new HttpError(502, `approved request failed: ${approval.error}`, { ...base, status: 'failed' });
      }
    },

    cancelForKey(keyId) {
      for (const approval of approvals.forKey(keyId)) approvals.finish(approval, 'cancelled', { reason: 'agent key revoked' });
    },
  };
}
