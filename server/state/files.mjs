// Owner-only files in the state directory: checked before every read or write, written by atomic
// replace (temp file, fsync, rename, fsync of the directory). Nothing here repairs a bad mode.
import fs from 'node:fs';
import path from 'node:path';
import crypto from 'node:crypto';

export class StateFileError extends Error {}

const TEMP_PREFIX = '.tvn-broker-';

const uid = typeof process.getuid === 'function' ? process.getuid() : null;

function describeMode(mode) {
  return (mode & 0o777).toString(8).padStart(4, '0');
}

function checkOwned(target, stat, kind) {
  if (uid !== null && stat.uid !== uid) throw new StateFileError(`${kind} ${target} is not owned by the current user`);
  if (stat.mode & 0o077) {
    throw new StateFileError(`${kind} ${target} is accessible by other users (mode ${describeMode(stat.mode)}); it must be owner-only`);
  }
}

// Creates the directory (0700) when missing; refuses symbolic links, other owners and open modes.
export function ensurePrivateDir(dir) {
  try {
    fs.mkdirSync(path.dirname(dir), { recursive: true, mode: 0o700 });
    fs.mkdirSync(dir, { mode: 0o700 });
  } catch (error) {
    if (error.code !== 'EEXIST') throw new StateFileError(`cannot create state directory ${dir}: ${error.code ?? error.message}`);
  }
  const stat = fs.lstatSync(dir);
  if (stat.isSymbolicLink()) throw new StateFileError(`state directory ${dir} is a symbolic link`);
  if (!stat.isDirectory()) throw new StateFileError(`state directory ${dir} is not a directory`);
  checkOwned(dir, stat, 'state directory');
}

// Returns the stat of a private regular file, or null when it does not exist.
export function checkPrivateFile(file) {
  let stat;
  try {
    stat = fs.lstatSync(file);
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw new StateFileError(`cannot inspect ${file}: ${error.code ?? error.message}`);
  }
  if (stat.isSymbolicLink()) throw new StateFileError(`${file} is a symbolic link`);
  if (!stat.isFile()) throw new StateFileError(`${file} is not a regular file`);
  checkOwned(file, stat, 'state file');
  return stat;
}

export function readPrivateFile(file) {
  if (!checkPrivateFile(file)) return null;
  return fs.readFileSync(file);
}

export function fsyncDir(dir) {
  const fd = fs.openSync(dir, 'r');
  try {
    fs.fsyncSync(fd);
  } finally {
    fs.closeSync(fd);
  }
}

export function writePrivateFileAtomic(file, data) {
  checkPrivateFile(file);
  const dir = path.dirname(file);
  const temp = path.join(dir, `${TEMP_PREFIX}${path.basename(file)}.${process.pid}.${crypto.randomBytes(6).toString('hex')}.tmp`);
  const fd = fs.openSync(temp, fs.constants.O_WRONLY | fs.constants.O_CREAT | fs.constants.O_EXCL | fs.constants.O_NOFOLLOW, 0o600);
  try {
    fs.writeFileSync(fd, data);
    fs.fchmodSync(fd, 0o600);
    fs.fsyncSync(fd);
  } catch (error) {
    fs.closeSync(fd);
    fs.rmSync(temp, { force: true });
    throw error;
  }
  fs.closeSync(fd);
  try {
    fs.renameSync(temp, file);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    throw error;
  }
  fsyncDir(dir);
}

// Leftover temp files of a broker killed mid-write (only ours: others share the directory); the
// real file is untouched by them.
export function removeStaleTempFiles(dir) {
  for (const name of fs.readdirSync(dir)) {
    if (name.startsWith(TEMP_PREFIX) && name.endsWith('.tmp')) fs.rmSync(path.join(dir, name), { force: true });
  }
}

// Opens a private file for appending (created 0600 when missing).
export function openPrivateAppend(file) {
  checkPrivateFile(file);
  const fd = fs.openSync(file, fs.constants.O_WRONLY | fs.constants.O_APPEND | fs.constants.O_CREAT | fs.constants.O_NOFOLLOW, 0o600);
  fs.fchmodSync(fd, 0o600);
  return fd;
}

export function fileMode(file) {
  const stat = fs.lstatSync(file);
  return stat.mode & 0o777;
}
