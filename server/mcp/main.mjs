// The MCP wrapper that agent apps launch (through script/tvn-mcp-launch.sh):
//   --profile NAME          serve the profile's tools over MCP on stdio
//   --profile NAME --check  print one JSON object saying whether the handoff works, and exit
// Standard output is the MCP channel (or the one check object): nothing else may write to it.
import path from 'node:path';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StdioServerTransport } from '@modelcontextprotocol/sdk/server/stdio.js';
import { createBrokerClient } from './brokerClient.mjs';
import { registerBrokerTools } from './brokerTools.mjs';
import { CHECK_DEADLINE_MS, checkPayload, failurePayload, runCheck } from './check.mjs';
import { readProfileKey } from './profileKey.mjs';
import { redactSecrets } from './redact.mjs';
import { brokerUrlFrom, parseArguments, profileStoreFrom, validProfileName } from './settings.mjs';

const serviceRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const START_TIMEOUT_MS = 10_000;

console.log = console.error;
console.info = console.error;

let printed = false;

// The deadline and a late answer may race: only the first object is printed.
function printOnceAndExit(payload) {
  if (printed) return;
  printed = true;
  process.stdout.write(`${JSON.stringify(payload)}\n`, () => process.exit(payload.brokerAccepted ? 0 : 1));
}

async function check(profile) {
  const progress = {};
  const deadline = setTimeout(() => printOnceAndExit(checkPayload({
    present: progress.present ?? false,
    brokerAccepted: false,
    status: 'timeout',
    reason: `wrapper --check did not finish within ${CHECK_DEADLINE_MS / 1000} s`,
    hint: 'Check that the Torvane local service is running and answering, then try again.',
  })), CHECK_DEADLINE_MS);
  const payload = await runCheck({ profile, env: process.env, serviceRoot, progress });
  clearTimeout(deadline);
  printOnceAndExit(payload);
}

async function serve(rawProfile) {
  const env = process.env;
  const profile = validProfileName(rawProfile);
  const baseUrl = brokerUrlFrom(env);
  const key = await readProfileKey({ profile, ...profileStoreFrom(env), env, serviceRoot });
  const client = createBrokerClient({ baseUrl, key });
  await client.verifyIdentity(START_TIMEOUT_MS);
  const { tools } = await client.agentTools(START_TIMEOUT_MS);
  const { version } = JSON.parse(readFileSync(path.join(serviceRoot, 'package.json'), 'utf8'));
  const server = new McpServer({ name: 'tvn', title: 'Torvane', version });
  registerBrokerTools(server, client, tools);
  await server.connect(new StdioServerTransport());
  process.stderr.write(`tvn-mcp: serving ${tools.length} tool(s) for profile ${profile} through ${baseUrl}\n`);
}

async function main() {
  let options;
  try {
    options = parseArguments(process.argv.slice(2));
  } catch (error) {
    if (process.argv.includes('--check')) return printOnceAndExit(failurePayload(error, false));
    throw error;
  }
  if (options.check) return check(options.profile);
  return serve(options.profile);
}

main().catch((error) => {
  process.stderr.write(`tvn-mcp: ${redactSecrets(error.message)}${error.hint ? `\ntvn-mcp: ${redactSecrets(error.hint)}` : ''}\n`);
  process.exit(1);
});
