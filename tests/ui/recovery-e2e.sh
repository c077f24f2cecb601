#!/usr/bin/env bash
# The desktop program killed in the middle of its work, then started again:
# it offers the work, recovers every edit completed before the kill, and the
# recovered picture is the one saved just before the kill, byte for byte.
# Each run paints a few drags (sometimes undoing one), saves the picture,
# then dies by SIGKILL, mostly in the middle of a drag, at a point that
# moves from run to run. The recovered project is also the one the command
# line recovers from the same journal.
# Usage: recovery-e2e.sh BRELLIN BRELLIN-CLI PICTURE [RUNS]  (default 3)
set -euo pipefail
source "$(dirname "$0")/../support/desktop-home.sh"
BRELLIN=$1 CLI=$2 PICTURE=$3 RUNS=${4:-3}
WORK=$(mktemp -d)
XVFB=
cleanup() {
  kill $(jobs -p) 2>/dev/null || true
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null || true
  [ -n "${KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "recovery-e2e: run $run: $*" >&2
  # SHOTS=FOLDER keeps a picture of the screen at a failure.
  if [ -n "${SHOTS:-}" ] && [ -n "${DISPLAY:-}" ]; then
    import-im6.q16 -window root "$SHOTS/recovery-e2e-failure.png" 2>/dev/null || true
    xdotool search --onlyvisible --name . getwindowname %@ >&2 2>/dev/null || true
  fi
  exit 1
}

# A display of our own: Xvfb picks a free number and tells it.
run=0
mkfifo "$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$WORK/displayfd" 2>/dev/null &
XVFB=$!
read -r -t 20 number <"$WORK/displayfd" || fail "Xvfb did not start"
export DISPLAY=":$number"

WAIT_WINDOW_VISIBLE=1
wait_file() {
  for _ in $(seq 1 $(($2 * 5))); do [ -s "$1" ] && return 0; sleep 0.2; done
  return 1
}
# Ctrl+S and a file name typed into the save dialog.
save_picture() {
  # Without a window manager the main window may take a moment to become
  # active again after a dialog: the key is pressed again if nothing opens.
  dialog=
  for _ in 1 2 3; do
    xdotool windowfocus --sync "$1"
    sleep 0.5
    xdotool key ctrl+s
    dialog=$(wait_window "^Save$" 15) && break
  done
  [ -n "$dialog" ] || fail "no save dialog for $2"
  xdotool windowfocus --sync "$dialog"
  sleep 0.3
  xdotool key ctrl+a
  xdotool type --delay 5 "$2"
  xdotool key Return
  wait_file "$2" 20 || fail "$2 was not written"
  sleep 0.5
}
drag() {  # window, start x, start y, moves
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1
  for k in $(seq 1 "$4"); do
    xdotool mousemove --window "$1" $(($2 + 12 * k)) $(($3 + 7 * k))
    sleep 0.05
  done
}

"$CLI" render "$PICTURE" -o "$WORK/start.jpg" --project "$WORK/start.bpj" --steps 1500 --quiet

passed=0
for run in $(seq 1 "$RUNS"); do
  dir=$WORK/run$run
  desktop_home "$dir" "$CLI"
  cp "$WORK/start.bpj" "$dir/p.bpj"
  cd "$dir"
  # Spread over the session: 0 to 3 finished drags, an undo in some runs,
  # and the kill after 0 to 5 moves of a drag, or between two drags.
  drags=$((run % 4))
  undo=$((run % 3 == 1 && drags >= 2))
  moves=$((run % 6))
  between=$((run % 5 == 4))

  "$BRELLIN" p.bpj &
  PID=$!
  WIN=$(wait_window "^Brellin Pro - " 60) || fail "no main window"
  xdotool windowfocus --sync "$WIN"
  sleep 0.5
  xdotool key a
  for d in $(seq 1 "$drags"); do
    drag "$WIN" $((100 + 23 * ((run + d) % 5))) $((100 + 19 * ((run * d) % 4))) 5
    xdotool mouseup 1
    sleep 0.3
  done
  [ "$undo" = 1 ] && { xdotool key ctrl+z; sleep 0.3; }
  save_picture "$WIN" "$dir/before.bmp"
  if [ "$between" = 0 ]; then
    xdotool windowfocus --sync "$WIN"
    drag "$WIN" 150 130 "$moves"
  fi
  kill -KILL $PID
  wait $PID 2>/dev/null || true
  journals=$(ls "$BRELLIN_HOME"/recovery/*.bjr 2>/dev/null | wc -l)
  [ "$journals" = 1 ] || fail "$journals journals after the kill"
  cp "$BRELLIN_HOME"/recovery/*.bjr "$dir/copy.bjr"
  "$CLI" recover "$dir/copy.bjr" -o "$dir/cli.bpj" --quiet || fail "the command line did not recover"

  # The next start asks; Return is Recover.
  "$BRELLIN" &
  PID=$!
  # Recovered: the program has taken the journal over and holds its lock.
  recovered() { "$CLI" recover --list | grep -q "in use by a running program"; }
  for _ in 1 2 3; do
    ASK=$(wait_window "^Brellin Pro$" 60) || fail "no recovery question"
    xdotool windowfocus --sync "$ASK"
    sleep 0.5
    xdotool key Return
    for _ in $(seq 1 25); do recovered && break; sleep 0.2; done
    recovered && break
  done
  recovered || fail "nothing was recovered"
  WIN=$(wait_window "^Brellin Pro - " 60) || fail "no main window after recovering"
  save_picture "$WIN" "$dir/after.bmp"
  cmp -s before.bmp after.bmp || fail "the recovered picture differs from the one saved before the kill"
  xdotool windowfocus --sync "$WIN"
  xdotool key ctrl+d
  sleep 1.5
  cmp -s p.bpj cli.bpj || fail "the desktop and the command line recovered different projects"
  xdotool key ctrl+q
  for _ in $(seq 1 50); do kill -0 $PID 2>/dev/null || break; sleep 0.2; done
  kill -0 $PID 2>/dev/null && fail "Ctrl+Q did not end the program"
  wait $PID || fail "the program ended with $?"
  [ -z "$(ls "$BRELLIN_HOME"/recovery/ 2>/dev/null)" ] || fail "a journal was left after a clean exit"
  echo "recovery-e2e: run $run: $drags drags, undo $undo, $([ "$between" = 1 ] && echo "killed between edits" || echo "killed after $moves moves of a drag"): identical"
  passed=$((passed + 1))
  cd "$WORK"
done
echo "recovery-e2e: $passed passed, 0 failed"
