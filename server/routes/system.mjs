// Health and posture. /health and /v1/local-posture answer without credentials:
// the app and the control script use them to recognise this broker.
function posture(ctx) {
  const { config, env } = ctx;
  return {
    bindMode: 'loopback',
    workerMode: 'single',
    loopbackOnly: true,
    brokerUrl: ctx.brokerUrl,
    brokerPort: Number(new URL(ctx.brokerUrl).port),
    runtimeLane: env.TVN_RUNTIME_LANE ?? 'development',
    serviceLabel: env.TVN_SERVICE_LABEL ?? '',
    appBundleId: env.TVN_APP_BUNDLE_ID ?? '',
    stateDir: env.SWITCHYARD_STATE_DIR ?? '',
    profileStoreDir: env.TVN_PROFILE_STORE_DIR ?? '',
    logDir: env.TVN_LOG_DIR ?? '',
    applicationSupportRoot: env.TVN_APPLICATION_SUPPORT_ROOT ?? '',
    keychainMode: env.SWITCHYARD_KEYCHAIN_MODE ?? 'file',
    operatorBootstrapMode: env.SWITCHYARD_OPERATOR_BOOTSTRAP_MODE ?? 'file',
    buildId: config.buildId,
    buildChannel: config.buildChannel,
    serviceRoot: config.serviceRoot,
    serviceRootDisplay: config.serviceRoot,
    entrypoint: config.entrypoint,
    wrapperCommand: `${config.serviceRoot}/script/tvn-mcp-launch.sh`,
    // The control script compares these with the paths the app handed it.
    trustedAppPaths: config.trustedAppPaths,
  };
}

export const routes = [
  {
    method: 'GET',
    path: '/health',
    auth: 'none',
    handler: (ctx) => ({ ok: true, service: 'switchyard-broker', vault: ctx.services.vault.status }),
  },
  { method: 'GET', path: '/v1/local-posture', auth: 'none', handler: posture },
];
