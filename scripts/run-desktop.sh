#!/usr/bin/env bash
# `make run`: the desktop program on a demo project, so that a newcomer sees
# a working document at once: the demo photo painted with a few thousand
# strokes and two detail passes (three undo steps), every stroke editable.
set -euo pipefail
BUILD=${1:-build}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
if [ -n "${BRELLIN_VIRTUAL_DISPLAY:-}" ]; then
  # For runs on a machine without a screen (screenshots, smoke tests).
  source "$ROOT/tests/support/xvfb.sh"
  trap xvfb_stop EXIT
  xvfb_start 1280x1024x24
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make run: there is no display here to show the desktop program on." >&2
  echo "          'make demo' paints the demo pictures from the command line instead;" >&2
  echo "          BRELLIN_VIRTUAL_DISPLAY=1 make run starts it on a virtual display." >&2
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
if [ -n "${BRELLIN_VIRTUAL_DISPLAY:-}" ]; then
  "$BUILD/src/cli/brellin" "$PROJECT"  # not exec: the display goes when it ends
else
  exec "$BUILD/src/cli/brellin" "$PROJECT"
fi
