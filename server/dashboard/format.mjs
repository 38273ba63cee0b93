// Display helpers. Broker timestamps are opaque strings: shown as local time when they parse,
// otherwise as given.

const dateTime = new Intl.DateTimeFormat(undefined, { dateStyle: 'medium', timeStyle: 'short' });
const relative = new Intl.RelativeTimeFormat(undefined, { numeric: 'auto' });

export function asText(value, fallback = '—') {
  if (value === undefined || value === null) return fallback;
  const text = String(value).trim();
  return text === '' ? fallback : text;
}

function parsed(timestamp) {
  if (typeof timestamp !== 'string' || timestamp.trim() === '') return null;
  const date = new Date(timestamp);
  return Number.isNaN(date.getTime()) ? null : date;
}

export function formatTime(timestamp) {
  const date = parsed(timestamp);
  return date ? dateTime.format(date) : asText(timestamp);
}

export function formatRelative(timestamp, now = Date.now()) {
  const date = parsed(timestamp);
  if (!date) return asText(timestamp);
  const deltaMs = date.getTime() - now;
  if (deltaMs <= 0 && deltaMs > -60000) return 'just now';
  const minutes = Math.round(deltaMs / 60000);
  if (Math.abs(minutes) < 60) return relative.format(minutes, 'minute');
  const hours = Math.round(minutes / 60);
  if (Math.abs(hours) < 48) return relative.format(hours, 'hour');
  return relative.format(Math.round(hours / 24), 'day');
}

export function shortHash(hash) {
  const text = asText(hash, '');
  return text.length > 12 ? `${text.slice(0, 12)}…` : text || '—';
}

export function plural(count, one, many = `${one}s`) {
  return `${count} ${count === 1 ? one : many}`;
}

export function listOf(value) {
  return Array.isArray(value) ? value : [];
}

// Keeps the nesting readable without trusting any of it.
export function prettyJSON(value) {
  try {
    return JSON.stringify(value, null, 2) ?? '';
  } catch {
    return '';
  }
}
