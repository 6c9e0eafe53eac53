// An example host in TypeScript (ES module) that uses every typed call of the package. The host
// tests compile it with `tsc --strict` against the installed package and run it:
//   node host.mjs <pdf with a text layer> <image> <output directory>
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import fs from 'node:fs';
import {
  MarrowfenError,
  extractEntities,
  nativeFiles,
  peerident,
  pressuregauge,
  renderPages,
  scanDocument,
  sealkeep,
  version,
  type BoundingBox,
  type Candidate,
  type HelperOutput,
  type OcrFragment,
  type OcrOutput,
  type OcrPage,
  type PressureLevel,
  type RenderOutput,
  type RenderedPage,
  type ScanProgress,
} from 'marrowfen-native';

const [pdf, image, outDir] = process.argv.slice(2);
if (!pdf || !image || !outDir) throw new Error('usage: host.mjs <pdf> <image> <outDir>');

// A box in top-left pixel coordinates of a page shown W x H, for drawing a highlight.
function toScreen(box: BoundingBox, width: number, height: number) {
  return {
    left: box.x * width,
    top: (1 - box.y - box.height) * height,
    width: box.width * width,
    height: box.height * height,
  };
}

const progress: ScanProgress[] = [];
const scanned: OcrOutput = await scanDocument(pdf, {
  source: 'auto',
  pages: [1, [1, 2]],
  languages: ['en-US'],
  fast: true,
  languageCorrection: true,
  scale: 2,
  minLongEdge: 1600,
  timeoutMs: 120_000,
  onProgress: (p) => progress.push(p),
});
const firstPage: OcrPage | undefined = scanned.pages[0];
const fragment: OcrFragment | undefined = firstPage?.fragments[0];
if (fragment) {
  const screen = toScreen(fragment.boundingBox, 1000, 1414);
  if (!(screen.top >= 0 && screen.top <= 1414)) throw new Error('box outside the page');
}
const reason: string = firstPage?.sourceReason ?? 'none';

const picture: OcrOutput = await scanDocument(image, { signal: AbortSignal.timeout(120_000) });

const rendered: RenderOutput = await renderPages(pdf, outDir, {
  maxPages: 2,
  firstLast: { first: 1, last: 1 },
  onProgress: (p) => progress.push(p),
});
const files: string[] = rendered.pages.map((page: RenderedPage) => page.path);

let passwordCode: string | undefined;
try {
  await scanDocument(path.join(outDir, 'missing.pdf'), { password: 'secret' });
} catch (error) {
  if (!(error instanceof MarrowfenError)) throw error;
  passwordCode = error.code; // "failed" here; "document_password_required" for a locked PDF
}

const entities: HelperOutput = await extractEntities(scanned.rawText || 'Anna Schmidt lives in Berlin.');
const people: Candidate[] = entities.entities.filter((c) => c.type === 'person');

const level: PressureLevel = pressuregauge().currentLevel();

const keys = sealkeep();
let stored: number | undefined;
let loaded = 0;
if (keys.available()) {
  const account = `example-${process.pid}`;
  stored = keys.storeSecret(account, Buffer.from([1, 2, 3])); // not 0 e.g. while the keyring is locked
  if (stored === 0) {
    const secret: Buffer = await keys.loadSecret(account, 'Unlock your documents');
    loaded = secret.length;
    secret.fill(0);
    const deleted: 0 | 3 = keys.deleteSecret(account);
    if (deleted !== 0) throw new Error('delete failed');
  }
}

const socketDir = fs.mkdtempSync(path.join(os.tmpdir(), 'host-'));
const socketPath = path.join(socketDir, 'control.sock');
const uid: number = await new Promise<number>((resolve) => {
  const server = net.createServer((socket) => {
    const fd = (socket as unknown as { _handle: { fd: number } })._handle.fd;
    resolve(peerident().peerUid(fd));
    socket.destroy();
    server.close();
  });
  server.listen(socketPath, () => net.connect(socketPath).on('error', () => {}));
});
fs.rmSync(socketDir, { recursive: true, force: true });

console.log(
  JSON.stringify({
    version,
    scanDir: path.dirname(nativeFiles().scan),
    pages: scanned.pageCount,
    reason,
    pictureText: picture.rawText.length > 0,
    files: files.length,
    passwordCode,
    people: people.length,
    level,
    stored,
    loaded,
    uidMatches: uid === process.getuid?.(),
    progress: progress.length,
  }),
);
