# Runs the demo in damaged copies of its working directory and checks what a
# user would see: the exact messages, the exit status, and nothing else. A
# test sources this file, calls start_fault_runs, then run_fault once per
# case, and ends with finish_fault_runs.
. "$XMASTRACE_SOURCE_DIR/tests/support/demo.sh"

ROOM_DIR=$XMASTRACE_RUN_DIR
FAULT_PROGRAM=${FAULT_PROGRAM:-xmastrace}
# A device that always opens, so that only what a case breaks can fail and
# the tests play no sound on a developer's machine.
export SDL_AUDIODRIVER=dummy

# The statistics change with the scene; their lines must not.
normalise() {
  sed -E '/^(number of |empty nodes|internal nodes|oide sum|time to build)/s/: [-+0-9.e]+$/: #/' "$1"
}

# launch_in DIR LOG: starts the demo in DIR, waits for its window, and sets
# DEMO_WINDOW (empty when the demo ended before it showed one).
launch_in() {
  XMASTRACE_RUN_DIR=$1
  start_demo "$FAULT_PROGRAM" "$2"
  XMASTRACE_RUN_DIR=$ROOM_DIR
  DEMO_WINDOW=$(find_window_of_demo 30) || DEMO_WINDOW=
}

# finish_run LOG: lets a demo that got through its start-up draw a few
# frames, then quits it; sets DEMO_STATUS.
finish_run() {
  if wait_for_output "$1" "number of light emitter verts: " 60; then sleep 1; fi
  quit_demo "$DEMO_WINDOW" 30
}

start_fault_runs() {
  FAULT_WORK=$(mktemp -d "${TMPDIR:-/tmp}/xmastrace_faults.XXXXXX")
  trap 'rm -rf "$FAULT_WORK"' EXIT
  FAULTS_PASSED=0
  FAULTS_FAILED=0
  # What a normal start prints, as the reference for "nothing else".
  copy=$(copy_run_dir "$ROOM_DIR")
  launch_in "$copy" "$FAULT_WORK/normal.log"
  finish_run "$FAULT_WORK/normal.log"
  rm -rf "$copy"
  if [ "$DEMO_STATUS" != 0 ] || ! grep -q "^number of light emitter verts: " "$FAULT_WORK/normal.log"; then
    echo "FAIL: the undamaged demo does not start and end cleanly (status $DEMO_STATUS)" >&2
    cat "$FAULT_WORK/normal.log" >&2
    exit 1
  fi
  normalise "$FAULT_WORK/normal.log" >"$FAULT_WORK/normal.lines"
}

fault_failed() {
  echo "FAIL: $1: $2" >&2
  sed 's/^/    | /' "$3" >&2
  FAULTS_FAILED=$((FAULTS_FAILED + 1))
}

# check_run NAME STATUS EXPECTED LOG: the run ended with STATUS and printed,
# besides the lines of a normal start, exactly the lines EXPECTED (extended
# regular expressions, one per line, in order; empty for none). A run that
# ends with 0 must also have printed every line of a normal start.
check_run() {
  name=$1
  log=$4
  normalise "$log" >"$FAULT_WORK/run.lines"
  grep -vxF -f "$FAULT_WORK/normal.lines" "$FAULT_WORK/run.lines" >"$FAULT_WORK/new.lines"
  printf '%s' "$3" | grep . >"$FAULT_WORK/expected.lines"
  if [ "$DEMO_STATUS" != "$2" ]; then
    fault_failed "$name" "exit status $DEMO_STATUS, expected $2" "$log"
    return 1
  fi
  if grep -q "Error from API" "$log"; then
    fault_failed "$name" "a GL error was reported" "$log"
    return 1
  fi
  if [ "$(wc -l <"$FAULT_WORK/new.lines")" != "$(wc -l <"$FAULT_WORK/expected.lines")" ]; then
    fault_failed "$name" "other lines than expected: $(tr '\n' '|' <"$FAULT_WORK/new.lines")" "$log"
    return 1
  fi
  line=0
  while IFS= read -r pattern; do
    line=$((line + 1))
    if ! sed -n "${line}p" "$FAULT_WORK/new.lines" | grep -qxE -- "$pattern"; then
      fault_failed "$name" "line $line is not /$pattern/" "$log"
      return 1
    fi
  done <"$FAULT_WORK/expected.lines"
  if [ "$2" = 0 ] && grep -vxF -f "$FAULT_WORK/run.lines" "$FAULT_WORK/normal.lines" | grep -q .; then
    fault_failed "$name" "a line of the normal start is missing" "$log"
    return 1
  fi
  FAULTS_PASSED=$((FAULTS_PASSED + 1))
}

# run_fault NAME STATUS EXPECTED SETUP: runs the demo in a copy of run/ that
# the shell commands SETUP have altered (they run inside the copy), and
# checks it with check_run.
run_fault() {
  copy=$(copy_run_dir "$ROOM_DIR")
  if ! (cd "$copy" && eval "$4"); then
    fault_failed "$1" "the damage could not be made" /dev/null
    rm -rf "$copy"
    return 1
  fi
  log="$FAULT_WORK/$1.log"
  launch_in "$copy" "$log"
  finish_run "$log"
  check_run "$1" "$2" "$3" "$log"
  [ -n "${FAULT_TIMES:-}" ] && echo "$1: $(date +%s.%N)" >&2
  rm -rf "$copy"
}

finish_fault_runs() {
  echo "$1: $FAULTS_PASSED passed, $FAULTS_FAILED failed"
  [ "$FAULTS_FAILED" = 0 ]
}
