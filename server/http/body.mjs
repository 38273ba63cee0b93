// The one JSON body reader: bounded size, must be a JSON object (an empty body reads as {}).
import { HttpError, badRequest } from './errors.mjs';

export async function readJsonBody(req, limitBytes) {
  const declared = Number(req.headers['content-length']);
  if (Number.isFinite(declared) && declared > limitBytes) {
    req.resume();
    throw new HttpError(413, `request body too large (limit ${limitBytes} bytes)`);
  }
  const chunks = [];
  let size = 0;
  for await (const chunk of req) {
    size += chunk.length;
    if (size > limitBytes) {
      req.resume();
      throw new HttpError(413, `request body too large (limit ${limitBytes} bytes)`);
    }
    chunks.push(chunk);
  }
  const text = Buffer.concat(chunks).toString('utf8');
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
  return value;
}
