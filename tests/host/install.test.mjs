// `cmake --install` gives a tree that works wherever it is moved: installed into a temporary
// prefix, moved elsewhere, both programs run and the addons load there, and no installed file
// names a path of this machine's build.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { buildDir, repoRoot, run } from './helpers.mjs';
import { makeFixtures } from './scan_fixtures.mjs';

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-install-'));
const firstPrefix = path.join(work, 'first', 'prefix');
const movedPrefix = path.join(work, 'elsewhere', 'moved');

function filesUnder(dir) {
  return fs.readdirSync(dir, { withFileTypes: true, recursive: true })
    .filter((entry) => entry.isFile())
    .map((entry) => path.join(entry.parentPath ?? entry.path, entry.name));
}

test('install, move, and use the tree', async (t) => {
  execFileSync('cmake', ['--install', buildDir, '--prefix', firstPrefix], { stdio: 'ignore' });
  fs.mkdirSync(path.dirname(movedPrefix), { recursive: true });
  fs.renameSync(firstPrefix, movedPrefix);
  fs.rmSync(path.join(work, 'first'), { recursive: true });

  const relative = filesUnder(movedPrefix).map((f) => path.relative(movedPrefix, f)).sort();
  assert.deepEqual(relative, [
    'bin/marrowfen-entities',
    'bin/marrowfen-scan',
    'bin/marrowfen-tesseract.so',
    'lib/marrowfen/peerident.node',
    'lib/marrowfen/pressuregauge.node',
    'lib/marrowfen/sealkeep.node',
    'share/doc/marrowfen/CHANGELOG.md',
    'share/doc/marrowfen/LICENSE',
    'share/doc/marrowfen/NOTICE',
    'share/doc/marrowfen/README.md',
    'share/marrowfen/name-tagger.model',
    'share/marrowfen/tessdata/Latin.traineddata',
    'share/marrowfen/tessdata/eng.traineddata',
  ]);

  await t.test('no installed file names the source tree, the build tree or the first prefix', () => {
    const needles = [repoRoot, fs.realpathSync(repoRoot), path.resolve(buildDir), firstPrefix];
    // A sanitizer build (scripts/test debug) is for developers only: its sanitizers keep the
    // source path of every instrumented file for their reports, so its binaries are not checked.
    const cache = fs.readFileSync(path.join(buildDir, 'CMakeCache.txt'), 'utf8');
    const sanitized = /^MARROWFEN_SANITIZE:BOOL=ON$/m.test(cache);
    for (const file of filesUnder(movedPrefix)) {
      const bytes = fs.readFileSync(file);
      if (sanitized && bytes.subarray(0, 4).equals(Buffer.from('\x7fELF', 'latin1'))) continue;
      for (const needle of new Set(needles)) {
        assert.equal(bytes.indexOf(needle), -1, `${file} contains ${needle}`);
      }
    }
    // No run path either: the programs use the system's libraries only.
    for (const file of ['bin/marrowfen-scan', 'bin/marrowfen-entities', 'bin/marrowfen-tesseract.so']) {
      const dynamic = execFileSync('readelf', ['-d', path.join(movedPrefix, file)], { encoding: 'utf8' });
      assert.doesNotMatch(dynamic, /RPATH|RUNPATH/, file);
    }
  });

  await t.test('marrowfen-scan recognises and renders with the module beside it', () => {
    const fixtures = makeFixtures();
    const scan = path.join(movedPrefix, 'bin', 'marrowfen-scan');
    const ocr = run(scan, [path.join(fixtures, 'sample-letter.pdf')]);
    assert.equal(ocr.stderr, '');
    assert.equal(ocr.status, 0, ocr.stdout);
    assert.equal(ocr.json.pages.length, 2);
    assert.match(ocr.json.pages[1].text, /\w{4,}/); // page 2 is a scan: recognised
    const out = path.join(work, 'render');
    const render = run(scan, ['--render-pages', path.join(fixtures, 'pages-10.pdf'), out, '2']);
    assert.equal(render.status, 0, render.stdout);
    assert.equal(render.json.pages.length, 2);
  });

  await t.test('marrowfen-entities finds its name model from its own place', () => {
    const entities = path.join(movedPrefix, 'bin', 'marrowfen-entities');
    const input = JSON.stringify({ text: 'Yesterday Anna Müller met Rahul Verma at Siemens in Munich.' });
    const found = run(entities, [], { input, env: { MARROWFEN_NAME_MODEL: '' } });
    assert.equal(found.status, 0);
    const model = path.join(movedPrefix, 'share', 'marrowfen', 'name-tagger.model');
    const explicit = run(entities, [], { input, env: { MARROWFEN_NAME_MODEL: model } });
    const none = run(entities, [], { input, env: { MARROWFEN_NAME_MODEL: path.join(work, 'no-model') } });
    assert.equal(found.stdout, explicit.stdout);
    assert.notEqual(found.stdout, none.stdout, 'the text gives the same answer without the model');
  });

  await t.test('the addons load from the moved tree', () => {
    const dir = path.join(movedPrefix, 'lib', 'marrowfen');
    const code = `
      const dir = process.argv[1];
      const p = require(dir + '/peerident.node'), g = require(dir + '/pressuregauge.node'),
            s = require(dir + '/sealkeep.node');
      console.log(p.peerUid(-1), typeof g.currentLevel(), typeof s.available);`;
    const result = spawnSync(process.execPath, ['-e', code, dir], { encoding: 'utf8' });
    assert.equal(result.stderr, '');
    assert.equal(result.stdout, '-1 string function\n');
  });
});
