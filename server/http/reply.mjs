// What a handler may return besides a plain value (which is sent as 200 JSON).
export class Reply {
  constructor(status, body, headers = {}) {
    this.status = status;
    this.body = body;
    this.headers = headers;
  }
}

export const reply = (status, body) => new Reply(status, body);

// Raw bytes (for static pages); the caller names the content type.
export const raw = (status, contentType, data, headers = {}) =>
  new Reply(status, Buffer.isBuffer(data) ? data : Buffer.from(String(data)), { 'content-type': contentType, ...headers });

const JSON_HEADERS = { 'content-type': 'application/json; charset=utf-8', 'cache-control': 'no-store' };

export function sendReply(res, value) {
  if (res.headersSent) return;
  const r = value instanceof Reply ? value : new Reply(200, value ?? {});
  if (Buffer.isBuffer(r.body)) {
    res.writeHead(r.status, { 'content-length': r.body.length, ...r.headers });
    res.end(r.body);
    return;
  }
  // A string body goes out in one write with the head; a Buffer would take a second one.
  const text = JSON.stringify(r.body);
  res.writeHead(r.status, { ...JSON_HEADERS, 'content-length': Buffer.byteLength(text), ...r.headers });
  res.end(text);
}
