#!/usr/bin/env bash
# Runs every benchmark program of a build, then measures the peak memory of
# analysing the 20-megapixel corpus photo from the command line.
set -euo pipefail
BUILD=${1:-build}
CORPUS="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
PHOTO="$CORPUS/photos/large_kleiber_nuthatch.jpg"
if [ -f "$PHOTO" ] && [ -x /usr/bin/time ]; then
  out=$(mktemp -d)
  for t in 1 2; do
    echo "== brellin-cli analyze (20 MP photo, $t thread(s)): wall time and peak memory"
    /usr/bin/time -v "$BUILD/src/cli/brellin-cli" analyze "$PHOTO" -o "$out/f.bmp" --threads $t --quiet 2>&1 |
      grep -E 'Elapsed|Maximum resident'
  done
  rm -rf "$out"
fi
PHOTO20=$PHOTO
if [ -f "$PHOTO20" ] && [ -x /usr/bin/time ]; then
  out=$(mktemp -d)
  echo "== brellin-cli render (20 MP photo, --full-size, 100000 steps): wall time and peak memory"
  /usr/bin/time -v "$BUILD/src/cli/brellin-cli" render "$PHOTO20" -o "$out/r.jpg" --full-size \
    --steps 100000 --quiet 2>&1 | grep -E 'Elapsed|Maximum resident'
  rm -rf "$out"
fi
echo "== comparison with other tools"
"$(dirname "$0")/../bench/compare-tools.sh" "$BUILD"
