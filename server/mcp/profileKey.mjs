// Reads the agent key of a local setup profile: a sealed profile through the signer tool (the key
// comes back on a pipe), a plaintext ".key" file directly after the owner, type, mode and symlink
// checks. The key is returned to the caller only; nothing here prints or logs it.
import { constants } from 'node:fs';
import fs from 'node:fs/promises';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { WrapperSettingsError } from './settings.mjs';
import { redactSecrets } from './redact.mjs';

const MAX_KEY_BYTES = 4096;
const SIGNER_NAME = 'tvn-pop-signer';

const rejected = (reason) => new WrapperSettingsError('profile_rejected', `Local setup profile rejected: ${reason}`,
  'Torvane keeps setup profiles owner-only; recreate the agent key in Torvane rather than changing permissions by hand.');

async function lstatOrNull(item) {
  try {
    return await fs.lstat(item);
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw new WrapperSettingsError('profile_unavailable', `Local setup profile unavailable at ${item}`, 'Check that the Torvane state directory is readable.');
  }
}

function requireOwnerOnly(item, stat, wantDirectory) {
  if (stat.isSymbolicLink()) throw rejected(`${item} must not be a symlink`);
  if (stat.uid !== process.getuid()) throw rejected(`${item} is not owned by the current user`);
  if (wantDirectory ? !stat.isDirectory() : !stat.isFile()) throw rejected(`${item} has the wrong file type`);
  if ((stat.mode & 0o077) !== 0) throw rejected(`${item} must be owner-only`);
}

function singleToken(text, source) {
  const key = text.trim();
  if (key === '' || /\s/.test(key)) {
    throw new WrapperSettingsError('profile_invalid', `Agent key material must be a single non-empty token (${source})`, 'Recreate the agent key in Torvane.');
  }
  return key;
}

async function readPlaintextKey(file, stat) {
  const handle = await fs.open(file, constants.O_RDONLY | constants.O_NOFOLLOW | constants.O_NONBLOCK);
  try {
    const opened = await handle.stat();
    requireOwnerOnly(file, opened, false);
    if (opened.ino !== stat.ino || opened.dev !== stat.dev) throw rejected(`${file} changed while it was being read`);
    if (opened.size > MAX_KEY_BYTES) throw rejected(`${file} is too large to be an agent key`);
    return singleToken((await handle.readFile()).toString('utf8'), file);
  } finally {
    await handle.close();
  }
}

async function isExecutableFile(file) {
  try {
    const stat = await fs.stat(file);
    await fs.access(file, constants.X_OK);
    return stat.isFile();
  } catch {
    return false;
  }
}

// The service environment names the signer; an agent app's environment usually does not, so the
// install layout (<resources>/bin beside <resources>/Service, linked as bin/ into the user's copy),
// a development build and PATH follow.
export async function findSigner(env, serviceRoot) {
  const fromPath = String(env.PATH ?? '').split(':').filter((dir) => path.isAbsolute(dir)).map((dir) => path.join(dir, SIGNER_NAME));
  const candidates = [
    env.SWITCHYARD_BOUND_PROFILE_SIGNER_PATH,
    path.join(serviceRoot, '..', 'bin', SIGNER_NAME),
    path.join(serviceRoot, 'bin', SIGNER_NAME),
    path.join(serviceRoot, 'build', 'share', 'torvane', 'bin', SIGNER_NAME),
    ...fromPath,
  ].filter((candidate) => candidate && path.isAbsolute(candidate));
  for (const candidate of candidates) if (await isExecutableFile(candidate)) return candidate;
  return null;
}

function runSigner(signer, profile, stateDir, timeoutMs) {
  return new Promise((resolve, reject) => {
    const child = spawn(signer, ['open', '--profile', profile, '--state-dir', stateDir], { stdio: ['ignore', 'pipe', 'pipe'] });
    const out = [];
    let outBytes = 0;
    let err = '';
    const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
    child.stdout.on('data', (chunk) => {
      outBytes += chunk.length;
      if (outBytes <= MAX_KEY_BYTES) out.push(chunk);
    });
    child.stderr.on('data', (chunk) => {
      if (err.length < 2000) err += chunk.toString('utf8');
    });
    child.on('error', (error) => {
      clearTimeout(timer);
      reject(new WrapperSettingsError('signer_failed', `The Torvane signer tool could not be started: ${error.message}`, 'Reinstall Torvane or set SWITCHYARD_BOUND_PROFILE_SIGNER_PATH.'));
    });
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      if (code === 0 && outBytes <= MAX_KEY_BYTES) return resolve(Buffer.concat(out).toString('utf8'));
      const detail = signal ? `it was stopped after ${timeoutMs} ms` : redactSecrets(err.trim().replace(/^tvn-pop-signer:\s*/, '')).slice(0, 300) || `exit status ${code}`;
      reject(new WrapperSettingsError('signer_failed', `The sealed setup profile could not be opened: ${detail}`,
        'Open Torvane on this computer (the profile is sealed to it) or recreate the agent key.'));
    });
  });
}

export function keyFilePath(profileDir, profile) {
  return path.join(profileDir, `${profile}.key`);
}

export async function readProfileKey({ profile, stateDir, profileDir, env, serviceRoot, signerTimeoutMs = 4000 }) {
  const dirStat = await lstatOrNull(profileDir);
  const sealedFile = path.join(profileDir, `${profile}.sealed`);
  const keyFile = keyFilePath(profileDir, profile);
  const missing = new WrapperSettingsError('profile_missing', `No local setup profile found at ${keyFile}`,
    'Create an agent key for this agent in Torvane (it saves the setup profile), then try again.');
  if (!dirStat) throw missing;
  requireOwnerOnly(profileDir, dirStat, true);
  const sealedStat = await lstatOrNull(sealedFile);
  if (sealedStat) {
    requireOwnerOnly(sealedFile, sealedStat, false);
    const signer = await findSigner(env, serviceRoot);
    if (!signer) {
      throw new WrapperSettingsError('signer_missing', `The setup profile at ${sealedFile} is sealed and the Torvane signer tool was not found`,
        'Set SWITCHYARD_BOUND_PROFILE_SIGNER_PATH to Torvane\'s tvn-pop-signer, or reinstall Torvane.');
    }
    return singleToken(await runSigner(signer, profile, stateDir, signerTimeoutMs), sealedFile);
  }
  const keyStat = await lstatOrNull(keyFile);
  if (!keyStat) throw missing;
  requireOwnerOnly(keyFile, keyStat, false);
  return readPlaintextKey(keyFile, keyStat);
}
