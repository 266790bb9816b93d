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
# Without a display the demo cannot open its window: it says why, and ends
# with -1 rather than in silence.
for program in xmastrace xmastrace_fast; do
  (unset DISPLAY; cd "$XMASTRACE_RUN_DIR" && exec "$XMASTRACE_BINARY_DIR/$program") >"$log" 2>&1
  status=$?
  [ "$status" = 255 ] || fail "$program without a display: exit status $status, expected 255"
  grep -qi "^Can't open the window: .*display" "$log" || fail "$program without a display: no reason given"
done
echo "demo exit: 6 passed, 0 failed"
