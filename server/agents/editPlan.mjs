// The pure part of "Set up": from the config file's bytes to the bytes to write (or "unchanged").
// It runs in a worker (editWorker.mjs): parsing a big or hostile file must not hold up the broker.
import { TextDecoder } from 'node:util';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';
import { AgentClientFormat } from './catalog.mjs';
import { getIn, sameMeaning } from './entryCheck.mjs';
import { mergeJsonEntry, parseJsonConfig } from './jsonConfig.mjs';
import { mergeTomlEntry, parseTomlConfig } from './tomlConfig.mjs';
import { mergeYamlEntry, parseYamlConfig } from './yamlConfig.mjs';

const JSON_EDITOR = { parse: parseJsonConfig, merge: mergeJsonEntry };
const EDITORS = {
  [AgentClientFormat.jsonMcpServers]: JSON_EDITOR,
  [AgentClientFormat.jsonVscode]: JSON_EDITOR,
  [AgentClientFormat.jsonOpenclaw]: JSON_EDITOR,
  [AgentClientFormat.tomlCodex]: { parse: parseTomlConfig, merge: mergeTomlEntry },
  [AgentClientFormat.yamlMcpServers]: { parse: parseYamlConfig, merge: mergeYamlEntry },
};

const BOM = '\uFEFF';

function decodeText(bytes) {
  if (bytes === null) return { text: '', bom: '', eol: '\n' };
  let decoded;
  try {
    decoded = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    throw new ContentRefusal(AgentConfigErrorCode.invalidContent, 'it is not UTF-8 text');
  }
  const bom = decoded.startsWith(BOM) ? BOM : '';
  const text = decoded.slice(bom.length);
  const firstBreak = text.indexOf('\n');
  return { text, bom, eol: firstBreak > 0 && text[firstBreak - 1] === '\r' ? '\r\n' : '\n' };
}

// The parsers and the checks after them recurse; a hostile file runs them out of stack, and a
// YAML alias bomb trips the parser's own guard. Both are the file's shape, not a broker fault.
function asRefusal(error) {
  if (error instanceof RangeError) return new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'it is nested too deeply to edit safely');
  if (error instanceof ReferenceError && /alias/i.test(error.message)) {
    return new ContentRefusal(AgentConfigErrorCode.unsupportedShape, 'it uses more YAML aliases than can be expanded safely');
  }
  return error;
}

// bytes: the file's content, or null when there is none. Returns { unchanged: true } or
// { unchanged: false, bytes } with the whole new content.
export function planEdit({ format, bytes, entryPath, entry }) {
  try {
    const { text, bom, eol } = decodeText(bytes);
    const editor = EDITORS[format];
    const current = editor.parse(text);
    if (bytes !== null && sameMeaning(getIn(current, entryPath), entry)) return { unchanged: true };
    const edited = editor.merge(text, entryPath, entry, { eol });
    return { unchanged: false, bytes: Buffer.from(bom + edited, 'utf8') };
  } catch (error) {
    throw asRefusal(error);
  }
}
