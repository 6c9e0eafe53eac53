// The Node package as a host uses it: installed from its tarball (see helpers.mjs), loaded through
// its ES module and CommonJS entries, running the programs of its prebuilt folder.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { hostDir, installed, marrowfen, repoRoot } from './helpers.mjs';
import { makeFixtures } from './scan_fixtures.mjs';

const fixtures = makeFixtures();
const fixture = (name) => path.join(fixtures, name);
const { MarrowfenError, extractEntities, renderPages, scanDocument } = marrowfen;

// Runs the installed marrowfen-scan with a pipe on descriptor 3 and the given environment;
// returns stdout, stderr, status and what arrived on descriptor 3.
function scanWithDescriptor(args, env) {
  return new Promise((resolve, reject) => {
    const child = spawn(installed.scan, args, {
      env: { ...process.env, ...env },
      stdio: ['ignore', 'pipe', 'pipe', 'pipe'],
    });
    const out = [], err = [], fd3 = [];
    child.stdout.on('data', (c) => out.push(c));
    child.stderr.on('data', (c) => err.push(c));
    child.stdio[3].on('data', (c) => fd3.push(c));
    child.on('error', reject);
    child.on('close', (status) =>
      resolve({
        status,
        stdout: Buffer.concat(out).toString(),
        stderr: Buffer.concat(err).toString(),
        progress: Buffer.concat(fd3).toString(),
      }),
    );
  });
}

const progressLines = (text) => text.split('\n').filter(Boolean).map((line) => JSON.parse(line));

test('the package is the same from import and require, with the build\'s version', async () => {
  const esm = await import(path.join(hostDir, 'node_modules', 'marrowfen-native', 'marrowfen.mjs'));
  assert.equal(esm.scanDocument, marrowfen.scanDocument);
  assert.equal(esm.default, marrowfen);
  // Resolution through the package's exports, from a project of each kind.
  const forms = [
    ['--input-type=module', "import { version, sealkeep } from 'marrowfen-native'; console.log(version, typeof sealkeep);"],
    ['--input-type=commonjs', "const { version, sealkeep } = require('marrowfen-native'); console.log(version, typeof sealkeep);"],
  ];
  const cmake = fs.readFileSync(path.join(repoRoot, 'CMakeLists.txt'), 'utf8');
  const cmakeVersion = /project\(marrowfen_native VERSION (\S+)/.exec(cmake)[1];
  const pkg = JSON.parse(fs.readFileSync(path.join(repoRoot, 'node', 'package.json'), 'utf8'));
  assert.equal(pkg.version, cmakeVersion, 'node/package.json and CMakeLists.txt disagree');
  for (const [kind, code] of forms) {
    const result = spawnSync(process.execPath, [kind, '-e', code], { cwd: hostDir, encoding: 'utf8' });
    assert.equal(result.stderr, '');
    assert.equal(result.stdout, `${cmakeVersion} function\n`, kind);
  }
  assert.equal(marrowfen.version, cmakeVersion);
  assert.ok(installed.scan.startsWith(path.join(hostDir, 'node_modules', 'marrowfen-native', 'prebuilds')));
});

test('scanDocument resolves to the OcrOutput; failures reject with the program\'s text and a code', async () => {
  const output = await scanDocument(fixture('sample-letter.pdf'), { source: 'auto', pages: [1] });
  assert.equal(output.ok, true);
  assert.equal(output.sourceType, 'native_ocr_pdf');
  assert.deepEqual(output.pages.map((p) => [p.pageNumber, p.source, p.sourceReason]), [
    [1, 'text_layer', 'visible_text_layer'],
  ]);
  const box = output.pages[0].fragments[0].boundingBox;
  assert.deepEqual(Object.keys(box).sort(), ['height', 'width', 'x', 'y']);
  // Lower-left origin: the first line of a letter sits near the top, so its y is large.
  assert.ok(box.y > 0.5, `first line's y ${box.y}`);

  const cases = [
    [fixture('locked-r6.pdf'), {}, 'document_password_required'],
    [fixture('locked-r6.pdf'), { password: 'wrong' }, 'document_password_incorrect'],
    [fixture('missing.pdf'), {}, 'failed'],
    [fixture('sample-letter.pdf'), { source: 'OCR' }, 'failed'],
  ];
  for (const [file, options, code] of cases) {
    await assert.rejects(scanDocument(file, { source: 'text-layer', ...options }), (error) => {
      assert.ok(error instanceof MarrowfenError);
      assert.ok(error instanceof Error);
      assert.equal(error.code, code, `${file} ${JSON.stringify(options)}: ${error.message}`);
      assert.equal(error.message, error.programError);
      return true;
    });
  }
  const unlocked = await scanDocument(fixture('locked-r6.pdf'), { source: 'text-layer', password: 'secret' });
  assert.equal(unlocked.ok, true);
});

test('options become arguments; the password goes only into the environment', async () => {
  // A stand-in tree whose marrowfen-scan records its arguments and environment.
  const fake = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-fake-'));
  const record = path.join(fake, 'record.json');
  fs.mkdirSync(path.join(fake, 'bin'));
  fs.writeFileSync(path.join(fake, 'bin', 'marrowfen-scan'), `#!${process.execPath}
require('fs').writeFileSync(${JSON.stringify(record)}, JSON.stringify({
  args: process.argv.slice(2),
  password: process.env.MARROWFEN_DOCUMENT_PASSWORD ?? null,
  progress: process.env.MARROWFEN_PROGRESS_FD ?? null,
}));
console.log(JSON.stringify({ ok: true, pageCount: 1, pages: [], warnings: [] }));
`, { mode: 0o755 });
  const original = marrowfen.nativeFiles().directory;
  const saved = process.env.MARROWFEN_DOCUMENT_PASSWORD;
  process.env.MARROWFEN_DOCUMENT_PASSWORD = 'from-the-host-environment';
  marrowfen.setNativeDirectory(fake);
  try {
    const cases = [
      [() => scanDocument('--odd.pdf', { password: 's3cret', source: 'auto', pages: [1, [3, 5]], languages: ['de-DE', 'en-US'], fast: true, languageCorrection: false, scale: 1.5, minLongEdge: 1200 }),
        { args: ['--source', 'auto', '--pages', '1,3-5', '--languages', 'de-DE,en-US', '--fast', '--no-language-correction', '--scale', '1.5', '--min-long-edge', '1200', './--odd.pdf'], password: 's3cret', progress: null }],
      [() => scanDocument('a.png', { onProgress() {} }), { args: ['a.png'], password: null, progress: '3' }],
      [() => renderPages('a.pdf', 'out', { maxPages: 5, firstLast: { first: 2, last: 1 }, password: '' }),
        { args: ['--render-pages', 'a.pdf', 'out', '5', 'first-last:2:1'], password: '', progress: null }],
      [() => renderPages('a.pdf', '-out', { scale: 3 }), { args: ['--scale', '3', '--render-pages', 'a.pdf', './-out'], password: null, progress: null }],
    ];
    for (const [call, expected] of cases) {
      await call();
      assert.deepEqual(JSON.parse(fs.readFileSync(record, 'utf8')), expected);
    }
    // A program that ends without an answer, a missing program, a missing addon.
    fs.writeFileSync(path.join(fake, 'bin', 'marrowfen-entities'), '#!/bin/sh\necho partial; exit 3\n', { mode: 0o755 });
    await assert.rejects(extractEntities('Anna'), { name: 'MarrowfenError', code: 'crashed', exitCode: 3 });
    marrowfen.setNativeDirectory(path.join(fake, 'nothing-here'));
    await assert.rejects(scanDocument('a.pdf'), { code: 'not_installed' });
    fs.chmodSync(path.join(fake, 'bin', 'marrowfen-entities'), 0o644);
    marrowfen.setNativeDirectory(fake);
    await assert.rejects(extractEntities('Anna'), { code: 'spawn_failed' });
    assert.throws(() => marrowfen.peerident(), { code: 'not_installed' });
  } finally {
    marrowfen.setNativeDirectory(original);
    process.env.MARROWFEN_DOCUMENT_PASSWORD = saved;
    if (saved === undefined) delete process.env.MARROWFEN_DOCUMENT_PASSWORD;
  }
  await assert.rejects(renderPages('a.pdf', 'out', { maxPages: -1 }), TypeError);
});

test('renderPages and extractEntities resolve to their answers', async () => {
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-pkg-render-'));
  const events = [];
  const rendered = await renderPages(fixture('pages-10.pdf'), out, {
    maxPages: 4,
    firstLast: { first: 2, last: 2 },
    onProgress: (p) => events.push(p),
  });
  assert.equal(rendered.pageCount, 10);
  assert.deepEqual(rendered.pages.map((p) => p.pageNumber), [1, 2, 9, 10]);
  assert.deepEqual(rendered.pages.map((p) => p.path), [1, 2, 9, 10].map((n) => path.join(out, `page-${String(n).padStart(4, '0')}.png`)));
  assert.deepEqual(events, [1, 2, 9, 10].map((n, i) => ({ pageNumber: n, pagesDone: i + 1, pagesSelected: 4 })));

  const entities = await extractEntities('Anna Schmidt moved to Berlin on 3 March 2021. Call +49 30 1234567.');
  assert.equal(entities.ok, true);
  assert.ok(entities.entities.some((c) => c.type === 'date'));
  const phone = entities.entities.find((c) => c.label === 'phone');
  assert.equal(phone?.suggestedRole, 'reference_number');
  await assert.rejects(extractEntities(' \n\t '), { name: 'MarrowfenError', code: 'empty_or_invalid_input' });
  await assert.rejects(extractEntities(42), TypeError);
});

test('progress: one line per page in page order, and stdout unchanged', async () => {
  const args = ['--source', 'text-layer', '--pages', '2-40,45', fixture('text-50.pdf')];
  const plain = await scanWithDescriptor(args, {});
  const watched = await scanWithDescriptor(args, { MARROWFEN_PROGRESS_FD: '3' });
  assert.equal(watched.status, 0);
  assert.equal(watched.stdout, plain.stdout);
  assert.equal(watched.stderr, '');
  const pages = [...Array(39).keys()].map((i) => i + 2).concat([45]);
  assert.deepEqual(
    progressLines(watched.progress),
    pages.map((n, i) => ({ pageNumber: n, pagesDone: i + 1, pagesSelected: 40 })),
  );
  // Through the package.
  const events = [];
  const output = await scanDocument(fixture('text-50.pdf'), { source: 'text-layer', pages: '48-60', onProgress: (p) => events.push(p) });
  assert.equal(JSON.stringify(output) + '\n', (await scanWithDescriptor(['--source', 'text-layer', '--pages', '48-60', fixture('text-50.pdf')], {})).stdout);
  assert.deepEqual(events.map((e) => e.pageNumber), [48, 49, 50]);
  // An image is one page, in both modes.
  const imageEvents = [];
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-pkg-image-'));
  await renderPages(fixture('transparent.png'), out, { onProgress: (p) => imageEvents.push(p) });
  assert.deepEqual(imageEvents, [{ pageNumber: 1, pagesDone: 1, pagesSelected: 1 }]);
});

test('progress: a bad, unwritable or closed descriptor is ignored', async () => {
  const args = ['--source', 'text-layer', fixture('sample-letter.pdf')];
  const plain = await scanWithDescriptor(args, {});
  for (const value of ['1', '2', '0', '-3', '99', 'x', '', '3 ', '4']) {
    const result = await scanWithDescriptor(args, { MARROWFEN_PROGRESS_FD: value });
    assert.equal(result.status, 0, value);
    assert.equal(result.stdout, plain.stdout, value);
    assert.equal(result.stderr, '', value);
    assert.equal(result.progress, '', value);
  }
  // A reader that closed its end before the run writes: no SIGPIPE, same answer.
  const closed = spawnSync('bash', ['-c', 'exec "$0" "$@" 3> >(true)', installed.scan, ...args], {
    env: { ...process.env, MARROWFEN_PROGRESS_FD: '3' },
    encoding: 'utf8',
  });
  assert.equal(closed.status, 0);
  assert.equal(closed.stdout, plain.stdout);
});

// The programs started from here inherit this mark in their environment, and so do the helper
// processes they fork; other test files' processes do not carry it.
const mark = `MARROWFEN_TEST_MARK=${process.pid}-${Date.now()}`;
process.env.MARROWFEN_TEST_MARK = mark.split('=')[1];

// The pids of processes running the installed marrowfen-scan that were started from here.
function scanProcesses() {
  const pids = [];
  for (const pid of fs.readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
    try {
      if (fs.readlinkSync(`/proc/${pid}/exe`) !== installed.scan) continue;
      if (fs.readFileSync(`/proc/${pid}/environ`, 'latin1').split('\0').includes(mark)) pids.push(pid);
    } catch {}
  }
  return pids;
}

async function waitForNoScanProcess() {
  for (let i = 0; i < 100 && scanProcesses().length > 0; ++i) await new Promise((r) => setTimeout(r, 50));
  return scanProcesses();
}

test('aborting or timing out a scan kills it and leaves no process behind', async () => {
  // A long text-layer run forks a helper process; recognition is long too.
  const controller = new AbortController();
  let running = 0;
  let calls = 0;
  const started = scanDocument(fixture('text-50.pdf'), {
    source: 'text-layer',
    signal: controller.signal,
    onProgress: () => {
      ++calls;
      running = scanProcesses().length; // the program and the helper it forked
      controller.abort(new Error('enough'));
    },
  });
  await assert.rejects(started, (error) => {
    assert.equal(error.code, 'aborted');
    assert.equal(error.cause.message, 'enough');
    return true;
  });
  assert.ok(running >= 1, 'the running program was not seen');
  assert.equal(calls, 1, 'progress was reported after the abort');
  assert.deepEqual(await waitForNoScanProcess(), []);

  await assert.rejects(scanDocument(fixture('document-20.pdf'), { timeoutMs: 300 }), { code: 'timeout' });
  assert.deepEqual(await waitForNoScanProcess(), []);

  await assert.rejects(scanDocument(fixture('sample-letter.pdf'), { signal: AbortSignal.abort() }), { code: 'aborted' });
  await assert.rejects(scanDocument(fixture('sample-letter.pdf'), { timeoutMs: -1 }), TypeError);

  // A progress handler that throws ends the run with that error.
  const failing = scanDocument(fixture('text-50.pdf'), { source: 'text-layer', onProgress: () => { throw new RangeError('host bug'); } });
  await assert.rejects(failing, (error) => error.code === 'progress_handler_failed' && error.cause instanceof RangeError);
  assert.deepEqual(await waitForNoScanProcess(), []);
});
