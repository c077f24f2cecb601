# For scripts that run the real desktop program; source this file, then
#   desktop_home DIR BRELLIN-CLI
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
