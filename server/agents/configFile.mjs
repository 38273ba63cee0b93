// Safe access to an agent app's config file: it must be a regular file of this user, inside the
// home directory (symlinks included); it is backed up before a change and replaced atomically.
import fsSync, { constants } from 'node:fs';
import fs from 'node:fs/promises';
import path from 'node:path';
import { randomBytes } from 'node:crypto';
import { AgentConfigErrorCode, refuse } from './AgentConfigError.mjs';

// Real agent configs are far smaller; this bounds the time and memory one edit can take.
export const MAX_CONFIG_BYTES = 4 * 1024 * 1024;
const NEW_FILE_MODE = 0o600;
const NEW_DIR_MODE = 0o700;

function isInside(root, candidate) {
  const relative = path.relative(root, candidate);
  return relative === '' || (!relative.startsWith('..') && !path.isAbsolute(relative));
}

async function lstatOrNull(file) {
  try {
    return await fs.lstat(file);
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw error;
  }
}

async function nearestExistingAncestor(dir) {
  let current = dir;
  while (!(await lstatOrNull(current))) current = path.dirname(current);
  return current;
}

function requireOwnRegularFile(shownPath, stat) {
  if (!stat.isFile()) throw refuse(AgentConfigErrorCode.unsafePath, shownPath, 'it is not a regular file');
  if (stat.uid !== process.getuid()) throw refuse(AgentConfigErrorCode.unsafePath, shownPath, 'it is not owned by the current user');
}

// Returns where to read and write: `target` is the real file behind any symlink.
export async function resolveConfigTarget(homeDir, relPath) {
  const shownPath = path.join(homeDir, relPath);
  const homeReal = await fs.realpath(homeDir);
  const outsideHome = () => refuse(AgentConfigErrorCode.unsafePath, shownPath, 'it resolves to a location outside the home directory');
  const link = await lstatOrNull(shownPath);
  if (!link) {
    const ancestor = await nearestExistingAncestor(path.dirname(shownPath));
    const ancestorReal = await fs.realpath(ancestor).catch(() => {
      throw refuse(AgentConfigErrorCode.unsafePath, shownPath, 'a folder on its path is a symbolic link to a missing location');
    });
    if (!isInside(homeReal, ancestorReal)) throw outsideHome();
    if (!(await fs.stat(ancestorReal)).isDirectory()) throw refuse(AgentConfigErrorCode.unsafePath, shownPath, 'a part of its path is not a folder');
    return { shownPath, target: path.join(ancestorReal, path.relative(ancestor, shownPath)), stat: null };
  }
  let target;
  try {
    target = await fs.realpath(shownPath);
  } catch {
    throw refuse(AgentConfigErrorCode.unsafePath, shownPath, 'it is a symbolic link to a missing file');
  }
  if (!isInside(homeReal, target)) throw outsideHome();
  const stat = await fs.lstat(target);
  requireOwnRegularFile(shownPath, stat);
  return { shownPath, target, stat };
}

function sameFile(a, b) {
  return a.dev === b.dev && a.ino === b.ino && a.size === b.size && a.mtimeMs === b.mtimeMs;
}

// O_NOFOLLOW and O_NONBLOCK: a file swapped for a link or a FIFO after the checks is not followed
// or waited on.
export async function readConfigBytes({ shownPath, target, stat }) {
  const handle = await fs.open(target, constants.O_RDONLY | constants.O_NOFOLLOW | constants.O_NONBLOCK);
  try {
    const opened = await handle.stat();
    requireOwnRegularFile(shownPath, opened);
    if (!sameFile(opened, stat)) throw refuse(AgentConfigErrorCode.changedDuringEdit, shownPath, 'it changed while it was being read');
    const tooLarge = () => refuse(AgentConfigErrorCode.tooLarge, shownPath, `it is larger than ${MAX_CONFIG_BYTES / 1024 / 1024} MB`);
    if (opened.size > MAX_CONFIG_BYTES) throw tooLarge();
    // Read no more than the limit even if the file grows meanwhile.
    const buffer = Buffer.alloc(MAX_CONFIG_BYTES + 1);
    let length = 0;
    for (let read = -1; read !== 0 && length < buffer.length; length += read) {
      ({ bytesRead: read } = await handle.read(buffer, length, buffer.length - length, length));
    }
    if (length > MAX_CONFIG_BYTES) throw tooLarge();
    return buffer.subarray(0, length);
  } finally {
    await handle.close();
  }
}

async function syncDirectory(dir) {
  const handle = await fs.open(dir, constants.O_RDONLY | constants.O_DIRECTORY);
  try {
    await handle.sync();
  } finally {
    await handle.close();
  }
}

async function writeExclusive(file, bytes, mode) {
  const handle = await fs.open(file, constants.O_WRONLY | constants.O_CREAT | constants.O_EXCL | constants.O_NOFOLLOW, NEW_FILE_MODE);
  try {
    await handle.writeFile(bytes);
    await handle.chmod(mode);
    await handle.sync();
  } finally {
    await handle.close();
  }
}

function backupStamp(now) {
  return now.toISOString().replace(/[-:]/g, '').replace(/\.(\d{3})Z$/, '$1Z');
}

// Owner-only copy of the original bytes beside the real file; never overwrites an older backup.
export async function backUpConfig({ target }, bytes, now) {
  const base = `${target}.tvn-backup-${backupStamp(now)}`;
  for (let attempt = 0; ; attempt++) {
    const candidate = attempt === 0 ? base : `${base}-${attempt}`;
    try {
      await writeExclusive(candidate, bytes, NEW_FILE_MODE);
      return candidate;
    } catch (error) {
      if (error.code !== 'EEXIST' || attempt >= 20) throw error;
    }
  }
}

// Synchronous on purpose, and right before the rename: no other work of this process can run
// between the check and the swap. (Linux has no "rename if unchanged"; this is as close as it gets.)
function requireUnchanged({ shownPath, target, stat }) {
  let current = null;
  try {
    current = fsSync.lstatSync(target);
  } catch (error) {
    if (error.code !== 'ENOENT') throw error;
  }
  const unchanged = stat ? current && sameFile(current, stat) : current === null;
  if (!unchanged) throw refuse(AgentConfigErrorCode.changedDuringEdit, shownPath, 'it changed while it was being edited; try again');
}

// Temp file in the same directory, fsync, rename over the original, fsync the directory. The
// original's permission bits are kept; a new file is owner-only.
export async function replaceConfigAtomically(resolved, bytes) {
  const dir = path.dirname(resolved.target);
  await fs.mkdir(dir, { recursive: true, mode: NEW_DIR_MODE });
  const temp = path.join(dir, `.${path.basename(resolved.target)}.tvn-${randomBytes(6).toString('hex')}.tmp`);
  const mode = resolved.stat ? resolved.stat.mode & 0o777 : NEW_FILE_MODE;
  try {
    await writeExclusive(temp, bytes, mode);
    requireUnchanged(resolved);
    fsSync.renameSync(temp, resolved.target);
  } catch (error) {
    await fs.rm(temp, { force: true });
    throw error;
  }
  await syncDirectory(dir);
}
