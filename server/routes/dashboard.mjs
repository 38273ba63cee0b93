// The dashboard page at "/" and its static assets, each with the page's security headers.
import { notFound } from '../http/errors.mjs';
import { DASHBOARD_ASSETS, DASHBOARD_HEADERS, loadDashboardAsset } from '../dashboard/serve.mjs';

async function serveAsset(ctx) {
  const asset = await loadDashboardAsset(ctx.url.pathname);
  if (!asset) throw notFound();
  return ctx.raw(200, asset.contentType, asset.body, DASHBOARD_HEADERS);
}

export const routes = Object.keys(DASHBOARD_ASSETS).map((path) => ({ method: 'GET', path, auth: 'none', handler: serveAsset }));
