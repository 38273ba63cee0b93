// JSON (with comments and trailing commas) editing through jsonc-parser: only the edit for the
// entry is applied, so comments, order and formatting elsewhere stay as they were.
import * as jsonc from 'jsonc-parser';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';
import { requireMapContainers, verifyOnlyEntryChanged } from './entryCheck.mjs';

const PARSE_OPTIONS = { allowTrailingComma: true, disallowComments: false, allowEmptyContent: true };

function lineOf(text, offset) {
  return text.slice(0, offset).split('\n').length;
}

function parseTree(text) {
  const errors = [];
  const tree = jsonc.parseTree(text, errors, PARSE_OPTIONS);
  if (errors.length > 0) {
    const [first] = errors;
    const what = jsonc.printParseErrorCode(first.error);
    throw new ContentRefusal(AgentConfigErrorCode.invalidContent, `it is not valid JSON (${what} at line ${lineOf(text, first.offset)})`);
  }
  return tree;
}

// An empty file (or one holding only comments) reads as an empty object.
export function parseJsonConfig(text) {
  const tree = parseTree(text);
  return tree ? jsonc.getNodeValue(tree) : {};
}

// Apps keep the last of duplicate keys, jsonc-parser edits the first: refuse rather than guess.
function rejectDuplicateKeysAlong(tree, keyPath) {
  let node = tree;
  for (const key of keyPath) {
    if (!node || node.type !== 'object') return;
    const matches = node.children.filter((property) => property.children[0].value === key);
    if (matches.length > 1) throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape, `the key "${key}" appears more than once`);
    node = matches[0]?.children[1];
  }
}

function detectFormatting(text, eol) {
  const indented = /^([ \t]+)["}\]]/m.exec(text);
  if (indented && indented[1].startsWith('\t')) return { insertSpaces: false, tabSize: 1, eol };
  const width = indented ? Math.min(indented[1].length, 8) : 2;
  return { insertSpaces: true, tabSize: width, eol };
}

function sortKeysDeep(value) {
  if (Array.isArray(value)) return value.map(sortKeysDeep);
  if (value === null || typeof value !== 'object') return value;
  return Object.fromEntries(Object.keys(value).sort().map((key) => [key, sortKeysDeep(value[key])]));
}

// A container written as null is replaced as a whole: jsonc-parser cannot add keys to null.
function replaceEmptyContainer(current, keyPath, entry) {
  let node = current;
  for (let depth = 0; depth < keyPath.length - 1; depth++) {
    node = node?.[keyPath[depth]];
    if (node === null) {
      const nested = keyPath.slice(depth + 1).reduceRight((inner, key) => ({ [key]: inner }), entry);
      return [keyPath.slice(0, depth + 1), nested];
    }
  }
  return [keyPath, entry];
}

export function mergeJsonEntry(text, keyPath, entry, { eol }) {
  const tree = parseTree(text);
  const current = tree ? jsonc.getNodeValue(tree) : {};
  requireMapContainers(current, keyPath);
  rejectDuplicateKeysAlong(tree, keyPath);
  const base = tree ? text : `{}${eol}${text}`;
  const [editPath, value] = replaceEmptyContainer(current, keyPath, sortKeysDeep(entry));
  const edits = jsonc.modify(base, editPath, value, { formattingOptions: detectFormatting(base, eol) });
  const edited = jsonc.applyEdits(base, edits);
  verifyOnlyEntryChanged({ parse: parseJsonConfig, originalText: text, editedText: edited, keyPath, entry });
  return edited;
}
