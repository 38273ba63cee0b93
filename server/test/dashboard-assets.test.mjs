// The dashboard's static serving through the real broker: security headers on every asset, the
// fixed list of files, and nothing else reachable by path tricks.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createBroker } from '../app.mjs';
import { DASHBOARD_ASSETS } from '../dashboard/serve.mjs';

const dashboardDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', 'dashboard');
let broker;
let stateDir;

before(async () => {
  stateDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-dashboard-assets-'));
  broker = await createBroker({ env: { HOME: stateDir }, stateDir, port: 0, log: () => {} }).start();
});

after(async () => {
  await broker?.close();
  fs.rmSync(stateDir, { recursive: true, force: true });
});

// Sends the path exactly as written (fetch would normalise "..", "%2e" and "//").
function rawRequest(rawPath, method = 'GET') {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port: broker.port, path: rawPath, method }, (res) => {
      const chunks = [];
      res.on('data', (chunk) => chunks.push(chunk));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks).toString('utf8') }));
    });
    req.on('error', reject);
    req.end();
  });
}

function assertPageSecurityHeaders(headers, where) {
  const csp = headers['content-security-policy'] ?? '';
  const directives = new Map(csp.split(';').map((d) => d.trim().split(/\s+/)).filter((d) => d[0]).map(([name, ...values]) => [name, values]));
  assert.deepEqual(directives.get('default-src'), ["'self'"], `${where}: default-src`);
  assert.deepEqual(directives.get('connect-src'), ["'self'"], `${where}: connect-src`);
  assert.deepEqual(directives.get('frame-ancestors'), ["'none'"], `${where}: frame-ancestors`);
  for (const name of ['script-src', 'style-src']) assert.deepEqual(directives.get(name), ["'self'"], `${where}: ${name}`);
  assert.doesNotMatch(csp, /unsafe-(inline|eval|hashes)|\*|data:|blob:/, `${where}: nothing loosens the policy`);
  assert.equal(headers['x-content-type-options'], 'nosniff', where);
  assert.equal(headers['referrer-policy'], 'no-referrer', where);
  assert.equal(headers['cache-control'], 'no-store', where);
}

test('every listed asset is served with its content type and the page security headers', async () => {
  const expectedTypes = { '.html': 'text/html', '.mjs': 'text/javascript', '.css': 'text/css', '.svg': 'image/svg+xml' };
  for (const [urlPath, asset] of Object.entries(DASHBOARD_ASSETS)) {
    const res = await rawRequest(urlPath);
    assert.equal(res.status, 200, urlPath);
    assert.equal(res.headers['content-type'].split(';')[0], expectedTypes[path.extname(asset.file)], urlPath);
    const file = fs.readFileSync(path.join(dashboardDir, asset.file), 'utf8');
    // A help page is its file set into the shared frame.
    if (asset.helpPage) assert.ok(res.body.includes(file) && res.body.startsWith('<!doctype html>'), urlPath);
    else assert.equal(res.body, file, urlPath);
    assertPageSecurityHeaders(res.headers, urlPath);
  }
});

test('HEAD of the page answers the headers without a body', async () => {
  const res = await rawRequest('/', 'HEAD');
  assert.equal(res.status, 200);
  assert.equal(res.body, '');
  assertPageSecurityHeaders(res.headers, 'HEAD /');
});

test('paths outside the list reach nothing, however they are spelled', async () => {
  const serverSource = fs.readFileSync(path.join(dashboardDir, 'serve.mjs'), 'utf8');
  const probes = [
    '/dashboard/serve.mjs', '/dashboard/index.html', '/index.html', '/dashboard/', '/dashboard',
    '/dashboard/../app.mjs', '/dashboard/%2e%2e/app.mjs', '/dashboard/..%2fapp.mjs', '/dashboard/%2e%2e%2fconfig.mjs',
    '/dashboard//app.mjs', '/dashboard/app.mjs%00', '/dashboard/APP.MJS', '/dashboard/app.mjs/', '/dashboard\\..\\app.mjs',
    '/..%2f..%2fpackage.json', '/dashboard/%252e%252e/serve.mjs',
  ];
  for (const probe of probes) {
    const res = await rawRequest(probe);
    assert.ok(res.status >= 400 && res.status < 500, `${probe} answered ${res.status}`);
    assert.ok(!res.body.includes('createBroker') && !res.body.includes(serverSource.slice(0, 80)), `${probe} leaked source`);
  }
});

// A module or file the page loads but the list forgets fails only in the browser; catch it here.
test('the page and its modules load only listed assets, with no inline script or style', () => {
  const listed = new Set(Object.keys(DASHBOARD_ASSETS));
  const html = fs.readFileSync(path.join(dashboardDir, 'index.html'), 'utf8');
  const htmlRefs = [...html.matchAll(/\s(?:src|href)="(\/[^"]*)"/g)].map((m) => m[1]);
  assert.ok(htmlRefs.length >= 3);
  for (const ref of htmlRefs) assert.ok(listed.has(ref), `index.html loads unlisted ${ref}`);
  assert.doesNotMatch(html, /<script(?![^>]*\ssrc=)[^>]*>/, 'inline <script>');
  assert.doesNotMatch(html, /<style|\sstyle=|\son[a-z]+=/i, 'inline style or handler');

  for (const [urlPath, asset] of Object.entries(DASHBOARD_ASSETS)) {
    if (!asset.file.endsWith('.mjs')) continue;
    const source = fs.readFileSync(path.join(dashboardDir, asset.file), 'utf8');
    for (const [, spec] of source.matchAll(/(?:^|\n)\s*(?:import|export)[^'"]*?from\s+'([^']+)'/g)) {
      assert.ok(spec.startsWith('./'), `${asset.file} imports ${spec}: the page has no packages`);
      const target = new URL(spec, `http://x${urlPath}`).pathname;
      assert.ok(listed.has(target), `${asset.file} imports unlisted ${target}`);
    }
    assert.doesNotMatch(source, /innerHTML|outerHTML|insertAdjacentHTML|document\.write/, `${asset.file} writes HTML`);
  }
});
