// The ES module entry has the same exports as the CommonJS one (marrowfen.d.cts), and the
// CommonJS exports object as its default export.
export * from './marrowfen.cjs';
import * as client from './marrowfen.cjs';
export default client;
