#!/usr/bin/env bash
# marrowfen-entities end to end on document-like texts of 0.25, 0.5 and 1 MB: median wall time
# of several runs and peak resident memory (/usr/bin/time -v). Goal at 1 MB: under 2 s and
# 300 MB, growing linearly with the text.
#
#   bench/entities_bench.sh [runs]      (default 5 runs per size; needs a release build)
set -euo pipefail
cd "$(dirname "$0")/.."
binary=build/release/entities/marrowfen-entities
runs="${1:-5}"
[ -x "$binary" ] || { echo "build first: cmake --build --preset release --target marrowfen-entities" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-8s %10s %12s %12s %10s\n' size bytes median_s peak_MB entities
for size in 262144 524288 1048576; do
  node bench/entities_text.mjs "$size" > "$work/in.json"
  times=()
  peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -v -o "$work/time" "$binary" < "$work/in.json" > "$work/out.json"
    t=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(i=1;i<=n;i++) s=s*60+p[i]; print s}' "$work/time")
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    times+=("$t")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  count=$(node -e 'const j=JSON.parse(require("fs").readFileSync(process.argv[1],"utf8")); console.log(j.entities.length)' "$work/out.json")
  printf '%-8s %10s %12s %12.1f %10s\n' "$((size / 1024))K" "$(stat -c %s "$work/in.json")" "$median" "$(awk -v k="$peak" 'BEGIN {print k / 1024}')" "$count"
done
