// The status object the app decodes, and the rules that pick its status words.
import fs from 'node:fs';

export const STATUS = Object.freeze({
  ready: 'ready',
  installed: 'installed',
  startFailed: 'start_failed',
  staleBroker: 'stale_broker',
  portConflict: 'port_conflict',
  notInstalled: 'not_installed',
});

const LAUNCH_AGENT = Object.freeze({ loaded: 'loaded', installed: 'installed', notInstalled: 'not_installed' });

const BROKER = Object.freeze({
  listening: 'listening',
  notListening: 'not_listening',
  portConflict: 'port_conflict',
  mismatch: 'mismatch',
  startFailed: 'start_failed',
});

const trimmedString = (value) => (typeof value === 'string' && value.trim() !== '' ? value.trim() : null);

function samePath(a, b) {
  const canonical = (p) => {
    try {
      return fs.realpathSync(p);
    } catch {
      return p;
    }
  };
  return canonical(a) === canonical(b);
}

// A broker belongs to this install only when it reports the same build id, channel and service
// root; a missing value never matches.
export function postureMatchesInstall(posture, config) {
  if (posture === null) return false;
  const buildId = trimmedString(posture.buildId);
  const buildChannel = trimmedString(posture.buildChannel);
  const serviceRoot = trimmedString(posture.serviceRoot);
  return buildId === config.buildId && buildChannel === config.buildChannel
    && serviceRoot !== null && samePath(serviceRoot, config.serviceRoot);
}

// installed: the unit or detached install record exists; running: its process is up;
// failed: it should be running but died (or the manager gave up on it);
// listener: what answers on the port (see probeListener), or 'unresponsive' when it is our own
// broker process that does not answer /health as a broker.
export function decideStatus({ installed, running, failed, listener, config }) {
  const launchAgent = !installed ? LAUNCH_AGENT.notInstalled : running ? LAUNCH_AGENT.loaded : LAUNCH_AGENT.installed;
  const words = (status, broker, brokerMatchesInstall = null) => ({ status, launchAgent, broker, brokerMatchesInstall });
  if (listener.kind === 'foreign') return words(STATUS.portConflict, BROKER.portConflict);
  if (listener.kind === 'unresponsive') return words(STATUS.startFailed, BROKER.startFailed);
  if (listener.kind === 'broker') {
    return postureMatchesInstall(listener.posture, config)
      ? words(STATUS.ready, BROKER.listening, true)
      : words(STATUS.staleBroker, BROKER.mismatch, false);
  }
  if (!installed) return words(STATUS.notInstalled, BROKER.notListening);
  if (failed) return words(STATUS.startFailed, BROKER.startFailed);
  return words(STATUS.installed, BROKER.notListening);
}

function trustedPathsReport(posture, config) {
  const reported = posture?.trustedAppPaths;
  if (!Array.isArray(reported) || !reported.every((p) => typeof p === 'string')) {
    return { brokerTrustedAppPaths: null, brokerTrustedAppPathsMatch: null };
  }
  const expected = new Set(config.trustedAppPaths);
  const actual = new Set(reported);
  const match = expected.size === actual.size && [...expected].every((p) => actual.has(p));
  return { brokerTrustedAppPaths: reported, brokerTrustedAppPathsMatch: match };
}

// Keys in the order the app documents them; absent facts are null.
export function statusObject(config, decision, posture, lastErrorSummary) {
  const brokerFacts = posture ?? {};
  return {
    status: decision.status,
    launchAgent: decision.launchAgent,
    broker: decision.broker,
    dashboardUrl: config.dashboardUrl,
    runtimeLane: config.runtimeLane,
    serviceLabel: config.serviceLabel,
    appBundleId: config.appBundleId,
    brokerPort: config.brokerPort,
    stateDir: config.stateDir,
    profileStoreDir: config.profileStoreDir,
    logDir: config.logDir,
    applicationSupportRoot: config.applicationSupportRoot,
    serviceRoot: config.serviceRoot,
    buildId: config.buildId,
    buildChannel: config.buildChannel,
    brokerServiceRoot: trimmedString(brokerFacts.serviceRoot),
    brokerBuildId: trimmedString(brokerFacts.buildId),
    brokerBuildChannel: trimmedString(brokerFacts.buildChannel),
    brokerMatchesInstall: decision.brokerMatchesInstall,
    ...trustedPathsReport(posture, config),
    lastErrorSummary: lastErrorSummary || null,
  };
}
