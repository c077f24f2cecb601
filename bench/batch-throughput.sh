#!/usr/bin/env bash
# Files per second of a 'render' batch over corpus photos with --jobs 1 and
# --jobs 2, and what one file costs (phase times and peak memory with one
# thread), from which the throughput of a bigger machine is modelled.
# The configurations take turns, ROUNDS times, so that a slow spell of the
# machine falls on all of them; each figure is a median, and the ratio is
# measured in the same run.
# Usage: bench/batch-throughput.sh [BUILD_DIR]
#   COUNT=24 (photos in the list)  ROUNDS=3  STEPS=5000  CORES=64 (for the model)
set -euo pipefail
BUILD=${1:-build}
COUNT=${COUNT:-24}
ROUNDS=${ROUNDS:-3}
STEPS=${STEPS:-5000}
CORES=${CORES:-64}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$(cd "$BUILD" && pwd)/src/cli/brellin-cli"
PHOTOS="$ROOT/../shared/corpus/photos"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The corpus photos of about a megapixel or less (the 20-megapixel one is
# the subject of other figures), repeated to COUNT inputs.
mapfile -t photos < <(find "$PHOTOS" -maxdepth 1 -type f ! -name 'large_*' | sort)
if [ ${#photos[@]} -eq 0 ]; then echo "batch-throughput: no corpus photos in $PHOTOS; skipped"; exit 0; fi
mkdir -p "$WORK/in"
for ((i = 0; i < COUNT; i++)); do
  p=${photos[$((i % ${#photos[@]}))]}
  f="$WORK/in/p$(printf %04d "$i").${p##*.}"
  ln -s "$p" "$f"
  echo "$f"
done >"$WORK/list"

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo failed; return; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "failed"}'; }

echo "== render batch of $COUNT corpus photos, $STEPS steps, working size; $(nproc) cores; median of $ROUNDS rounds"
declare -A T
for ((r = 0; r < ROUNDS; r++)); do
  for j in 1 2; do
    rm -rf "$WORK/out"
    T[$j]+="$(seconds "$CLI" render --from-list "$WORK/list" --out-dir "$WORK/out" --steps "$STEPS" \
      --jobs "$j" --quiet) "
  done
done
declare -A RATE
for j in 1 2; do
  m=$(echo "${T[$j]}" | tr ' ' '\n' | grep -v '^$' | median)
  RATE[$j]=$(echo "scale=3; $COUNT / $m" | bc)
  printf -- "--jobs %d: %6.2f s, %6.2f files/s\n" "$j" "$m" "${RATE[$j]}"
done
printf -- "--jobs 2 / --jobs 1: %.2f times the files per second\n" "$(echo "scale=3; ${RATE[2]} / ${RATE[1]}" | bc)"

# One file with one thread: what each of many cores would do.
echo "== one file, one thread: mean phase times over the photos, peak memory of one process"
for p in "${photos[@]}"; do
  BRELLIN_PHASE_TIMES=1 /usr/bin/time -f "rss %M" "$CLI" render "$p" -o "$WORK/one.jpg" \
    --steps "$STEPS" --threads 1 --quiet 2>&1
done | awk -v n=${#photos[@]} -v cores="$CORES" '
  /^phase/ { ms[$2] += $3 }
  /^rss/ { if ($2 > rss) rss = $2 }
  END {
    total = 0
    for (k in ms) { printf "  %-10s %7.1f ms\n", k, ms[k] / n; total += ms[k] / n }
    printf "  %-10s %7.1f ms per file, peak %.0f MB per process\n", "sum", total, rss / 1024
    printf "== model for %d cores (%d jobs of one thread, phases as measured, memory and disk not limiting):\n", cores, cores
    printf "  %.0f files/s, %.1f GB for the painters\n", cores * 1000 / total, cores * rss / 1048576
  }'
