#!/usr/bin/env bash
# Compares a full-size render of a 12-megapixel photo with 100,000 strokes
# against the artistic filters a user might run instead, on the same photo in
# the same session. Tools that are not installed are skipped; none of them is
# a dependency of the project.
# Usage: bench/compare-tools.sh [BUILD_DIR]
set -uo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$BUILD/src/cli/brellin-cli"
PHOTO="$ROOT/../shared/corpus/photos/large_kleiber_nuthatch.jpg"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
IM=""
for c in convert-im6.q16 magick; do command -v "$c" >/dev/null && IM=$c && break; done
if [ -z "$IM" ]; then echo "compare-tools: ImageMagick is needed to make the 12-megapixel photo; skipped"; exit 0; fi
"$IM" "$PHOTO" -resize 4240x2830! -quality 92 "$WORK/in.jpg"

seconds() {  # runs the command, prints wall seconds (or "failed")
  local start end
  start=$(date +%s.%N)
  if "$@" >/dev/null 2>&1; then end=$(date +%s.%N); echo "$end - $start" | bc; else echo failed; fi
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "failed"}'; }

# The tools take turns, ROUNDS times, so that a slow spell of the machine
# falls on all of them; each line reports the median (the gmic painting
# filter runs in the first round only).
ROUNDS=${ROUNDS:-3}
declare -A TIMES
NAMES=()
run() {  # run NAME COMMAND...
  local name=$1 t
  shift
  [[ " ${NAMES[*]-} " == *" $name "* ]] || NAMES+=("$name")
  t=$(seconds "$@")
  [ "$t" = failed ] || TIMES[$name]+="$t "
}
GIMP_SCRIPT="(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$WORK/in.jpg\" \"x\"))) (drw (car (gimp-image-get-active-layer img)))) (plug-in-gimpressionist RUN-NONINTERACTIVE img drw \"Crosshatch\") (gimp-file-save RUN-NONINTERACTIVE img drw \"$WORK/gimp.jpg\" \"x\"))"
for ((r = 1; r <= ROUNDS; ++r)); do
  run "brellin-cli render --full-size --steps 100000" \
    "$CLI" render "$WORK/in.jpg" -o "$WORK/ours.jpg" --full-size --steps 100000 --quiet
  run "  the same with --threads 1" \
    "$CLI" render "$WORK/in.jpg" -o "$WORK/ours1.jpg" --full-size --steps 100000 --quiet --threads 1
  cmp -s "$WORK/ours.jpg" "$WORK/ours1.jpg" || echo "compare-tools: 1 and 2 threads gave different pictures"
  if command -v gmic >/dev/null; then
    for f in "sketchbw ," "pencilbw ," "fx_painting 5,2.5,1.5,50,1"; do
      # The painting filter takes over a minute and is never the fastest: once is enough.
      [ "$r" -gt 1 ] && [[ $f == fx_painting* ]] && continue
      # shellcheck disable=SC2086
      run "gmic $f" gmic "$WORK/in.jpg" $f o "$WORK/g.jpg"
    done
  fi
  if command -v gimp-console-2.10 >/dev/null; then
    run "gimp GIMPressionist Crosshatch" gimp-console-2.10 -i -d -f -b "$GIMP_SCRIPT" -b '(gimp-quit 0)'
  fi
done
command -v gmic >/dev/null || echo "gmic: not installed, skipped"
command -v gimp-console-2.10 >/dev/null || echo "gimp-console-2.10: not installed, skipped"

printf '%-48s %s\n' "tool (12 MP photo, median of $ROUNDS)" "seconds"
ours="" fastest="" fastestName=""
for name in "${NAMES[@]}"; do
  m=$(tr ' ' '\n' <<<"${TIMES[$name]-}" | grep . | median)
  printf '%-48s %s\n' "$name" "$m"
  case $name in
    brellin-cli*) ours=$m ;;
    " "*) ;;
    *) if [ "$m" != failed ] && { [ -z "$fastest" ] || (($(echo "$m < $fastest" | bc))); }; then
         fastest=$m fastestName=$name
       fi ;;
  esac
done
if [ -n "$ours" ] && [ "$ours" != failed ] && [ -n "$fastest" ]; then
  printf 'fastest other tool: %s, %.1f times the time of brellin-cli render\n' "$fastestName" \
    "$(echo "$fastest / $ours" | bc -l)"
fi
