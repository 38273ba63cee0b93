// Canonical JSON: object keys sorted by code point, no white space. Used for hashing, once per
// audit record, so it builds one string rather than arrays of parts.
export function canonicalJson(value) {
  if (value === null || typeof value !== 'object') return JSON.stringify(value ?? null);
  if (Array.isArray(value)) {
    let out = '[';
    for (let i = 0; i < value.length; i++) out += (i ? ',' : '') + canonicalJson(value[i]);
    return `${out}]`;
  }
  const keys = Object.keys(value).sort();
  const flat = flatInOrder(value, keys);
  if (flat) return JSON.stringify(flat);
  let out = '{';
  for (const key of keys) {
    if (value[key] === undefined) continue;
    out += `${out.length > 1 ? ',' : ''}${JSON.stringify(key)}:${canonicalJson(value[key])}`;
  }
  return `${out}}`;
}

const PLAIN = new Set(['string', 'number', 'boolean', 'undefined']);
const startsWithDigit = (key) => key.charCodeAt(0) >= 48 && key.charCodeAt(0) <= 57;

// An object of plain values only (an audit record), copied with its keys in canonical order, for
// one JSON.stringify: half the cost of the walk. Null when that would not give the same text:
// nested values, keys JavaScript orders first whatever their place (array indices) and a key
// named __proto__, which an assignment would not copy.
function flatInOrder(value, keys) {
  const flat = {};
  for (const key of keys) {
    const item = value[key];
    if ((item !== null && !PLAIN.has(typeof item)) || startsWithDigit(key) || key === '__proto__') return null;
    flat[key] = item;
  }
  return flat;
}
