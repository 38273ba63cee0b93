// The audit chain and the local proof (a self-check written to an owner-only artifact).
import fs from 'node:fs';
import path from 'node:path';
import { badRequest } from '../http/errors.mjs';
import { nowIso } from '../lib/ids.mjs';
import { writePrivateFileAtomic } from '../state/files.mjs';

export const PROOF_FILE = 'local-proof.json';
const DEFAULT_LIMIT = 500;
const MAX_LIMIT = 10_000;
const lastWritten = new Map(); // artifact path -> { key, summary }
const LOOPBACK = new Set(['127.0.0.1', '::1', '::ffff:127.0.0.1']);

// Events come newest first (highest sequence first), at most `limit` of them (default 500).
function listAudit(ctx) {
  const raw = ctx.query.get('limit');
  let limit = DEFAULT_LIMIT;
  if (raw !== null) {
    if (!/^\d+$/.test(raw) || Number(raw) < 1) throw badRequest('limit must be a positive integer');
    limit = Math.min(Number(raw), MAX_LIMIT);
  }
  // Served as the cached text of the page: the app asks for it on every refresh.
  return ctx.raw(200, 'application/json; charset=utf-8', ctx.audit.pageBytes(limit), { 'cache-control': 'no-store' });
}

const check = (name, passed, detail) => ({ name, status: passed ? 'pass' : 'fail', detail });
const ownerOnly = (stat) => (stat.mode & 0o077) === 0 && (process.getuid?.() ?? stat.uid) === stat.uid;

function stateModesCheck(stateDir) {
  const open = [];
  if (!ownerOnly(fs.lstatSync(stateDir))) open.push('.');
  for (const name of fs.readdirSync(stateDir)) {
    const stat = fs.lstatSync(path.join(stateDir, name));
    if (stat.isSymbolicLink() || !ownerOnly(stat)) open.push(name);
  }
  return check('state_modes_owner_only', open.length === 0, open.length ? `not owner-only: ${open.join(', ')}` : 'state directory 0700, files 0600');
}

function vaultCheck(services) {
  const { store, vault } = services;
  const connections = store.state.connections.filter((c) => !c.revokedAt);
  const sealed = connections.every((c) => c.secret?.ciphertext && c.secret?.nonce && c.secret?.tag && !('token' in c));
  if (!sealed) return check('credentials_sealed', false, 'a stored credential is not sealed');
  return check('credentials_sealed', true, `${connections.length} credential(s) sealed with AES-256-GCM (vault ${vault.status})`);
}

function anchorCheck(audit, vault) {
  const { ok, reason, anchoredSequence, anchoring } = audit.integrity;
  if (!ok) return check('audit_anchor', false, reason);
  if (anchoring) return check('audit_anchor', true, `the log is anchored under the vault key (event ${anchoredSequence ?? 0})`);
  return check('audit_anchor', true, vault.configured ? 'anchoring resumes when the vault is unlocked' : 'not anchored yet: the vault is not set up');
}

async function proof(ctx) {
  const { services, config } = ctx;
  const chain = await ctx.audit.verifyFile();
  const localAddress = ctx.req.socket.localAddress;
  const results = [
    check('audit_chain', chain.ok, chain.ok ? `${chain.checked} event(s) verified` : `chain breaks at event ${chain.brokenAt}: ${chain.reason}`),
    stateModesCheck(config.stateDir),
    check('loopback_bind', LOOPBACK.has(localAddress) && LOOPBACK.has(services.bindAddress()), `bound to ${services.bindAddress()}`),
    vaultCheck(services),
    anchorCheck(ctx.audit, services.vault),
  ];
  const findings = { ok: results.every((r) => r.status === 'pass'), results, auditHead: ctx.audit.head };
  const artifact = path.join(config.stateDir, PROOF_FILE);
  // The artifact is rewritten only when the findings change, not on every refresh.
  const key = JSON.stringify(findings);
  if (lastWritten.get(artifact)?.key !== key || !fs.existsSync(artifact)) {
    const summary = { ...findings, generatedAt: nowIso() };
    writePrivateFileAtomic(artifact, `${JSON.stringify(summary, null, 2)}\n`);
    lastWritten.set(artifact, { key, summary });
  }
  return { available: true, artifact, proof: lastWritten.get(artifact).summary };
}

export const routes = [
  { method: 'GET', path: '/v1/audit', auth: 'operator', handler: listAudit },
  { method: 'GET', path: '/v1/proof/latest', auth: 'operator', handler: proof },
];
