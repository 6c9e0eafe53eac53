// Shared helpers for the host tests: they act as the desktop host, using the Node package as a
// host installs it (packed, then installed from the tarball into MARROWFEN_TEST_HOST by
// scripts/pack-host, which scripts/test runs) and spawning the programs of its prebuilt folder.
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
// Only test tools (the fixture writer) and the install test come from the build tree.
export const buildDir = process.env.MARROWFEN_BUILD_DIR ?? path.join(repoRoot, 'build', 'release');

export const hostDir = process.env.MARROWFEN_TEST_HOST;
if (!hostDir) {
  throw new Error(
    'MARROWFEN_TEST_HOST is not set: run scripts/test, or scripts/pack-host DIR and set it to DIR',
  );
}
// The package, loaded as the host project would load it.
export const requireFromHost = createRequire(path.join(hostDir, 'package.json'));
export const marrowfen = requireFromHost('marrowfen-native');
export const installed = marrowfen.nativeFiles();
export const scanBinary = installed.scan;
export const entitiesBinary = installed.entities;

// Runs a program the way the host does and returns its status, parsed JSON and raw streams.
// Standard output must be exactly one JSON document followed by one line feed.
export function run(binary, args = [], { env = {}, input, cwd } = {}) {
  const result = spawnSync(binary, args, {
    env: { ...process.env, ...env },
    input,
    cwd,
    maxBuffer: 256 * 1024 * 1024,
  });
  if (result.error) throw result.error;
  const stdout = result.stdout.toString('utf8');
  let json;
  if (stdout.endsWith('\n') && !stdout.slice(0, -1).includes('\n')) {
    json = JSON.parse(stdout.slice(0, -1));
  }
  return { status: result.status, stdout, stderr: result.stderr.toString('utf8'), json };
}

export function scan(args, options) {
  return run(scanBinary, args, options);
}
