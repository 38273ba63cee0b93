// The wrapper's calls to the local broker. The agent key goes only into the authorization header,
// and only after /health has answered as the Torvane broker from a listener of this account.
import http from 'node:http';
import os from 'node:os';
import { listenerUids } from './listenerOwner.mjs';
import { WrapperSettingsError } from './settings.mjs';

const BROKER_SERVICE = 'switchyard-broker';

function unreachable(baseUrl, error, timeoutMs) {
  if (error?.name === 'TimeoutError' || error?.name === 'AbortError') {
    return new WrapperSettingsError('broker_timeout', `The Torvane broker at ${baseUrl} did not answer within ${Number((timeoutMs / 1000).toFixed(1))} s`,
      'Check that the Torvane local service is running and not stuck, then try again.');
  }
  const cause = error?.cause?.code ?? error?.cause?.message ?? error?.message ?? 'unknown error';
  return new WrapperSettingsError('broker_unreachable', `Could not reach the Torvane broker at ${baseUrl}: ${cause}`,
    'Start Torvane (or its local service) on this computer, then try again.');
}

function accountName(uid) {
  try {
    return uid === process.getuid() ? os.userInfo().username : `uid ${uid}`;
  } catch {
    return `uid ${uid}`;
  }
}

// Another account's program on the broker port could pose as the broker and collect the key.
async function requireOwnListener(baseUrl) {
  const port = Number(new URL(baseUrl).port || 80);
  const uids = await listenerUids(port);
  const foreign = [...(uids ?? [])].filter((uid) => uid !== process.getuid());
  if (foreign.length > 0) {
    throw new WrapperSettingsError('broker_foreign_owner',
      `The listener on port ${port} belongs to another account (${accountName(foreign[0])}), not to ${accountName(process.getuid())}; the agent key was not sent`,
      'Quit the other account\'s program on that port, then turn Torvane on again (Repair & Restart).');
  }
}

// One request with node:http (fetch's own library costs the short-lived --check more to load
// than the whole check takes). Failures are shaped as fetch's are, for unreachable().
function send(url, { method, headers, body, timeoutMs }) {
  return new Promise((resolve, reject) => {
    const failed = (cause) => Object.assign(new Error('request failed'), { cause });
    const req = http.request(url, { method, headers }, (res) => {
      const chunks = [];
      res.on('data', (chunk) => chunks.push(chunk));
      res.on('end', () => {
        clearTimeout(timer);
        resolve({ status: res.statusCode, text: Buffer.concat(chunks).toString('utf8') });
      });
      res.on('error', (cause) => reject(failed(cause)));
    });
    const timer = setTimeout(() => {
      reject(Object.assign(new Error(`no answer within ${timeoutMs} ms`), { name: 'TimeoutError' }));
      req.destroy();
    }, timeoutMs);
    req.on('error', (cause) => {
      clearTimeout(timer);
      reject(failed(cause));
    });
    req.end(body);
  });
}

export function createBrokerClient({ baseUrl, key }) {
  async function request(method, path, { body, timeoutMs, withKey = true } = {}) {
    const headers = { accept: 'application/json' };
    if (withKey) headers.authorization = `Bearer ${key}`;
    if (body !== undefined) headers['content-type'] = 'application/json';
    let answer;
    try {
      answer = await send(baseUrl + path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body), timeoutMs });
    } catch (error) {
      throw unreachable(baseUrl, error, timeoutMs);
    }
    let json = null;
    try {
      json = answer.text ? JSON.parse(answer.text) : null;
    } catch {
      json = null;
    }
    return { status: answer.status, body: json };
  }

  return {
    request,
    // Refuses to hand the key to a listener that is not the Torvane broker of this account.
    // Answers the broker's health.
    async verifyIdentity(timeoutMs) {
      const res = await request('GET', '/health', { timeoutMs, withKey: false });
      if (res.status !== 200 || res.body?.service !== BROKER_SERVICE) {
        throw new WrapperSettingsError('broker_mismatch', `The listener at ${baseUrl} did not answer /health as the Torvane broker`,
          'Another program is using the broker port; quit it or repair the Torvane local service.');
      }
      await requireOwnListener(baseUrl);
      return res.body;
    },
    async agentTools(timeoutMs) {
      const res = await request('GET', '/v1/agent/tools', { timeoutMs });
      if (res.status === 200 && Array.isArray(res.body?.tools)) return res.body;
      throw refusalFrom(res, baseUrl);
    },
  };
}

export function brokerMessage(res) {
  return typeof res.body?.error === 'string' ? res.body.error : `HTTP ${res.status}`;
}

export function vaultLocked(baseUrl) {
  return new WrapperSettingsError('vault_locked', `The Torvane vault at ${baseUrl} is locked, so the broker refuses every tool call`,
    'Unlock Torvane on this computer (TVN password or system login), then try again.');
}

// The broker's health says every call would fail with "vault locked".
export function requireUnlockedVault(health, baseUrl) {
  if (health?.vault !== undefined && health.vault !== 'unlocked') throw vaultLocked(baseUrl);
}

// What a refusal of this agent key means and how the user fixes it.
export function refusalFrom(res, baseUrl) {
  if (res.status === 401) {
    return new WrapperSettingsError('key_rejected', `The broker did not accept this profile's agent key: ${brokerMessage(res)}`,
      'The key was revoked or belongs to another Torvane install; create a new agent key in Torvane and set the agent up again.');
  }
  if (res.status === 403 && /kill switch/i.test(brokerMessage(res))) {
    return new WrapperSettingsError('access_paused', `The broker refused agent access: ${brokerMessage(res)}`,
      'Turn the kill switch off in Torvane when agents may work again.');
  }
  if (res.status === 403) {
    return new WrapperSettingsError('access_denied', `The broker refused this call: ${brokerMessage(res)}`,
      'Give this agent key access to that app in Torvane (create a replacement key that includes it).');
  }
  if (res.status === 423) return vaultLocked(baseUrl);
  return new WrapperSettingsError('broker_error', `The broker at ${baseUrl} answered HTTP ${res.status}: ${brokerMessage(res)}`,
    'Update or repair the Torvane local service.');
}

// A refusal's reason and fix as two sentences.
export function explain(error) {
  const reason = String(error.message ?? error).trim();
  const sentence = /[.!?]$/.test(reason) ? reason : `${reason}.`;
  return error.hint ? `${sentence} ${error.hint}` : sentence;
}
