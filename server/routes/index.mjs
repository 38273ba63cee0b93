// Every route module of the broker, in one list. A route module lives in its own file and exports
//
//   export const routes = [
//     { method: 'GET' | 'POST' | …, path: '/v1/things/{id}', auth: 'none' | 'operator' | 'agent'
//       | 'operator-or-agent' | 'operator-or-bootstrap', handler: async (ctx) => … },
//   ];
//
// Paths are literal segments and {name} parameters (percent-decoded, never containing "/", "\",
// NUL, "." or ".."); a last segment {*name} takes the rest of the path. Auth runs before the
// handler: 'operator' needs a live "x-tvn-operator-session", 'agent' an active agent key as
// "authorization: Bearer tvn_…" and a kill switch that is off.
//
// The handler gets ctx: params, url (URL), query (URLSearchParams), body (parsed JSON object for
// POST/PUT/PATCH/DELETE; {} when empty), headers, auth ({kind, session?, key?}), brokerUrl, env,
// config, audit.append(event) (never put secrets in events), agentKeys.findActiveByAgentId(id),
// killSwitch.enabled, requireOperator() / operatorSession() for routes that decide themselves,
// log(line), and services for the rest: services.store.update(draft => …) to keep a section of
// your own in the vault file, services.connections.readCredential(connectorId, accountId),
// services.catalog, services.exportState() / replaceState(snapshot) for whole-state backups.
// It returns a JSON value (sent as 200), ctx.reply(status, value), or ctx.raw(status, contentType,
// bytes); it throws HttpError (server/http/errors.mjs) for failures, sent as {"error": text}.
//
// Add a module with one import and one line in the list below.
import * as system from './system.mjs';
import * as operator from './operator.mjs';
import * as connectors from './connectors.mjs';
import * as agentKeys from './agentKeys.mjs';
import * as execute from './execute.mjs';
import * as audit from './audit.mjs';
import * as keychain from './keychain.mjs';
import * as dashboard from './dashboard.mjs';
import * as agents from './agents.mjs';
import * as proxy from './proxy.mjs';
import * as backups from './backups.mjs';
import * as events from './events.mjs';

export const routeModules = [
  { name: 'dashboard', routes: dashboard.routes },
  { name: 'system', routes: system.routes },
  { name: 'operator', routes: operator.routes },
  { name: 'connectors', routes: connectors.routes },
  { name: 'agent-keys', routes: agentKeys.routes },
  { name: 'execute', routes: execute.routes },
  { name: 'audit', routes: audit.routes },
  { name: 'keychain', routes: keychain.routes },
  { name: 'agents', routes: agents.routes },
  { name: 'proxy', routes: proxy.routes },
  { name: 'backups', routes: backups.routes },
  { name: 'events', routes: events.routes },
];
