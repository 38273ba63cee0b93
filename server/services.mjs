// Builds the broker's services over the state directory. Routes reach them through ctx.services.
import path from 'node:path';
import { ensurePrivateDir, removeStaleTempFiles } from './state/files.mjs';
import { openStore } from './state/store.mjs';
import { openAuditLog } from './state/audit.mjs';
import { deriveAnchorKey } from './state/auditAnchor.mjs';
import { createAuditCoalescer } from './state/auditCoalescer.mjs';
import { createSessionStore } from './state/sessions.mjs';
import { createAgentKeyStore } from './state/agentKeys.mjs';
import { createVault } from './state/vault.mjs';
import { createOperator } from './state/operator.mjs';
import { createConnectionStore } from './state/connections.mjs';
import { createApprovalStore } from './state/approvals.mjs';
import { createCatalog } from './connectors/catalog.mjs';
import { createExecutor } from './execution.mjs';
import { createInflightCalls } from './connectors/inflight.mjs';
import { exportSnapshot, replaceFromSnapshot } from './state/snapshot.mjs';
import { nowIso } from './lib/ids.mjs';

function createKillSwitch(store) {
  return {
    get enabled() {
      return store.state.killSwitch.enabled;
    },
    // options: { audit } as for store.update.
    set(enabled, options) {
      store.update((draft) => {
        draft.killSwitch = { enabled, updatedAt: nowIso() };
      }, options);
    },
  };
}

// The anchor marker lives beside the vault's keys: it says the log is anchored under this vault.
function anchorMarker(store) {
  return {
    get: () => store.state.vault?.auditAnchorKeyId ?? null,
    set: (keyId) => store.update((draft) => {
      if (draft.vault) draft.vault.auditAnchorKeyId = keyId;
    }),
  };
}

export function createServices(config, { log, bindAddress }) {
  const catalog = createCatalog(config.env, config.connectorDefinitions); // configuration errors before any file is touched
  ensurePrivateDir(config.stateDir);
  removeStaleTempFiles(config.stateDir);
  const store = openStore(config.stateDir, { log });
  const inflight = createInflightCalls();
  const audit = openAuditLog(config.stateDir, { log, marker: anchorMarker(store), busy: () => inflight.count > 0 });
  store.attachAudit(audit);
  const recovered = store.recoverOutbox();
  if (recovered) log(`audit: recorded ${recovered} event(s) of actions saved just before the broker stopped`);
  const unauthenticatedAudit = createAuditCoalescer(audit, { windowMs: config.auditCoalesceMs });
  const sessions = createSessionStore({ ttlSeconds: config.sessionTtlSeconds });
  const vault = createVault(store, {
    scryptParams: config.scryptParams,
    onUnlock: (dataKey) => audit.unlock(deriveAnchorKey(dataKey)),
    onLock: () => audit.lock(),
  });
  const operator = createOperator({ config, store, vault, sessions, log });
  const agentKeys = createAgentKeyStore(store);
  const killSwitch = createKillSwitch(store);
  const connections = createConnectionStore(store, vault);
  const approvals = createApprovalStore({
    ttlMs: config.approvalTtlMs,
    onExpired: (a) => audit.append({ actor: 'broker', action: 'approval.expire', decision: 'expired', agentId: a.agentId, connectorId: a.connectorId, toolId: a.toolId, approvalId: a.id, correlationId: a.correlationId }),
  });
  const executor = createExecutor({ catalog, connections, agentKeys, killSwitch, audit, approvals, vault, config, inflight });
  // Expiry is recorded when it happens, not only when someone next looks.
  const expiryTimer = setInterval(() => {
    try {
      approvals.sweep();
    } catch (error) {
      log(`approvals: could not record an expiry: ${error.message}`);
    }
  }, 30_000).unref();

  return {
    store,
    audit,
    // For records of requests without a credential: floods of one kind are summarised.
    unauthenticatedAudit,
    sessions,
    vault,
    operator,
    agentKeys,
    killSwitch,
    catalog,
    connections,
    approvals,
    executor,
    inflight,
    bindAddress,
    // For backups: the whole state (credentials in the clear: encrypt before it leaves) and its
    // atomic replacement. Both need an unlocked vault.
    exportState: () => exportSnapshot(store, vault),
    replaceState: (snapshot, options) => {
      replaceFromSnapshot(store, vault, snapshot, options);
      agentKeys.reindex();
    },
    stateFile: (name) => path.join(config.stateDir, name),
    async close() {
      clearInterval(expiryTimer);
      store.flush();
      unauthenticatedAudit.flush();
      await audit.close();
      sessions.clear();
      vault.lock();
    },
  };
}
