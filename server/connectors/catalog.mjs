// The connector catalog. Each connector is data in its own module; base URLs can be redirected
// per connector by the environment (TVN_PROVIDER_BASE_URL_<ID>) to a loopback stand-in for
// tests, never by request input.
import { ConfigError } from '../config.mjs';
import { INPUT_TYPES } from '../lib/schema.mjs';
import { isRisk } from '../lib/risk.mjs';
import github from './github.mjs';
import openai from './openai.mjs';
import claude from './claude.mjs';
import gemini from './gemini.mjs';
import openrouter from './openrouter.mjs';
import slack from './slack.mjs';
import telegram from './telegram.mjs';
import notion from './notion.mjs';
import sentry from './sentry.mjs';
import vercel from './vercel.mjs';
import render from './render.mjs';
import posthog from './posthog.mjs';

export const CONNECTOR_DEFINITIONS = [github, openai, claude, gemini, openrouter, slack, telegram, notion, sentry, vercel, render, posthog];

const LOOPBACK_HOSTS = new Set(['127.0.0.1', 'localhost', '::1']);

export const baseUrlVariable = (id) => `TVN_PROVIDER_BASE_URL_${id.toUpperCase().replace(/[^A-Z0-9]/g, '_')}`;

function checkDefinition(def) {
  const fail = (what) => {
    throw new Error(`connector ${def.id}: ${what}`);
  };
  if (!/^[a-z0-9-]+$/.test(def.id)) fail('bad id');
  if (!['bearer', 'header', 'path'].includes(def.auth?.placement)) fail('unknown credential placement');
  const ids = new Set();
  for (const tool of def.tools) {
    if (!tool.id.startsWith(`${def.id}.`) || ids.has(tool.id)) fail(`tool id ${tool.id} must be unique and start with "${def.id}."`);
    ids.add(tool.id);
    if (!isRisk(tool.risk) || !['read', 'write'].includes(tool.mode)) fail(`tool ${tool.id} needs a risk level and mode`);
    for (const [name, field] of Object.entries(tool.input)) if (!INPUT_TYPES.includes(field.type)) fail(`input ${name} of ${tool.id} has no known type`);
    for (const name of tool.request.path.match(/\{(\w+)\}/g) ?? []) {
      if (!tool.input[name.slice(1, -1)]?.required) fail(`path parameter ${name} of ${tool.id} must be a required input`);
    }
  }
}

function resolveBaseUrl(def, env) {
  const variable = baseUrlVariable(def.id);
  const override = env[variable];
  if (override === undefined || override === '') return def.baseUrl;
  let url;
  try {
    url = new URL(override);
  } catch {
    throw new ConfigError(`${variable} is not a URL`);
  }
  // Only a local stand-in may take a provider's place: a stored credential never goes elsewhere.
  const host = url.hostname.replace(/^\[(.*)\]$/, '$1');
  if (!['http:', 'https:'].includes(url.protocol) || !LOOPBACK_HOSTS.has(host)) {
    throw new ConfigError(`${variable} must be an http(s) URL on this computer (127.0.0.1, localhost or ::1)`);
  }
  return override.replace(/\/+$/, '');
}

function summarize(connector) {
  const hasTools = connector.tools.length > 0;
  return {
    id: connector.id,
    displayName: connector.displayName,
    status: hasTools ? 'available' : 'not_implemented',
    tools: connector.tools.length,
    authType: connector.auth.type,
    authOptions: connector.authOptions,
    authReady: connector.auth.type === 'api_key', // an API key needs nothing set up beforehand
    runtime: { status: hasTools ? 'ready' : 'not_implemented', healthCheck: Boolean(connector.check), liveTools: connector.tools.map((t) => t.id), missingTools: [] },
    description: connector.description,
    setupGuide: connector.setupGuide,
    scopes: connector.scopes,
    toolPreview: connector.tools.map(({ id, title, risk, mode }) => ({ id, title, risk, mode })),
  };
}

export function createCatalog(env, definitions = CONNECTOR_DEFINITIONS) {
  definitions ??= CONNECTOR_DEFINITIONS;
  definitions.forEach(checkDefinition);
  const connectors = definitions.map((def) => Object.freeze({ ...def, baseUrl: resolveBaseUrl(def, env) }));
  const byId = new Map(connectors.map((c) => [c.id, c]));
  return {
    list: () => connectors,
    get: (id) => byId.get(id) ?? null,
    tool: (connectorId, toolId) => byId.get(connectorId)?.tools.find((t) => t.id === toolId) ?? null,
    summaries: () => connectors.map(summarize),
  };
}
