// Shared helpers for the host tests: they act as the desktop host, spawning the built programs.
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const buildDir = process.env.MARROWFEN_BUILD_DIR ?? path.join(repoRoot, 'build', 'release');
export const scanBinary = path.join(buildDir, 'scan', 'marrowfen-scan');
export const entitiesBinary = path.join(buildDir, 'entities', 'marrowfen-entities');

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
