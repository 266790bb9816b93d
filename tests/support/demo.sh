# Shell helpers for end-to-end tests that run a demo program on the X display.
# Source it; it expects XMASTRACE_BINARY_DIR and XMASTRACE_RUN_DIR.

# fail MESSAGE: ends the test, showing the demo's output kept in $log.
fail() {
  echo "FAIL: $1" >&2
  [ -n "${log:-}" ] && [ -f "$log" ] && cat "$log" >&2
  exit 1
}

# start_demo PROGRAM LOG: starts the program in run/ and sets DEMO_PID.
start_demo() {
  (cd "$XMASTRACE_RUN_DIR" && exec "$XMASTRACE_BINARY_DIR/$1") >"$2" 2>&1 &
  DEMO_PID=$!
}

# process_running PID: true while the process runs. An ended child stays a
# zombie until waited for, which kill -0 still finds.
process_running() {
  kill -0 "$1" 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# demo_alive: true while the demo started last runs.
demo_alive() {
  process_running "$DEMO_PID"
}

# find_demo_window SECONDS: prints the demo window's id once it is mapped;
# fails at once if the demo has ended without one.
find_demo_window() {
  xdotool search --sync --onlyvisible --limit 1 --name "Quellmark wish you a merry christmas" &
  search=$!
  waited=0
  while process_running $search; do
    if [ $waited -ge "$1" ] || ! demo_alive; then
      kill $search 2>/dev/null
      return 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait $search
}

# wait_demo SECONDS: waits for the demo to end and sets DEMO_STATUS, or stops
# it and fails when it outlives the bound. (Not in a subshell: only the
# shell that started the demo can wait for it.)
wait_demo() {
  waited=0
  while demo_alive; do
    if [ $waited -ge "$1" ]; then
      stop_demo
      echo "demo did not exit within $1 s" >&2
      return 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait "$DEMO_PID"
  DEMO_STATUS=$?
}

# stop_demo: ends the demo started last as a user's kill does, so that it
# leaves through its clean-up; SIGKILL only if it ignores that for 10 s.
stop_demo() {
  kill "$DEMO_PID" 2>/dev/null
  waited=0
  while demo_alive && [ $waited -lt 50 ]; do
    sleep 0.2
    waited=$((waited + 1))
  done
  demo_alive && kill -9 "$DEMO_PID" 2>/dev/null
  wait "$DEMO_PID" 2>/dev/null
}

# press_key WINDOW KEY: focuses the window and types the key through XTEST, as
# a keyboard would.
press_key() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers "$2"
}

# --- Helpers for the failure-injection tests ---

# on_private_display SCRIPT: re-runs SCRIPT under a display of its own, so
# that no other test's window takes the keyboard focus or the window search.
# Ends with the script's status; does nothing once on that display.
on_private_display() {
  [ -n "${XMASTRACE_PRIVATE_DISPLAY:-}" ] && return 0
  . "$XMASTRACE_SOURCE_DIR/tools/virtual-display.sh"
  export XMASTRACE_PRIVATE_DISPLAY=1
  on_virtual_display sh "$1"
  exit $?
}

# copy_run_dir SOURCE: prints the path of a fresh temporary copy of the
# working directory SOURCE, links resolved, for a test to damage.
copy_run_dir() {
  copy=$(mktemp -d "${TMPDIR:-/tmp}/xmastrace_run.XXXXXX") || return 1
  cp -RL "$1/." "$copy/" && echo "$copy"
}

# find_window_of_demo SECONDS: like find_demo_window, but only the window of
# the demo started last.
find_window_of_demo() {
  waited=0
  while demo_alive && [ $waited -lt $(($1 * 5)) ]; do
    xdotool search --onlyvisible --pid "$DEMO_PID" --name "Quellmark" 2>/dev/null | head -n 1 | grep . && return 0
    sleep 0.2
    waited=$((waited + 1))
  done
  return 1
}

# wait_for_output LOG TEXT SECONDS: waits until a line of LOG starts with
# TEXT; fails when the demo ends first or the time runs out.
wait_for_output() {
  waited=0
  until grep -q "^$2" "$1"; do
    demo_alive || return 1
    [ $waited -lt $(($3 * 5)) ] || return 1
    sleep 0.2
    waited=$((waited + 1))
  done
}

# quit_demo WINDOW SECONDS: presses Escape until the demo ends, then sets
# DEMO_STATUS as wait_demo does. A press during start-up is kept by the
# window until the first frame, so pressing early is harmless.
quit_demo() {
  waited=0
  while demo_alive; do
    if [ $waited -ge "$2" ]; then
      stop_demo
      echo "demo did not exit within $2 s of Escape" >&2
      return 1
    fi
    press_key "$1" Escape 2>/dev/null
    sleep 1
    waited=$((waited + 1))
  done
  wait "$DEMO_PID"
  DEMO_STATUS=$?
}
