'use strict';
// The host's side of marrowfen-native: runs marrowfen-scan and marrowfen-entities as child
// processes and loads the Node-API addons, all from one installed tree (by default the prebuilt
// folder of this package for the running platform and architecture). Types: marrowfen.d.cts.

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const platformKey = `${process.platform}-${process.arch}`;
const prebuiltDirectory = path.join(__dirname, 'prebuilds', platformKey);

let nativeDirectory = process.env.MARROWFEN_NATIVE_DIR || prebuiltDirectory;

/** Uses the installed tree at `directory` (a `cmake --install` prefix) for every later call. */
function setNativeDirectory(directory) {
  if (typeof directory !== 'string' || directory === '') {
    throw new TypeError('setNativeDirectory needs the path of an installed tree');
  }
  nativeDirectory = path.resolve(directory);
  loadedAddons.clear();
}

/** The files of the tree in use. */
function nativeFiles() {
  const addon = (name) => path.join(nativeDirectory, 'lib', 'marrowfen', `${name}.node`);
  return {
    directory: nativeDirectory,
    scan: path.join(nativeDirectory, 'bin', 'marrowfen-scan'),
    entities: path.join(nativeDirectory, 'bin', 'marrowfen-entities'),
    sealkeep: addon('sealkeep'),
    pressuregauge: addon('pressuregauge'),
    peerident: addon('peerident'),
  };
}

class MarrowfenError extends Error {
  constructor(message, { code, programError, exitCode, signal, stderr, cause } = {}) {
    super(message, cause === undefined ? undefined : { cause });
    this.name = 'MarrowfenError';
    this.code = code;
    if (programError !== undefined) this.programError = programError;
    if (exitCode !== undefined) this.exitCode = exitCode;
    if (signal !== undefined) this.signal = signal;
    if (stderr) this.stderr = stderr;
  }
}

// The code of a program's error text: the two password failures begin with their code and a colon.
function codeOf(errorText) {
  const match = /^(document_password_required|document_password_incorrect):/.exec(errorText);
  if (match) return match[1];
  if (errorText === 'empty_or_invalid_input') return errorText;
  return 'failed';
}

function checkTimeout(timeoutMs) {
  if (timeoutMs === undefined) return;
  if (typeof timeoutMs !== 'number' || !(timeoutMs > 0) || !Number.isFinite(timeoutMs)) {
    throw new TypeError('timeoutMs must be a positive number of milliseconds');
  }
}

// Runs one program to its end. Resolves with its parsed answer when it reports success; rejects
// with a MarrowfenError otherwise. Abort and timeout kill the process (SIGKILL; the helper
// processes it forks die with it) before the promise settles.
function runProgram(binary, args, { input, password, signal, timeoutMs, onProgress, what }) {
  return new Promise((resolve, reject) => {
    checkTimeout(timeoutMs);
    if (signal?.aborted) {
      reject(new MarrowfenError(`${what} was aborted`, { code: 'aborted', cause: signal.reason }));
      return;
    }
    if (!fs.existsSync(binary)) {
      reject(new MarrowfenError(`${what} is not installed at ${binary}${
        nativeDirectory === prebuiltDirectory ? ` (this package has no prebuilt files for ${platformKey})` : ''}`,
      { code: 'not_installed' }));
      return;
    }
    const env = { ...process.env };
    delete env.MARROWFEN_DOCUMENT_PASSWORD;
    delete env.MARROWFEN_PROGRESS_FD;
    // The password travels in the environment, never on the command line (other users can read
    // command lines).
    if (password !== undefined) env.MARROWFEN_DOCUMENT_PASSWORD = String(password);
    if (onProgress) env.MARROWFEN_PROGRESS_FD = '3';
    let child;
    try {
      child = spawn(binary, args, {
        env,
        stdio: [input === undefined ? 'ignore' : 'pipe', 'pipe', 'pipe', onProgress ? 'pipe' : 'ignore'],
        windowsHide: true,
      });
    } catch (error) {
      reject(new MarrowfenError(`${what} could not be started: ${error.message}`, { code: 'spawn_failed', cause: error }));
      return;
    }
    const stdout = [];
    const stderr = [];
    let ended = null; // the reason the run was stopped from here, once it was
    let timer;
    const stop = (reason) => {
      if (ended) return;
      ended = reason;
      child.kill('SIGKILL');
    };
    const onAbort = () => stop({ code: 'aborted', cause: signal.reason });
    signal?.addEventListener('abort', onAbort, { once: true });
    if (timeoutMs !== undefined) {
      timer = setTimeout(() => stop({ code: 'timeout' }), timeoutMs);
    }
    child.stdout.on('data', (chunk) => stdout.push(chunk));
    child.stderr.on('data', (chunk) => stderr.push(chunk));
    if (input !== undefined) {
      child.stdin.on('error', () => {}); // a program that exits early closes its input
      child.stdin.end(input);
    }
    if (onProgress) {
      let pending = '';
      child.stdio[3].setEncoding('utf8');
      child.stdio[3].on('data', (text) => {
        pending += text;
        let newline;
        // Nothing is reported once the run was stopped from here.
        while (!ended && (newline = pending.indexOf('\n')) >= 0) {
          const line = pending.slice(0, newline);
          pending = pending.slice(newline + 1);
          let event;
          try {
            event = JSON.parse(line);
          } catch {
            continue;
          }
          try {
            onProgress(event);
          } catch (error) {
            stop({ code: 'progress_handler_failed', cause: error });
          }
        }
      });
      child.stdio[3].on('error', () => {});
    }
    child.on('error', (error) => {
      if (!ended) ended = { code: 'spawn_failed', cause: error };
    });
    child.on('close', (exitCode, exitSignal) => {
      clearTimeout(timer);
      signal?.removeEventListener('abort', onAbort);
      const errText = Buffer.concat(stderr).toString('utf8');
      if (ended) {
        const messages = {
          aborted: `${what} was aborted`,
          timeout: `${what} took longer than ${timeoutMs} ms`,
          progress_handler_failed: `${what} stopped: the progress handler threw`,
          spawn_failed: `${what} could not be started: ${ended.cause?.message}`,
        };
        reject(new MarrowfenError(messages[ended.code], { ...ended, stderr: errText }));
        return;
      }
      const text = Buffer.concat(stdout).toString('utf8');
      let answer;
      try {
        answer = JSON.parse(text);
      } catch {
        answer = undefined;
      }
      if (answer && typeof answer === 'object' && answer.ok === true && exitCode === 0) {
        resolve(answer);
      } else if (answer && typeof answer === 'object' && answer.ok === false && typeof answer.error === 'string') {
        reject(new MarrowfenError(answer.error, {
          code: codeOf(answer.error), programError: answer.error, exitCode: exitCode ?? undefined,
        }));
      } else {
        const how = exitSignal ? `was killed by ${exitSignal}` : `exited with status ${exitCode} without an answer`;
        reject(new MarrowfenError(`${what} ${how}`, {
          code: 'crashed', exitCode: exitCode ?? undefined, signal: exitSignal ?? undefined, stderr: errText,
        }));
      }
    });
  });
}

// A path is handed over as typed, except that one beginning with "-" gets "./" before it, so
// that the program cannot take it for an option.
function pathArgument(value, name) {
  if (typeof value !== 'string' || value === '') throw new TypeError(`${name} must be a non-empty string`);
  return value.startsWith('-') ? `./${value}` : value;
}

function pageSelectionText(pages) {
  if (typeof pages === 'string') return pages;
  if (Array.isArray(pages)) {
    return pages
      .map((item) => (Array.isArray(item) ? `${item[0]}-${item[1]}` : String(item)))
      .join(',');
  }
  throw new TypeError('pages must be a selection such as "1-3,5" or an array of page numbers and [first, last] ranges');
}

function renderingOptionArgs(options) {
  const args = [];
  if (options.scale !== undefined) args.push('--scale', String(options.scale));
  if (options.minLongEdge !== undefined) args.push('--min-long-edge', String(options.minLongEdge));
  return args;
}

/** OCR of an image or a PDF: resolves to the program's OcrOutput. */
function scanDocument(file, options = {}) {
  return Promise.resolve().then(() => {
    const args = [];
    if (options.source !== undefined) args.push('--source', String(options.source));
    if (options.pages !== undefined) args.push('--pages', pageSelectionText(options.pages));
    if (options.languages !== undefined) {
      const list = typeof options.languages === 'string' ? [options.languages] : options.languages;
      args.push('--languages', list.join(','));
    }
    if (options.fast !== undefined) args.push(options.fast ? '--fast' : '--accurate');
    if (options.languageCorrection !== undefined) {
      args.push(options.languageCorrection ? '--language-correction' : '--no-language-correction');
    }
    args.push(...renderingOptionArgs(options));
    args.push(pathArgument(file, 'file'));
    return runProgram(nativeFiles().scan, args, { ...options, what: 'marrowfen-scan' });
  });
}

/** Renders pages to page-NNNN.png files in outDir: resolves to the program's RenderOutput. */
function renderPages(file, outDir, options = {}) {
  return Promise.resolve().then(() => {
    const args = renderingOptionArgs(options);
    args.push('--render-pages', pathArgument(file, 'file'), pathArgument(outDir, 'outDir'));
    const { maxPages, firstLast } = options;
    if (maxPages !== undefined && (!Number.isInteger(maxPages) || maxPages < 0)) {
      throw new TypeError('maxPages must be a whole number, 0 for no limit');
    }
    if (maxPages !== undefined || firstLast !== undefined) args.push(String(maxPages ?? 0));
    if (firstLast !== undefined) args.push(`first-last:${firstLast.first}:${firstLast.last}`);
    return runProgram(nativeFiles().scan, args, { ...options, what: 'marrowfen-scan --render-pages' });
  });
}

/** Entity candidates of a text: resolves to the program's HelperOutput. */
function extractEntities(text, options = {}) {
  return Promise.resolve().then(() => {
    if (typeof text !== 'string') throw new TypeError('text must be a string');
    return runProgram(nativeFiles().entities, [], {
      signal: options.signal, timeoutMs: options.timeoutMs,
      input: JSON.stringify({ text }), what: 'marrowfen-entities',
    });
  });
}

const loadedAddons = new Map();
function loadAddon(name) {
  const file = nativeFiles()[name];
  let addon = loadedAddons.get(file);
  if (!addon) {
    if (!fs.existsSync(file)) {
      throw new MarrowfenError(`The ${name} addon is not installed at ${file}`, { code: 'not_installed' });
    }
    addon = require(file);
    loadedAddons.set(file, addon);
  }
  return addon;
}

/** The secret-store addon, loaded on first use. */
const sealkeep = () => loadAddon('sealkeep');
/** The memory-pressure addon, loaded on first use (loading starts its monitor thread). */
const pressuregauge = () => loadAddon('pressuregauge');
/** The peer-credential addon, loaded on first use. */
const peerident = () => loadAddon('peerident');

const version = require('./package.json').version;

module.exports = {
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
};
