// Serves the dashboard page, its assets and the help pages from a fixed list: request paths are looked up, never
// joined onto the file system, so nothing outside this list can be reached through them.

import { readFile } from 'node:fs/promises';

const HTML = 'text/html; charset=utf-8';
const JS = 'text/javascript; charset=utf-8';
const CSS = 'text/css; charset=utf-8';
const SVG = 'image/svg+xml';

export const DASHBOARD_ASSETS = Object.freeze({
  '/': { file: 'index.html', type: HTML },
  '/dashboard/app.mjs': { file: 'app.mjs', type: JS },
  '/dashboard/api.mjs': { file: 'api.mjs', type: JS },
  '/dashboard/dialogs.mjs': { file: 'dialogs.mjs', type: JS },
  '/dashboard/dom.mjs': { file: 'dom.mjs', type: JS },
  '/dashboard/format.mjs': { file: 'format.mjs', type: JS },
  '/dashboard/native.mjs': { file: 'native.mjs', type: JS },
  '/dashboard/views.mjs': { file: 'views.mjs', type: JS },
  '/dashboard/styles.css': { file: 'styles.css', type: CSS },
  '/dashboard/icon.svg': { file: 'icon.svg', type: SVG },
  // Help pages, written in the repository and served offline like the page itself: each file is
  // the content of one page, set into help/page.html.
  '/help/': { file: '../help/index.html', type: HTML, helpPage: true },
  '/help/keys-safe': { file: '../help/keys-safe.html', type: HTML, helpPage: true },
  '/help/agent-setup': { file: '../help/agent-setup.html', type: HTML, helpPage: true },
  '/help/approvals': { file: '../help/approvals.html', type: HTML, helpPage: true },
  '/help/recovery': { file: '../help/recovery.html', type: HTML, helpPage: true },
  '/help/help.css': { file: '../help/help.css', type: CSS },
});

export const DASHBOARD_CSP = [
  "default-src 'self'",
  "script-src 'self'",
  "style-src 'self'",
  "img-src 'self'",
  "connect-src 'self'",
  "font-src 'self'",
  "object-src 'none'",
  "base-uri 'none'",
  "form-action 'none'",
  "frame-ancestors 'none'",
  "require-trusted-types-for 'script'",
  "trusted-types 'none'",
].join('; ');

export const DASHBOARD_HEADERS = Object.freeze({
  'content-security-policy': DASHBOARD_CSP,
  'x-content-type-options': 'nosniff',
  'referrer-policy': 'no-referrer',
  'cache-control': 'no-store',
  'x-frame-options': 'DENY',
  'cross-origin-opener-policy': 'same-origin',
  'cross-origin-resource-policy': 'same-origin',
  'permissions-policy': 'camera=(), microphone=(), geolocation=(), clipboard-read=(), usb=()',
});

export function isDashboardPath(pathname) {
  return Object.hasOwn(DASHBOARD_ASSETS, pathname);
}

const readAsset = (file) => readFile(new URL(file, import.meta.url));

// A help page: its content in the shared frame, titled after its first heading. The files are the
// repository's own; their text is put in as it is.
async function helpPage(file) {
  const [frame, content] = await Promise.all([readAsset('../help/page.html'), readAsset(file)]);
  const text = content.toString('utf8');
  const title = /<h1>([^<]*)<\/h1>/.exec(text)?.[1] ?? 'Help';
  return Buffer.from(frame.toString('utf8').replace('{{title}}', () => title).replace('{{content}}', () => text));
}

// The listed asset for a request path, or null for any other path.
export async function loadDashboardAsset(pathname) {
  if (!isDashboardPath(pathname)) return null;
  const asset = DASHBOARD_ASSETS[pathname];
  return { contentType: asset.type, body: asset.helpPage ? await helpPage(asset.file) : await readAsset(asset.file) };
}
