// The real broker in a child process, for tests that kill it with SIGKILL. The state directory
// and provider addresses come from the environment; the broker's URL is the one line it prints.
import { createBroker } from '../app.mjs';
import { FAST_SCRYPT } from './brokerHarness.mjs';

const broker = createBroker({ port: 0, scryptParams: FAST_SCRYPT, log: (line) => process.stderr.write(`[broker] ${line}\n`) });
await broker.start();
process.stdout.write(`${broker.url}\n`);
