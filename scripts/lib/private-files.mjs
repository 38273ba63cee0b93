// Owner-only files for the control script: directories 0700, files 0600, atomic replace, and a
// check of type and owner before every read or write (never repaired silently).
import { randomBytes } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

export class UnsafePathError extends Error {}

const ownUid = () => (typeof process.getuid === 'function' ? process.getuid() : undefined);

function lstatOrNull(target) {
  try {
    return fs.lstatSync(target);
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw error;
  }
}

function assertOwned(target, stat) {
  const uid = ownUid();
  if (uid !== undefined && stat.uid !== uid) throw new UnsafePathError(`${target} is owned by another user`);
}

// Creates missing directories 0700; an existing one must be a real directory of ours that no one
// else can write to.
export function ensurePrivateDir(dir) {
  const stat = lstatOrNull(dir);
  if (stat === null) {
    fs.mkdirSync(dir, { recursive: true, mode: 0o700 });
    fs.chmodSync(dir, 0o700);
    return;
  }
  if (stat.isSymbolicLink()) throw new UnsafePathError(`${dir} is a symbolic link`);
  if (!stat.isDirectory()) throw new UnsafePathError(`${dir} is not a directory`);
  assertOwned(dir, stat);
  if (stat.mode & 0o022) throw new UnsafePathError(`${dir} is writable by other users`);
}

// A regular file of ours, or null when it does not exist.
export function checkedFileStat(file) {
  const stat = lstatOrNull(file);
  if (stat === null) return null;
  if (stat.isSymbolicLink()) throw new UnsafePathError(`${file} is a symbolic link`);
  if (!stat.isFile()) throw new UnsafePathError(`${file} is not a regular file`);
  assertOwned(file, stat);
  return stat;
}

export function writePrivateFileAtomic(file, text, mode = 0o600) {
  ensurePrivateDir(path.dirname(file));
  checkedFileStat(file);
  const temp = path.join(path.dirname(file), `.${path.basename(file)}.${randomBytes(6).toString('hex')}.tmp`);
  const fd = fs.openSync(temp, fs.constants.O_WRONLY | fs.constants.O_CREAT | fs.constants.O_EXCL, mode);
  try {
    fs.writeFileSync(fd, text);
    fs.fsyncSync(fd);
  } finally {
    fs.closeSync(fd);
  }
  try {
    fs.chmodSync(temp, mode);
    fs.renameSync(temp, file);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    throw error;
  }
  fs.chmodSync(file, mode);
}

export function readPrivateJson(file) {
  if (checkedFileStat(file) === null) return null;
  try {
    return JSON.parse(fs.readFileSync(file, 'utf8'));
  } catch {
    return null;
  }
}

export function removePrivateFile(file) {
  if (checkedFileStat(file) !== null) fs.rmSync(file);
}

export function fileExists(file) {
  return lstatOrNull(file) !== null;
}
