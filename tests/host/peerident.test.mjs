// peerident as the host uses it: the uid behind a connected Unix-domain socket, -1 for anything else.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { once } from 'node:events';
import { installed } from './helpers.mjs';

const peerident = createRequire(import.meta.url)(installed.peerident);

function scratchDir() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'peerident-'));
  fs.chmodSync(dir, 0o755);
  return dir;
}

// A listening Unix-socket server; resolves with it and the next accepted connection's promise.
async function unixServer(socketPath) {
  const server = net.createServer();
  const accepted = once(server, 'connection').then(([socket]) => socket);
  server.listen(socketPath);
  await once(server, 'listening');
  return { server, accepted };
}

test('exports peerUid only', () => {
  assert.deepEqual(Object.keys(peerident), ['peerUid']);
  assert.equal(peerident.peerUid.name, 'peerUid');
});

test('both ends of a Unix-socket connection see this process', async () => {
  const dir = scratchDir();
  const socketPath = path.join(dir, 'peer.sock');
  const { server, accepted } = await unixServer(socketPath);
  const client = net.connect(socketPath);
  await once(client, 'connect');
  const serverSide = await accepted;
  try {
    assert.equal(peerident.peerUid(serverSide._handle.fd), process.getuid());
    assert.equal(peerident.peerUid(client._handle.fd), process.getuid());
  } finally {
    client.destroy();
    serverSide.destroy();
    server.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

// Only root can start a peer under another uid; 4294967294 must come back unsigned.
test('a peer uid above 2^31 stays positive', { skip: process.getuid() !== 0 && 'needs root' }, async () => {
  const dir = scratchDir();
  const socketPath = path.join(dir, 'peer.sock');
  const { server, accepted } = await unixServer(socketPath);
  fs.chmodSync(socketPath, 0o777);
  const script = `const c = require('net').connect(${JSON.stringify(socketPath)}); c.on('data', () => c.end());`;
  // -2 is (uid_t)4294967294: the spawn option takes a signed 32-bit number.
  const child = spawn(process.execPath, ['-e', script], { uid: -2, gid: -2, stdio: 'ignore' });
  const serverSide = await accepted;
  try {
    assert.equal(peerident.peerUid(serverSide._handle.fd), 4294967294);
  } finally {
    serverSide.end('bye');
    await once(child, 'exit');
    server.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('TCP sockets, files, closed and invalid descriptors give -1', async () => {
  const server = net.createServer();
  const accepted = once(server, 'connection').then(([socket]) => socket);
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  const client = net.connect(server.address().port, '127.0.0.1');
  await once(client, 'connect');
  const serverSide = await accepted;
  const file = fs.openSync(fs.realpathSync(process.execPath), 'r');
  const closed = fs.openSync(fs.realpathSync(process.execPath), 'r');
  fs.closeSync(closed);
  try {
    assert.equal(peerident.peerUid(client._handle.fd), -1, 'TCP client');
    assert.equal(peerident.peerUid(serverSide._handle.fd), -1, 'TCP server side');
    assert.equal(peerident.peerUid(file), -1, 'regular file');
    assert.equal(peerident.peerUid(closed), -1, 'closed descriptor');
  } finally {
    fs.closeSync(file);
    client.destroy();
    serverSide.destroy();
    server.close();
  }
});

test('arguments that are not a descriptor give -1', () => {
  const cases = [[], ['3'], [-5], [-1], [null], [undefined], [{}], [[4]], [2 ** 31 + 5], [NaN], [Infinity], [-Infinity]];
  for (const args of cases) assert.equal(peerident.peerUid(...args), -1, JSON.stringify(args));
});

test('a number that only wraps or rounds to a live socket gives -1', async () => {
  const [a, b] = await socketPair();
  try {
    const fd = a._handle.fd;
    assert.equal(peerident.peerUid(fd), process.getuid(), 'the descriptor itself');
    assert.equal(peerident.peerUid(fd + 0), process.getuid());
    for (const number of [2 ** 32 + fd, fd + 0.9, fd + 0.5, fd - 2 ** 32, 2 ** 53 + fd, fd + 1e-9]) {
      assert.equal(peerident.peerUid(number), -1, String(number));
    }
  } finally {
    a.destroy();
    b.destroy();
  }
});

// A connected pair of Unix-domain sockets of this process.
async function socketPair() {
  const dir = scratchDir();
  const socketPath = path.join(dir, 'pair.sock');
  const { server, accepted } = await unixServer(socketPath);
  const client = net.connect(socketPath);
  await once(client, 'connect');
  const serverSide = await accepted;
  server.close();
  fs.rmSync(dir, { recursive: true, force: true });
  return [client, serverSide];
}
