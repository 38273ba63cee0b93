// Provider calls on their way, so that turning the kill switch on stops them too, not only the
// calls that come after it.
export function createInflightCalls() {
  const calls = new Set();
  return {
    // A signal for one provider call; end() when the call is over.
    begin() {
      const controller = new AbortController();
      calls.add(controller);
      return { signal: controller.signal, end: () => calls.delete(controller) };
    },
    get count() {
      return calls.size;
    },
    abortAll() {
      for (const controller of calls) controller.abort();
      calls.clear();
    },
  };
}
