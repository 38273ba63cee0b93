// Same-origin calls to the broker. Operator calls carry the session header and are refused
// locally when no session is held, so a locked page never asks for operator data.

export const SESSION_HEADER = 'x-tvn-operator-session';

export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.name = 'ApiError';
    this.status = status;
  }

  get sessionRejected() {
    return this.status === 401;
  }
}

export class LockedError extends Error {
  constructor() {
    super('Unlock the vault to load operator data');
    this.name = 'LockedError';
  }
}

function brokerMessage(status, body) {
  const text = typeof body?.error === 'string' ? body.error : typeof body?.message === 'string' ? body.message : '';
  return (text.trim() || `The local service answered HTTP ${status}`).slice(0, 300);
}

async function readBody(response) {
  const text = await response.text();
  if (!text) return null;
  try {
    return JSON.parse(text);
  } catch {
    return null;
  }
}

export function createApi(currentSession) {
  async function call(path, { method = 'GET', body, operator = false } = {}) {
    const sendHeaders = { accept: 'application/json' };
    if (operator) {
      const session = currentSession();
      if (!session) throw new LockedError();
      sendHeaders[SESSION_HEADER] = session;
    }
    if (body !== undefined) sendHeaders['content-type'] = 'application/json';
    let response;
    try {
      response = await fetch(path, {
        method,
        headers: sendHeaders,
        body: body === undefined ? undefined : JSON.stringify(body),
        cache: 'no-store',
        credentials: 'omit',
        redirect: 'error',
      });
    } catch {
      throw new ApiError(0, 'The local Torvane service is not answering');
    }
    const parsed = await readBody(response);
    if (!response.ok) throw new ApiError(response.status, brokerMessage(response.status, parsed));
    return parsed;
  }

  const get = (path, options) => call(path, { ...options, method: 'GET' });
  const post = (path, body = {}, options) => call(path, { ...options, method: 'POST', body });
  const segment = (id) => encodeURIComponent(String(id));

  return {
    health: () => get('/health'),
    operatorStatus: () => get('/v1/operator/status'),
    connectors: () => get('/v1/connectors', { operator: true }),
    connections: () => get('/v1/connections', { operator: true }),
    masterKeys: () => get('/v1/master-keys', { operator: true }),
    approvals: () => get('/v1/approvals', { operator: true }),
    audit: () => get('/v1/audit', { operator: true }),
    latestProof: () => get('/v1/proof/latest', { operator: true }),
    killSwitch: () => get('/v1/killswitch', { operator: true }),
    approval: (id) => get(`/v1/approvals/${segment(id)}`, { operator: true }),
    // requestDigest: the digest of the request as it was shown; the broker runs nothing else.
    approve: (id, requestDigest) => post(`/v1/approvals/${segment(id)}/approve`, { requestDigest }, { operator: true }),
    deny: (id, reason) => post(`/v1/approvals/${segment(id)}/deny`, { reason }, { operator: true }),
    revokeKey: (id) => post(`/v1/master-keys/${segment(id)}/revoke`, {}, { operator: true }),
    setKillSwitch: (enabled) => post('/v1/killswitch', { enabled }, { operator: true }),
    mintSession: (passphrase) => post('/v1/operator/session', { label: 'dashboard', passphrase }),
    agentApps: () => get('/dashboard/agent-apps.json'),
  };
}

// Reads the broker's event stream ("approvals" and "session-ended" events) with the session,
// calling onEvent(name, data) for each event, until the stream ends or `signal` aborts.
export async function readEventStream(session, onEvent, signal) {
  const response = await fetch('/v1/events', {
    headers: { accept: 'text/event-stream', [SESSION_HEADER]: session },
    cache: 'no-store', credentials: 'omit', redirect: 'error', signal,
  });
  if (!response.ok || !response.body) throw new ApiError(response.status, `The local service answered HTTP ${response.status}`);
  const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
  let buffer = '';
  for (;;) {
    const { value, done } = await reader.read();
    if (done) return;
    buffer += value;
    let end;
    while ((end = buffer.indexOf('\n\n')) >= 0) {
      const block = buffer.slice(0, end);
      buffer = buffer.slice(end + 2);
      const fields = Object.fromEntries(block.split('\n').filter((line) => line && !line.startsWith(':'))
        .map((line) => [line.slice(0, line.indexOf(':')), line.slice(line.indexOf(':') + 1).trimStart()]));
      if (!fields.event) continue;
      let data = null;
      try {
        data = fields.data ? JSON.parse(fields.data) : null;
      } catch {
        data = null;
      }
      onEvent(fields.event, data);
    }
  }
}
