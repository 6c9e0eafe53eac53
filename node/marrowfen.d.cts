// Types of marrowfen-native: the answers of marrowfen-scan and marrowfen-entities, the client
// calls that run them, and the three Node-API addons.

// ---------------------------------------------------------------------------------------------
// marrowfen-scan answers
// ---------------------------------------------------------------------------------------------

/**
 * A rectangle on a page or image, normalised to it: every value is a fraction of the page's
 * (or image's) width or height, from 0 to 1.
 *
 * The origin is the LOWER-LEFT corner of the page and y grows UPWARDS (as in PDF), and (x, y) is
 * the box's lower-left corner. To draw over a page shown W by H pixels with its origin at the top
 * left (canvas, CSS, images), use
 * `left = x * W`, `top = (1 - y - height) * H`, `width * W`, `height * H`.
 *
 * PDF pages are measured on their media box before /Rotate; recognised pages on the page image
 * that was recognised (the rendered page, rotation applied).
 */
export interface BoundingBox {
  /** Left edge, as a fraction of the width (0 = left edge of the page). */
  x: number;
  /** Bottom edge, as a fraction of the height (0 = bottom edge of the page, y grows upwards). */
  y: number;
  /** Width, as a fraction of the page's width. */
  width: number;
  /** Height, as a fraction of the page's height. */
  height: number;
}

/** One piece of text: a recognised line, or a line of a PDF's text layer. */
export interface OcrFragment {
  /** The fragment's text. */
  text: string;
  /** 0 to 1: the recogniser's confidence, exactly 1 for text-layer fragments. */
  confidence: number;
  /** Where the fragment is on its page. */
  boundingBox: BoundingBox;
}

/** Where a page's text came from: "ocr" recognised, "text_layer" taken from the PDF. */
export type OcrPageSource = 'ocr' | 'text_layer';

/**
 * Why: "visible_text_layer" (a usable text layer), "no_text_layer" (none, or too little),
 * "invisible_ocr_layer" (the layer is invisible text, e.g. of an earlier OCR), "forced" (the
 * `source` option decided).
 */
export type OcrPageSourceReason =
  | 'visible_text_layer'
  | 'no_text_layer'
  | 'invisible_ocr_layer'
  | 'forced';

/** One page of an OCR run. */
export interface OcrPage {
  /** 1-based page number in the document; always 1 for an image. */
  pageNumber: number;
  /** The page's text, lines separated by line feeds; "" when nothing was found. */
  text: string;
  /** 0 to 1: the mean confidence of the page's lines; 1 for a text layer; 0 for no text. */
  confidence: number;
  /** The page's lines in reading order, possibly empty. */
  fragments: OcrFragment[];
  /** Present for PDF pages read with `source` "auto" or "text-layer", and for text-layer pages. */
  source?: OcrPageSource;
  /** Present exactly when `source` is. */
  sourceReason?: OcrPageSourceReason;
}

/** The answer of an OCR run (`scanDocument`). */
export interface OcrOutput {
  ok: true;
  /** "native_ocr_pdf" for a PDF, "native_ocr_image" for an image file. */
  sourceType: 'native_ocr_pdf' | 'native_ocr_image';
  /** The number of pages in `pages`, at least 1. */
  pageCount: number;
  /** The texts of the pages that have text, joined by a blank line ("\n\n"). */
  rawText: string;
  /** 0 to 1: the mean of the pages' confidences; 0 when no page was read. */
  confidence: number;
  /** The pages read, in page order; pages that could not be read are missing. */
  pages: OcrPage[];
  /** One text per page that could not be read or rendered, e.g. "Could not read PDF page 3.". */
  warnings: string[];
}

/** One written page image. */
export interface RenderedPage {
  /** 1-based page number (1 for an image). */
  pageNumber: number;
  /** Absolute path of the PNG file: `<outDir>/page-NNNN.png`, the number at least four digits. */
  path: string;
}

/** The answer of a page-rendering run (`renderPages`). */
export interface RenderOutput {
  ok: true;
  /** The document's number of pages (at least 1), not the number rendered. */
  pageCount: number;
  /** The files written, in page order. */
  pages: RenderedPage[];
  /** One text per page that could not be read or drawn. */
  warnings: string[];
}

/** The failure answer of marrowfen-scan; the client turns it into a rejected MarrowfenError. */
export interface OcrFailure {
  ok: false;
  /** The message, e.g. "Input file does not exist: a.pdf". */
  error: string;
}

// ---------------------------------------------------------------------------------------------
// marrowfen-entities answers
// ---------------------------------------------------------------------------------------------

/** The kind of an entity candidate; addresses are "location", phone numbers "identifier". */
export type CandidateType = 'person' | 'organization' | 'location' | 'date' | 'identifier';

/** One entity candidate found in the text. */
export interface Candidate {
  type: CandidateType;
  /** The entity as written in the text, white space collapsed. */
  value: string;
  /** "phone" for phone numbers; absent otherwise. */
  label?: 'phone';
  /** "reference_number" for phone numbers; absent otherwise. */
  suggestedRole?: 'reference_number';
  /** The line of the text the candidate was found on, cleaned. */
  evidence: string;
  /** 0.72 (phone), 0.78 (place), 0.8 (address), 0.82 (person, organisation) or 0.84 (date). */
  confidence: number;
  /**
   * Exactly one entry: "nlTag" ("personalName", "organizationName", "placeName") for names, or
   * "detector" ("NSDataDetector.date", "NSDataDetector.address", "NSDataDetector.phoneNumber").
   */
  metadata: { nlTag: string } | { detector: string };
}

/** The answer of marrowfen-entities (`extractEntities`). */
export interface HelperOutput {
  ok: true;
  /** BCP 47 code of the text's language ("en", "de", ...) when it could be told; absent otherwise. */
  language?: string;
  /** At most 80 candidates, in the order found. */
  entities: Candidate[];
  /** Always empty. */
  warnings: string[];
}

/**
 * The failure of marrowfen-entities: "empty_or_invalid_input" when it refused the input (empty,
 * not a JSON object with a string "text", or only white space), "out_of_memory" when the text was
 * too large for the memory it could get.
 */
export interface HelperFailure {
  ok: false;
  error: 'empty_or_invalid_input' | 'out_of_memory';
}

// ---------------------------------------------------------------------------------------------
// Client calls
// ---------------------------------------------------------------------------------------------

/** One progress report: a page is finished (read, recognised, rendered, or warned about). */
export interface ScanProgress {
  /** The 1-based number of the page just finished. */
  pageNumber: number;
  /** How many pages are finished so far, this one included. */
  pagesDone: number;
  /** How many pages the run reads in all. */
  pagesSelected: number;
}

/** What ends a run early; both kill the program's process. */
export interface RunControl {
  /** Aborting kills the program; the promise rejects with code "aborted". */
  signal?: AbortSignal;
  /** Milliseconds after which the program is killed; the promise rejects with code "timeout". */
  timeoutMs?: number;
}

/** Options of both marrowfen-scan modes. */
export interface ScanRunOptions extends RunControl {
  /** The password of a locked PDF; passed in the environment, never on the command line. */
  password?: string;
  /** Called once per finished page, in page order. A handler that throws ends the run. */
  onProgress?: (progress: ScanProgress) => void;
  /** `--scale`: image inputs are resampled by it; base scale of PDF page rendering (default 2). */
  scale?: number;
  /** `--min-long-edge`: PDF pages are drawn at least this many pixels long (default 1600). */
  minLongEdge?: number;
}

/** A page selection: "1-3,5", or page numbers and [first, last] ranges. */
export type PageSelection = string | ReadonlyArray<number | readonly [number, number]>;

export interface ScanOptions extends ScanRunOptions {
  /** "ocr" (default) recognises every page; "auto" takes visible text layers; "text-layer" always. */
  source?: 'ocr' | 'auto' | 'text-layer';
  /** PDF pages to read; all when absent. */
  pages?: PageSelection;
  /** Recognition languages as BCP 47 tags in order of preference, e.g. ["de-DE", "en-US"]. */
  languages?: readonly string[];
  /** True: faster, less accurate recognition (`--fast`); false: `--accurate` (default). */
  fast?: boolean;
  /** The recogniser's language model (default true). */
  languageCorrection?: boolean;
}

export interface RenderOptions extends ScanRunOptions {
  /** At most this many pages; 0 or absent: all. */
  maxPages?: number;
  /** Within `maxPages`, the first `first` and the last `last` pages. */
  firstLast?: { first: number; last: number };
}

export type EntitiesOptions = RunControl;

/**
 * Why a call failed:
 * - "document_password_required", "document_password_incorrect": a locked PDF;
 * - "empty_or_invalid_input": marrowfen-entities refused the text (it is empty or blank);
 * - "failed": the program answered with another failure (`programError` holds its text);
 * - "aborted", "timeout": the run was stopped through `signal` or `timeoutMs`;
 * - "progress_handler_failed": `onProgress` threw (the error is the `cause`);
 * - "not_installed": the program or addon file is missing (no prebuilt files for this platform,
 *   or a wrong `setNativeDirectory`);
 * - "spawn_failed", "crashed": the program could not be started, or ended without an answer.
 */
export type MarrowfenErrorCode =
  | 'document_password_required'
  | 'document_password_incorrect'
  | 'empty_or_invalid_input'
  | 'failed'
  | 'aborted'
  | 'timeout'
  | 'progress_handler_failed'
  | 'spawn_failed'
  | 'crashed'
  | 'not_installed';

/** The rejection of every call. */
export declare class MarrowfenError extends Error {
  name: 'MarrowfenError';
  code: MarrowfenErrorCode;
  /** The program's own `error` text, when it answered with a failure. */
  programError?: string;
  exitCode?: number;
  signal?: string;
  stderr?: string;
}

/** OCR of an image or a PDF. */
export declare function scanDocument(file: string, options?: ScanOptions): Promise<OcrOutput>;

/** Renders the pages of a PDF (or an image) as cropped PNG files into `outDir`. */
export declare function renderPages(
  file: string,
  outDir: string,
  options?: RenderOptions,
): Promise<RenderOutput>;

/** Entity candidates of a text. */
export declare function extractEntities(text: string, options?: EntitiesOptions): Promise<HelperOutput>;

/** The files of the installed tree in use. */
export interface NativeFiles {
  directory: string;
  scan: string;
  entities: string;
  sealkeep: string;
  pressuregauge: string;
  peerident: string;
}
export declare function nativeFiles(): NativeFiles;

/**
 * Uses another installed tree (a `cmake --install` prefix) instead of this package's prebuilt
 * folder; the environment variable MARROWFEN_NATIVE_DIR does the same at load time.
 */
export declare function setNativeDirectory(directory: string): void;

/** The package's version, equal to the native build's. */
export declare const version: string;

// ---------------------------------------------------------------------------------------------
// Addons: each is loaded once, on the first call of its function.
// ---------------------------------------------------------------------------------------------

/**
 * Small secrets (byte strings) in the system's Secret Service, one item per account under the
 * service "com.marrowfen.vault". No function throws. An account name holding U+0000 or a lone
 * surrogate is refused (3, or a rejection with 3), and so is a secret over 64 KiB.
 */
export interface Sealkeep {
  /** True when a Secret Service answers on the session bus. */
  available(): boolean;
  /**
   * Replaces the account's secret with the bytes of `secret` (1 byte to 64 KiB).
   * @returns 0 stored; 3 bad arguments or no Secret Service; another number: the service's failure
   *   (2 the collection is locked and was not unlocked, 4 any other refusal)
   */
  storeSecret(account: string, secret: Buffer): number;
  /**
   * Reads the account's secret on a worker thread.
   * @returns a new Buffer; rejects with a NUMBER, never an Error: 1 no item, 2 the collection
   *   stayed locked, 3 anything else
   */
  loadSecret(account: string, reason?: string): Promise<Buffer>;
  /** @returns 0 deleted or absent; 3 bad arguments or failure */
  deleteSecret(account: string): 0 | 3;
}

export type PressureLevel = 'normal' | 'warning' | 'critical' | 'unknown';

/** The system's memory-pressure level. */
export interface Pressuregauge {
  /** The cached level; never blocks. "unknown" until a first reading. */
  currentLevel(): PressureLevel;
}

/** The user id of the process at the other end of a connected local socket. */
export interface Peerident {
  /**
   * @param fd a descriptor: a whole number from 0 to 2^31 - 1 (anything else gives -1)
   * @returns the peer's effective uid, 0 to 4294967295, or -1 when it cannot be told
   */
  peerUid(fd: number): number;
}

export declare function sealkeep(): Sealkeep;
export declare function pressuregauge(): Pressuregauge;
export declare function peerident(): Peerident;
