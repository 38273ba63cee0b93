// The MCP wrapper that agent apps launch (through script/tvn-mcp-launch.sh):
//   --profile NAME          serve the profile's tools over MCP on stdio
//   --profile NAME --check  print one JSON object saying whether the handoff works, and exit
// Standard output is the MCP channel (or the one check object): nothing else may write to it.
import path from 'node:path';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import { checkDeadlineMs } from './budget.mjs';
import { explain } from './brokerClient.mjs';
import { checkPayload, failurePayload, runCheck } from './check.mjs';
import { readProfileKey } from './profileKey.mjs';
import { redactSecrets } from './redact.mjs';
import { brokerUrlFrom, parseArguments, profileStoreFrom, validProfileName, WrapperSettingsError } from './settings.mjs';

const serviceRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const USAGE = [
  'Usage: tvn-mcp-launch.sh --profile NAME [--check]',
  '',
  'Serves the tools of a Torvane agent profile to an agent app as an MCP server on standard input and output.',
  '  --profile NAME  the local setup profile, e.g. claude-code-keel-tvn (Torvane shows it for each agent)',
  '  --check         print one JSON object saying whether the profile and the broker work, then exit',
  '',
  'Environment: TVN_BROKER_URL, TVN_RUNTIME_LANE, SWITCHYARD_STATE_DIR, SWITCHYARD_BOUND_PROFILE_SIGNER_PATH',
  '(Torvane writes them into the agent app\'s MCP entry).',
].join('\n');

console.log = console.error;
console.info = console.error;

const say = (line) => process.stderr.write(`tvn-mcp: ${redactSecrets(line)}\n`);

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
    reason: 'wrapper --check did not finish within the 8 s the app waits for it',
    hint: 'Check that the Torvane local service is running and answering, then try again.',
  })), checkDeadlineMs());
  const payload = await runCheck({ profile, env: process.env, serviceRoot, progress });
  clearTimeout(deadline);
  printOnceAndExit(payload);
}

// Everything that can go wrong here is explained inside the session, never by failing to start.
async function serve(rawProfile) {
  const env = process.env;
  const readProfile = async () => {
    const profile = validProfileName(rawProfile);
    const baseUrl = brokerUrlFrom(env);
    const key = await readProfileKey({ profile, ...profileStoreFrom(env), env, serviceRoot });
    return { profile, baseUrl, key };
  };
  const { version } = JSON.parse(readFileSync(path.join(serviceRoot, 'package.json'), 'utf8'));
  // The MCP SDK is loaded only to serve: --check, which the app waits for, does without it.
  const [{ StdioServerTransport }, { createToolSession }] = await Promise.all([
    import('@modelcontextprotocol/sdk/server/stdio.js'),
    import('./session.mjs'),
  ]);
  const server = createToolSession({ readProfile, version, log: say });
  await server.connect(new StdioServerTransport());
  say(`MCP session open for profile ${rawProfile}; Torvane's tools load when the agent app lists them`);
}

function usageError(message) {
  return new WrapperSettingsError('invalid_arguments', message, USAGE.split('\n')[0]);
}

function main() {
  const argv = process.argv.slice(2);
  const checking = argv.includes('--check');
  if (argv.includes('--help') || argv.includes('-h')) {
    process.stdout.write(`${USAGE}\n`);
    return;
  }
  let options;
  try {
    options = parseArguments(argv);
    if (!options.profile) throw usageError('Missing --profile NAME');
  } catch (error) {
    if (checking) return printOnceAndExit(failurePayload(error, false));
    process.stderr.write(`tvn-mcp: ${explain({ message: error.message })}\n\n${USAGE}\n`);
    process.exitCode = 2;
    return;
  }
  if (options.check) return check(options.profile);
  return serve(options.profile).catch((error) => {
    say(explain(error));
    process.exit(1);
  });
}

main();
