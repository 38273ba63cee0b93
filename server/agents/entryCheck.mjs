// The last guard of every edit: parse the edited text again and require that it means exactly
// the original document with only the "tvn" entry set. Anything else is refused, unwritten.
import { isDeepStrictEqual } from 'node:util';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';

export function setIn(root, keyPath, value) {
  let node = root;
  for (const key of keyPath.slice(0, -1)) {
    if (!Object.hasOwn(node, key) || node[key] === null || node[key] === undefined) node[key] = {};
    node = node[key];
  }
  node[keyPath.at(-1)] = value;
  return root;
}

export function getIn(root, keyPath) {
  let node = root;
  for (const key of keyPath) {
    if (node === null || typeof node !== 'object' || !Object.hasOwn(node, key)) return undefined;
    node = node[key];
  }
  return node;
}

export function isPlainMap(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value) && !(value instanceof Date);
}

// The containers above the entry must be maps, empty (null) or absent before anything is edited.
export function requireMapContainers(root, keyPath) {
  if (!isPlainMap(root)) throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'its top level is not a map');
  for (let depth = 1; depth < keyPath.length; depth++) {
    const value = getIn(root, keyPath.slice(0, depth));
    if (value !== undefined && value !== null && !isPlainMap(value)) {
      throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape, `"${keyPath.slice(0, depth).join('.')}" is not a map`);
    }
  }
}

// Parsers differ in prototypes (null-prototype maps, date classes); compare meaning only.
function plainValue(value) {
  if (Array.isArray(value)) return value.map(plainValue);
  if (value instanceof Date) return { date: String(value) };
  if (value === null || typeof value !== 'object') return value;
  return Object.fromEntries(Object.entries(value).map(([key, inner]) => [key, plainValue(inner)]));
}

export function sameMeaning(a, b) {
  return isDeepStrictEqual(plainValue(a), plainValue(b));
}

// `parse` must return a fresh value on each call: the expected document is built by mutating one.
export function verifyOnlyEntryChanged({ parse, originalText, editedText, keyPath, entry }) {
  let edited;
  try {
    edited = parse(editedText);
  } catch {
    throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'adding the tvn entry would make the file unreadable (its layout cannot be edited safely)');
  }
  const expected = setIn(parse(originalText), keyPath, entry);
  if (!sameMeaning(edited, expected)) {
    throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'adding the tvn entry would change other settings in the file (its layout cannot be edited safely)');
  }
}
