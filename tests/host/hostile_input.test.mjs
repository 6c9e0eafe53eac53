// Inputs an attacker or an unlucky user might hand the programs: each gets one JSON line, status
// 0 or 1, and nothing on standard error.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { buildDir, entitiesBinary, scanBinary } from './helpers.mjs';

// The sanitizers reserve terabytes of address space, so an address-space limit cannot be tried
// on their build.
const sanitized = path.basename(buildDir) === 'debug' ? 'the sanitizer build cannot run under an address-space limit' : false;

function limited(megabytes, binary, args, input) {
  const result = spawnSync('prlimit', [`--as=${megabytes * 1024 * 1024}`, binary, ...args], {
    input,
    maxBuffer: 64 * 1024 * 1024,
  });
  if (result.error) throw result.error;
  return { status: result.status, signal: result.signal, stdout: result.stdout.toString(), stderr: result.stderr.toString() };
}

test('entities out of memory answers with the failure line and status 1', { skip: sanitized }, () => {
  // 40 MB of text that is cheap to read but does not fit in 160 MB with its copies.
  const input = Buffer.concat([Buffer.from('{"text":"'), Buffer.alloc(40 * 1024 * 1024, ' '), Buffer.from('Anna"}')]);
  const result = limited(160, entitiesBinary, [], input);
  assert.equal(result.signal, null, 'no crash');
  assert.equal(result.stderr, '');
  if (result.status === 0) {
    assert.equal(JSON.parse(result.stdout).ok, true);
  } else {
    assert.equal(result.status, 1);
    assert.equal(result.stdout, '{"ok":false,"error":"out_of_memory"}\n');
  }
});

test('an output directory whose name is not UTF-8 gives valid UTF-8 in the answer', () => {
  const base = fs.mkdtempSync(path.join(os.tmpdir(), 'hostile-'));
  try {
    const input = path.join(base, 'page.pgm');
    // A 100 x 80 grey picture with a dark block, as a binary PGM.
    const pixels = Buffer.alloc(100 * 80, 255);
    for (let y = 20; y < 40; y++) pixels.fill(0, y * 100 + 20, y * 100 + 60);
    fs.writeFileSync(input, Buffer.concat([Buffer.from('P5\n100 80\n255\n'), pixels]));
    // Latin-1 "é": a byte that is not UTF-8 on its own.
    const directory = Buffer.concat([Buffer.from(base + '/caf'), Buffer.from([0xe9]), Buffer.from('-out')]);
    // Arguments are strings to node (it would send U+FFFD as UTF-8): the shell makes the byte.
    const result = spawnSync('/bin/sh', ['-c', 'exec "$1" --render-pages "$2" "$3$(printf "\\351")-out"', 'sh',
      scanBinary, input, `${base}/caf`]);
    assert.equal(result.stderr.toString(), '');
    assert.equal(result.status, 0, result.stdout.toString());
    const bytes = result.stdout;
    const text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    const json = JSON.parse(text);
    assert.equal(json.pages.length, 1);
    assert.equal(json.pages[0].path, `${base}/caf\uFFFD-out/page-0001.png`);
    assert.ok(fs.existsSync(Buffer.concat([directory, Buffer.from('/page-0001.png')])));
  } finally {
    fs.rmSync(base, { recursive: true, force: true });
  }
});

test('a render run removes what a killed run left in its directory', () => {
  const base = fs.mkdtempSync(path.join(os.tmpdir(), 'hostile-'));
  try {
    const input = path.join(base, 'page.pgm');
    fs.writeFileSync(input, Buffer.concat([Buffer.from('P5\n8 8\n255\n'), Buffer.alloc(64, 128)]));
    const out = path.join(base, 'out');
    fs.mkdirSync(out);
    const old = new Date(Date.now() - 3600 * 1000);
    for (const name of ['.page-0001.png.Ab12Cd', '.page-0002.png.999999999.0', 'notes.txt']) {
      fs.writeFileSync(path.join(out, name), 'x');
      fs.utimesSync(path.join(out, name), old, old);
    }
    const result = spawnSync(scanBinary, ['--render-pages', input, out]);
    assert.equal(result.status, 0, result.stdout.toString());
    assert.deepEqual(fs.readdirSync(out).sort(), ['notes.txt', 'page-0001.png']);
  } finally {
    fs.rmSync(base, { recursive: true, force: true });
  }
});

// Little-endian helpers for the generated headers.
const u16 = (v) => Buffer.from([v & 0xff, (v >> 8) & 0xff]);
const u32 = (v) => Buffer.from([v & 0xff, (v >>> 8) & 0xff, (v >>> 16) & 0xff, (v >>> 24) & 0xff]);

// A GIF whose logical screen is w x h around one 1 x 1 red frame at (left, top).
function gif(w, h, left, top) {
  return Buffer.concat([Buffer.from('GIF89a'), u16(w), u16(h), Buffer.from([0x80, 0, 0, 0, 0, 0, 255, 0, 0]),
    Buffer.from(','), u16(left), u16(top), u16(1), u16(1), Buffer.from([0, 2, 2, 0x4c, 1, 0, 0x3b])]);
}

// A 24-bit BMP header declaring w x h over no pixels.
function bmp(w, h) {
  return Buffer.concat([Buffer.from('BM'), u32(54), u32(0), u32(54), u32(40), u32(w), u32(h), u16(1), u16(24),
    Buffer.alloc(24), Buffer.alloc(48)]);
}

test('pictures that lie about their size answer at once with one JSON line', () => {
  const base = fs.mkdtempSync(path.join(os.tmpdir(), 'hostile-'));
  try {
    const cases = [
      { name: 'screen.gif', bytes: gif(65535, 4096, 30000, 2000), ocr: 0, render: 0 },
      { name: 'huge.bmp', bytes: bmp(16000, 16000), ocr: 1, render: 1 },
    ];
    for (const c of cases) {
      const input = path.join(base, c.name);
      fs.writeFileSync(input, c.bytes);
      for (const [args, status, message] of [
        [[input], c.ocr, 'Could not open image for native OCR.'],
        [['--render-pages', input, path.join(base, 'out')], c.render, 'Could not open image for page rendering.'],
      ]) {
        const result = spawnSync(scanBinary, args);
        assert.equal(result.stderr.toString(), '', c.name);
        assert.equal(result.status, status, `${c.name}: ${result.stdout}`);
        const lines = result.stdout.toString().split('\n');
        assert.equal(lines.length, 2, c.name);
        const json = JSON.parse(lines[0]);
        if (status === 1) assert.deepEqual(json, { ok: false, error: message });
        else assert.equal(json.ok, true);
      }
    }
  } finally {
    fs.rmSync(base, { recursive: true, force: true });
  }
});
