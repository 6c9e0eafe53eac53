// pressuregauge as the host uses it: a level word from the cache, kept by a thread that must not
// outlive the JavaScript environments that loaded the addon.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';
import { installed } from './helpers.mjs';

const addonPath = installed.pressuregauge;
const pressuregauge = createRequire(import.meta.url)(addonPath);
const levels = ['normal', 'warning', 'critical'];

function runNode(script) {
  const child = spawnSync(process.execPath, ['-e', script], { timeout: 30000 });
  assert.equal(child.signal, null, `the process did not exit on its own: ${child.stderr}`);
  assert.equal(child.status, 0, child.stderr.toString());
  return child.stdout.toString().trim();
}

test('exports currentLevel only', () => {
  assert.deepEqual(Object.keys(pressuregauge), ['currentLevel']);
  assert.equal(pressuregauge.currentLevel.name, 'currentLevel');
});

test('the first reading is taken when the addon loads', () => {
  // Linux always has /proc/meminfo at least, so the level is known from the start.
  const level = runNode(`console.log(require(${JSON.stringify(addonPath)}).currentLevel())`);
  assert.ok(levels.includes(level), level);
});

test('currentLevel returns a level word and ignores arguments', () => {
  for (const args of [[], [1], ['critical', {}]]) {
    const level = pressuregauge.currentLevel(...args);
    assert.equal(typeof level, 'string');
    assert.ok(levels.includes(level), level);
  }
});

test('a host that loads the addon still exits, from the main thread and from workers', () => {
  const script = `
    const { Worker } = require('worker_threads');
    const addon = ${JSON.stringify(addonPath)};
    const workers = Array.from({ length: 3 }, () =>
      new Worker('require(process.argv[2]).currentLevel()', { eval: true, argv: [addon] }));
    let exited = 0;
    for (const worker of workers) worker.on('exit', () => {
      // The main thread's addon keeps working after every worker environment is gone.
      if (++exited === workers.length) console.log(require(addon).currentLevel());
    });`;
  assert.ok(levels.includes(runNode(script)));
  // A worker that is terminated while the thread runs, then a main thread that simply ends.
  const terminated = `
    const { Worker } = require('worker_threads');
    const worker = new Worker('require(process.argv[2]); setInterval(() => {}, 1000)',
                              { eval: true, argv: [${JSON.stringify(addonPath)}] });
    worker.on('online', () => setTimeout(() => worker.terminate().then(() => console.log('done')), 200));`;
  assert.equal(runNode(terminated), 'done');
});
