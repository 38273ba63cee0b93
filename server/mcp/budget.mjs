// The wrapper's time limits. The app kills "--check" 8 s after launching it, and agent apps wait
// about as long for a server to start, so the wrapper's own waits fit that one budget instead of
// shorter limits of their own (a slow but alive broker must not read as a dead one).
export const HANDOFF_BUDGET_MS = 8000;

// "--check" prints its own time-out answer this long before the app's deadline…
const PRINT_MARGIN_MS = 300;
// …and its requests give up this much earlier still, so their own, more precise answer wins.
const REQUEST_MARGIN_MS = 800;

const left = (margin, elapsedMs) => Math.max(0, Math.floor(HANDOFF_BUDGET_MS - margin - elapsedMs));

// Milliseconds until "--check" must print whatever it has, counted from this process's start.
export function checkDeadlineMs(elapsedMs = performance.now()) {
  return left(PRINT_MARGIN_MS, elapsedMs);
}

// Milliseconds a request made by "--check" may still wait.
export function checkTimeLeftMs(elapsedMs = performance.now()) {
  return left(REQUEST_MARGIN_MS, elapsedMs);
}
