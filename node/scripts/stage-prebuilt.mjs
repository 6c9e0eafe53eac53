// Run by `npm pack` (prepack): installs the native build into prebuilds/<platform>-<arch>/ and
// copies the licence files beside package.json, so the tarball holds the built files for this
// platform. The build is MARROWFEN_BUILD_DIR, or ../build/release; it must be built already.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const packageDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const repoRoot = path.resolve(packageDir, '..');
const buildDir = path.resolve(process.env.MARROWFEN_BUILD_DIR ?? path.join(repoRoot, 'build', 'release'));

function die(message) {
  console.error(`stage-prebuilt: ${message}`);
  process.exit(1);
}

const cache = path.join(buildDir, 'CMakeCache.txt');
if (!fs.existsSync(cache)) die(`no CMake build at ${buildDir}: run scripts/test or cmake --build --preset release first`);
const cmakeVersion = /^CMAKE_PROJECT_VERSION:STATIC=(.*)$/m.exec(fs.readFileSync(cache, 'utf8'))?.[1];
const { version } = JSON.parse(fs.readFileSync(path.join(packageDir, 'package.json'), 'utf8'));
if (cmakeVersion !== version) die(`package.json has version ${version}, the build ${cmakeVersion}`);

const target = path.join(packageDir, 'prebuilds', `${process.platform}-${process.arch}`);
fs.rmSync(target, { recursive: true, force: true });
execFileSync('cmake', ['--install', buildDir, '--prefix', target], { stdio: ['ignore', 'ignore', 'inherit'] });
for (const name of ['marrowfen-scan', 'marrowfen-entities', 'marrowfen-tesseract.so']) {
  if (!fs.existsSync(path.join(target, 'bin', name))) die(`the install has no bin/${name}`);
}
for (const name of ['LICENSE', 'NOTICE', 'CHANGELOG.md']) {
  fs.copyFileSync(path.join(repoRoot, name), path.join(packageDir, name));
}
