// Audit records of requests that carry no credential (a failed session mint, a keychain repair)
// cost an attacker nothing, so a flood of them must not grow the chain without bound. The first
// of a kind is recorded at once; the rest of its window are counted and recorded as one summary.
export function createAuditCoalescer(audit, { windowMs = 60_000, now = () => Date.now() } = {}) {
  const windows = new Map(); // kind -> { event, endsAt, more, timer }

  function close(kind) {
    const open = windows.get(kind);
    windows.delete(kind);
    clearTimeout(open.timer);
    if (open.more > 0) {
      const reason = [open.event.reason, `${open.more} more like this within ${windowMs / 1000} s`].filter(Boolean).join('; ');
      audit.append({ ...open.event, reason });
    }
  }

  return {
    record(event) {
      const kind = `${event.action}\n${event.decision}\n${event.reason ?? ''}`;
      const open = windows.get(kind);
      if (open && now() < open.endsAt) {
        open.more += 1;
        open.timer ??= setTimeout(() => close(kind), open.endsAt - now()).unref();
        return;
      }
      if (open) close(kind);
      audit.append(event);
      windows.set(kind, { event, endsAt: now() + windowMs, more: 0, timer: null });
    },
    // Summaries still open are written (at shutdown).
    flush() {
      for (const kind of [...windows.keys()]) close(kind);
    },
  };
}
