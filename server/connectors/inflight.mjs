// Provider calls on their way, so that turning the kill switch on stops them too, not only the
// calls that come after it. A call is a plain handle rather than an AbortController: one of those
// per call cost more than the rest of the call's own bookkeeping.
export function createInflightCalls() {
  const calls = new Set();
  return {
    // The handle of one provider call: `stopped` once the kill switch stopped it, `onStop` set by
    // the one exchange that runs for it; end() when the call is over.
    begin() {
      const call = { stopped: false, onStop: null, end: () => calls.delete(call) };
      calls.add(call);
      return call;
    },
    get count() {
      return calls.size;
    },
    abortAll() {
      for (const call of calls) {
        call.stopped = true;
        call.onStop?.();
      }
      calls.clear();
    },
  };
}
