#!/usr/bin/env bash
# The demo: analyses the corpus photos and writes their feature maps and
# channel views into demo-out/, one folder per photo.
set -euo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CORPUS="$ROOT/../shared/corpus"
CLI="$BUILD/src/cli/brellin-cli"
OUT="$ROOT/demo-out"
mkdir -p "$OUT"
if [ ! -d "$CORPUS/photos" ]; then
  echo "demo: the photo corpus is not at $CORPUS" >&2
  exit 1
fi
for photo in "$CORPUS"/photos/*.png "$CORPUS"/photos/*.jpg "$CORPUS"/awkward/*; do
  name=$(basename "${photo%.*}")
  echo "== $name"
  mkdir -p "$OUT/$name"
  "$CLI" analyze "$photo" -o "$OUT/$name/features.bmp" --planes "$OUT/$name" || true
done
echo
echo "demo: feature maps and channel views (darkness, hue, saturation, strength,"
echo "edges, directions) are in $OUT/<photo>/"
