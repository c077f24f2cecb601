#!/usr/bin/env bash
# Writes the style files that ship in data/, with previews painted by the
# shipped brushes (the data folder serves as the program folder).
# Usage: scripts/make-styles.sh BUILD_DIR
set -euo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$BUILD/src/cli/brellin-cli"
export BRELLIN_HOME="$ROOT/data"
style() { "$CLI" style create -o "$ROOT/data/$1" "${@:2}"; echo "wrote data/$1"; }
style style1-fine-ink.bst --name "Fine Ink" --length 60 --width 2 --scan-width 1 --precision 90 \
  --border-limit 97 --hue 4 --saturation 4 --lightness 12 --brush 1103
style style2-hatching.bst --name "Hatching" --length 22 --width 3 --scan-width 2 --precision 80 \
  --border-limit 100 --hue 6 --saturation 6 --lightness 20 --brush 0
style style3-pencil-sketch.bst --name "Pencil Sketch" --length 50 --width 5 --scan-width 2 \
  --precision 85 --border-limit 98 --hue 6 --saturation 6 --lightness 24 --brush 1101
style style4-pastel.bst --name "Pastel" --length 30 --width 14 --scan-width 4 --precision 85 \
  --border-limit 100 --transparency 235 --hue 18 --saturation 30 --lightness 40 --brush 1102
style style5-oil-relief.bst --name "Oil Relief" --length 35 --width 16 --scan-width 3 --precision 88 \
  --border-limit 100 --hue 12 --saturation 15 --lightness 20 --bumpiness 6 --softness 3 --light 35 \
  --brush 1104
style style6-watercolour.bst --name "Watercolour" --length 45 --width 22 --scan-width 8 \
  --precision 88 --border-limit 100 --transparency 210 --hue 16 --saturation 30 --lightness 18 \
  --brush 1104
