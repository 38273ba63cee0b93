// The one JSON body reader: bounded size and nesting, must be a JSON object (an empty body reads
// as {}). Hashing, cloning and serialising recurse, so a deeper value is refused here, once.
import { HttpError, badRequest } from './errors.mjs';

export const MAX_BODY_DEPTH = 64;

// Depth of objects and arrays in a parsed JSON value, walked without recursion; stops past `limit`.
export function nestingDepth(value, limit) {
  let deepest = 0;
  const stack = [[value, 1]];
  while (stack.length) {
    const [node, depth] = stack.pop();
    if (node === null || typeof node !== 'object') continue;
    if (depth > deepest) deepest = depth;
    if (deepest > limit) break;
    for (const child of Array.isArray(node) ? node : Object.values(node)) stack.push([child, depth + 1]);
  }
  return deepest;
}

const tooLarge = (limitBytes) => new HttpError(413, `request body too large (limit ${limitBytes} bytes)`);

// The raw body, up to limitBytes; what comes beyond the limit is read and dropped. Plain stream
// events rather than an async iterator, which costs more than the rest of a small body's reading.
function readBytes(req, limitBytes) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    let size = 0;
    const onData = (chunk) => {
      size += chunk.length;
      if (size <= limitBytes) chunks.push(chunk);
      else finish(tooLarge(limitBytes));
    };
    const onEnd = () => finish(null);
    const onAborted = () => finish(new HttpError(400, 'request body was cut off'));
    function finish(error) {
      req.off('data', onData);
      req.off('end', onEnd);
      req.off('error', onAborted);
      req.off('aborted', onAborted);
      if (!error) resolve(chunks.length === 1 ? chunks[0] : Buffer.concat(chunks));
      else {
        req.resume();
        reject(error);
      }
    }
    req.on('data', onData);
    req.on('end', onEnd);
    req.on('error', onAborted);
    req.on('aborted', onAborted);
  });
}

export async function readJsonBody(req, limitBytes) {
  const declared = Number(req.headers['content-length']);
  if (Number.isFinite(declared) && declared > limitBytes) {
    req.resume();
    throw tooLarge(limitBytes);
  }
  const text = (await readBytes(req, limitBytes)).toString('utf8');
  if (text.trim() === '') return {};
  const type = String(req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase();
  if (type !== 'application/json') throw new HttpError(415, 'request body must be sent as application/json');
  let value;
  try {
    value = JSON.parse(text);
  } catch {
    throw badRequest('malformed JSON body');
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) throw badRequest('request body must be a JSON object');
  if (nestingDepth(value, MAX_BODY_DEPTH) > MAX_BODY_DEPTH) throw badRequest(`request body is nested too deeply (at most ${MAX_BODY_DEPTH} levels)`);
  return value;
}
