// The service log may hold anything a crashing broker printed. What leaves it (the status
// object's lastErrorSummary) goes through here first.
import fs from 'node:fs';

import { checkedFileStat } from './private-files.mjs';

const REDACTED = '[redacted]';

const RULES = [
  // Header values first, so the token rules below do not leave the header name dangling.
  [/(x-tvn-operator-[a-z-]+["']?\s*[:=]\s*)("[^"]*"|'[^']*'|[^\s,;}]+)/gi, `$1${REDACTED}`],
  [/\b(bearer)\s+[^\s"',;}]+/gi, `$1 ${REDACTED}`],
  [/\b(authorization["']?\s*[:=]\s*)("[^"]*"|'[^']*'|[^\s,;}]+)/gi, `$1${REDACTED}`],
  [/\b([A-Za-z_-]*(?:secret|token|passphrase|password|api[_-]?key)["']?\s*[:=]\s*)("[^"]*"|'[^']*'|[^\s,;}]+)/gi, `$1${REDACTED}`],
  [/\btvn_[A-Za-z0-9_-]{6,}/g, `tvn_${REDACTED}`],
  [/\bsk-[A-Za-z0-9_-]{6,}/g, `sk-${REDACTED}`],
  [/\b[0-9a-fA-F]{32,}\b/g, REDACTED],
];

// Long runs of base64 or base64url that mix cases and digits: keys, secrets, tokens.
const LONG_RUN = /[A-Za-z0-9+/_=-]{32,}/g;
const looksEncoded = (run) => /[a-z]/.test(run) && /[A-Z]/.test(run) && /[0-9]/.test(run);

export function redactSecrets(text) {
  let out = text;
  for (const [pattern, replacement] of RULES) out = out.replace(pattern, replacement);
  return out.replace(LONG_RUN, (run) => (looksEncoded(run) ? REDACTED : run));
}

const TAIL_BYTES = 64 * 1024;
const SUMMARY_LINES = 12;
const SUMMARY_CHARS = 1500;
// Stack frames and the runtime's version banner crowd out the line that says what went wrong.
const NOISE = /^\s+at |^Node\.js v\d/;

function readFileTail(file) {
  let fd;
  try {
    // Only our own regular log file: a link planted in its place is not followed.
    if (checkedFileStat(file) === null) return '';
    fd = fs.openSync(file, fs.constants.O_RDONLY | fs.constants.O_NOFOLLOW);
  } catch {
    return '';
  }
  try {
    const { size } = fs.fstatSync(fd);
    const start = Math.max(0, size - TAIL_BYTES);
    const buffer = Buffer.alloc(size - start);
    fs.readSync(fd, buffer, 0, buffer.length, start);
    const text = buffer.toString('utf8');
    // A cut in the middle of a line could split a secret below the length the rules recognise.
    return start > 0 ? text.slice(text.indexOf('\n') + 1) : text;
  } finally {
    fs.closeSync(fd);
  }
}

// The redacted last lines of the log written since the most recent start marker.
export function redactedLogSummary(file, startMarker) {
  const lines = readFileTail(file).split('\n');
  const markerIndex = lines.findLastIndex((line) => line.includes(startMarker));
  const sinceStart = lines.slice(markerIndex + 1).filter((line) => !NOISE.test(line))
    .map((line) => redactSecrets(line).trimEnd())
    .filter(Boolean);
  const summary = sinceStart.slice(-SUMMARY_LINES).join('\n');
  return summary.length > SUMMARY_CHARS ? summary.slice(-SUMMARY_CHARS) : summary;
}
