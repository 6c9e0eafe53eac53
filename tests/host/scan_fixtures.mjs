// Writes marrowfen-scan's fixture files (PDFs and images made by the scan_fixtures program) into a
// fresh temporary directory, once per test file.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { buildDir } from './helpers.mjs';

export function makeFixtures() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'mf-scan-'));
  execFileSync(path.join(buildDir, 'scan', 'scan_fixtures'), [dir]);
  return dir;
}

// Width, height and colour type of a PNG file, from its IHDR chunk.
export function pngHeader(file) {
  const bytes = fs.readFileSync(file);
  assertPng(bytes);
  return { width: bytes.readUInt32BE(16), height: bytes.readUInt32BE(20), colourType: bytes[25] };
}

function assertPng(bytes) {
  const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  if (!bytes.subarray(0, 8).equals(signature)) throw new Error('not a PNG file');
}
