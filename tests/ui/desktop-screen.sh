#!/usr/bin/env bash
# What the real desktop program shows, read back from a virtual X display:
# its destination view must show the project as the command line renders
# it again, after opening, painting, undo, redo and resizing, and a project
# handed over by a second copy with nothing left of the first.
# Usage: desktop-screen.sh BRELLIN BRELLIN-CLI BRELLIN-XSHOT PICTURE
# With BRELLIN_SHOTS set, the window after the undo is kept there.
set -euo pipefail
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/desktop-home.sh"
BRELLIN=$(realpath "$1") CLI=$(realpath "$2") XSHOT=$(realpath "$3") PICTURE=$(realpath "$4")
WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  xvfb_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "desktop-screen: $*" >&2; exit 1; }

xvfb_start 1280x1024x24 || fail "no virtual display"

desktop_home "$WORK" "$CLI"
cd "$WORK"
# The window shows PICTURE somewhere, pixel for pixel; NAME is kept.
shows() {
  local name=$1 picture=$2 what=$3
  sleep 0.7
  "$XSHOT" "$WIN" "$name" "$picture" >"$WORK/xshot.out" || fail "$what: $(cat "$WORK/xshot.out")"
}
rerender() { "$CLI" rerender "$1" --width 1x -o "$2" --quiet; }

"$CLI" render "$PICTURE" -o start.png --size 400x300 --project p.bpj --steps 2000 --quiet
rerender p.bpj opened.png

"$BRELLIN" p.bpj &
PIDS+=($!)
WIN=$(wait_window "^Brellin Pro - " 20) || fail "no main window within 20 s"
xdotool windowsize --sync "$WIN" 1200 800
xdotool windowfocus --sync "$WIN"
shows at-open.png opened.png "at open, the view is not the project"

# An auto-sketch drag over the source view, then undo: the project as opened.
xdotool key a
xdotool mousemove --window "$WIN" 120 120 mousedown 1
for x in 140 160 180 200 220 240; do xdotool mousemove --window "$WIN" $x $((x / 2 + 60)); sleep 0.05; done
xdotool mouseup 1
sleep 0.7
"$XSHOT" "$WIN" dragged.png
xdotool key ctrl+z
shows after-undo.png opened.png "after Ctrl+Z, the view is not the project as opened"
[ -n "${BRELLIN_SHOTS:-}" ] && cp after-undo.png "$BRELLIN_SHOTS/view-after-undo.png"
xdotool key ctrl+y
sleep 0.7
"$XSHOT" "$WIN" redone.png
# Saving compacts the history: only now, after the undo and the redo.
xdotool key ctrl+d
sleep 2
rerender p.bpj saved.png
cmp -s opened.png saved.png && fail "the drag painted nothing"
"$XSHOT" - dragged.png saved.png >"$WORK/xshot.out" || fail "after the drag: $(cat "$WORK/xshot.out")"
"$XSHOT" - redone.png saved.png >"$WORK/xshot.out" || fail "after Ctrl+Y: $(cat "$WORK/xshot.out")"
xdotool windowsize --sync "$WIN" 1000 700
shows resized.png saved.png "after resizing the window"

# A larger project handed over by a second copy covers every pixel of the first.
"$CLI" render "$PICTURE" -o second.png --size 480x360 --project q.bpj --steps 1500 --seed 7 --quiet
rerender q.bpj second-opened.png
timeout 10 "$BRELLIN" q.bpj || fail "the second copy did not end with 0 within 10 s"
shows handed-over.png second-opened.png "the project handed over"

xdotool key ctrl+q
for _ in $(seq 1 50); do kill -0 "${PIDS[0]}" 2>/dev/null || break; sleep 0.2; done
kill -0 "${PIDS[0]}" 2>/dev/null && fail "Ctrl+Q did not end the program"
echo "desktop-screen: 1 passed, 0 failed"
