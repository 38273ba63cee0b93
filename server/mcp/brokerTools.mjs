// The broker's tools for an agent key as MCP tools, plus Torvane's own two: collecting the result
// of a call that waited for approval, and the status of this session. Calls are forwarded to the
// broker with the key; refusals say why and what fixes them.
import { argumentProblem } from './toolArguments.mjs';
import { brokerMessage, explain, refusalFrom } from './brokerClient.mjs';
import { redactSecrets } from './redact.mjs';

export const COLLECT_TOOL = 'tvn_approval_result';
export const STATUS_TOOL = 'tvn_status';
export const SERVER_NAME = 'tvn';
const CALL_TIMEOUT_MS = 120_000;

// Agent apps accept only [A-Za-z0-9_-] in tool names: "github.issue.create" → "github_issue_create".
export function mcpToolNames(tools) {
  const taken = new Set([COLLECT_TOOL, STATUS_TOOL]);
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

export const statusTool = Object.freeze({
  name: STATUS_TOOL,
  title: 'Torvane status',
  description: 'Says whether Torvane\'s tools are available to this agent right now and, if not, why and how to fix it. Call it when a Torvane tool fails or none are listed.',
  inputSchema: { type: 'object', properties: {}, additionalProperties: false },
  annotations: { title: 'Torvane status', readOnlyHint: true, openWorldHint: false },
});

export const collectTool = Object.freeze({
  name: COLLECT_TOOL,
  title: 'Collect an approved request',
  description: 'Collects the result of a Torvane tool call that waited for the user\'s approval. Pass the approvalId the call returned.',
  inputSchema: {
    type: 'object',
    properties: { approvalId: { type: 'string', description: 'The approval id returned by the call that waited for approval' } },
    required: ['approvalId'],
    additionalProperties: false,
  },
  annotations: { title: 'Collect an approved request', readOnlyHint: true, openWorldHint: false },
});

// The broker's tools as MCP tool definitions, each with what forwarding it needs.
export function brokerToolEntries(tools) {
  const names = mcpToolNames(tools);
  return new Map(tools.map((tool, index) => [names[index], {
    tool,
    definition: {
      name: names[index],
      title: tool.title,
      description: describe(tool),
      inputSchema: tool.inputSchema,
      annotations: { title: tool.title, readOnlyHint: tool.mode === 'read', destructiveHint: tool.mode !== 'read', openWorldHint: true },
    },
  }]));
}

export const textResult = (body, isError = false) => ({ content: [{ type: 'text', text: redactSecrets(body) }], isError });

// Apps show a server's tools with the server's name in front; Claude Code as mcp__<server>__<tool>.
export function collectToolShownAs(clientName) {
  return clientName === 'claude-code' ? `mcp__${SERVER_NAME}__${COLLECT_TOOL}` : COLLECT_TOOL;
}

function pendingResult(toolName, body, collectName) {
  return textResult([
    `"${toolName}" is waiting for the user's approval in Torvane (approval id ${body.approvalId}, expires ${body.expiresAt}).`,
    'Ask the user to approve or deny it in the Torvane app.',
    `Then call the tool "${collectName}" of the ${SERVER_NAME} server with {"approvalId": "${body.approvalId}"} to collect the result.`,
  ].join('\n'));
}

function completedResult(body) {
  const output = typeof body.output === 'string' ? body.output : JSON.stringify(body.output, null, 2);
  return textResult(`Provider answered HTTP ${body.providerStatus}.\n${output ?? ''}`, body.ok === false);
}

// One reading of the broker's answer for both a call and a later collect. `refusal` is set when
// the broker refused the key itself (the session then stops trusting its tools until it retries).
export function resultFromBroker(res, { baseUrl, toolName = 'The request', collectName = COLLECT_TOOL } = {}) {
  if (res.status === 200 && res.body?.status === 'completed') return { result: completedResult(res.body) };
  if (res.status === 202 && res.body?.approvalId) return { result: pendingResult(toolName, res.body, collectName) };
  if ([401, 403, 423].includes(res.status)) {
    const refusal = refusalFrom(res, baseUrl);
    return { result: textResult(explain(refusal), true), refusal };
  }
  return { result: textResult(`Torvane did not run the request (HTTP ${res.status}): ${brokerMessage(res)}.`, true) };
}

async function answered(call) {
  try {
    return await call();
  } catch (error) {
    return { result: textResult(explain(error), true) };
  }
}

export function forwardToolCall(client, baseUrl, name, entry, args, collectName) {
  const problem = argumentProblem(name, entry.definition.inputSchema, args);
  if (problem) return Promise.resolve({ result: textResult(problem, true) });
  return answered(async () => {
    const body = { connectorId: entry.tool.connectorId, toolId: entry.tool.toolId, input: args ?? {} };
    const res = await client.request('POST', '/v1/execute', { body, timeoutMs: CALL_TIMEOUT_MS });
    return resultFromBroker(res, { baseUrl, toolName: name, collectName });
  });
}

export function collectApproval(client, baseUrl, args) {
  const problem = argumentProblem(COLLECT_TOOL, collectTool.inputSchema, args);
  if (problem || args.approvalId === '') return Promise.resolve({ result: textResult(problem ?? 'The argument approvalId must not be empty.', true) });
  return answered(async () => {
    const res = await client.request('GET', `/v1/execute/${encodeURIComponent(args.approvalId)}`, { timeoutMs: CALL_TIMEOUT_MS });
    return resultFromBroker(res, { baseUrl });
  });
}
