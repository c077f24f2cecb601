#!/usr/bin/env bash
# The demo: paints the shipped demo photo (and, when the photo corpus is
# beside the project, a few more) with several shipped styles into out/, and
# analyses the corpus photos into out/analysis/.
set -euo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$BUILD/src/cli/brellin-cli"
OUT="$ROOT/out"
CORPUS="$ROOT/../shared/corpus"
mkdir -p "$OUT"
render() {  # INPUT NAME STYLE [options]
  local input=$1 name=$2 style=$3
  shift 3
  "$CLI" render "$input" -o "$OUT/$name.jpg" --style "$style" --quiet "$@"
  echo "  $OUT/$name.jpg"
}
echo "== paintings"
render "$ROOT/data/demo-camera.png" camera-hatching "Hatching" --steps 20000 --color fixed
render "$ROOT/data/demo-camera.png" camera-fine-ink "Fine Ink" --steps 30000 --color fixed
render "$ROOT/data/demo-camera.png" camera-pencil "Pencil Sketch" --steps 12000 --color fixed
render "$ROOT/data/demo-camera.png" camera-cross-hatching "Fine Ink" --steps 20000 --color fixed \
  --mode pattern --pattern pattern2-cross-hatching --radius 20
if [ -d "$CORPUS/photos" ]; then
  render "$CORPUS/photos/stilllife_coffee.png" coffee-oil "Oil Relief" --steps 8000
  render "$CORPUS/photos/animal_chelsea_cat.png" cat-pastel "Pastel" --steps 9000
  render "$CORPUS/photos/animal_chelsea_cat.png" cat-scratch "Scratch Style"
  # Detail passes bring back the eyes and the mouth; clean edges, tidy borders.
  render "$CORPUS/photos/portrait_astronaut.png" portrait-scratch "Scratch Style" --steps 40000
  render "$CORPUS/photos/portrait_astronaut.png" portrait-scratch-detail "Scratch Style" \
    --steps 20000 --detail-passes 2
  render "$CORPUS/photos/stilllife_coffee.png" coffee-pencil-clean "Pencil Sketch" --steps 20000 \
    --clean-edges
  echo "== feature maps"
  for photo in "$CORPUS"/photos/*.png "$CORPUS"/photos/*.jpg; do
    name=$(basename "${photo%.*}")
    mkdir -p "$OUT/analysis/$name"
    "$CLI" analyze "$photo" -o "$OUT/analysis/$name/features.bmp" --planes "$OUT/analysis/$name" --quiet
    echo "  $OUT/analysis/$name/"
  done
fi
