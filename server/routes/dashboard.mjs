// The dashboard page at "/" and its static assets, each with the page's security headers. Every
// route serves the one asset it was registered for; the request path itself is never looked up.
import { DASHBOARD_ASSETS, DASHBOARD_HEADERS, loadDashboardAsset } from '../dashboard/serve.mjs';

function serveAsset(assetPath) {
  return async (ctx) => {
    const asset = await loadDashboardAsset(assetPath);
    return ctx.raw(200, asset.contentType, asset.body, DASHBOARD_HEADERS);
  };
}

export const routes = Object.keys(DASHBOARD_ASSETS).map((path) => ({ method: 'GET', path, auth: 'none', handler: serveAsset(path) }));
