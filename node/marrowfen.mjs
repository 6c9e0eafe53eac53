// ES module entry: the same module instance as the CommonJS entry, so addons load only once.
import client from './marrowfen.cjs';

export const {
  version,
  MarrowfenError,
  scanDocument,
  renderPages,
  extractEntities,
  sealkeep,
  pressuregauge,
  peerident,
  nativeFiles,
  setNativeDirectory,
} = client;
export default client;
