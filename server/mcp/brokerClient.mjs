// The wrapper's calls to the local broker. The agent key goes only into the authorization header,
// and only after /health has answered as the Torvane broker.
import { WrapperSettingsError } from './settings.mjs';

const BROKER_SERVICE = 'switchyard-broker';

function unreachable(baseUrl, error, timeoutMs) {
  if (error?.name === 'TimeoutError' || error?.name === 'AbortError') {
    return new WrapperSettingsError('broker_timeout', `The Torvane broker at ${baseUrl} did not answer within ${timeoutMs / 1000} s`,
      'Check that the Torvane local service is running and not stuck, then try again.');
  }
  const cause = error?.cause?.code ?? error?.cause?.message ?? error?.message ?? 'unknown error';
  return new WrapperSettingsError('broker_unreachable', `Could not reach the Torvane broker at ${baseUrl}: ${cause}`,
    'Start Torvane (or its local service) on this computer, then try again.');
}

export function createBrokerClient({ baseUrl, key }) {
  async function request(method, path, { body, timeoutMs, withKey = true } = {}) {
    const headers = { accept: 'application/json' };
    if (withKey) headers.authorization = `Bearer ${key}`;
    if (body !== undefined) headers['content-type'] = 'application/json';
    let res;
    let text;
    try {
      res = await fetch(baseUrl + path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body), signal: AbortSignal.timeout(timeoutMs), redirect: 'error' });
      text = await res.text();
    } catch (error) {
      throw unreachable(baseUrl, error, timeoutMs);
    }
    let json = null;
    try {
      json = text ? JSON.parse(text) : null;
    } catch {
      json = null;
    }
    return { status: res.status, body: json };
  }

  return {
    request,
    // Refuses to hand the key to a listener that is not the Torvane broker.
    async verifyIdentity(timeoutMs) {
      const res = await request('GET', '/health', { timeoutMs, withKey: false });
      if (res.status !== 200 || res.body?.service !== BROKER_SERVICE) {
        throw new WrapperSettingsError('broker_mismatch', `The listener at ${baseUrl} did not answer /health as the Torvane broker`,
          'Another program is using the broker port; quit it or repair the Torvane local service.');
      }
      return res.body;
    },
    async agentTools(timeoutMs) {
      const res = await request('GET', '/v1/agent/tools', { timeoutMs });
      if (res.status === 200 && Array.isArray(res.body?.tools)) return res.body;
      throw rejection(res, baseUrl);
    },
  };
}

export function brokerMessage(res) {
  return typeof res.body?.error === 'string' ? res.body.error : `HTTP ${res.status}`;
}

function rejection(res, baseUrl) {
  if (res.status === 401) {
    return new WrapperSettingsError('key_rejected', `The broker did not accept this profile's agent key: ${brokerMessage(res)}`,
      'The key was revoked or belongs to another Torvane install; create a new agent key in Torvane and set the agent up again.');
  }
  if (res.status === 403) {
    return new WrapperSettingsError('access_paused', `The broker refused agent access: ${brokerMessage(res)}`,
      'Turn the kill switch off in Torvane when agents may work again.');
  }
  return new WrapperSettingsError('broker_error', `The broker at ${baseUrl} answered HTTP ${res.status}: ${brokerMessage(res)}`,
    'Update or repair the Torvane local service.');
}
