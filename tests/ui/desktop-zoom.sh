#!/usr/bin/env bash
# Zoom in the real desktop program under a virtual display: a 2000 x 1500
# project opens fitted, Ctrl+1 and then Ctrl+0 give the same window back, and
# auto-sketch at 200 % paints (the caption gets its " *"). The zoom mode is
# kept in brellin.conf.
# Usage: desktop-zoom.sh BRELLIN BRELLIN-CLI BRELLIN-XSHOT PICTURE
set -euo pipefail
BRELLIN=$(realpath "$1") CLI=$(realpath "$2") XSHOT=$(realpath "$3") PICTURE=$(realpath "$4")
source "$(dirname "$0")/../support/xvfb.sh"
source "$(dirname "$0")/../support/desktop-home.sh"
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; xvfb_stop; rm -rf "$WORK"' EXIT
xvfb_start 1280x1024x24
desktop_home "$WORK" "$CLI"
cd "$WORK"
fail() { echo "desktop-zoom: $*" >&2; exit 1; }

"$CLI" render "$PICTURE" -o start.jpg --project P.bpj --size 2000x1500 --steps 2000 --quiet
"$BRELLIN" P.bpj &
PID=$!
VERSION=$("$BRELLIN" --version | sed 's/^Brellin Pro //')
WIN=""
for _ in $(seq 1 100); do
  WIN=$(xdotool search --name "^Brellin Pro - .* - P.bpj$" 2>/dev/null | head -1 || true)
  [ -n "$WIN" ] && break
  sleep 0.2
done
[ -n "$WIN" ] || fail "no main window with P.bpj within 20 s"
# The status bar's "Opened" message goes after five seconds.
sleep 6
xdotool windowfocus --sync "$WIN"
sleep 0.3
"$XSHOT" "$WIN" fit.png >/dev/null
xdotool key ctrl+1
sleep 0.8
"$XSHOT" "$WIN" actual.png >/dev/null
"$XSHOT" - actual.png fit.png >/dev/null && fail "Ctrl+1 changed nothing on the screen"
xdotool key ctrl+0
sleep 0.8
"$XSHOT" "$WIN" fit-again.png >/dev/null
"$XSHOT" - fit-again.png fit.png >/dev/null || fail "Ctrl+1 then Ctrl+0 did not give the fitted window back"

xdotool key ctrl+1 ctrl+plus ctrl+plus a
sleep 0.5
xdotool mousemove --window "$WIN" 200 300 mousedown 1
for x in 220 240 260 280 300 320; do xdotool mousemove --window "$WIN" $x 300; sleep 0.05; done
xdotool mouseup 1
sleep 0.5
[ "$(xdotool getwindowname "$WIN")" = "Brellin Pro - $VERSION - P.bpj *" ] ||
  fail "after painting at 200 %, title '$(xdotool getwindowname "$WIN")'"
grep -q '^zoom=100$' "$XDG_CONFIG_HOME/brellin/brellin.conf" || fail "brellin.conf does not keep the last zoom chosen (100 %)"
kill $PID
