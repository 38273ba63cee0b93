// "--check": prove, without an agent, that this profile's key is here and the broker accepts it.
// Prints exactly one JSON object: present, brokerAccepted, status, reason, hint.
import { checkTimeLeftMs } from './budget.mjs';
import { createBrokerClient, requireUnlockedVault } from './brokerClient.mjs';
import { readProfileKey } from './profileKey.mjs';
import { redactSecrets } from './redact.mjs';
import { brokerUrlFrom, profileStoreFrom, validProfileName, WrapperSettingsError } from './settings.mjs';

const SIGNER_TIMEOUT_MS = 3000;

export function checkPayload({ present, brokerAccepted, status, reason, hint }) {
  return { present, brokerAccepted, status, reason: redactSecrets(reason), hint: redactSecrets(hint) };
}

export function failurePayload(error, present) {
  if (error instanceof WrapperSettingsError) {
    return checkPayload({ present, brokerAccepted: false, status: error.status, reason: error.message, hint: error.hint });
  }
  return checkPayload({ present, brokerAccepted: false, status: 'internal_error', reason: `wrapper --check failed: ${error?.message ?? error}`, hint: 'Report this to Torvane support with the wrapper version.' });
}

// `progress.present` lets a caller that gives up early still say whether the profile was read.
export async function runCheck({ profile: rawProfile, env, serviceRoot, progress = {} }) {
  progress.present = false;
  try {
    const profile = validProfileName(rawProfile);
    const baseUrl = brokerUrlFrom(env);
    const store = profileStoreFrom(env);
    const key = await readProfileKey({ profile, ...store, env, serviceRoot, signerTimeoutMs: SIGNER_TIMEOUT_MS });
    progress.present = true;
    const client = createBrokerClient({ baseUrl, key });
    const health = await client.verifyIdentity(checkTimeLeftMs());
    const answer = await client.agentTools(checkTimeLeftMs());
    // Every call would fail while the vault is locked, although the key itself is accepted.
    requireUnlockedVault(health, baseUrl);
    const count = answer.tools.length;
    return checkPayload({
      present: true,
      brokerAccepted: true,
      status: 'ok',
      reason: `The broker at ${baseUrl} accepted profile ${profile} (agent ${answer.agentId}, ${count} tool${count === 1 ? '' : 's'})`,
      hint: count === 0 ? 'The key allows no tools yet: connect an app in Torvane and give this agent key access to it.' : '',
    });
  } catch (error) {
    return failurePayload(error, progress.present);
  }
}
