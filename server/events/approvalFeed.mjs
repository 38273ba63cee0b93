// Tells listeners when the set of pending approvals changes. The approval store keeps no
// listeners of its own, so one timer per broker compares the pending ids while anyone listens,
// and stops when the last listener leaves.
export const WATCH_INTERVAL_MS = 200;

const feeds = new WeakMap(); // services -> feed

function pendingKey(approvals) {
  return approvals.pending().map((approval) => approval.id).join(',');
}

function createFeed(services, intervalMs) {
  const listeners = new Set();
  let timer = null;
  let lastKey = '';

  function tick() {
    let key;
    try {
      key = pendingKey(services.approvals);
    } catch {
      return; // an expiry that could not be recorded now is retried on the next tick
    }
    const changed = key !== lastKey;
    lastKey = key;
    for (const listener of [...listeners]) listener.onTick({ changed, pending: key === '' ? 0 : key.split(',').length });
  }

  return {
    subscribe(listener) {
      listeners.add(listener);
      if (!timer) {
        lastKey = pendingKey(services.approvals);
        timer = setInterval(tick, intervalMs);
        timer.unref();
      }
      return () => {
        listeners.delete(listener);
        if (listeners.size === 0 && timer) {
          clearInterval(timer);
          timer = null;
        }
      };
    },
    get listenerCount() {
      return listeners.size;
    },
  };
}

// The one feed of a broker's services.
export function approvalFeed(services, { intervalMs = WATCH_INTERVAL_MS } = {}) {
  let feed = feeds.get(services);
  if (!feed) {
    feed = createFeed(services, intervalMs);
    feeds.set(services, feed);
  }
  return feed;
}
