// POST /v1/agents/{id}/connect: write Torvane's MCP entry into an agent app's config file.
import os from 'node:os';
import path from 'node:path';
import { HttpError } from '../http/errors.mjs';
import { AgentConfigError } from '../agents/AgentConfigError.mjs';
import { connectAgentApp } from '../agents/connect.mjs';

function homeDirectory(env) {
  return env.HOME || os.homedir();
}

// File-system failures (permissions, a full disk) keep their system text; it names no secret.
function asHttpError(error) {
  if (error instanceof AgentConfigError) return new HttpError(error.status, error.message);
  if (typeof error?.code === 'string' && error.code.startsWith('E')) return new HttpError(500, `Could not write the agent app's config: ${error.message}`);
  return error;
}

async function connect(ctx) {
  const appId = ctx.params.id;
  const activeKey = ctx.agentKeys.findActiveByAgentId(appId);
  try {
    const { response, backupPath } = await connectAgentApp({
      appId,
      homeDir: homeDirectory(ctx.env),
      brokerUrl: ctx.brokerUrl,
      runtimeLane: ctx.env.TVN_RUNTIME_LANE,
      stateDir: ctx.config.stateDir,
      signerPath: ctx.env.SWITCHYARD_BOUND_PROFILE_SIGNER_PATH,
      wrapperCommand: path.join(ctx.config.serviceRoot, 'script', 'tvn-mcp-launch.sh'),
      activeKey,
      killSwitchEnabled: ctx.killSwitch.enabled,
    });
    const backup = backupPath ? ` (backup ${backupPath})` : '';
    ctx.audit.append({ actor: 'operator', action: 'agent.connect', decision: 'allowed', agentId: appId, keyId: response.keyId, reason: `${response.action} ${response.configPath}${backup}` });
    return response;
  } catch (error) {
    const failure = asHttpError(error);
    ctx.audit.append({ actor: 'operator', action: 'agent.connect', decision: 'denied', agentId: appId, reason: failure.message });
    throw failure;
  }
}

export const routes = [{ method: 'POST', path: '/v1/agents/{id}/connect', auth: 'operator', handler: connect }];
