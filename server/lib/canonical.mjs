// Canonical JSON: object keys sorted by code point, no white space. Used for hashing, once per
// audit record, so it builds one string rather than arrays of parts.
export function canonicalJson(value) {
  if (value === null || typeof value !== 'object') return JSON.stringify(value ?? null);
  if (Array.isArray(value)) {
    let out = '[';
    for (let i = 0; i < value.length; i++) out += (i ? ',' : '') + canonicalJson(value[i]);
    return `${out}]`;
  }
  let out = '{';
  for (const key of Object.keys(value).sort()) {
    if (value[key] === undefined) continue;
    out += `${out.length > 1 ? ',' : ''}${JSON.stringify(key)}:${canonicalJson(value[key])}`;
  }
  return `${out}}`;
}
