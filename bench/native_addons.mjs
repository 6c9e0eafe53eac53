// Costs of the three addons as the host sees them. Run inside a throw-away keyring:
//   scripts/with-keyring node bench/native_addons.mjs
// Prints medians of several rounds: per-call times of currentLevel and peerUid, and the round trip
// of storeSecret / loadSecret / deleteSecret to gnome-keyring (16-byte and 64 KiB secrets).
import { createRequire } from 'node:module';
import { randomBytes } from 'node:crypto';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import fs from 'node:fs';
import { once } from 'node:events';

const buildDir = process.env.MARROWFEN_BUILD_DIR ?? path.join(path.dirname(new URL(import.meta.url).pathname), '..', 'build', 'release');
const load = createRequire(import.meta.url);
const sealkeep = load(path.join(buildDir, 'native', 'sealkeep.node'));
const pressuregauge = load(path.join(buildDir, 'native', 'pressuregauge.node'));
const peerident = load(path.join(buildDir, 'native', 'peerident.node'));

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const now = () => Number(process.hrtime.bigint()) / 1e6;  // milliseconds

function perCall(fn, calls = 200000, rounds = 7) {
  const times = [];
  for (let r = 0; r < rounds; r++) {
    const start = now();
    for (let i = 0; i < calls; i++) fn();
    times.push(((now() - start) * 1e6) / calls);  // nanoseconds per call
  }
  return median(times);
}

async function perOperation(fn, rounds = 25) {
  const times = [];
  for (let r = 0; r < rounds; r++) {
    const start = now();
    await fn();
    times.push(now() - start);
  }
  return median(times);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'bench-peer-'));
const server = net.createServer();
const accepted = once(server, 'connection');
server.listen(path.join(dir, 's'));
await once(server, 'listening');
const client = net.connect(path.join(dir, 's'));
await once(client, 'connect');
const [peer] = await accepted;

console.log(`currentLevel: ${perCall(() => pressuregauge.currentLevel()).toFixed(0)} ns/call`);
console.log(`peerUid:      ${perCall(() => peerident.peerUid(peer._handle.fd)).toFixed(0)} ns/call`);
if (sealkeep.available()) {
  for (const size of [16, 64 * 1024]) {
    const secret = randomBytes(size);
    const store = await perOperation(() => sealkeep.storeSecret('bench', secret));
    const read = await perOperation(() => sealkeep.loadSecret('bench'));
    const deletes = [];
    for (let r = 0; r < 25; r++) {
      sealkeep.storeSecret('bench-delete', secret);
      const start = now();
      sealkeep.deleteSecret('bench-delete');
      deletes.push(now() - start);
    }
    console.log(`${size} B secret: storeSecret ${store.toFixed(2)} ms, loadSecret ${read.toFixed(2)} ms, ` +
                `deleteSecret ${median(deletes).toFixed(2)} ms`);
  }
  sealkeep.deleteSecret('bench');
} else {
  console.log('sealkeep: no Secret Service here (run through scripts/with-keyring)');
}
client.destroy();
peer.destroy();
server.close();
fs.rmSync(dir, { recursive: true, force: true });
