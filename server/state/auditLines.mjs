// Reading the audit log's JSON lines from the file itself, by byte offset: the broker keeps only
// the chain's head in memory, so listing, start-up and verification all read what is on disk.
import fs from 'node:fs';
import { StateFileError } from './files.mjs';

const CHUNK = 64 * 1024;

export function parseRecord(line, where) {
  try {
    return JSON.parse(line);
  } catch {
    throw new StateFileError(`the audit log is damaged: ${where} is not valid JSON`);
  }
}

function readAt(fd, start, length) {
  const buffer = Buffer.alloc(length);
  let done = 0;
  while (done < length) {
    const read = fs.readSync(fd, buffer, done, length - done, start + done);
    if (read === 0) break;
    done += read;
  }
  return buffer.subarray(0, done);
}

// Offset just past the last "\n" before `end` (0 when there is none).
export function lineStartBefore(fd, end) {
  for (let stop = end; stop > 0;) {
    const start = Math.max(0, stop - CHUNK);
    const at = readAt(fd, start, stop - start).lastIndexOf(0x0a);
    if (at !== -1) return start + at + 1;
    stop = start;
  }
  return 0;
}

// The complete line that ends (with its "\n") at byte `end`, or null when end is 0.
export function lineEndingAt(fd, end) {
  if (end === 0) return null;
  const start = lineStartBefore(fd, end - 1);
  return readAt(fd, start, end - 1 - start).toString('utf8');
}

// Lines in [start, end), each with the offset just past it.
export function* linesBetween(fd, start, end) {
  let carry = Buffer.alloc(0);
  let offset = start;
  for (let at = start; at < end; at += CHUNK) {
    const chunk = Buffer.concat([carry, readAt(fd, at, Math.min(CHUNK, end - at))]);
    let from = 0;
    for (let nl = chunk.indexOf(0x0a); nl !== -1; nl = chunk.indexOf(0x0a, from)) {
      offset += nl + 1 - from;
      yield { line: chunk.toString('utf8', from, nl), end: offset };
      from = nl + 1;
    }
    carry = chunk.subarray(from);
  }
}

// The last "\n" before index `before`, or -1 (lastIndexOf would read a negative index as counted
// from the end of the buffer).
const newlineBefore = (chunk, before) => (before > 0 ? chunk.lastIndexOf(0x0a, before - 1) : -1);

// The newest `limit` records before byte `end` (the end of a line), newest first.
export function newestRecords(fd, end, limit) {
  const lines = [];
  let stop = end;
  let tail = Buffer.alloc(0);
  while (stop > 0 && lines.length < limit) {
    const start = Math.max(0, stop - CHUNK);
    const chunk = Buffer.concat([readAt(fd, start, stop - start), tail]);
    let to = stop === end ? chunk.length - 1 : chunk.length; // the last line's own "\n" ends no record
    for (let nl = newlineBefore(chunk, to); nl !== -1 && lines.length < limit; nl = newlineBefore(chunk, to)) {
      lines.push(chunk.toString('utf8', nl + 1, to));
      to = nl;
    }
    tail = chunk.subarray(0, to);
    stop = start;
    if (stop === 0 && tail.length && lines.length < limit) lines.push(tail.toString('utf8'));
  }
  return lines.map((line) => parseRecord(line, 'a listed event'));
}
