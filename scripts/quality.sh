#!/usr/bin/env bash
# How close the paintings come to their photos, with and without detail
# passes. For each corpus photo and each shipped style, three cases:
#   S        one apply run of S steps
#   2S       one apply run of 2S steps
#   S+2p     S steps, then 2 detail passes (together at most 2S strokes)
# and for each: the mean absolute difference of luminance between painting
# and photo, both blurred with sigma 2 px, over the whole picture and over
# the photo's tenth of pixels with the strongest edges (levels of 0..255,
# lower is closer); the strokes; the seconds of the render (wall clock, so
# disturbed by whatever else runs).
#
# S is given per 512 x 600 pixels of working size (default 20000, the density
# of a portrait at the working size with 20000 steps) and scaled to each
# photo's working size, so that every photo gets the same stroke density.
#
#   scripts/quality.sh [BUILD] [S] [THRESHOLD]     (defaults: build 20000 the default)
set -euo pipefail
BUILD=${1:-build}
S=${2:-20000}
THRESHOLD=${3:-}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$BUILD/src/cli/brellin-cli"
QUALITY="$BUILD/tools/brellin-picture-quality"
CORPUS=${CORPUS:-"$ROOT/../shared/corpus/photos"}
[ -x "$CLI" ] && [ -x "$QUALITY" ] || {
  echo "build brellin-cli and brellin-picture-quality first" >&2
  exit 1
}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
extra=()
[ -n "$THRESHOLD" ] && extra=(--detail-threshold "$THRESHOLD")

styles=()
while IFS= read -r line; do styles+=("$line"); done < <(
  "$CLI" styles | sed -n 's/^ *[0-9][0-9]*  \(.*[^ ]\)  *id .*/\1/p')

run() {  # PHOTO STYLE CASE -> "strokes seconds whole detail"
  local photo=$1 style=$2 case=$3 args S=$STEPS
  case $case in
    S) args=(--steps "$S") ;;
    2S) args=(--steps $((2 * S))) ;;
    S+2p) args=(--steps "$S" --detail-passes 2 "${extra[@]}") ;;
  esac
  local t0 t1
  t0=$(date +%s.%N)
  "$CLI" render "$photo" -o "$TMP/p.bmp" --style "$style" --project "$TMP/p.bpj" --quiet \
    "${args[@]}" 2>/dev/null
  t1=$(date +%s.%N)
  local strokes
  strokes=$("$CLI" info "$TMP/p.bpj" --json | sed 's/.*"vectors": \([0-9]*\).*/\1/')
  echo "$strokes $(echo "$t1 - $t0" | bc -l | xargs printf '%.2f') $("$QUALITY" quality "$TMP/p.bpj")"
}

printf '%-22s %-14s %-5s %7s %6s %7s %7s\n' photo style case strokes secs whole detail
for photo in "$CORPUS"/*.png "$CORPUS"/*.jpg; do
  [ -e "$photo" ] || continue
  name=$(basename "${photo%.*}")
  "$CLI" render "$photo" -o "$TMP/p.bmp" --steps 1 --project "$TMP/p.bpj" --quiet 2>/dev/null
  STEPS=$("$CLI" info "$TMP/p.bpj" --json |
    sed 's/.*"width": \([0-9]*\), "height": \([0-9]*\).*/\1 \2/' |
    awk -v s="$S" '{ printf "%d", s * $1 * $2 / (512 * 600) + 0.5 }')
  for style in "${styles[@]}"; do
    for case in S 2S S+2p; do
      read -r strokes secs whole detail < <(run "$photo" "$style" "$case")
      printf '%-22s %-14s %-5s %7s %6s %7s %7s\n' "$name" "$style" "$case" "$strokes" "$secs" \
        "$whole" "$detail"
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$style" "$case" "$strokes" "$secs" \
        "$whole" "$detail" >>"$TMP/table"
    done
  done
done

# S+2p against 2S: how much lower the difference is in the detail tenth,
# and whether the whole picture is ever worse.
awk -F '\t' '
  $3 == "2S" { w2 = $6; d2 = $7 }
  $3 == "S+2p" {
    gain = (d2 - $7) / d2 * 100; n++; sum += gain
    if (min == "" || gain < min) min = gain
    if ($6 > w2) worse++
  }
  END {
    printf "\nS+2p against 2S, detail tenth: %.1f %% lower on average, %.1f %% at least (%d cases)\n", sum / n, min, n
    printf "whole picture worse than 2S: %d of %d\n", worse, n
  }' "$TMP/table"
