#!/usr/bin/env bash
# Renders the PNG sizes of the program's icons from their SVG sources
# (data/icons/hicolor/scalable/). The results are committed, so building and
# installing need no SVG renderer; run this after changing an SVG.
set -euo pipefail

cd "$(dirname "$0")/../data/icons/hicolor"
command -v rsvg-convert >/dev/null || { echo "make-icons: rsvg-convert is missing (librsvg2-bin)" >&2; exit 1; }

for size in 16 24 32 48 64 128 256; do
  for context in apps mimetypes; do
    mkdir -p "${size}x${size}/$context"
    for svg in scalable/$context/*.svg; do
      name=$(basename "$svg" .svg)
      rsvg-convert -w "$size" -h "$size" "$svg" -o "${size}x${size}/$context/$name.png"
    done
  done
done
echo "make-icons: $(find . -name '*.png' | wc -l) PNG files written"
