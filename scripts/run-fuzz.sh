#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, starting from a scratch copy of its
# seed corpus (the committed seeds stay small). Crashes, leaks and timeouts are
# written to fuzz/crashes/NAME/, where the test suite replays them from then on.
# Usage: scripts/run-fuzz.sh BUILD_DIR SECONDS
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 1
fi
BUILD=$1
SECONDS_EACH=$2
ROOT=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=()
for name in bmp jpeg png tiff style brush pattern project strokes journal; do
  exe="$BUILD/fuzz/fuzz_$name"
  if [ ! -x "$exe" ]; then
    echo "run-fuzz: $exe is missing (configure with -DBRELLIN_FUZZ=ON)" >&2
    exit 1
  fi
  corpus="$work/$name"
  crashes="$ROOT/fuzz/crashes/$name"
  mkdir -p "$corpus" "$crashes"
  cp "$ROOT/fuzz/corpus/$name/"* "$corpus/"
  echo "== fuzz_$name for ${SECONDS_EACH}s"
  "$exe" "$corpus" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -artifact_prefix="$crashes/" -print_final_stats=1 \
    >"$work/$name.log" 2>&1
  status=$?
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+[[:space:]]+DONE)" "$work/$name.log"
  if [ $status -ne 0 ]; then
    echo "run-fuzz: fuzz_$name failed (exit $status); input kept in $crashes" >&2
    grep -E "ERROR|SUMMARY|invariant|Test unit written" "$work/$name.log" | head -20 >&2
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzz: no findings"
