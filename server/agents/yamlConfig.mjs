// Hermes' YAML. The `yaml` Document API finds where mcp_servers.tvn lives; the edit itself is a
// splice of those lines only, so every other byte stays as written (a re-serialised document
// would turn `mode: 0644` into `mode: 644`, which a YAML 1.1 reader such as PyYAML reads
// differently). The result must mean the same under both YAML 1.2 and 1.1.
import { isAlias, isMap, isScalar, parseAllDocuments, parseDocument } from 'yaml';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';
import { verifyOnlyEntryChanged } from './entryCheck.mjs';
import { tomlString } from './handoffEntry.mjs';

const unsupported = (reason) => new ContentRefusal(AgentConfigErrorCode.unsupportedShape, reason);

function parseSingleDocument(text, version = '1.2') {
  const documents = parseAllDocuments(text, { uniqueKeys: true, version });
  if (documents.length > 1) throw unsupported('it holds more than one YAML document');
  const document = documents[0] ?? parseDocument(text, { version });
  const error = document.errors[0];
  if (error) {
    const where = error.linePos ? ` at line ${error.linePos[0].line}` : '';
    throw new ContentRefusal(AgentConfigErrorCode.invalidContent, `it is not valid YAML${where}`);
  }
  return document;
}

export function parseYamlConfig(text) {
  return parseSingleDocument(text).toJS({ maxAliasCount: 1000 }) ?? {};
}

function parseYaml11(text) {
  return parseSingleDocument(text, '1.1').toJS({ maxAliasCount: 1000 }) ?? {};
}

const isEmptyValue = (node) => node === null || node === undefined || (isScalar(node) && (node.value === null || node.value === undefined));

function requireBlockMap(node, name) {
  const label = name === null ? 'its top level' : `"${name}"`;
  if (isAlias(node)) throw unsupported(`${label} is an alias to another part of the file`);
  if (!isMap(node)) throw unsupported(`${label} is not a map`);
  if (node.anchor) throw unsupported(`${label} carries an anchor that other parts of the file may use`);
  if (node.items.some((pair) => isScalar(pair.key) && pair.key.value === '<<')) throw unsupported(`${label} uses a merge key`);
  if (node.flow && node.items.length > 0) throw unsupported(`${label} is written in flow style ({ … })`);
}

function lineStart(text, offset) {
  return text.lastIndexOf('\n', offset - 1) + 1;
}

function column(text, offset) {
  return offset - lineStart(text, offset);
}

// Offset just past the line that holds `offset` (ranges of block values already end past it).
function lineEndAfter(text, offset) {
  if (offset > 0 && text[offset - 1] === '\n') return offset;
  const newline = text.indexOf('\n', offset);
  return newline === -1 ? text.length : newline + 1;
}

function detectIndentUnit(text) {
  const indented = /^( +)[^ #\-\r\n]/m.exec(text);
  return indented ? Math.min(indented[1].length, 8) : 2;
}

function renderEntry(serverName, entry, indent, unit, eol) {
  const pad = (depth) => ' '.repeat(indent + unit * depth);
  const lines = [
    `${pad(0)}${serverName}:`,
    `${pad(1)}command: ${tomlString(entry.command)}`,
    `${pad(1)}args: [${entry.args.map(tomlString).join(', ')}]`,
    `${pad(1)}env:`,
    ...Object.entries(entry.env).map(([name, value]) => `${pad(2)}${name}: ${tomlString(value)}`),
  ];
  return lines.join(eol) + eol;
}

function splice(text, start, end, insert) {
  return text.slice(0, start) + insert + text.slice(end);
}

function terminated(text, eol) {
  return text === '' || text.endsWith('\n') ? text : text + eol;
}

// The section key exists with an empty value ("mcp_servers:", "~", "null" or "{}"): drop the
// value's token and put the block on the lines below the key.
function fillEmptySection(text, pair, block) {
  const [tokenStart, tokenEnd] = pair.value?.range ?? [pair.key.range[1], pair.key.range[1]];
  let start = tokenStart;
  if (tokenEnd > tokenStart) {
    while (start > pair.key.range[1] && (text[start - 1] === ' ' || text[start - 1] === '\t')) start--;
  }
  const cleared = splice(text, start, tokenEnd, '');
  const at = lineEndAfter(cleared, start);
  return terminated(cleared.slice(0, at), block.eol) + block.render(column(text, pair.key.range[0])) + cleared.slice(at);
}

function editedText(text, sectionKey, serverName, entry, eol) {
  const document = parseSingleDocument(text);
  const unit = detectIndentUnit(text);
  const render = (indent) => renderEntry(serverName, entry, indent, unit, eol);
  if (isEmptyValue(document.contents)) return terminated(text, eol) + `${sectionKey}:${eol}` + render(unit);
  requireBlockMap(document.contents, null);
  const sectionPair = document.contents.items.find((pair) => isScalar(pair.key) && pair.key.value === sectionKey);
  if (!sectionPair) {
    const rootIndent = column(text, document.contents.items[0].key.range[0]);
    return terminated(text, eol) + `${' '.repeat(rootIndent)}${sectionKey}:${eol}` + renderEntry(serverName, entry, rootIndent + unit, unit, eol);
  }
  const section = sectionPair.value;
  if (isEmptyValue(section) || (isMap(section) && section.flow && section.items.length === 0)) {
    return fillEmptySection(text, sectionPair, { eol, render: (keyIndent) => render(keyIndent + unit) });
  }
  requireBlockMap(section, sectionKey);
  const indent = column(text, section.items[0].key.range[0]);
  const nestedUnit = Math.max(indent - column(text, sectionPair.key.range[0]), 1);
  const block = renderEntry(serverName, entry, indent, nestedUnit, eol);
  const existing = section.items.find((pair) => isScalar(pair.key) && pair.key.value === serverName);
  if (!existing) {
    const last = section.items.at(-1);
    const at = lineEndAfter(text, (last.value ?? last.key).range[1]);
    return terminated(text.slice(0, at), eol) + block + text.slice(at);
  }
  if (existing.value?.anchor || isAlias(existing.value)) throw unsupported(`the existing "${sectionKey}.${serverName}" entry is shared through an anchor or alias`);
  const start = lineStart(text, existing.key.range[0]);
  if (text.slice(start, existing.key.range[0]).trim() !== '') throw unsupported(`the existing "${sectionKey}.${serverName}" entry does not start its own line`);
  const end = lineEndAfter(text, (existing.value ?? existing.key).range[1]);
  return splice(text, start, end, block);
}

export function mergeYamlEntry(text, entryPath, entry, { eol }) {
  const [sectionKey, serverName] = entryPath;
  const edited = editedText(text, sectionKey, serverName, entry, eol);
  for (const parse of [parseYamlConfig, parseYaml11]) {
    verifyOnlyEntryChanged({ parse, originalText: text, editedText: edited, keyPath: entryPath, entry });
  }
  return edited;
}
