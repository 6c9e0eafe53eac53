// The package's declarations say what the programs really write: real answers are checked
// member by member against the interfaces of marrowfen.d.cts, read with TypeScript's parser.
// A member the programs write but the types lack, a required member they leave out, or a value
// outside a declared union fails.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { entitiesBinary, hostDir, repoRoot, run, scan } from './helpers.mjs';
import { makeFixtures } from './scan_fixtures.mjs';

const ts = createRequire(import.meta.url)(path.join(repoRoot, 'node', 'node_modules', 'typescript'));
const declarationFile = path.join(hostDir, 'node_modules', 'marrowfen-native', 'marrowfen.d.cts');
const source = ts.createSourceFile(declarationFile, fs.readFileSync(declarationFile, 'utf8'), ts.ScriptTarget.Latest, true);

const declarations = new Map();
source.forEachChild((node) => {
  if (ts.isInterfaceDeclaration(node) || ts.isTypeAliasDeclaration(node)) declarations.set(node.name.text, node);
});

// Checks `value` against a type node; returns a list of problems (empty when it fits).
function check(value, type, where) {
  switch (type.kind) {
    case ts.SyntaxKind.NumberKeyword:
      return typeof value === 'number' ? [] : [`${where}: ${JSON.stringify(value)} is no number`];
    case ts.SyntaxKind.StringKeyword:
      return typeof value === 'string' ? [] : [`${where}: ${JSON.stringify(value)} is no string`];
    case ts.SyntaxKind.LiteralType: {
      const literal = type.literal;
      const expected = literal.kind === ts.SyntaxKind.TrueKeyword ? true
        : literal.kind === ts.SyntaxKind.FalseKeyword ? false : literal.text;
      return value === expected ? [] : [`${where}: ${JSON.stringify(value)} is not ${JSON.stringify(expected)}`];
    }
    case ts.SyntaxKind.UnionType: {
      const results = type.types.map((t) => check(value, t, where));
      return results.some((r) => r.length === 0) ? [] : [`${where}: ${JSON.stringify(value)} fits none of ${type.getText()}`];
    }
    case ts.SyntaxKind.ArrayType:
      if (!Array.isArray(value)) return [`${where}: not an array`];
      return value.flatMap((item, i) => check(item, type.elementType, `${where}[${i}]`));
    case ts.SyntaxKind.TypeLiteral:
      return checkMembers(value, type.members, where);
    case ts.SyntaxKind.TypeReference: {
      const declaration = declarations.get(type.typeName.getText());
      if (!declaration) throw new Error(`no declaration of ${type.typeName.getText()}`);
      return ts.isInterfaceDeclaration(declaration)
        ? checkMembers(value, declaration.members, where)
        : check(value, declaration.type, where);
    }
    default:
      throw new Error(`${where}: type ${type.getText()} is not handled by this test`);
  }
}

function checkMembers(value, members, where) {
  if (typeof value !== 'object' || value === null || Array.isArray(value)) return [`${where}: not an object`];
  const problems = [];
  const declared = new Map(members.filter(ts.isPropertySignature).map((m) => [m.name.getText(), m]));
  for (const key of Object.keys(value)) {
    if (!declared.has(key)) problems.push(`${where}.${key} is written but not declared`);
  }
  for (const [name, member] of declared) {
    if (!(name in value)) {
      if (!member.questionToken) problems.push(`${where}.${name} is declared required but missing`);
      continue;
    }
    problems.push(...check(value[name], member.type, `${where}.${name}`));
  }
  return problems;
}

// Checks a value against an interface of the declarations.
function fitsDeclared(value, name, what = name) {
  const declaration = declarations.get(name);
  assert.ok(declaration, name);
  assert.deepEqual(checkMembers(value, declaration.members, name), [], what);
}

test('marrowfen-scan answers fit OcrOutput, RenderOutput and OcrFailure', () => {
  const fixtures = makeFixtures();
  const answers = [
    [['--source', 'auto', path.join(fixtures, 'mixed.pdf')], 'OcrOutput'],
    [['--source', 'text-layer', path.join(fixtures, 'pages-10.pdf')], 'OcrOutput'],
    [[path.join(fixtures, 'letter.png')], 'OcrOutput'],
    [[path.join(fixtures, 'truncated.pdf'), '--source', 'text-layer'], 'OcrFailure'],
    [['--render-pages', path.join(fixtures, 'pages-10.pdf'), fs.mkdtempSync(path.join(os.tmpdir(), 'mf-types-'))], 'RenderOutput'],
    [[path.join(fixtures, 'locked-r6.pdf')], 'OcrFailure'],
  ];
  const seen = new Set();
  for (const [args, name] of answers) {
    const result = scan(args);
    assert.ok(result.json, result.stdout);
    fitsDeclared(result.json, name, args.join(' '));
    for (const page of result.json.pages ?? []) {
      if (page.source) seen.add(`${page.source}/${page.sourceReason}`);
    }
  }
  // The answers above cover both sources and a recognised page.
  for (const expected of ['text_layer/visible_text_layer', 'ocr/invisible_ocr_layer', 'text_layer/forced']) {
    assert.ok(seen.has(expected), `${expected} not among ${[...seen]}`);
  }
});

test('marrowfen-entities answers fit HelperOutput, Candidate and HelperFailure', () => {
  const text = 'Priya Sharma works for the Reserve Bank of India in Mumbai since 12 March 2019.\n' +
    'Address: 221B Baker Street, London NW1 6XE\nPhone: +44 20 7946 0958';
  const answer = run(entitiesBinary, [], { input: JSON.stringify({ text }) }).json;
  fitsDeclared(answer, 'HelperOutput');
  const types = new Set(answer.entities.map((c) => c.type));
  for (const type of ['person', 'organization', 'location', 'date', 'identifier']) assert.ok(types.has(type), type);
  fitsDeclared(run(entitiesBinary, [], { input: '{}' }).json, 'HelperFailure');
});
