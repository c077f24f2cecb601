#!/usr/bin/env bash
# Per-phase times (decode, analysis, apply, encode) of a full-size render of
# a 12-megapixel photo with 100,000 strokes, as medians over ROUNDS runs.
# Given a second program (OTHER_CLI), the two take turns run by run, so that
# a slow spell of a shared machine falls on both, and the ratio of each
# phase (other / this build) is printed; the two outputs are also compared
# byte for byte. The other program must lie beside the same library files
# (styles, brushes) as this build's, say a copy in build/src/cli: both look
# for them next to themselves.
# Usage: bench/phase-times.sh [BUILD_DIR]    ROUNDS=7  OTHER_CLI=path/to/brellin-cli
set -euo pipefail
BUILD=${1:-build}
ROUNDS=${ROUNDS:-7}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$BUILD/src/cli/brellin-cli"
PHOTO="$ROOT/../shared/corpus/photos/large_kleiber_nuthatch.jpg"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
IM=""
for c in convert-im6.q16 magick; do command -v "$c" >/dev/null && IM=$c && break; done
if [ -z "$IM" ] || [ ! -f "$PHOTO" ]; then echo "phase-times: ImageMagick or the corpus photo missing; skipped"; exit 0; fi
"$IM" "$PHOTO" -resize 4240x2830! -quality 92 "$WORK/in.jpg"

progs=("$CLI")
[ -n "${OTHER_CLI:-}" ] && progs+=("$OTHER_CLI")
for ((r = 1; r <= ROUNDS; ++r)); do
  for i in "${!progs[@]}"; do
    BRELLIN_PHASE_TIMES=1 "${progs[$i]}" render "$WORK/in.jpg" -o "$WORK/out$i.jpg" --full-size \
      --steps 100000 --quiet 2>&1 | awk -v p="$i" '$1 == "phase" {print p, $2, $3}' >>"$WORK/times"
  done
done
[ ${#progs[@]} -eq 2 ] && { cmp -s "$WORK/out0.jpg" "$WORK/out1.jpg" || echo "phase-times: the two programs gave different pictures"; }

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "-"}'; }
printf '%-10s %12s' "phase" "ms (median)"
[ ${#progs[@]} -eq 2 ] && printf ' %12s %8s' "other ms" "ratio"
printf '   (12 MP, --full-size, 100000 steps, %d runs)\n' "$ROUNDS"
for phase in decode analysis apply encode; do
  a=$(awk -v ph="$phase" '$1 == 0 && $2 == ph {print $3}' "$WORK/times" | median)
  printf '%-10s %12s' "$phase" "$a"
  if [ ${#progs[@]} -eq 2 ]; then
    b=$(awk -v ph="$phase" '$1 == 1 && $2 == ph {print $3}' "$WORK/times" | median)
    printf ' %12s %8.2f' "$b" "$(echo "$b / $a" | bc -l)"
  fi
  printf '\n'
done
