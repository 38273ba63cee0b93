// The broker's persistent state: one JSON document in the state directory, replaced atomically
// as a whole. Updates run on a copy, so a failed write leaves both disk and memory as they were.
import path from 'node:path';
import { readPrivateFile, writePrivateFileAtomic, StateFileError } from './files.mjs';

export const STATE_FILE = 'vault.json';
const FORMAT = 'torvane-vault';
const VERSION = 1;

export function emptyState() {
  return {
    format: FORMAT,
    version: VERSION,
    operator: { bootstrapVerifier: null },
    vault: null,
    connections: [],
    masterKeys: [],
    killSwitch: { enabled: false, updatedAt: null },
  };
}

function validate(doc, file) {
  const ok = doc && typeof doc === 'object' && doc.format === FORMAT && doc.version === VERSION
    && Array.isArray(doc.connections) && Array.isArray(doc.masterKeys) && doc.killSwitch && doc.operator;
  if (!ok) throw new StateFileError(`${file} is not a Torvane vault file of version ${VERSION}`);
  return doc;
}

export function parseState(text, file = STATE_FILE) {
  let doc;
  try {
    doc = JSON.parse(text);
  } catch {
    throw new StateFileError(`${file} is not valid JSON`);
  }
  return validate(doc, file);
}

export function openStore(stateDir) {
  const file = path.join(stateDir, STATE_FILE);
  const existing = readPrivateFile(file);
  let doc = existing ? parseState(existing.toString('utf8'), file) : emptyState();
  if (!existing) writePrivateFileAtomic(file, JSON.stringify(doc));

  return {
    file,
    get state() {
      return doc;
    },
    // mutator(draft) changes the draft and may return a value, which update returns.
    update(mutator) {
      const draft = structuredClone(doc);
      const result = mutator(draft);
      validate(draft, file);
      writePrivateFileAtomic(file, JSON.stringify(draft));
      doc = draft;
      return result;
    },
    // Whole-state replacement (restore): validated first, then written in one atomic step.
    replace(next) {
      const checked = validate(structuredClone(next), file);
      writePrivateFileAtomic(file, JSON.stringify(checked));
      doc = checked;
    },
  };
}
