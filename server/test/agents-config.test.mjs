// Agent app config merges on real files in a temporary home: each format with hostile fixtures,
// refusals that must leave the file untouched, unsafe paths, backups and atomic replacement.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import * as jsonc from 'jsonc-parser';
import { parse as parseToml } from 'smol-toml';
import { parse as parseYaml } from 'yaml';
import { findAgentApp } from '../agents/catalog.mjs';
import { connectAgentApp } from '../agents/connect.mjs';
import { handoffEntry, profileNameFor, safeIdentifier } from '../agents/handoffEntry.mjs';
import { mergeYamlEntry } from '../agents/yamlConfig.mjs';

const WRAPPER = '/opt/torvane/Service/script/tvn-mcp-launch.sh';
const STATE_DIR = '/home/u/.torvane-dev/state';
const BROKER = 'http://127.0.0.1:47382';

function makeHome(t) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-agents-home-'));
  t.after(() => fs.rmSync(home, { recursive: true, force: true }));
  return home;
}

function connect(home, appId, extra = {}) {
  return connectAgentApp({
    appId, homeDir: home, brokerUrl: BROKER, runtimeLane: 'development', stateDir: STATE_DIR,
    wrapperCommand: WRAPPER, activeKey: null, killSwitchEnabled: false, ...extra,
  });
}

function expectedEntry(appId, withType = false) {
  return {
    ...(withType ? { type: 'stdio' } : {}),
    command: WRAPPER,
    args: ['--profile', `${appId}-keel-tvn`],
    env: { TVN_BROKER_URL: BROKER, TVN_RUNTIME_LANE: 'development', SWITCHYARD_STATE_DIR: STATE_DIR },
  };
}

function writeConfig(home, relPath, content, mode = 0o644) {
  const file = path.join(home, relPath);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, content, { mode });
  fs.chmodSync(file, mode);
  return file;
}

function filesBeside(file) {
  return fs.readdirSync(path.dirname(file)).filter((name) => name !== path.basename(file));
}

const parseJsonc = (text) => jsonc.parse(text.replace(/^\uFEFF/, ''), [], { allowTrailingComma: true });

const MERGES = [
  {
    name: 'Claude Code JSON with comments everywhere, trailing commas, CRLF, BOM and a foreign tvn entry',
    appId: 'claude-code',
    relPath: '.claude.json',
    content: '\uFEFF// user settings\r\n{\r\n  /* projects */ "projects": {"/w": {"allowedTools": [],},},\r\n  "mcpServers": {\r\n    // keep other servers\r\n    "github": {"command": "gh-mcp", "args": [],},\r\n    "tvn": {"command": "/somewhere/else", "extra": true}, // old\r\n  },\r\n  "numStartups": 3, // trailing\r\n}\r\n',
    parse: parseJsonc,
    entryPath: ['mcpServers', 'tvn'],
    kept: ['// user settings', '/* projects */', '// keep other servers', '"numStartups": 3, // trailing', '\r\n'],
    bom: true,
    withType: true,
  },
  {
    name: 'VS Code mcp.json indented with tabs, with inputs and another server',
    appId: 'vscode',
    relPath: '.config/Code/User/mcp.json',
    content: '{\n\t// inputs stay\n\t"inputs": [{"type": "promptString", "id": "tok"}],\n\t"servers": {\n\t\t"fs": {"type": "stdio", "command": "npx"}\n\t}\n}\n',
    parse: parseJsonc,
    entryPath: ['servers', 'tvn'],
    withType: true,
    kept: ['// inputs stay', '\t"inputs"'],
  },
  {
    name: 'OpenClaw JSON whose nested servers map is null',
    appId: 'openclaw',
    relPath: '.openclaw/openclaw.json',
    content: '{\n  "gateway": {"port": 18789},\n  "mcp": {"servers": null, "timeoutMs": 5000}\n}\n',
    parse: parseJsonc,
    entryPath: ['mcp', 'servers', 'tvn'],
    kept: ['"gateway": {"port": 18789}', '"timeoutMs": 5000'],
  },
  {
    name: 'Codex TOML with a fake header inside a multi-line string and a split tvn table',
    appId: 'codex',
    relPath: '.codex/config.toml',
    content: '\uFEFF# Codex\r\nmodel = "o3" # pinned\r\nnotes = """\r\n[mcp_servers.tvn]\r\ncommand = "not a table"\r\n"""\r\n\r\n[mcp_servers.tvn]\r\ncommand = "old"\r\nstale = 1\r\n\r\n# about docs\r\n[mcp_servers.docs]\r\ncommand = "docs-mcp"\r\nargs = [\r\n  "[not-a-header]",\r\n]\r\n\r\n[mcp_servers.tvn.env]\r\nOLD = "x"\r\n\r\n[profiles.fast]\r\nmodel = "o4-mini"\r\n',
    parse: (text) => JSON.parse(JSON.stringify(parseToml(text.replace(/^\uFEFF/, '')))),
    entryPath: ['mcp_servers', 'tvn'],
    kept: ['# Codex', 'model = "o3" # pinned', '# about docs', '"[not-a-header]"', '[profiles.fast]', 'command = "not a table"'],
    bom: true,
  },
  {
    name: 'Hermes YAML with comments, YAML 1.1 scalars, a flow map, a block scalar and an existing tvn entry',
    appId: 'hermes',
    relPath: '.hermes/config.yaml',
    content: '# Hermes\nmodel: claude # default model\nfile_mode: 0644\nverbose: yes\nprompt: |\n  line one\n  line two\ntoolsets:\n- web\n- files\nmcp_servers:\n  # the docs server\n  docs: {command: docs-mcp,   args: [ "--x" ]}\n  tvn:\n    command: old\n    timeout: 30\n  # trailing note\n  later:\n    command: later-mcp\n',
    parse: parseYaml,
    entryPath: ['mcp_servers', 'tvn'],
    kept: ['# Hermes\nmodel: claude # default model\nfile_mode: 0644\nverbose: yes\nprompt: |\n  line one\n  line two\ntoolsets:\n- web\n- files\nmcp_servers:\n  # the docs server\n  docs: {command: docs-mcp,   args: [ "--x" ]}\n', '  # trailing note\n  later:\n    command: later-mcp\n'],
  },
];

test('connect merges only the tvn entry and keeps everything else', async (t) => {
  for (const fixture of MERGES) {
    await t.test(fixture.name, async () => {
      const home = makeHome(t);
      const file = writeConfig(home, fixture.relPath, fixture.content, 0o640);
      const originalInode = fs.statSync(file).ino;
      const { response, backupPath } = await connect(home, fixture.appId);
      assert.deepEqual(response, { action: 'updated', configPath: file, profile: `${fixture.appId}-keel-tvn`, brokerAccepted: false });

      const written = fs.readFileSync(file, 'utf8');
      const expected = fixture.parse(fixture.content);
      let node = expected;
      for (const key of fixture.entryPath.slice(0, -1)) node = node[key] ??= {};
      node[fixture.entryPath.at(-1)] = expectedEntry(fixture.appId, fixture.withType);
      assert.deepEqual(fixture.parse(written), expected);
      for (const piece of fixture.kept) assert.ok(written.includes(piece), `kept ${JSON.stringify(piece)}`);
      assert.equal(written.startsWith('\uFEFF'), Boolean(fixture.bom));
      if (fixture.content.includes('\r\n')) assert.doesNotMatch(written, /[^\r]\n/, 'line ends stay CRLF');

      assert.equal(fs.readFileSync(backupPath, 'utf8'), fixture.content);
      assert.equal(fs.statSync(backupPath).mode & 0o777, 0o600);
      assert.equal(fs.statSync(file).mode & 0o777, 0o640);
      assert.notEqual(fs.statSync(file).ino, originalInode, 'replaced by rename, never rewritten in place');
      assert.deepEqual(filesBeside(file), [path.basename(backupPath)], 'no temporary file is left');
    });
  }
});

test('the written entries have the shapes of the pasted snippets', async (t) => {
  const home = makeHome(t);
  await connect(home, 'codex');
  await connect(home, 'hermes');
  await connect(home, 'cursor');
  assert.equal(fs.readFileSync(path.join(home, '.codex/config.toml'), 'utf8'), [
    '[mcp_servers.tvn]',
    `command = "${WRAPPER}"`,
    'args = ["--profile", "codex-keel-tvn"]',
    '',
    '[mcp_servers.tvn.env]',
    `TVN_BROKER_URL = "${BROKER}"`,
    'TVN_RUNTIME_LANE = "development"',
    `SWITCHYARD_STATE_DIR = "${STATE_DIR}"`,
    '',
  ].join('\n'));
  assert.equal(fs.readFileSync(path.join(home, '.hermes/config.yaml'), 'utf8'), [
    'mcp_servers:',
    '  tvn:',
    `    command: "${WRAPPER}"`,
    '    args: ["--profile", "hermes-keel-tvn"]',
    '    env:',
    `      TVN_BROKER_URL: "${BROKER}"`,
    '      TVN_RUNTIME_LANE: "development"',
    `      SWITCHYARD_STATE_DIR: "${STATE_DIR}"`,
    '',
  ].join('\n'));
  const cursor = fs.readFileSync(path.join(home, '.cursor/mcp.json'), 'utf8');
  assert.deepEqual(Object.keys(JSON.parse(cursor).mcpServers.tvn), ['args', 'command', 'env']);
  assert.equal(fs.statSync(path.join(home, '.cursor/mcp.json')).mode & 0o777, 0o600);
  assert.equal(fs.statSync(path.join(home, '.cursor')).mode & 0o777, 0o700);
});

test('a wrapper path with quotes, backslashes and control characters stays valid TOML and YAML', async (t) => {
  const home = makeHome(t);
  const wrapperCommand = '/opt/we"ird\\dir\tx\u0001\u0085/tvn-mcp-launch.sh';
  for (const appId of ['codex', 'hermes']) await connect(home, appId, { wrapperCommand });
  assert.equal(parseToml(fs.readFileSync(path.join(home, '.codex/config.toml'), 'utf8')).mcp_servers.tvn.command, wrapperCommand);
  assert.equal(parseYaml(fs.readFileSync(path.join(home, '.hermes/config.yaml'), 'utf8')).mcp_servers.tvn.command, wrapperCommand);
  assert.match(fs.readFileSync(path.join(home, '.codex/config.toml'), 'utf8'), /command = "\/opt\/we\\"ird\\\\dir\\tx\\u0001\\u0085\//);
});

test('an empty YAML server map is filled in place, keeping its comment and the keys after it', () => {
  const entry = handoffEntry(findAgentApp('hermes'), { wrapperCommand: WRAPPER, profile: 'hermes-keel-tvn', brokerUrl: BROKER, runtimeLane: 'development', stateDir: STATE_DIR });
  const rows = [
    ['mcp_servers: # servers go here\nafter: 1\n', '# servers go here'],
    ['mcp_servers: ~ # none yet\nafter: 1\n', '# none yet'],
    ['mcp_servers: null\r\nafter: 1\r\n', 'after: 1\r\n'],
    ['mcp_servers: {}\nafter: 1', 'after: 1'],
  ];
  for (const [content, kept] of rows) {
    const eol = content.includes('\r\n') ? '\r\n' : '\n';
    const edited = mergeYamlEntry(content, ['mcp_servers', 'tvn'], entry, { eol });
    assert.deepEqual(parseYaml(edited), { mcp_servers: { tvn: entry }, after: 1 }, content);
    assert.ok(edited.includes(kept), content);
  }
});

test('connecting again with the same entry writes nothing and makes no backup', async (t) => {
  const home = makeHome(t);
  const file = writeConfig(home, '.codex/config.toml', 'model = "o3"\n');
  await connect(home, 'codex');
  const before = fs.statSync(file);
  const again = await connect(home, 'codex', { activeKey: { id: 'mk_1' } });
  assert.equal(again.response.action, 'unchanged');
  assert.equal(again.backupPath, null);
  assert.equal(fs.statSync(file).mtimeMs, before.mtimeMs);
  assert.equal(filesBeside(file).length, 1, 'only the first backup exists');
});

test('simultaneous set-ups of one app run one after the other', async (t) => {
  const home = makeHome(t);
  const [first, second] = await Promise.all([
    connect(home, 'cursor', { stateDir: '/state/one' }),
    connect(home, 'cursor', { stateDir: '/state/two' }),
  ]);
  assert.deepEqual([first.response.action, second.response.action], ['created', 'updated']);
  const written = JSON.parse(fs.readFileSync(path.join(home, '.cursor/mcp.json'), 'utf8'));
  assert.equal(written.mcpServers.tvn.env.SWITCHYARD_STATE_DIR, '/state/two');
});

// Nine levels of nine-fold aliases: tiny as text, billions of nodes once expanded.
function yamlAliasBomb() {
  const names = 'abcdefghi';
  return [...names].map((name, i) => `${name}: &${name} [${i === 0 ? Array(9).fill('"x"').join(',') : Array(9).fill(`*${names[i - 1]}`).join(',')}]`).join('\n') + '\nmcp_servers: {}\n';
}

const REFUSALS = [
  { name: 'invalid JSON', appId: 'cursor', relPath: '.cursor/mcp.json', content: '{"mcpServers": {', message: /is not valid JSON/ },
  { name: 'a JSON root array', appId: 'cursor', relPath: '.cursor/mcp.json', content: '[{"mcpServers": {}}]\n', message: /top level is not a map/ },
  { name: 'a JSON server list that is an array', appId: 'claude-code', relPath: '.claude.json', content: '{"mcpServers": []}', message: /"mcpServers" is not a map/ },
  { name: 'duplicate JSON keys on the entry path', appId: 'claude-code', relPath: '.claude.json', content: '{"mcpServers": {}, "mcpServers": {"a": {}}}', message: /appears more than once/ },
  { name: 'invalid TOML', appId: 'codex', relPath: '.codex/config.toml', content: 'model = \n', message: /is not valid TOML/ },
  { name: 'a TOML tvn inline table', appId: 'codex', relPath: '.codex/config.toml', content: '[mcp_servers]\ntvn = { command = "x" }\n', message: /inline table or dotted keys/ },
  { name: 'TOML tvn dotted keys beside a tvn sub-table', appId: 'codex', relPath: '.codex/config.toml', content: '[mcp_servers]\ntvn.command = "x"\n\n[mcp_servers.tvn.env]\nA = "1"\n', message: /inline table or dotted keys/ },
  { name: 'a TOML server map written inline', appId: 'codex', relPath: '.codex/config.toml', content: 'mcp_servers = { docs = { command = "d" } }\n', message: /cannot be edited safely/ },
  { name: 'TOML servers as an array of tables', appId: 'codex', relPath: '.codex/config.toml', content: '[[mcp_servers]]\nname = "x"\n', message: /"mcp_servers" is not a map/ },
  { name: 'invalid YAML', appId: 'hermes', relPath: '.hermes/config.yaml', content: 'mcp_servers: [unclosed\n', message: /is not valid YAML/ },
  { name: 'a YAML root list', appId: 'hermes', relPath: '.hermes/config.yaml', content: '- a\n- b\n', message: /top level is not a map/ },
  { name: 'two YAML documents', appId: 'hermes', relPath: '.hermes/config.yaml', content: 'a: 1\n---\nb: 2\n', message: /more than one YAML document/ },
  { name: 'a YAML server map that is an alias', appId: 'hermes', relPath: '.hermes/config.yaml', content: 'base: &b\n  docs: {command: d}\nmcp_servers: *b\n', message: /alias/ },
  { name: 'a YAML server map written in flow style', appId: 'hermes', relPath: '.hermes/config.yaml', content: 'mcp_servers: {docs: {command: d}}\n', message: /"mcp_servers" is written in flow style/ },
  { name: 'a YAML server map with a merge key', appId: 'hermes', relPath: '.hermes/config.yaml', content: 'mcp_servers:\n  <<: {docs: {command: d}}\n', message: /merge key/ },
  { name: 'JSON nested 100,000 deep', appId: 'cursor', relPath: '.cursor/mcp.json', content: `{"a": ${'['.repeat(100_000)}${']'.repeat(100_000)}}`, message: /nested too deeply to edit safely/ },
  { name: 'a YAML alias bomb', appId: 'hermes', relPath: '.hermes/config.yaml', content: yamlAliasBomb(), message: /more YAML aliases than can be expanded safely/ },
  { name: 'a file over the size limit', appId: 'cursor', relPath: '.cursor/mcp.json', content: `{"pad": "${'x'.repeat(4 * 1024 * 1024)}"}`, message: /larger than 4 MB/ },
  { name: 'bytes that are not UTF-8', appId: 'cursor', relPath: '.cursor/mcp.json', content: Buffer.from([0x7b, 0xff, 0xfe, 0x7d]), message: /not UTF-8 text/ },
];

test('what cannot be edited safely is refused and left untouched', async (t) => {
  for (const fixture of REFUSALS) {
    await t.test(fixture.name, async () => {
      const home = makeHome(t);
      const file = writeConfig(home, fixture.relPath, fixture.content);
      await assert.rejects(connect(home, fixture.appId), (error) => {
        assert.equal(error.name, 'AgentConfigError');
        assert.equal(error.status, 409);
        assert.match(error.message, fixture.message);
        assert.ok(error.message.startsWith(`Refusing to edit ${file}: `));
        assert.ok(error.message.endsWith('The file was left untouched.'));
        return true;
      });
      assert.deepEqual(fs.readFileSync(file), Buffer.from(fixture.content));
      assert.deepEqual(filesBeside(file), [], 'no backup or temporary file');
    });
  }
});

test('config paths that are not this user\'s regular file inside home are refused', async (t) => {
  const outside = fs.mkdtempSync(path.join(os.tmpdir(), 'tvn-agents-outside-'));
  t.after(() => fs.rmSync(outside, { recursive: true, force: true }));
  fs.writeFileSync(path.join(outside, 'mcp.json'), '{}');
  const cases = [
    { name: 'a symlink to a file outside home', setup: (home) => fs.symlinkSync(path.join(outside, 'mcp.json'), path.join(home, '.cursor/mcp.json')), message: /outside the home directory/ },
    { name: 'a symlinked folder outside home', setup: (home) => { fs.rmdirSync(path.join(home, '.cursor')); fs.symlinkSync(outside, path.join(home, '.cursor')); }, message: /outside the home directory/ },
    { name: 'a dangling symlink', setup: (home) => fs.symlinkSync(path.join(home, 'missing.json'), path.join(home, '.cursor/mcp.json')), message: /symbolic link to a missing file/ },
    { name: 'a directory', setup: (home) => fs.mkdirSync(path.join(home, '.cursor/mcp.json')), message: /not a regular file/ },
    { name: 'a FIFO', setup: (home) => execFileSync('mkfifo', [path.join(home, '.cursor/mcp.json')]), message: /not a regular file/ },
    { name: 'a file of another user', setup: (home) => { writeConfig(home, '.cursor/mcp.json', '{}'); fs.chownSync(path.join(home, '.cursor/mcp.json'), 4242, 4242); }, message: /not owned by the current user/, rootOnly: true },
  ];
  for (const testCase of cases) {
    await t.test(testCase.name, { skip: testCase.rootOnly && process.getuid() !== 0 && 'needs root to chown' }, async () => {
      const home = makeHome(t);
      fs.mkdirSync(path.join(home, '.cursor'));
      testCase.setup(home);
      await assert.rejects(connect(home, 'cursor'), testCase.message);
    });
  }
  assert.equal(fs.readFileSync(path.join(outside, 'mcp.json'), 'utf8'), '{}');
  assert.deepEqual(fs.readdirSync(outside), ['mcp.json']);
});

test('a symlink inside home is followed: the real file is replaced and the link stays', async (t) => {
  const home = makeHome(t);
  const real = writeConfig(home, 'dotfiles/claude.json', '{"theme": "dark"}\n', 0o600);
  fs.symlinkSync('dotfiles/claude.json', path.join(home, '.claude.json'));
  const { response, backupPath } = await connect(home, 'claude-code');
  assert.equal(response.configPath, path.join(home, '.claude.json'));
  assert.ok(fs.lstatSync(path.join(home, '.claude.json')).isSymbolicLink());
  assert.equal(JSON.parse(fs.readFileSync(real, 'utf8')).theme, 'dark');
  assert.ok(JSON.parse(fs.readFileSync(real, 'utf8')).mcpServers.tvn);
  assert.equal(path.dirname(backupPath), path.dirname(real));
});

test('unknown and manual-only apps are refused before any file is touched', async (t) => {
  const home = makeHome(t);
  await assert.rejects(connect(home, 'notepad'), (error) => error.status === 404 && /Unknown agent app "notepad"/.test(error.message));
  await assert.rejects(connect(home, 'jetbrains'), (error) => error.status === 400 && error.message === 'This agent requires a manual setup snippet.');
  assert.deepEqual(fs.readdirSync(home), []);
});

test('keyId and brokerAccepted follow the active key and the kill switch', async (t) => {
  const home = makeHome(t);
  const cases = [
    { activeKey: null, killSwitchEnabled: false, keyId: undefined, brokerAccepted: false },
    { activeKey: { id: 'mk_a' }, killSwitchEnabled: false, keyId: 'mk_a', brokerAccepted: true },
    { activeKey: { id: 'mk_a' }, killSwitchEnabled: true, keyId: 'mk_a', brokerAccepted: false },
  ];
  for (const { keyId, brokerAccepted, ...extra } of cases) {
    const { response } = await connect(home, 'cursor', extra);
    assert.equal(response.keyId, keyId);
    assert.equal(response.brokerAccepted, brokerAccepted);
  }
});

test('profile names are the safe identifier of the agent id plus -keel-tvn', () => {
  const rows = [
    ['claude-code', 'claude-code-keel-tvn'],
    ['Claude Code!', 'Claude_Code-keel-tvn'],
    ['__', 'profile-keel-tvn'],
    ['a/b', 'a_b-keel-tvn'],
    ['hermes-keel-tvn', 'hermes-keel-tvn'],
    ['Bücher', 'Bücher-keel-tvn'],
  ];
  for (const [agentId, profile] of rows) assert.equal(profileNameFor(agentId), profile, agentId);
  assert.equal(safeIdentifier(''), 'profile');
});

test('the entry names the signer by its absolute path, so any copy of the wrapper opens a sealed profile', async (t) => {
  const home = makeHome(t);
  const signerPath = '/usr/share/torvane/bin/tvn-pop-signer';
  await connect(home, 'cursor', { signerPath });
  await connect(home, 'codex', { signerPath: 'bin/tvn-pop-signer' });
  const cursor = JSON.parse(fs.readFileSync(path.join(home, '.cursor/mcp.json'), 'utf8')).mcpServers.tvn;
  assert.equal(cursor.env.SWITCHYARD_BOUND_PROFILE_SIGNER_PATH, signerPath);
  const codex = parseToml(fs.readFileSync(path.join(home, '.codex/config.toml'), 'utf8')).mcp_servers.tvn;
  assert.deepEqual(Object.keys(codex.env), ['TVN_BROKER_URL', 'TVN_RUNTIME_LANE', 'SWITCHYARD_STATE_DIR'], 'a relative signer path is left out');
});
