// The package's declarations, checked as a host developer meets them: `tsc --strict` compiles the
// example hosts of node/examples/ (ES module and CommonJS) against the installed package, and the
// compiled hosts run.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { hostDir, repoRoot } from './helpers.mjs';
import { makeFixtures } from './scan_fixtures.mjs';

const packageDir = path.join(repoRoot, 'node');
const tsc = path.join(packageDir, 'node_modules', 'typescript', 'bin', 'tsc');

// Whether the default collection of the session's Secret Service is locked.
function defaultCollectionLocked() {
  const bus = ['--session', '--dest', 'org.freedesktop.secrets'];
  const collection = execFileSync('gdbus', ['call', ...bus, '--object-path', '/org/freedesktop/secrets',
    '--method', 'org.freedesktop.Secret.Service.ReadAlias', 'default'], { encoding: 'utf8' }).match(/'([^']+)'/)[1];
  const locked = execFileSync('gdbus', ['call', ...bus, '--object-path', collection, '--method',
    'org.freedesktop.DBus.Properties.Get', 'org.freedesktop.Secret.Collection', 'Locked'], { encoding: 'utf8' });
  return locked.includes('true');
}

test('the example hosts compile with tsc --strict and run', () => {
  const dir = path.join(hostDir, 'ts-example');
  fs.mkdirSync(dir, { recursive: true });
  for (const name of ['host.mts', 'host.cts']) {
    fs.copyFileSync(path.join(packageDir, 'examples', name), path.join(dir, name));
  }
  const compiled = spawnSync(process.execPath, [
    tsc, '--strict', '--noUnusedLocals', '--module', 'nodenext', '--moduleResolution', 'nodenext',
    '--target', 'es2022',
    '--typeRoots', path.join(packageDir, 'node_modules', '@types'), '--types', 'node',
    '--outDir', dir, path.join(dir, 'host.mts'), path.join(dir, 'host.cts'),
  ], { cwd: dir, encoding: 'utf8' });
  assert.equal(compiled.status, 0, compiled.stdout + compiled.stderr);

  const keyringUnlocked = process.env.MARROWFEN_KEYRING === '1' && !defaultCollectionLocked();
  const fixtures = makeFixtures();
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-ts-'));
  const esm = execFileSync(process.execPath, [
    path.join(dir, 'host.mjs'), path.join(fixtures, 'sample-letter.pdf'), path.join(fixtures, 'letter.png'), out,
  ], { cwd: dir, encoding: 'utf8' });
  const report = JSON.parse(esm);
  assert.equal(report.pages, 2);
  assert.equal(report.reason, 'visible_text_layer');
  assert.equal(report.pictureText, true);
  assert.equal(report.files, 2);
  assert.equal(report.passwordCode, 'failed');
  assert.equal(report.uidMatches, true);
  assert.equal(report.progress, 4); // two scanned pages, two rendered
  assert.ok(['normal', 'warning', 'critical', 'unknown'].includes(report.level));
  if (process.env.MARROWFEN_KEYRING === '1') {
    // The secret-store suite may have locked the test keyring for good; storing fails then.
    if (keyringUnlocked) assert.equal(report.stored, 0);
    assert.equal(report.loaded, report.stored === 0 ? 3 : 0);
  }

  const cjs = JSON.parse(execFileSync(process.execPath, [path.join(dir, 'host.cjs')], { cwd: dir, encoding: 'utf8' }));
  assert.equal(cjs.phones, 1);
});
