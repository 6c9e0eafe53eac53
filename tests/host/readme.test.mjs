// Every example the README marks with <!-- example: NAME --> runs as written, in a project that has
// the package installed (the host project of helpers.mjs) with sample-letter.pdf beside it. The
// peer-credential example runs twice: a second run must not trip over the first one's socket.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { hostDir, repoRoot } from './helpers.mjs';

const readme = fs.readFileSync(path.join(repoRoot, 'README.md'), 'utf8');
const examples = [...readme.matchAll(/<!-- example: (\S+) -->\n```js\n([\s\S]*?)\n```/g)].map(
  ([, name, code]) => ({ name, code }),
);

test('the README has its examples', () => {
  assert.deepEqual(examples.map((e) => e.name).sort(), [
    'entities.mjs', 'peerident.mjs', 'pressuregauge.mjs', 'scan.mjs', 'sealkeep.mjs',
  ]);
});

const dir = path.join(hostDir, 'readme-examples');
fs.mkdirSync(dir, { recursive: true });
fs.copyFileSync(path.join(repoRoot, 'testdata', 'sample-letter.pdf'), path.join(dir, 'sample-letter.pdf'));

for (const { name, code } of examples) {
  // The secret-store example writes to the keyring: only the throw-away one of scripts/with-keyring.
  const skip = name === 'sealkeep.mjs' && process.env.MARROWFEN_KEYRING !== '1'
    ? 'needs the throw-away keyring of scripts/with-keyring' : false;
  test(`README example ${name} runs as written`, { skip }, () => {
    fs.writeFileSync(path.join(dir, name), code + '\n');
    const runs = name === 'peerident.mjs' ? 2 : 1;
    for (let i = 0; i < runs; ++i) {
      const result = spawnSync(process.execPath, [name], { cwd: dir, encoding: 'utf8', timeout: 300_000 });
      assert.equal(result.status, 0, `${name}: ${result.stderr}`);
      assert.equal(result.stderr, '', name);
      assert.notEqual(result.stdout, '', name);
    }
  });
}

test('what the examples print', () => {
  const run = (name) => spawnSync(process.execPath, [name], { cwd: dir, encoding: 'utf8' }).stdout;
  assert.match(run('entities.mjs'), /\nperson Priya Sharma 0\.82 \n/);
  assert.match(run('peerident.mjs'), new RegExp(`^hello, process of uid ${process.getuid()}\\n$`));
  const scan = run('scan.mjs');
  assert.match(scan, /^page 1 done \(1 of 2\)\npage 2 done \(2 of 2\)\n/);
  assert.match(scan, /page-0001\.png\n$/);
});
