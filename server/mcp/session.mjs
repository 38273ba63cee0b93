// One agent app's MCP session. The handshake never waits for the broker and never fails because
// of it: Torvane's tools are fetched when the app first lists them. While the broker does not
// serve this profile (no profile, broker down, kill switch, revoked key, another account on the
// port) the session lists what it last knew (at first only the status tool) and answers every
// call with the reason and the fix. Each list and each call made while refused tries again, so
// the session recovers by itself once the cause is gone and tells the app with
// notifications/tools/list_changed.
import { Server } from '@modelcontextprotocol/sdk/server/index.js';
import { CallToolRequestSchema, ListToolsRequestSchema } from '@modelcontextprotocol/sdk/types.js';
import { HANDOFF_BUDGET_MS } from './budget.mjs';
import { createBrokerClient, explain, vaultLocked } from './brokerClient.mjs';
import {
  COLLECT_TOOL, STATUS_TOOL, brokerToolEntries, collectApproval, collectTool, collectToolShownAs, forwardToolCall,
  statusTool, textResult,
} from './brokerTools.mjs';
import { WrapperSettingsError } from './settings.mjs';

const INSTRUCTIONS = 'Torvane runs these tools through the local Torvane broker with the accounts the user connected; '
  + 'no credentials are shared with the agent. If Torvane\'s tools are missing or refused, call tvn_status for the reason and the fix.';

function asRefusal(error) {
  if (error instanceof WrapperSettingsError) return error;
  return new WrapperSettingsError('internal_error', `The Torvane wrapper failed: ${error?.message ?? error}`,
    'Restart the agent app; if it keeps failing, repair the Torvane local service.');
}

// `readProfile()` resolves the profile's settings and reads its key ({ profile, baseUrl, key });
// it may throw a WrapperSettingsError and is called again after a refusal.
export function createToolSession({ readProfile, version, log = () => {} }) {
  const server = new Server({ name: 'tvn', title: 'Torvane', version }, { capabilities: { tools: { listChanged: true } }, instructions: INSTRUCTIONS });
  let target = null; // { baseUrl, profile, client } once the key was read
  let entries = null; // the broker's tools at the last successful fetch
  let health = null;
  let refusal = null;
  let announced = [STATUS_TOOL];
  let refreshing = null;
  let serving = false;

  const listed = () => (entries ? [...[...entries.values()].map((entry) => entry.definition), collectTool, statusTool] : [statusTool]);
  const names = () => listed().map((tool) => tool.name);

  function refuse(error) {
    refusal = asRefusal(error);
    serving = false;
    // A rejected key may have been replaced since: read the profile again next time.
    if (refusal.status === 'key_rejected') target = null;
    log(`not serving Torvane's tools right now: ${explain(refusal)}`);
  }

  async function fetchTools() {
    if (!target) {
      const { profile, baseUrl, key } = await readProfile();
      target = { profile, baseUrl, client: createBrokerClient({ baseUrl, key }) };
    }
    health = await target.client.verifyIdentity(HANDOFF_BUDGET_MS);
    const answer = await target.client.agentTools(HANDOFF_BUDGET_MS);
    entries = brokerToolEntries(answer.tools);
    refusal = null;
    if (!serving) log(`serving ${listed().length} tools for profile ${target.profile} through ${target.baseUrl}`);
    serving = true;
  }

  function refresh() {
    refreshing ??= fetchTools().catch(refuse).finally(() => { refreshing = null; });
    return refreshing;
  }

  // Tells the app when the list it holds is out of date.
  async function announceChanges() {
    const current = names();
    if (current.join('\n') === announced.join('\n')) return;
    announced = current;
    await server.sendToolListChanged().catch(() => {});
  }

  function statusResult() {
    if (refusal) return textResult(explain(refusal), true);
    if (health?.vault !== undefined && health.vault !== 'unlocked') return textResult(explain(vaultLocked(target.baseUrl)), true);
    return textResult(`Torvane's broker at ${target.baseUrl} serves profile ${target.profile}: ${entries.size} tools are available.`);
  }

  async function call(name, args) {
    if (name === STATUS_TOOL || refusal || !entries) await refresh();
    if (name === STATUS_TOOL) return { result: statusResult() };
    if (refusal) return { result: textResult(explain(refusal), true) };
    const { client, baseUrl } = target;
    if (name === COLLECT_TOOL) return collectApproval(client, baseUrl, args);
    const entry = entries.get(name);
    if (!entry) return { result: textResult(`Torvane has no tool "${name}" for this agent. Call tvn_status or list the tools again.`, true) };
    return forwardToolCall(client, baseUrl, name, entry, args, collectToolShownAs(server.getClientVersion()?.name));
  }

  server.setRequestHandler(ListToolsRequestSchema, async () => {
    await refresh();
    announced = names();
    return { tools: listed() };
  });

  server.setRequestHandler(CallToolRequestSchema, async (request) => {
    const { result, refusal: refused } = await call(request.params.name, request.params.arguments);
    // Refusals of the key itself hold for every call until a retry succeeds.
    if (['key_rejected', 'access_paused'].includes(refused?.status)) refuse(refused);
    await announceChanges();
    return result;
  });

  return server;
}
