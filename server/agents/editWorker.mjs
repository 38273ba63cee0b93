// Worker side of the config edit: one job in (workerData), one answer out.
import { parentPort, workerData } from 'node:worker_threads';
import { ContentRefusal } from './AgentConfigError.mjs';
import { planEdit } from './editPlan.mjs';

try {
  const plan = planEdit(workerData);
  parentPort.postMessage({ plan });
} catch (error) {
  if (error instanceof ContentRefusal) parentPort.postMessage({ refusal: { code: error.code, reason: error.message } });
  else parentPort.postMessage({ failure: String(error?.message ?? error) });
}
