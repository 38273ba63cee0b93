// Looks at whatever listens on the broker port without trusting it: every probe has a hard
// deadline and a size cap, so a listener that accepts and never answers cannot hang the script.
import http from 'node:http';
import net from 'node:net';

const HOST = '127.0.0.1';
const MAX_BODY_BYTES = 256 * 1024;
const BROKER_SERVICE_NAME = 'switchyard-broker';

export function isPortListening(port, timeoutMs = 800) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: HOST, port });
    const finish = (listening) => {
      socket.destroy();
      resolve(listening);
    };
    socket.setTimeout(timeoutMs, () => finish(false));
    socket.once('connect', () => finish(true));
    socket.once('error', () => finish(false));
  });
}

// GET a JSON document; resolves null on any failure, time-out, non-2xx status or oversized body.
function getJson(port, pathname, timeoutMs) {
  return new Promise((resolve) => {
    let settled = false;
    const settle = (value) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      request.destroy();
      resolve(value);
    };
    const request = http.get({ host: HOST, port, path: pathname, agent: false, headers: { accept: 'application/json' } }, (response) => {
      if (response.statusCode < 200 || response.statusCode > 299) return settle(null);
      const chunks = [];
      let size = 0;
      response.on('data', (chunk) => {
        size += chunk.length;
        if (size > MAX_BODY_BYTES) return settle(null);
        chunks.push(chunk);
      });
      response.on('end', () => {
        try {
          settle(JSON.parse(Buffer.concat(chunks).toString('utf8')));
        } catch {
          settle(null);
        }
      });
      response.on('error', () => settle(null));
    });
    request.on('error', () => settle(null));
    const timer = setTimeout(() => settle(null), timeoutMs);
  });
}

function isBrokerHealth(body) {
  return body !== null && typeof body === 'object' && body.service === BROKER_SERVICE_NAME;
}

// What is on the port: nothing, something else, or a broker together with its posture.
export async function probeListener(port) {
  if (!(await isPortListening(port))) return { kind: 'none' };
  const health = await getJson(port, '/health', 1500);
  if (!isBrokerHealth(health)) return { kind: 'foreign' };
  const posture = await getJson(port, '/v1/local-posture', 1500);
  return { kind: 'broker', posture: posture !== null && typeof posture === 'object' ? posture : null };
}

export async function isBrokerHealthy(port) {
  return isBrokerHealth(await getJson(port, '/health', 1500));
}
