// Hermes' YAML through the `yaml` Document API, which keeps comments. Only mcp_servers.tvn is
// set; anchors, aliases, merge keys and multi-document files around it are refused.
import { isAlias, isMap, isScalar, isSeq, parseAllDocuments, parseDocument, Scalar } from 'yaml';
import { AgentConfigErrorCode, ContentRefusal } from './AgentConfigError.mjs';
import { verifyOnlyEntryChanged } from './entryCheck.mjs';

const unsupported = (reason) => new ContentRefusal(AgentConfigErrorCode.unsupportedShape, reason);

function parseSingleDocument(text) {
  const documents = parseAllDocuments(text, { uniqueKeys: true });
  if (documents.length > 1) throw unsupported('it holds more than one YAML document');
  // An empty or comment-only file has no document; parse it as one so its comments stay.
  const document = documents[0] ?? parseDocument(text);
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

function isEmptyScalar(node) {
  return isScalar(node) && (node.value === null || node.value === undefined);
}

function requireEditableMap(node, name) {
  if (isAlias(node)) throw unsupported(`"${name}" is an alias to another part of the file`);
  if (!isMap(node)) throw unsupported(name === 'the top level' ? 'its top level is not a map' : `"${name}" is not a map`);
  if (node.anchor) throw unsupported(`"${name}" carries an anchor that other parts of the file may use`);
  if (node.items.some((pair) => isScalar(pair.key) && pair.key.value === '<<')) throw unsupported(`"${name}" uses a merge key`);
}

function blockMap(document, value) {
  const node = document.createNode(value);
  node.flow = false;
  return node;
}

// Same layout as the pasted snippet: quoted strings, args as a flow list.
function styleEntry(node) {
  if (isScalar(node)) {
    if (typeof node.value === 'string') node.type = Scalar.QUOTE_DOUBLE;
  } else if (isSeq(node)) {
    node.flow = true;
    node.items.forEach(styleEntry);
  } else if (isMap(node)) {
    node.flow = false;
    node.items.forEach((pair) => styleEntry(pair.value));
  }
  return node;
}

function detectIndent(text) {
  const indented = /^( +)[^ #\-\r\n]/m.exec(text);
  return indented ? Math.min(indented[1].length, 8) : 2;
}

// A sequence written flush under its key ("key:\n- a") keeps that style.
function detectSequenceIndent(text) {
  return !/^([ ]*)[^ #\r\n][^\r\n]*:[ \t]*\r?\n\1- /m.test(text);
}

export function mergeYamlEntry(text, entryPath, entry, { eol }) {
  const [sectionKey, serverName] = entryPath;
  const document = parseSingleDocument(text);
  if (document.contents === null || isEmptyScalar(document.contents)) document.contents = blockMap(document, {});
  requireEditableMap(document.contents, 'the top level');
  const section = document.contents.get(sectionKey, true);
  if (section === undefined || isEmptyScalar(section)) {
    document.contents.set(sectionKey, blockMap(document, {}));
  } else {
    requireEditableMap(section, sectionKey);
    if (section.items.length === 0) section.flow = false;
  }
  const servers = document.contents.get(sectionKey, true);
  const existing = servers.get(serverName, true);
  if (existing && (existing.anchor || isAlias(existing))) throw unsupported(`the existing "${entryPath.join('.')}" entry is shared through an anchor or alias`);
  servers.set(serverName, styleEntry(document.createNode(entry)));
  const rendered = document.toString({ indent: detectIndent(text), indentSeq: detectSequenceIndent(text), lineWidth: 0, flowCollectionPadding: false });
  const edited = eol === '\r\n' ? rendered.replace(/\r?\n/g, '\r\n') : rendered;
  verifyOnlyEntryChanged({ parse: parseYamlConfig, originalText: text, editedText: edited, keyPath: entryPath, entry });
  return edited;
}
