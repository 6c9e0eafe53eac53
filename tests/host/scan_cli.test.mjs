import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { scan } from './helpers.mjs';

const usage =
  'Usage: marrowfen-scan <file-path> OR marrowfen-scan --render-pages <file-path> <output-dir>';

function assertFailure(result, message) {
  assert.equal(result.stderr, '');
  assert.equal(result.status, 1);
  assert.deepEqual(result.json, { ok: false, error: message });
}

test('no arguments gives the usage failure, exactly', () => {
  const result = scan([]);
  assert.equal(result.stdout, JSON.stringify({ ok: false, error: usage }) + '\n');
  assertFailure(result, usage);
});

test('option errors answer with their messages before the input is looked at', () => {
  const existing = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-cli-'));
  const cases = [
    [['--fast'], usage],
    [['--bogus', existing], 'Unknown option: --bogus'],
    [[existing, '--scale'], '--scale needs a value.'],
    [['--scale', '--fast', existing], '--scale must be between 0 and 8.'],
    [['--min-long-edge', '10001', existing], '--min-long-edge must be between 0 and 10000.'],
    [['--source', 'OCR', existing], '--source must be ocr, auto or text-layer.'],
    [['--pages', '0-2', existing], '--pages must look like 1-3,5.'],
    [['--pages'], '--pages needs a value.'],
  ];
  for (const [args, message] of cases) assertFailure(scan(args), message);
});

test('a missing input is reported with the path as typed, in both modes', () => {
  assertFailure(scan(['no/such file.png']), 'Input file does not exist: no/such file.png');
  assertFailure(scan(['--', 'x.png']), 'Input file does not exist: --');
  const out = path.join(os.tmpdir(), `mf-out-${process.pid}`);
  assertFailure(
    scan(['--render-pages', './missing.pdf', out]),
    'Input file does not exist: ./missing.pdf',
  );
  assertFailure(scan(['--render-pages', 'x.pdf']), 'Input file does not exist: --render-pages');
});
