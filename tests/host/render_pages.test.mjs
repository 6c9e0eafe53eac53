import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { scan } from './helpers.mjs';
import { makeFixtures, pngHeader } from './scan_fixtures.mjs';

const dir = makeFixtures();
const at = (name) => path.join(dir, name);

function ok(result) {
  assert.equal(result.stderr, '');
  assert.equal(result.status, 0, result.stdout);
  return result.json;
}

test('a limit with first-last renders the first and last pages as cropped opaque PNGs', () => {
  const out = path.join(dir, 'out-first-last');
  const json = ok(scan(['--render-pages', at('pages-10.pdf'), out, '4', 'first-last:2:2']));
  assert.equal(json.pageCount, 10);
  assert.deepEqual(json.warnings, []);
  assert.deepEqual(json.pages.map((p) => p.pageNumber), [1, 2, 9, 10]);
  for (const page of json.pages) {
    const name = `page-${String(page.pageNumber).padStart(4, '0')}.png`;
    assert.equal(page.path, path.join(out, name));
    const header = pngHeader(page.path);
    assert.equal(header.colourType, 2, 'RGB without alpha');
    // A Letter page renders at about 1236 x 1600 before cropping; text pages are cropped to ink.
    assert.ok(header.width < 1600 && header.height < 1600, JSON.stringify(header));
  }
  // Page 2 is rotated a quarter turn: landscape before cropping, so its crop is wider than tall.
  const rotated = pngHeader(json.pages[1].path);
  assert.ok(rotated.width > rotated.height, JSON.stringify(rotated));
  assert.deepEqual(fs.readdirSync(out).sort(), ['page-0001.png', 'page-0002.png', 'page-0009.png', 'page-0010.png']);
});

test('an image renders as page-0001.png with its transparency made opaque', () => {
  const out = path.join(dir, 'out-image');
  const json = ok(scan(['--render-pages', at('transparent.png'), out, '7', 'first-last:1:1']));
  assert.deepEqual(json, { ok: true, pageCount: 1, pages: [{ pageNumber: 1, path: path.join(out, 'page-0001.png') }], warnings: [] });
  assert.equal(pngHeader(json.pages[0].path).colourType, 2);
});

test('failures: broken input, unusable output directory, locked document', () => {
  const file = at('a-file');
  fs.writeFileSync(file, 'x');
  const cases = [
    [['--render-pages', at('truncated.pdf'), path.join(dir, 'o1')], /^Could not open PDF for page rendering\.$/],
    [['--render-pages', at('pages-10.pdf'), path.join(file, 'sub')], /^Page rendering failed: /],
    [['--render-pages', at('locked-r6.pdf'), path.join(dir, 'o2')], /^document_password_required: PDF requires a password for page rendering\.$/],
    [['--render-pages', file, path.join(dir, 'o3')], /^Could not open image for page rendering\.$/],
  ];
  for (const [args, message] of cases) {
    const result = scan(args, { env: { MARROWFEN_DOCUMENT_PASSWORD: '' } });
    assert.equal(result.stderr, '');
    assert.equal(result.status, 1);
    assert.match(result.json.error, message);
  }
  // The directory is made before the input is opened.
  assert.ok(fs.statSync(path.join(dir, 'o1')).isDirectory());
  const unlocked = ok(scan(['--render-pages', at('locked-r6.pdf'), path.join(dir, 'o4')], { env: { MARROWFEN_DOCUMENT_PASSWORD: 'secret' } }));
  assert.equal(unlocked.pages.length, 2);
});
