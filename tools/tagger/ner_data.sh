# Sourced by the tagger scripts: sets `data` to the labelled-data folder, $NER_DATA or the shared
# data folder beside the checkout (or beside the folder of work trees).
data="${NER_DATA:-}"
for d in ../shared/data/ner ../../shared/data/ner; do
  [ -z "$data" ] && [ -d "$d" ] && data="$(cd "$d" && pwd)"
done
[ -n "$data" ] || { echo "no labelled data: set NER_DATA" >&2; exit 1; }
