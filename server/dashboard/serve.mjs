// Serves the dashboard page and its assets from a fixed list: request paths are looked up, never
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

// The listed asset for a request path, or null for any other path.
export async function loadDashboardAsset(pathname) {
  if (!isDashboardPath(pathname)) return null;
  const asset = DASHBOARD_ASSETS[pathname];
  return { contentType: asset.type, body: await readFile(new URL(asset.file, import.meta.url)) };
}
