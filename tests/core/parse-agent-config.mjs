// Parses one agent app config snippet (stdin) the way that app's own reader does and prints the
// value as JSON: strict JSON, VS Code's JSONC, Codex's TOML, and Hermes' YAML (which must mean the
// same under YAML 1.2 and the 1.1 of Python readers). Exit 1 with the parser's complaint.
import { readFileSync } from 'node:fs';
import { isDeepStrictEqual } from 'node:util';
import { parse as parseJsonc, printParseErrorCode } from 'jsonc-parser';
import { parse as parseToml } from 'smol-toml';
import { parse as parseYaml } from 'yaml';

function jsonc(text) {
  const errors = [];
  const value = parseJsonc(text, errors, { allowTrailingComma: false, disallowComments: false });
  if (errors.length > 0) throw new Error(`JSONC: ${printParseErrorCode(errors[0].error)} at offset ${errors[0].offset}`);
  return value;
}

function yaml(text) {
  const modern = parseYaml(text, { version: '1.2', strict: true, uniqueKeys: true });
  const legacy = parseYaml(text, { version: '1.1', strict: true, uniqueKeys: true });
  if (!isDeepStrictEqual(modern, legacy)) throw new Error('YAML 1.2 and 1.1 read the snippet differently');
  return modern;
}

const readers = {
  json: (text) => JSON.parse(text),
  jsonc,
  toml: (text) => parseToml(text),
  yaml,
};

try {
  const reader = readers[process.argv[2]];
  if (!reader) throw new Error(`unknown reader ${process.argv[2]}`);
  process.stdout.write(JSON.stringify(reader(readFileSync(0, 'utf8'))));
} catch (error) {
  process.stderr.write(`${error.message}\n`);
  process.exit(1);
}
