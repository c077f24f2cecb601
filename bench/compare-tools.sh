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
printf '%-48s %s\n' "tool (12 MP photo)" "seconds"
printf '%-48s %s\n' "brellin-cli render --full-size --steps 100000" \
  "$(seconds "$CLI" render "$WORK/in.jpg" -o "$WORK/ours.jpg" --full-size --steps 100000 --quiet)"
printf '%-48s %s\n' "  the same with --threads 1" \
  "$(seconds "$CLI" render "$WORK/in.jpg" -o "$WORK/ours1.jpg" --full-size --steps 100000 --quiet --threads 1)"
cmp -s "$WORK/ours.jpg" "$WORK/ours1.jpg" || echo "compare-tools: 1 and 2 threads gave different pictures"
if command -v gmic >/dev/null; then
  for f in "sketchbw ," "pencilbw ," "fx_painting 5,2.5,1.5,50,1"; do
    # shellcheck disable=SC2086
    printf '%-48s %s\n' "gmic $f" "$(seconds gmic "$WORK/in.jpg" $f o "$WORK/g.jpg")"
  done
else
  echo "gmic: not installed, skipped"
fi
if command -v gimp-console-2.10 >/dev/null; then
  script="(let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"$WORK/in.jpg\" \"x\"))) (drw (car (gimp-image-get-active-layer img)))) (plug-in-gimpressionist RUN-NONINTERACTIVE img drw \"Crosshatch\") (gimp-file-save RUN-NONINTERACTIVE img drw \"$WORK/gimp.jpg\" \"x\"))"
  printf '%-48s %s\n' "gimp GIMPressionist Crosshatch" \
    "$(seconds gimp-console-2.10 -i -d -f -b "$script" -b '(gimp-quit 0)')"
else
  echo "gimp-console-2.10: not installed, skipped"
fi
