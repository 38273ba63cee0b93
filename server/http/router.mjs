// Matches a request path against the route table. Patterns are literal segments and {name}
// parameters; a final {*name} takes the rest of the path. Parameters are percent-decoded one
// segment at a time, so an encoded "/" can never reach a handler as a path separator.
import { HttpError, badRequest } from './errors.mjs';

const METHODS = new Set(['GET', 'POST', 'PUT', 'PATCH', 'DELETE']);
const AUTH_KINDS = new Set(['none', 'operator', 'agent', 'operator-or-agent', 'operator-or-bootstrap']);

function compile(route, moduleName) {
  if (!METHODS.has(route.method)) throw new Error(`${moduleName}: bad method ${route.method}`);
  if (!AUTH_KINDS.has(route.auth)) throw new Error(`${moduleName}: bad auth "${route.auth}" on ${route.path}`);
  if (typeof route.handler !== 'function') throw new Error(`${moduleName}: no handler on ${route.path}`);
  if (!route.path.startsWith('/')) throw new Error(`${moduleName}: path must start with "/": ${route.path}`);
  const segments = route.path === '/' ? [] : route.path.slice(1).split('/');
  const parts = segments.map((segment, index) => {
    const rest = /^\{\*(\w+)\}$/.exec(segment);
    if (rest) {
      if (index !== segments.length - 1) throw new Error(`${moduleName}: {*${rest[1]}} must be last in ${route.path}`);
      return { rest: rest[1] };
    }
    const param = /^\{(\w+)\}$/.exec(segment);
    return param ? { param: param[1] } : { literal: segment };
  });
  return { ...route, parts, module: moduleName };
}

function decodeSegment(raw) {
  let value;
  try {
    value = decodeURIComponent(raw);
  } catch {
    throw badRequest('invalid percent-encoding in path');
  }
  if (value === '' || value === '.' || value === '..' || /[/\\\0]/.test(value)) throw badRequest('invalid identifier in path');
  return value;
}

// Parameters are decoded only once the whole path matches: a route that fails on a later literal
// must not refuse the request for a segment it never takes.
function matchParts(parts, segments) {
  const last = parts[parts.length - 1];
  if (last?.rest ? segments.length < parts.length : segments.length !== parts.length) return null;
  for (let i = 0; i < parts.length && !parts[i].rest; i++) {
    if (parts[i].literal !== undefined && parts[i].literal !== segments[i]) return null;
  }
  const params = {};
  for (let i = 0; i < parts.length; i++) {
    const part = parts[i];
    if (part.rest) params[part.rest] = segments.slice(i).map(decodeSegment).join('/');
    else if (part.param) params[part.param] = decodeSegment(segments[i]);
  }
  return params;
}

export function createRouter(routeModules) {
  const routes = [];
  for (const { name, routes: list } of routeModules) {
    for (const route of list) routes.push(compile(route, name));
  }
  // Literal-heavy patterns first, so "/v1/master-keys/{key}/revoke" never shadows a more exact path.
  const specificity = (r) => r.parts.filter((p) => p.literal !== undefined).length * 2 - (r.parts.some((p) => p.rest) ? 1 : 0);
  routes.sort((a, b) => specificity(b) - specificity(a));

  return {
    routes,
    match(method, pathname) {
      const segments = pathname === '/' ? [] : pathname.slice(1).split('/');
      let pathMatched = false;
      for (const route of routes) {
        const params = matchParts(route.parts, segments);
        if (!params) continue;
        if (route.method === method || (method === 'HEAD' && route.method === 'GET')) return { route, params };
        pathMatched = true;
      }
      if (pathMatched) throw new HttpError(405, 'method not allowed');
      throw new HttpError(404, 'not found');
    },
  };
}
