// The dashboard page at "/", its static assets and the help pages, each with the page's security
// headers, plus the agent apps the page offers to set up. Every route serves the one asset it
// was registered for; the request path itself is never looked up.
import { AGENT_APPS } from '../agents/catalog.mjs';
import { DASHBOARD_ASSETS, DASHBOARD_HEADERS, loadDashboardAsset } from '../dashboard/serve.mjs';

function serveAsset(assetPath) {
  return async (ctx) => {
    const asset = await loadDashboardAsset(assetPath);
    return ctx.raw(200, asset.contentType, asset.body, DASHBOARD_HEADERS);
  };
}

// What the page needs to list the apps: nothing about paths on this computer.
const agentApps = JSON.stringify({ apps: AGENT_APPS.map(({ id, label, autoWrite }) => ({ id, label, autoWrite })) });

export const routes = [
  ...Object.keys(DASHBOARD_ASSETS).map((path) => ({ method: 'GET', path, auth: 'none', handler: serveAsset(path) })),
  {
    method: 'GET',
    path: '/dashboard/agent-apps.json',
    auth: 'none',
    handler: (ctx) => ctx.raw(200, 'application/json; charset=utf-8', agentApps, DASHBOARD_HEADERS),
  },
];
