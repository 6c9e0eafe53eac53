// sealkeep against a real Secret Service: a throw-away gnome-keyring on a private session bus,
// started by scripts/with-keyring (scripts/test runs every host test inside it). Outside it the
// tests that need the keyring are skipped, so that nobody's own keyring is ever written to.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { randomBytes } from 'node:crypto';
import path from 'node:path';
import { installed } from './helpers.mjs';

const addonPath = installed.sealkeep;
const sealkeep = createRequire(import.meta.url)(addonPath);
const keyring = process.env.MARROWFEN_KEYRING === '1' ? false : 'needs the private keyring of scripts/with-keyring';

// Each test works on its own accounts, so a failure cannot leak into the next one.
let serial = 0;
const account = (name) => `test-${process.pid}-${++serial}-${name}`;

// The number a load rejects with, or the Buffer it resolves with.
async function load(...args) {
  try {
    return await sealkeep.loadSecret(...args);
  } catch (reason) {
    return reason;
  }
}

test('exports exactly the four functions under their own names', () => {
  assert.deepEqual(Object.keys(sealkeep).sort(), ['available', 'deleteSecret', 'loadSecret', 'storeSecret']);
  for (const [name, fn] of Object.entries(sealkeep)) assert.equal(fn.name, name);
});

test('bad arguments give 3 without a keyring query', async () => {
  const buffer = Buffer.from([1]);
  const stores = [[], ['a'], [5, buffer], [null, buffer], ['a', 'text'], ['a', [1, 2]], ['a', {}], ['a', Buffer.alloc(0)]];
  for (const args of stores) assert.equal(sealkeep.storeSecret(...args), 3, JSON.stringify(args));
  for (const args of [[], [5], [null], [{}], [Buffer.from('a')]]) {
    assert.equal(sealkeep.deleteSecret(...args), 3, JSON.stringify(args));
    const rejection = await load(...args);
    assert.equal(rejection, 3, `loadSecret(${JSON.stringify(args)})`);
  }
});

test('without a session bus nothing is available and everything gives 3', () => {
  const script = `
    const s = require(${JSON.stringify(addonPath)});
    s.loadSecret('a').then(() => 'resolved', (r) => r).then((load) => {
      console.log(JSON.stringify({ available: s.available(), store: s.storeSecret('a', Buffer.from([1])),
                                   remove: s.deleteSecret('a'), load }));
    });`;
  const env = { ...process.env, DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent/marrowfen/bus' };
  delete env.DISPLAY;
  const child = spawnSync(process.execPath, ['-e', script], { env, timeout: 60000 });
  assert.equal(child.status, 0, child.stderr.toString());
  assert.deepEqual(JSON.parse(child.stdout.toString()), { available: false, store: 3, remove: 3, load: 3 });
});

test('available is true inside the keyring session and ignores arguments', { skip: keyring }, () => {
  assert.equal(sealkeep.available(), true);
  assert.equal(sealkeep.available('x', 1), true);
});

test('secrets round-trip byte for byte', { skip: keyring }, async () => {
  const secrets = [Buffer.from([0x00, 0xff, 0x0a]), Buffer.from([0x00]), Buffer.from('\n\r\0ä€'), randomBytes(64 * 1024)];
  for (const secret of secrets) {
    const name = account('bytes');
    const before = Buffer.from(secret);
    assert.equal(sealkeep.storeSecret(name, secret), 0);
    assert.deepEqual(secret, before, 'storeSecret leaves the caller\'s Buffer alone');
    const loaded = await load(name, 'reading it back');
    assert.ok(Buffer.isBuffer(loaded), `resolved with ${loaded}`);
    assert.ok(loaded.equals(secret), `${secret.length} bytes`);
    loaded.fill(0x55);
    assert.ok((await load(name)).equals(secret), 'each load gives a fresh Buffer');
    assert.equal(sealkeep.deleteSecret(name), 0);
  }
});

test('a second store replaces the first', { skip: keyring }, async () => {
  const name = account('replace');
  assert.equal(sealkeep.storeSecret(name, Buffer.from('first, and longer')), 0);
  assert.equal(sealkeep.storeSecret(name, Buffer.from('second')), 0);
  assert.equal((await load(name)).toString(), 'second');
  assert.equal(sealkeep.deleteSecret(name), 0);
});

test('delete then load rejects with 1; deleting nothing is fine', { skip: keyring }, async () => {
  const name = account('delete');
  assert.equal(sealkeep.storeSecret(name, Buffer.from('x')), 0);
  assert.equal(sealkeep.deleteSecret(name), 0);
  assert.equal(await load(name), 1);
  assert.equal(sealkeep.deleteSecret(name), 0);
  assert.equal(await load(account('never-stored')), 1);
});

test('accounts name separate items', { skip: keyring }, async () => {
  const names = ['', 'ä€😀', account('a'), account('A'), account('\uFFFD')];
  names.forEach((name, i) => assert.equal(sealkeep.storeSecret(name, Buffer.from(`secret ${i}`)), 0));
  for (const [i, name] of names.entries()) assert.equal((await load(name)).toString(), `secret ${i}`);
  for (const name of names) assert.equal(sealkeep.deleteSecret(name), 0);
});

test('a name with a NUL or a lone surrogate reaches no other account\'s item', { skip: keyring }, async () => {
  const base = account('victim');
  assert.equal(sealkeep.storeSecret(base, Buffer.from('kept')), 0);
  for (const name of [`${base}\0evil`, `${base}\0`, `\0${base}`, `${base}\uD800`, `${base}\uDC00x`, `${base}\uDBFF`]) {
    assert.equal(sealkeep.storeSecret(name, Buffer.from('overwritten')), 3, JSON.stringify(name));
    assert.equal(sealkeep.deleteSecret(name), 3, JSON.stringify(name));
    assert.equal(await load(name), 3, JSON.stringify(name));
  }
  assert.equal((await load(base)).toString(), 'kept');
  assert.equal(sealkeep.deleteSecret(base), 0);
});

test('a secret over 64 KiB is refused with 3 and leaves the old one', { skip: keyring }, async () => {
  const name = account('large');
  assert.equal(sealkeep.storeSecret(name, Buffer.from('small')), 0);
  assert.equal(sealkeep.storeSecret(name, Buffer.alloc(64 * 1024 + 1, 7)), 3);
  assert.equal(sealkeep.storeSecret(name, Buffer.alloc(16 * 1024 * 1024, 7)), 3);
  assert.equal((await load(name)).toString(), 'small');
  assert.equal(sealkeep.storeSecret(name, Buffer.alloc(64 * 1024, 7)), 0, 'exactly 64 KiB is fine');
  assert.equal((await load(name)).length, 64 * 1024);
  assert.equal(sealkeep.deleteSecret(name), 0);
});

test('bad secrets touch no item', { skip: keyring }, async () => {
  const name = account('untouched');
  assert.equal(sealkeep.storeSecret(name, Buffer.from('kept')), 0);
  assert.equal(sealkeep.storeSecret(name, Buffer.alloc(0)), 3);
  assert.equal(sealkeep.storeSecret(name, 'not a buffer'), 3);
  assert.equal((await load(name)).toString(), 'kept');
  assert.equal(sealkeep.deleteSecret(name), 0);
});

test('loads in flight together each get their own secret', { skip: keyring }, async () => {
  const names = Array.from({ length: 8 }, (_, i) => account(`parallel-${i}`));
  names.forEach((name, i) => assert.equal(sealkeep.storeSecret(name, Buffer.from([i, 0, 255 - i])), 0));
  const loaded = await Promise.all(names.map((name) => load(name)));
  loaded.forEach((buffer, i) => assert.deepEqual([...buffer], [i, 0, 255 - i]));
  assert.equal(await load(account('missing')), 1);
  for (const name of names) assert.equal(sealkeep.deleteSecret(name), 0);
});

// Locks the default collection through the Secret Service's Lock method. The keyring then needs
// its unlock prompt, which cannot be shown without a display, so unlocking fails. This test stays
// last in the file: the collection remains locked afterwards.
test('a collection that stays locked rejects with 2 and refuses stores with 2', { skip: keyring }, async () => {
  const name = account('locked');
  assert.equal(sealkeep.storeSecret(name, Buffer.from('behind the lock')), 0);
  const bus = ['--session', '--dest', 'org.freedesktop.secrets', '--object-path', '/org/freedesktop/secrets'];
  const collection = execFileSync('gdbus', ['call', ...bus, '--method', 'org.freedesktop.Secret.Service.ReadAlias', 'default'])
    .toString().match(/'([^']+)'/)[1];
  execFileSync('gdbus', ['call', ...bus, '--method', 'org.freedesktop.Secret.Service.Lock', `['${collection}']`]);

  assert.equal(await load(name, 'unlock to read'), 2);
  assert.equal(await load(name), 2);
  assert.equal(sealkeep.deleteSecret(name), 3, 'a locked item is not reported as deleted');
  assert.equal(sealkeep.storeSecret(account('locked-store'), Buffer.from('x')), 2,
    'a store into the locked collection answers 2, as a load does');
  assert.equal(await load(account('absent')), 1, 'no item is still 1 while locked');
});
