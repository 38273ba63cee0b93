// Where a proxied request may go. Origins and paths are checked in one canonical form, and that
// form is exactly what is sent: a provider must never read a path differently from the check.
// So anything another server might resolve its own way (dot segments, plain or percent-encoded,
// once or twice; backslashes; empty segments; userinfo) is refused, not normalised.
import { badRequest } from '../http/errors.mjs';

const MAX_PATH_LENGTH = 4096;
const ORIGIN_SHAPE = /^https?:\/\/[^/?#@\\\s]+\/?$/i;
const CONTROL = /[\u0000-\u001f\u007f]/;
const STILL_ENCODED = /%[0-9a-f]{2}/i;
// Characters a path segment may carry unencoded (RFC 3986 pchar) that encodeURIComponent escapes.
const SUB_DELIMS_ESCAPED = /%(24|26|2B|2C|3B|3D|3A|40)/g;
const QUERY_CHAR = /[A-Za-z0-9\-._~!$&'()*+,;=:@/?%]/;
// Unreserved characters only: decoding, folding and encoding leave such a segment as it is.
const UNRESERVED_SEGMENT = /^[A-Za-z0-9._~-]+$/;

// The origin ("scheme://host[:port]") of a URL-shaped text, or a 400 naming `what`.
export function canonicalOrigin(text, what) {
  if (typeof text !== 'string' || !ORIGIN_SHAPE.test(text.trim())) {
    throw badRequest(`${what} must be an http(s) origin: scheme, host and optional port, without user info, path or query`);
  }
  let url;
  try {
    url = new URL(text.trim());
  } catch {
    throw badRequest(`${what} is not a valid origin`);
  }
  return url.origin;
}

const isDotSegment = (segment) => ['.', '..'].includes(segment.split(';')[0]);

function decodeSegment(raw) {
  let value;
  try {
    value = decodeURIComponent(raw);
  } catch {
    throw badRequest('path has invalid percent-encoding');
  }
  // Compatibility forms too: a server that folds "\uff0e\uff0e" to ".." must not see one; nor one
  // that strips path parameters and reads "..;x" as "..".
  const folded = value.normalize('NFKC');
  if ([value, folded].some(isDotSegment)) throw badRequest('path must not contain "." or ".." segments, plain or encoded');
  if ([value, folded].some((v) => /[/\\]/.test(v))) throw badRequest('path segments must not contain an encoded "/" or "\\"');
  if (CONTROL.test(value)) throw badRequest('path must not contain control characters');
  if (STILL_ENCODED.test(value)) throw badRequest('path must not be percent-encoded twice');
  return value;
}

const encodeSegment = (value) => encodeURIComponent(value).replace(SUB_DELIMS_ESCAPED, (escaped) => decodeURIComponent(escaped));

// "/a/b" in canonical form. Only the last segment may be empty (a trailing slash).
export function canonicalPath(text, what = 'path') {
  if (typeof text !== 'string' || !text.startsWith('/')) throw badRequest(`${what} must be a string starting with "/"`);
  if (text.length > MAX_PATH_LENGTH) throw badRequest(`${what} is longer than ${MAX_PATH_LENGTH} characters`);
  if (text.includes('\\')) throw badRequest(`${what} must not contain "\\"`);
  if (/[?#]/.test(text)) throw badRequest(`${what} must not contain "?" or "#"`);
  if (CONTROL.test(text)) throw badRequest(`${what} must not contain control characters`);
  if (text === '/') return '/';
  const segments = text.slice(1).split('/');
  return `/${segments
    .map((raw, index) => {
      if (raw === '') {
        if (index === segments.length - 1) return '';
        throw badRequest(`${what} must not contain empty segments ("//")`);
      }
      if (UNRESERVED_SEGMENT.test(raw) && raw !== '.' && raw !== '..') return raw;
      return encodeSegment(decodeSegment(raw));
    })
    .join('/')}`;
}

// The query as it will be sent: characters outside the query set are percent-encoded, escapes must
// be well-formed. Returns '' for none.
export function canonicalQuery(text) {
  if (text === '') return '';
  if (CONTROL.test(text) || text.includes('#')) throw badRequest('query must not contain "#" or control characters');
  const encoded = [...text].map((ch) => (QUERY_CHAR.test(ch) ? ch : encodeURIComponent(ch))).join('');
  if (/%(?![0-9a-f]{2})/i.test(encoded)) throw badRequest('query has invalid percent-encoding');
  return encoded;
}

// Splits "/path?query" into its canonical path and query.
export function splitTarget(text) {
  if (typeof text !== 'string') throw badRequest('path must be a string starting with "/"');
  const mark = text.indexOf('?');
  if (mark === -1) return { path: canonicalPath(text), query: '' };
  return { path: canonicalPath(text.slice(0, mark)), query: canonicalQuery(text.slice(mark + 1)) };
}

// A prefix ending in "/" covers everything below it; any other covers itself and its subpaths,
// so "/user" allows "/user/repos" but not "/users".
export function pathWithin(path, prefix) {
  if (prefix.endsWith('/')) return path.startsWith(prefix);
  return path === prefix || path.startsWith(`${prefix}/`);
}
