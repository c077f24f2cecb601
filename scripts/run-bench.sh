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
if [ -f "$PHOTO20" ] && [ -x /usr/bin/time ]; then
  out=$(mktemp -d)
  cli="$BUILD/src/cli/brellin-cli"
  echo "== project commands on the photo at its working size (1 MP), 100000 steps: wall time and peak memory"
  for step in "render $PHOTO20 -o $out/r.jpg --steps 100000 --project $out/p.bpj --ps $out/p.ps --quiet" \
              "info $out/p.bpj" \
              "export-ps $out/p.bpj -o $out/e.ps --quiet" \
              "export-svg $out/p.bpj -o $out/e.svg --quiet" \
              "export-svg $out/p.bpj -o $out/plot.svg --centerlines --pens 4 --paper A4 --quiet" \
              "rerender $out/p.bpj -o $out/big.jpg --width 2x --quiet"; do
    echo "-- brellin-cli ${step%% *}"
    # shellcheck disable=SC2086
    /usr/bin/time -v $cli $step 2>&1 | grep -E 'Vectors|Elapsed|Maximum resident'
  done
  echo "-- project file: $(du -h "$out/p.bpj" | cut -f1)"
  echo "== undo and redo of the whole apply run on the 20 MP photo at full size"
  echo "   (bench_history BM_UndoRedo20MP above)"
  rm -rf "$out"
fi
echo "== render phases at 12 MP (full size, 100000 steps): medians"
"$(dirname "$0")/../bench/phase-times.sh" "$BUILD"
echo "== batches: files per second with --jobs 1 and --jobs 2"
"$(dirname "$0")/../bench/batch-throughput.sh" "$BUILD"
echo "== comparison with other tools"
"$(dirname "$0")/../bench/compare-tools.sh" "$BUILD"
