#!/usr/bin/env bash
# The real desktop program under a virtual X display, driven as a user
# drives it: it opens a project, refuses a second copy, paints, undoes,
# saves and quits. Usage: desktop-e2e.sh BRELLIN BRELLIN-CLI PICTURE
set -euo pipefail
BRELLIN=$1 CLI=$2 PICTURE=$3
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/desktop-home.sh"
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; xvfb_stop; rm -rf "$WORK"' EXIT
xvfb_start 1280x1024x24
# A program folder of its own: its library and its single-instance socket.
desktop_home "$WORK" "$CLI"
cd "$WORK"
fail() { echo "desktop-e2e: $*" >&2; exit 1; }
vectors() { "$CLI" info "$1" --json | sed -n 's/.*"vectors": *\([0-9]*\).*/\1/p' | head -1; }
# Waits up to $2 seconds for a window whose name matches $1; prints its id.

"$CLI" render "$PICTURE" -o start.jpg --project p.bpj --steps 2000 --quiet
before=$(vectors p.bpj)
[ "$before" -gt 0 ] || fail "no vectors in the starting project"

"$BRELLIN" p.bpj &
PID=$!
VERSION=$("$BRELLIN" --version | sed 's/^Brellin Pro //')
# The caption names the project once it is open.
WIN=$(wait_window "^Brellin Pro - .* - p.bpj$" 20) || fail "no main window with p.bpj within 20 s"
title=$(xdotool getwindowname "$WIN")
[ "$title" = "Brellin Pro - $VERSION - p.bpj" ] || fail "title '$title'"

# A second copy hands over and ends.
timeout 10 "$BRELLIN" p.bpj || fail "the second copy did not end with 0 within 10 s"
[ "$(xdotool search --name '^Brellin Pro - ' | wc -l)" -eq 1 ] || fail "more than one main window"

# The auto-sketch tool, a drag over the source view, undo, save: the old count.
xdotool windowfocus --sync "$WIN"
sleep 0.5
xdotool key a
xdotool mousemove --window "$WIN" 120 120 mousedown 1
for x in 140 160 180 200 220 240; do xdotool mousemove --window "$WIN" $x $((x / 2 + 60)); sleep 0.05; done
xdotool mouseup 1
sleep 0.5
[ "$(xdotool getwindowname "$WIN")" = "Brellin Pro - $VERSION - p.bpj *" ] ||
  fail "after painting, title '$(xdotool getwindowname "$WIN")'"
xdotool key ctrl+z
sleep 0.3
xdotool key ctrl+d
sleep 1.5
[ "$(vectors p.bpj)" -eq "$before" ] || fail "after undo and save: $(vectors p.bpj) vectors, expected $before"
xdotool key ctrl+y
sleep 0.3
xdotool key ctrl+d
sleep 1.5
after=$(vectors p.bpj)
[ "$after" -gt "$before" ] || fail "after redo and save: $after vectors, expected more than $before"
[ "$(xdotool getwindowname "$WIN")" = "Brellin Pro - $VERSION - p.bpj" ] ||
  fail "after saving, title '$(xdotool getwindowname "$WIN")'"

# F10: full-screen paint covers the screen; Escape gives the main window back.
xdotool key F10
FS=$(wait_window "^Full Screen Paint$" 10) || fail "F10 opened no full-screen window"
eval "$(xdotool getwindowgeometry --shell "$FS")"
[ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 1024 ] || fail "full-screen paint is ${WIDTH}x$HEIGHT"
xdotool key Escape
sleep 1
[ -z "$(xdotool search --onlyvisible --name '^Full Screen Paint$' || true)" ] ||
  fail "Escape left full-screen paint open"
xdotool windowfocus --sync "$WIN"
sleep 0.3

# "What is this?" from the Help menu, then a click on the source view: the
# help window opens on the pictures' page.
cp -r "$(dirname "$CLI")"/Help "$BRELLIN_HOME"/
xdotool mousemove --window "$WIN" 193 8 click 1
sleep 0.5
xdotool mousemove --window "$WIN" 220 51 click 1
sleep 0.5
xdotool mousemove --window "$WIN" 120 120 click 1
wait_window "^Brellin Pro Help$" 10 >/dev/null || fail "no help window after What is this? and a click"
xdotool windowfocus --sync "$WIN"
sleep 0.3

xdotool windowsize "$WIN" 900 700
sleep 0.5
xdotool key ctrl+q
for _ in $(seq 1 50); do kill -0 $PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PID 2>/dev/null && fail "Ctrl+Q did not end the program"
wait $PID || fail "the program ended with $?"
# The settings keep the project among the recent files, and the window.
CONF=$XDG_CONFIG_HOME/brellin/brellin.conf
grep -q "^files=$WORK/p.bpj" "$CONF" || fail "p.bpj is not the latest recent file in $CONF"
grep -q "^geometry=" "$CONF" || fail "no window geometry in $CONF"

# A project that cannot be opened is reported, and the program stays.
"$BRELLIN" /nonexistent.bpj &
PID=$!
wait_window "^Error loading project$" 20 >/dev/null || fail "no message about /nonexistent.bpj"
kill -0 $PID || fail "the program ended after the failed open"
# The second start has the size the first one ended with.
WIN=$(wait_window "^Brellin Pro - " 5) || fail "no main window at the second start"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[ "$WIDTH" = 900 ] && [ "$HEIGHT" = 700 ] || fail "second start at ${WIDTH}x$HEIGHT, not 900x700"
kill $PID
echo "desktop-e2e: 1 passed, 0 failed"
