// The broker's tools for an agent key, exposed as MCP tools. Each call is forwarded to the broker
// with the key; calls that need the user's approval say so and name the way to collect the result.
import { z } from 'zod';
import { brokerMessage } from './brokerClient.mjs';
import { redactSecrets } from './redact.mjs';

export const COLLECT_TOOL = 'tvn_approval_result';
const CALL_TIMEOUT_MS = 120_000;

const ZOD_TYPES = {
  string: () => z.string(),
  integer: () => z.number().int(),
  number: () => z.number(),
  boolean: () => z.boolean(),
  array: () => z.array(z.unknown()),
  object: () => z.record(z.unknown()),
};

export function zodShape(inputSchema) {
  const required = new Set(inputSchema?.required ?? []);
  const shape = {};
  for (const [name, spec] of Object.entries(inputSchema?.properties ?? {})) {
    let field = (ZOD_TYPES[spec.type] ?? (() => z.unknown()))();
    if (spec.description) field = field.describe(spec.description);
    shape[name] = required.has(name) ? field : field.optional();
  }
  return shape;
}

// Agent apps accept only [A-Za-z0-9_-] in tool names: "github.issue.create" → "github_issue_create".
export function mcpToolNames(tools) {
  const taken = new Set([COLLECT_TOOL]);
  return tools.map((tool) => {
    const base = tool.toolId.replace(/[^A-Za-z0-9_-]/g, '_').slice(0, 60);
    let name = base;
    for (let n = 2; taken.has(name); n++) name = `${base}_${n}`;
    taken.add(name);
    return name;
  });
}

function describe(tool) {
  const notes = [`${tool.connectorId}, risk ${tool.risk}`];
  if (tool.requiresApproval) notes.push('each call waits for the user\'s approval in Torvane');
  if (tool.connected === false) notes.push('no account connected in Torvane yet');
  return `${tool.title} (${notes.join('; ')}). Runs through the local Torvane broker; no credentials are shared.`;
}

const text = (body, isError = false) => ({ content: [{ type: 'text', text: redactSecrets(body) }], isError });

function pendingResult(toolName, body) {
  return text([
    `"${toolName}" is waiting for the user's approval in Torvane (approval id ${body.approvalId}, expires ${body.expiresAt}).`,
    'Ask the user to approve or deny it in the Torvane app.',
    `Then call the tool "${COLLECT_TOOL}" with {"approvalId": "${body.approvalId}"} to collect the result.`,
  ].join('\n'));
}

function completedResult(body) {
  const output = typeof body.output === 'string' ? body.output : JSON.stringify(body.output, null, 2);
  return text(`Provider answered HTTP ${body.providerStatus}.\n${output ?? ''}`, body.ok === false);
}

// One reading of the broker's answer for both a call and a later collect.
export function resultFromBroker(res, toolName = 'The request') {
  if (res.status === 200 && res.body?.status === 'completed') return completedResult(res.body);
  if (res.status === 202 && res.body?.approvalId) return pendingResult(toolName, res.body);
  return text(`Torvane did not run the request (HTTP ${res.status}): ${brokerMessage(res)}`, true);
}

async function forward(call) {
  try {
    return await call();
  } catch (error) {
    return text(`${error.message}${error.hint ? ` ${error.hint}` : ''}`, true);
  }
}

export function registerBrokerTools(server, client, tools) {
  const names = mcpToolNames(tools);
  tools.forEach((tool, index) => {
    server.registerTool(names[index], {
      title: tool.title,
      description: describe(tool),
      inputSchema: zodShape(tool.inputSchema),
      annotations: { title: tool.title, readOnlyHint: tool.mode === 'read', destructiveHint: tool.mode !== 'read', openWorldHint: true },
    }, (args) => forward(async () => {
      const res = await client.request('POST', '/v1/execute', { body: { connectorId: tool.connectorId, toolId: tool.toolId, input: args ?? {} }, timeoutMs: CALL_TIMEOUT_MS });
      return resultFromBroker(res, names[index]);
    }));
  });
  server.registerTool(COLLECT_TOOL, {
    title: 'Collect an approved request',
    description: 'Collects the result of a Torvane tool call that waited for the user\'s approval. Pass the approvalId the call returned.',
    inputSchema: { approvalId: z.string().min(1).describe('The approval id returned by the call that waited for approval') },
    annotations: { readOnlyHint: true, openWorldHint: false },
  }, ({ approvalId }) => forward(async () => {
    const res = await client.request('GET', `/v1/execute/${encodeURIComponent(approvalId)}`, { timeoutMs: CALL_TIMEOUT_MS });
    return resultFromBroker(res);
  }));
}
