// GET /v1/events: a server-sent event stream for the operator's screens (the dashboard page and
// the app). It says "approvals" with the pending count when it opens and whenever the pending
// approvals change, so a new request shows within a moment instead of on the next poll. It sends
// no record itself: listeners re-read /v1/approvals with their session. The stream ends when the
// session that opened it expires or is dropped, and a comment every 15 s keeps idle proxies and
// dead peers honest.
import { approvalFeed } from '../events/approvalFeed.mjs';

export const HEARTBEAT_MS = 15_000;
const SESSION_HEADER = 'x-tvn-operator-session';

const STREAM_HEADERS = Object.freeze({
  'content-type': 'text/event-stream; charset=utf-8',
  'cache-control': 'no-store',
  'x-content-type-options': 'nosniff',
  'x-accel-buffering': 'no',
});

function eventText(name, data) {
  return `event: ${name}\ndata: ${JSON.stringify(data)}\n\n`;
}

function openStream(ctx) {
  const { res, req, services } = ctx;
  const sessionId = String(req.headers[SESSION_HEADER] ?? '');
  res.writeHead(200, STREAM_HEADERS);
  res.flushHeaders();
  req.socket.setKeepAlive(true);
  req.socket.setTimeout(0);

  let lastBeat = Date.now();
  let unsubscribe = () => {};
  const close = () => {
    unsubscribe();
    if (!res.writableEnded) res.end();
  };
  const feed = approvalFeed(services);
  res.write(eventText('approvals', { pending: services.approvals.pending().length }));
  unsubscribe = feed.subscribe({
    onTick({ changed, pending }) {
      if (!services.sessions.find(sessionId)) {
        res.write(eventText('session-ended', {}));
        close();
        return;
      }
      if (changed) res.write(eventText('approvals', { pending }));
      else if (Date.now() - lastBeat >= HEARTBEAT_MS) {
        lastBeat = Date.now();
        res.write(': still here\n\n');
      }
    },
  });
  res.on('close', close);
  res.on('error', close);
  // The reply is the stream: the broker sends nothing more once the headers are out.
  return undefined;
}

export const routes = [{ method: 'GET', path: '/v1/events', auth: 'operator', handler: openStream }];
