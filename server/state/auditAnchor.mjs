// The audit chain's anchor: its length, head hash and byte size, sealed with an HMAC under a key
// derived from the vault's data key. Whoever can edit files but does not hold the vault key can
// cut, delete or rewrite the log, but cannot write an anchor that matches the result.
//
// The file holds two fixed slots written in turn (the newer counter wins), so a write cut off
// half-way leaves the other slot whole. Anchors are not fsynced: the log itself is, before its
// anchor is written, so an anchor never runs ahead of the durable log; one that lags after a
// power cut only leaves the last few events checked by their hashes alone.
import crypto from 'node:crypto';
import fs from 'node:fs';
import { canonicalJson } from '../lib/canonical.mjs';
import { constantTimeEqual } from '../lib/ids.mjs';
import { checkPrivateFile } from './files.mjs';

export const ANCHOR_FILE = 'audit.anchor';
const SLOT_BYTES = 512;
const VERSION = 1;
const HEX64 = /^[0-9a-f]{64}$/;

export function deriveAnchorKey(dataKey) {
  return Buffer.from(crypto.hkdfSync('sha256', dataKey, Buffer.alloc(0), 'torvane audit anchor v1', 32));
}

const keyIds = new WeakMap(); // the anchor is sealed after every batch; its key's id stays the same

export function anchorKeyId(key) {
  let id = keyIds.get(key);
  if (id === undefined) {
    id = crypto.createHmac('sha256', key).update('torvane audit anchor key id').digest('hex').slice(0, 16);
    keyIds.set(key, id);
  }
  return id;
}

const macOf = (key, body) => crypto.createHmac('sha256', key).update(canonicalJson(body)).digest('hex');

// head: { sequence, hash, size } of the durable log.
export function sealAnchor(key, counter, head) {
  const body = { version: VERSION, keyId: anchorKeyId(key), counter, sequence: head.sequence, hash: head.hash, size: head.size };
  return { ...body, mac: macOf(key, body) };
}

export function anchorSealValid(key, anchor) {
  const { mac, ...body } = anchor;
  return anchor.keyId === anchorKeyId(key) && constantTimeEqual(mac, macOf(key, body));
}

function wellFormed(slot) {
  const n = (v) => Number.isSafeInteger(v) && v >= 0;
  return slot && slot.version === VERSION && typeof slot.keyId === 'string' && n(slot.counter) && n(slot.sequence) && n(slot.size)
    && HEX64.test(slot.hash) && HEX64.test(slot.mac);
}

function parseSlot(bytes) {
  try {
    const slot = JSON.parse(bytes.toString('utf8'));
    return wellFormed(slot) ? slot : null;
  } catch {
    return null;
  }
}

// null when there is no anchor file; { damaged: true } when neither slot reads; else the newest slot.
export function readAnchor(file) {
  if (!checkPrivateFile(file)) return null;
  const bytes = fs.readFileSync(file);
  const slots = [0, 1].map((i) => parseSlot(bytes.subarray(i * SLOT_BYTES, (i + 1) * SLOT_BYTES))).filter(Boolean);
  if (!slots.length) return { damaged: true };
  return slots.reduce((a, b) => (b.counter > a.counter ? b : a));
}

function slotBytes(anchor) {
  const bytes = Buffer.alloc(SLOT_BYTES, ' ');
  bytes.write(JSON.stringify(anchor));
  bytes[SLOT_BYTES - 1] = 0x0a;
  return bytes;
}

// The file is created with the first anchor, not before: an empty one would read as damaged.
export function openAnchorWriter(file) {
  let fd = null;
  const opened = () => {
    if (fd === null) {
      checkPrivateFile(file);
      fd = fs.openSync(file, fs.constants.O_RDWR | fs.constants.O_CREAT | fs.constants.O_NOFOLLOW, 0o600);
      fs.fchmodSync(fd, 0o600);
    }
    return fd;
  };
  const position = (anchor) => (anchor.counter % 2) * SLOT_BYTES;
  return {
    writeSync(anchor) {
      fs.writeSync(opened(), slotBytes(anchor), 0, SLOT_BYTES, position(anchor));
    },
    close() {
      if (fd !== null) fs.closeSync(fd);
      fd = null;
    },
  };
}
