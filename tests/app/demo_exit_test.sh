# Both programs start on the X display and end with status 0 when the user
# presses Escape or closes the window.
. "$XMASTRACE_SOURCE_DIR/tests/support/demo.sh"
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT

for program in xmastrace xmastrace_fast; do
  start_demo $program "$log"
  window=$(find_demo_window 120) || fail "$program: no window"
  press_key "$window" Escape
  wait_demo 60 || fail "$program: still running after Escape"
  [ "$DEMO_STATUS" = 0 ] || fail "$program: exit status $DEMO_STATUS after Escape"
  grep -q "Error from API" "$log" && fail "$program: GL error reported"

  start_demo $program "$log"
  window=$(find_demo_window 120) || fail "$program: no window"
  "$XMASTRACE_BINARY_DIR/tests/close_window" "$window"
  wait_demo 60 || fail "$program: still running after the window was closed"
  [ "$DEMO_STATUS" = 0 ] || fail "$program: exit status $DEMO_STATUS after closing"
done
echo "demo exit: 4 passed, 0 failed"
