# Shell helpers for end-to-end tests that run a demo program on the X display.
# Source it; it expects XMASTRACE_BINARY_DIR and XMASTRACE_RUN_DIR.

# start_demo PROGRAM LOG: starts the program in run/ and sets DEMO_PID.
start_demo() {
  (cd "$XMASTRACE_RUN_DIR" && exec "$XMASTRACE_BINARY_DIR/$1") >"$2" 2>&1 &
  DEMO_PID=$!
}

# find_demo_window SECONDS: prints the demo window's id once it is mapped;
# fails at once if the demo has ended without one.
find_demo_window() {
  xdotool search --sync --onlyvisible --limit 1 --name "Quellmark wish you a merry christmas" &
  search=$!
  waited=0
  while kill -0 $search 2>/dev/null; do
    if [ $waited -ge "$1" ] || ! kill -0 "$DEMO_PID" 2>/dev/null; then
      kill $search 2>/dev/null
      return 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait $search
}

# wait_demo SECONDS: waits for the demo to end and sets DEMO_STATUS, or kills
# it and fails when it outlives the bound. (Not in a subshell: only the
# shell that started the demo can wait for it.)
wait_demo() {
  waited=0
  while kill -0 "$DEMO_PID" 2>/dev/null; do
    if [ $waited -ge "$1" ]; then
      kill -9 "$DEMO_PID" 2>/dev/null
      echo "demo did not exit within $1 s" >&2
      return 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait "$DEMO_PID"
  DEMO_STATUS=$?
}

# press_key WINDOW KEY: focuses the window and types the key through XTEST, as
# a keyboard would.
press_key() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers "$2"
}
