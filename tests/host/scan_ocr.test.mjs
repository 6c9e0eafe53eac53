import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { repoRoot, scan } from './helpers.mjs';
import { makeFixtures } from './scan_fixtures.mjs';

const dir = makeFixtures();
const at = (name) => path.join(dir, name);

function ok(result) {
  assert.equal(result.stderr, '');
  assert.equal(result.status, 0, result.stdout);
  assert.equal(result.json.ok, true);
  return result.json;
}

function words(text) {
  return text.toLowerCase().split(/\s+/).filter(Boolean);
}

test('an image of a printed page is recognised with word boxes', () => {
  const out = ok(scan([at('letter.png')]));
  assert.equal(out.sourceType, 'native_ocr_image');
  assert.equal(out.pageCount, 1);
  const page = out.pages[0];
  assert.equal(page.pageNumber, 1);
  assert.equal('source' in page, false);
  for (const word of ['municipal', 'certificate', 'priya', 'sharma', '2019.']) {
    assert.ok(words(out.rawText).includes(word), `${word} in ${out.rawText}`);
  }
  assert.ok(out.confidence > 0.7 && out.confidence <= 1);
  // Words come in reading order: nothing stands clearly above the first word.
  const title = page.fragments[0];
  assert.equal(title.text, 'Municipal');
  for (const f of page.fragments) {
    const b = f.boundingBox;
    assert.ok(b.x >= 0 && b.y >= 0 && b.x + b.width <= 1 && b.y + b.height <= 1, JSON.stringify(f));
    const top = (box) => box.y + box.height;
    assert.ok(top(b) <= top(title.boundingBox) + 0.015, JSON.stringify(f));
  }
});

test('a mixed PDF with --source auto reads each page from the right source', () => {
  const out = ok(scan(['--source', 'auto', at('mixed.pdf')]));
  assert.equal(out.sourceType, 'native_ocr_pdf');
  assert.deepEqual(
    out.pages.map((p) => [p.pageNumber, p.source, p.sourceReason]),
    [
      [1, 'text_layer', 'visible_text_layer'],
      [2, 'ocr', 'invisible_ocr_layer'],
      [3, 'ocr', 'no_text_layer'],
    ],
  );
  assert.equal(out.pages[0].confidence, 1);
  assert.ok(out.pages[0].fragments.every((f) => f.confidence === 1));
  assert.match(out.pages[1].text, /Arjun Mehta/);
  assert.match(out.pages[2].text, /Registrar/);
  assert.equal(out.rawText, out.pages.map((p) => p.text).join('\n\n'));
});

test('--pages picks pages, and pages past the end give an empty answer', () => {
  const two = ok(scan(['--pages', '2-3,9', '--source', 'text-layer', at('mixed.pdf')]));
  assert.deepEqual(two.pages.map((p) => [p.pageNumber, p.sourceReason]), [[2, 'forced'], [3, 'forced']]);
  assert.equal(two.pageCount, 2);
  const none = ok(scan(['--pages', '12', at('pages-10.pdf')]));
  assert.deepEqual(
    { pageCount: none.pageCount, rawText: none.rawText, confidence: none.confidence, pages: none.pages },
    { pageCount: 1, rawText: '', confidence: 0, pages: [] },
  );
});

test('the shipped sample reads as a letter and a scanned page', () => {
  const out = ok(scan(['--source', 'auto', path.join(repoRoot, 'testdata', 'sample-letter.pdf')]));
  assert.deepEqual(out.pages.map((p) => p.source), ['text_layer', 'ocr']);
  assert.match(out.rawText, /Priya Sharma/);
  assert.match(out.rawText, /Place of Birth/);
});

test('failures answer as one JSON failure on stdout', () => {
  const cases = [
    [['--languages', 'xx-YY', at('letter.png')], /^Native OCR failed: .*xx-YY/],
    [[at('truncated.pdf')], /^Could not open PDF for native OCR\.$/],
    [[dir], /^Could not open image for native OCR\.$/],
    [[at('locked-r6.pdf')], /^document_password_required: PDF requires a password for native OCR\.$/],
  ];
  for (const [args, message] of cases) {
    const result = scan(args, { env: { MARROWFEN_DOCUMENT_PASSWORD: '' } });
    assert.equal(result.stderr, '');
    assert.equal(result.status, 1);
    assert.equal(result.json.ok, false);
    assert.match(result.json.error, message);
  }
  const wrong = scan([at('locked-r6.pdf')], { env: { MARROWFEN_DOCUMENT_PASSWORD: 'nope' } });
  assert.equal(wrong.json.error, 'document_password_incorrect: Incorrect PDF password for native OCR.');
  const right = ok(scan(['--source', 'text-layer', at('locked-r6.pdf')], {
    env: { MARROWFEN_DOCUMENT_PASSWORD: 'owner' },
  }));
  assert.equal(right.pages.length, 2);
  // A PDF under another extension is treated as an image.
  fs.copyFileSync(at('pages-10.pdf'), at('pages.bin'));
  assert.equal(scan([at('pages.bin')]).json.error, 'Could not open image for native OCR.');
});

test('pages recognised on several processes answer byte for byte as one after another', () => {
  // Three pages on two and three workers; two pages beside text pages; a failure of every page.
  const cases = [
    [[at('mixed.pdf')], ['2', '3']],
    [['--source', 'auto', '--fast', at('mixed.pdf')], ['2']],
    [['--languages', 'xx-YY', at('mixed.pdf')], ['2']],
  ];
  for (const [args, workerCounts] of cases) {
    const sequential = scan(args, { env: { MARROWFEN_OCR_WORKERS: '1' } });
    for (const workers of workerCounts) {
      const parallel = scan(args, { env: { MARROWFEN_OCR_WORKERS: workers } });
      assert.equal(parallel.status, sequential.status, `${args} with ${workers} workers`);
      assert.equal(parallel.stderr, '');
      assert.equal(parallel.stdout, sequential.stdout, `${args} with ${workers} workers`);
    }
  }
});
