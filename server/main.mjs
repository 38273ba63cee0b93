// Broker entry point. Binds loopback only; the port and paths come from the environment the
// app (or the control script) hands over.
import { createBroker } from './app.mjs';

let broker;
try {
  broker = createBroker();
  await broker.start();
  broker.log(`listening on ${broker.url} (state ${broker.config.stateDir})`);
} catch (error) {
  process.stderr.write(`[broker] failed to start: ${error?.message ?? error}\n`);
  process.exit(1);
}

for (const signal of ['SIGTERM', 'SIGINT']) {
  process.on(signal, () => {
    broker.close().finally(() => process.exit(0));
  });
}
