# A virtual X display for scripts that need one; source this file, then
#   xvfb_start [WIDTHxHEIGHTxDEPTH]   starts Xvfb and exports DISPLAY
#   xvfb_stop                         ends it (safe to call twice, or unstarted)
# The server picks a free display number itself (-displayfd) and reports it
# once it accepts clients, so parallel runs never race for a number and no
# client connects before the server is ready. The server never resets
# (-noreset): by default it resets whenever its last client leaves, and a
# program started at that moment, as the scripts do between runs, is turned
# away ("could not connect to display"), more often the busier the machine.
# Call xvfb_stop from the caller's EXIT trap.

XVFB_PID=""
XVFB_DIR=""

xvfb_start() {
  local screen=${1:-1280x1024x24} display="" _
  xvfb_stop  # one server per script
  XVFB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/xvfb.XXXXXX")
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$XVFB_DIR/display" \
    >"$XVFB_DIR/log" 2>&1 &
  XVFB_PID=$!
  # The number arrives when the server listens; a server that died says why.
  for _ in $(seq 1 300); do
    read -r display <"$XVFB_DIR/display" || true
    [ -n "$display" ] && break
    if ! kill -0 "$XVFB_PID" 2>/dev/null; then
      echo "xvfb: the virtual display did not start:" >&2
      cat "$XVFB_DIR/log" >&2
      xvfb_stop
      return 1
    fi
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "xvfb: the virtual display did not report its number in 30 s" >&2
    xvfb_stop
    return 1
  fi
  export DISPLAY=":$display"
}

xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  [ -n "$XVFB_DIR" ] && rm -rf "$XVFB_DIR"
  XVFB_PID=""
  XVFB_DIR=""
}
