#!/usr/bin/env bash
# The real desktop program under a virtual X display: unsaved strokes, then
# File, Open answered "No" to saving and cancelled in the open dialog. The
# document and its strokes are still there: saving the project then holds
# them. Usage: open-cancel-e2e.sh BRELLIN BRELLIN-CLI PICTURE
set -euo pipefail
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/desktop-home.sh"
BRELLIN=$(realpath "$1") CLI=$(realpath "$2") PICTURE=$(realpath "$3")
WORK=$(mktemp -d)
cleanup() {
  [ -n "${PID:-}" ] && kill "$PID" 2>/dev/null || true
  xvfb_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "open-cancel-e2e: $*" >&2; exit 1; }

xvfb_start 1280x1024x24 || fail "no virtual display"

desktop_home "$WORK" "$CLI"
cd "$WORK"
vectors() { "$CLI" info "$1" --json | sed -n 's/.*"vectors": *\([0-9]*\).*/\1/p' | head -1; }
WAIT_WINDOW_VISIBLE=1

"$CLI" render "$PICTURE" -o start.jpg --size 400x300 --project p.bpj --steps 1000 --quiet
before=$(vectors p.bpj)
"$BRELLIN" p.bpj &
PID=$!
WIN=$(wait_window "^Brellin Pro - " 20) || fail "no main window within 20 s"
xdotool windowfocus --sync "$WIN"
sleep 0.5
# Unsaved strokes: the auto-sketch tool dragged over the source view.
xdotool key a
xdotool mousemove --window "$WIN" 120 120 mousedown 1
for x in 140 160 180 200 220; do xdotool mousemove --window "$WIN" $x $((x / 2 + 60)); sleep 0.05; done
xdotool mouseup 1
sleep 0.5

xdotool key ctrl+o
ASK=$(wait_window "^Confirm$" 10) || fail "Open did not ask to save the unsaved strokes"
xdotool windowfocus --sync "$ASK" key alt+n
OPEN=$(wait_window "^Open$" 10) || fail "no open dialog"
xdotool windowfocus --sync "$OPEN" key Escape
sleep 0.5
[ -z "$(xdotool search --onlyvisible --name '^Open$' || true)" ] || fail "the open dialog stayed"

xdotool windowfocus --sync "$WIN"
sleep 0.3
xdotool key ctrl+d
sleep 1.5
after=$(vectors p.bpj)
[ "$after" -gt "$before" ] ||
  fail "after Open and Cancel the saved project has $after vectors, not more than $before"
echo "open-cancel-e2e: 1 passed, 0 failed"
