// Codex's TOML: smol-toml validates, but the text is edited directly so comments and every other
// table survive. Only the [mcp_servers.tvn] table and its sub-tables are replaced (or appended).
import { parse as parseToml } from 'smol-toml';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';
import { getIn, requireMapContainers, verifyOnlyEntryChanged } from './entryCheck.mjs';
import { tomlString } from './handoffEntry.mjs';

export function parseTomlConfig(text) {
  try {
    return parseToml(text);
  } catch (error) {
    const where = error.line ? ` at line ${error.line}` : '';
    throw new ContentRefusal(AgentConfigErrorCode.invalidContent, `it is not valid TOML${where}`);
  }
}

export function renderCodexBlock(serverName, entry, eol) {
  const lines = [
    `[mcp_servers.${serverName}]`,
    `command = ${tomlString(entry.command)}`,
    `args = [${entry.args.map(tomlString).join(', ')}]`,
    '',
    `[mcp_servers.${serverName}.env]`,
    ...Object.entries(entry.env).map(([name, value]) => `${name} = ${tomlString(value)}`),
  ];
  return lines.join(eol) + eol;
}

function skipQuoted(text, start, delimiter, escapes) {
  let i = start + delimiter.length;
  while (i < text.length) {
    if (escapes && text[i] === '\\') { i += 2; continue; }
    if (text.startsWith(delimiter, i)) {
      // A closing delimiter may be followed by up to two more quote characters of the content.
      let end = i + delimiter.length;
      while (delimiter.length === 3 && text[end] === delimiter[0] && end - i < 5) end++;
      return end;
    }
    if (delimiter.length === 1 && text[i] === '\n') return i;
    i++;
  }
  return i;
}

function decodeKeyPart(raw) {
  if (raw.startsWith('"') || raw.startsWith("'")) return parseToml(`k = ${raw}`).k;
  return raw;
}

// `[a."b c".d]` → ['a', 'b c', 'd']; the file already parsed, so the header is well formed.
function parseHeaderKey(line) {
  const parts = [];
  const body = line.replace(/^\s*\[\[?/, '');
  const partPattern = /\s*("(?:[^"\\]|\\.)*"|'[^']*'|[A-Za-z0-9_-]+)\s*(\.|\]\]?)/y;
  let match;
  while ((match = partPattern.exec(body))) {
    parts.push(decodeKeyPart(match[1]));
    if (match[2] !== '.') break;
  }
  return parts;
}

// Table headers with the offsets of their lines; strings, comments and multi-line values are
// skipped so that a "[" inside them is never mistaken for a header.
export function scanTomlHeaders(text) {
  const headers = [];
  let depth = 0;
  let atLineStart = true;
  let i = 0;
  while (i < text.length) {
    const ch = text[i];
    if (atLineStart && depth === 0) {
      const lineEnd = text.indexOf('\n', i) === -1 ? text.length : text.indexOf('\n', i) + 1;
      const indentEnd = i + /^[ \t]*/.exec(text.slice(i, lineEnd))[0].length;
      atLineStart = false;
      if (text[indentEnd] === '[') {
        headers.push({ start: i, keyPath: parseHeaderKey(text.slice(i, lineEnd)) });
        i = lineEnd;
        atLineStart = true;
        continue;
      }
      i = indentEnd;
      continue;
    }
    if (ch === '#') { while (i < text.length && text[i] !== '\n') i++; continue; }
    if (text.startsWith('"""', i)) { i = skipQuoted(text, i, '"""', true); continue; }
    if (text.startsWith("'''", i)) { i = skipQuoted(text, i, "'''", false); continue; }
    if (ch === '"') { i = skipQuoted(text, i, '"', true); continue; }
    if (ch === "'") { i = skipQuoted(text, i, "'", false); continue; }
    if (ch === '[' || ch === '{') depth++;
    if (ch === ']' || ch === '}') depth--;
    if (ch === '\n') atLineStart = true;
    i++;
  }
  return headers;
}

// A table's block runs to its last key line; comments and blank lines just before the next
// header stay, since they usually describe that next table.
function blockEnd(text, start, nextStart) {
  const lines = text.slice(start, nextStart).split(/(?<=\n)/);
  let keep = lines.length;
  while (keep > 1 && /^\s*(#.*)?\r?\n?$/.test(lines[keep - 1])) keep--;
  return start + lines.slice(0, keep).join('').length;
}

function isEntryTable(keyPath, entryPath) {
  return keyPath.length >= entryPath.length && entryPath.every((key, index) => keyPath[index] === key);
}

// Blank lines between two removed tables go with them.
function withoutBlocks(text, blocks) {
  let result = '';
  let cursor = 0;
  for (const [index, block] of blocks.entries()) {
    const gap = text.slice(cursor, block.start);
    if (index === 0 || gap.trim() !== '') result += gap;
    cursor = block.end;
  }
  return result + text.slice(cursor);
}

function appendBlock(text, block, eol) {
  if (text.trim() === '') return block;
  const terminated = text.endsWith('\n') ? text : text + eol;
  return terminated + eol + block;
}

export function mergeTomlEntry(text, entryPath, entry, { eol }) {
  requireMapContainers(parseTomlConfig(text), entryPath);
  const headers = scanTomlHeaders(text);
  const blocks = headers
    .map((header, index) => ({ ...header, end: blockEnd(text, header.start, headers[index + 1]?.start ?? text.length) }))
    .filter((header) => isEntryTable(header.keyPath, entryPath));
  const remainder = withoutBlocks(text, blocks);
  if (getIn(parseTomlConfig(remainder), entryPath) !== undefined) {
    throw new ContentRefusal(AgentConfigErrorCode.unsupportedShape,
      `the existing "${entryPath.join('.')}" entry is written as an inline table or dotted keys, which cannot be replaced safely; edit it by hand`);
  }
  const block = renderCodexBlock(entryPath.at(-1), entry, eol);
  const edited = blocks.length > 0
    ? remainder.slice(0, blocks[0].start) + block + remainder.slice(blocks[0].start)
    : appendBlock(remainder, block, eol);
  verifyOnlyEntryChanged({ parse: parseTomlConfig, originalText: text, editedText: edited, keyPath: entryPath, entry });
  return edited;
}
