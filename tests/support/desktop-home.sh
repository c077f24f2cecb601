# For scripts that run the real desktop program; source this file, then
#   desktop_home DIR BRELLIN-CLI
#   wait_window NAME SECONDS     prints the id of the first window whose name
#                                matches NAME (only visible ones when
#                                WAIT_WINDOW_VISIBLE=1), or fails after SECONDS
# makes DIR/home the program folder, holding the shipped library found beside
# the command-line program, and DIR/config the settings' home, so that a run
# never reads or writes the user's own folder or brellin.conf, nor another
# run's.

desktop_home() {
  local lib
  lib=$(dirname "$2")
  export BRELLIN_HOME=$1/home
  export XDG_CONFIG_HOME=$1/config
  mkdir -p "$BRELLIN_HOME"
  cp "$lib"/*.srd "$lib"/*.bst "$lib"/*.stk "$BRELLIN_HOME"/
}

wait_window() {
  local visible=() id _
  [ "${WAIT_WINDOW_VISIBLE:-}" = 1 ] && visible=(--onlyvisible)
  for _ in $(seq 1 $(($2 * 5))); do
    id=$(xdotool search "${visible[@]}" --name "$1" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.2
  done
  return 1
}
