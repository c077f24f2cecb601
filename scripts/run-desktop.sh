#!/usr/bin/env bash
# `make run`: the desktop program on a demo project, so that a newcomer sees
# a working document at once: the demo photo painted with a few thousand
# strokes and two detail passes (three undo steps), every stroke editable.
set -euo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make run: there is no display here to show the desktop program on." >&2
  echo "          'make demo' paints the demo pictures from the command line instead;" >&2
  echo "          xvfb-run make run starts it on a virtual display." >&2
  exit 1
fi
mkdir -p "$ROOT/out"
PROJECT="$ROOT/out/demo-camera.bpj"
if [ ! -f "$PROJECT" ]; then
  echo "make run: painting the demo project $PROJECT"
  "$BUILD/src/cli/brellin-cli" render "$ROOT/data/demo-camera.png" -o "$ROOT/out/demo-camera.jpg" \
    --project "$PROJECT" --style "Hatching" --steps 4000 --color fixed --detail-passes 2 \
    --clean-edges --quiet
fi
exec "$BUILD/src/cli/brellin" "$PROJECT"
