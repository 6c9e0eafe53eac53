#!/usr/bin/env bash
# Prints the name model's figures: entity-level precision, recall and F1 on the reporting halves
# (second halves) of the dev files, on the English one upper-cased, on the second half of the
# GermEval dev file (its first half is trained on), on the second halves of the Universal NER news
# files (English as written and upper-cased, German), the English rows also after the tagger's
# corrections to the names' edges and its second pass over each text of 20 sentences
# (tagger-eval --span-rules 1 --agree 7), as the program reports names, and on the held-out synthetic
# document lines; then what the program makes of the receipts in RECEIPTS (default:
# shared/data/receipts-dev beside the checkout), on their dev half and their held-out half
# (tools/receipts/evaluate.mjs).
# Sentences are labelled as of their file's language, except the second English run, which shows
# how the model does on text whose language is not known (too short for the recogniser).
#
#   tools/tagger/evaluate.sh [MODEL]     default models/name-tagger.model
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/tagger/ner_data.sh
model="${1:-models/name-tagger.model}"
eval=./build/release/tools/tagger/tagger-eval
[ -x "$eval" ] || cmake --build --preset release -j2 --target tagger-eval >/dev/null
for lang in en de fr nl; do
  "$eval" --model "$model" --part second "$data/wikiann-$lang-dev.iob"
done
"$eval" --model "$model" --part second --language none "$data/wikiann-en-dev.iob"
"$eval" --model "$model" --part second --upper "$data/wikiann-en-dev.iob"
"$eval" --model "$model" --part second "$data/germeval2014-de-dev.tsv"
for f in uner-en-pud uner-de-pud; do
  [ -f "$data/$f.conll" ] && "$eval" --model "$model" --part second --language "${f:5:2}" "$data/$f.conll"
done
[ -f "$data/uner-en-pud.conll" ] && "$eval" --model "$model" --part second --upper --language en "$data/uner-en-pud.conll"
# The English rows again with the tagger's corrections and second pass, as the program reports.
"$eval" --model "$model" --part second --span-rules 1 --agree 7 "$data/wikiann-en-dev.iob"
if [ -f "$data/uner-en-pud.conll" ]; then
  "$eval" --model "$model" --part second --span-rules 1 --agree 7 --language en "$data/uner-en-pud.conll"
  "$eval" --model "$model" --part second --span-rules 1 --agree 7 --upper --language en "$data/uner-en-pud.conll"
fi
if [ -f build/tagger-data/heldout.conll ]; then
  "$eval" --model "$model" build/tagger-data/heldout.conll
fi
receipts="${RECEIPTS:-$(dirname "$data")/receipts-dev}"
program=./build/release/entities/marrowfen-entities
if [ -d "$receipts" ] && [ -x "$program" ]; then
  for part in dev held-out; do
    MARROWFEN_NAME_MODEL="$(realpath "$model")" node tools/receipts/evaluate.mjs --part "$part" --binary "$program" "$receipts"
  done
fi
