#!/bin/sh
# Soak run: the demo under a virtual display for many frames at a small
# window size with random mouse and keyboard input, checking that its
# resident memory stops growing after a warm-up, that no GL error is
# reported, and that it ends with status 0.
#
#   tools/soak.sh [BUILD]          (make soak runs it on build/)
#
# Settings through the environment:
#   SOAK_FRAMES   frames to run (default 2000)
#   SOAK_WARMUP   frames before the memory baseline is taken (default 500)
#   SOAK_SIZE     window size while soaking (default "96 64")
#   SOAK_PROGRAM  xmastrace or xmastrace_fast (default xmastrace)
#   SOAK_SLACK_KB growth of resident memory allowed after the warm-up
#                 (default 4096)
#   SOAK_F5       press F5 now and then, rebuilding the programs (default 1)
#   SOAK_SEED     seed of the input sequence (default 1)
#   SOAK_LOG      where the demo's output and the memory samples go
#                 (default BUILD/soak.log and BUILD/soak-memory.txt)
set -u
BUILD=$(cd "${1:-build}" && pwd)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
FRAMES=${SOAK_FRAMES:-2000}
WARMUP=${SOAK_WARMUP:-500}
SIZE=${SOAK_SIZE:-96 64}
PROGRAM=${SOAK_PROGRAM:-xmastrace}
SLACK_KB=${SOAK_SLACK_KB:-4096}
PRESS_F5=${SOAK_F5:-1}
SEED=${SOAK_SEED:-1}
LOG=${SOAK_LOG:-$BUILD/soak.log}
MEMORY=${LOG%.log}-memory.txt

if [ -z "${SOAK_ON_DISPLAY:-}" ]; then
  . "$ROOT/tools/virtual-display.sh"
  export SOAK_ON_DISPLAY=1
  on_virtual_display sh "$0" "$BUILD"
  exit $?
fi

# Frames are counted where the demo swaps its buffers: a small library put
# in front of GLFW's swap writes the running count to a file.
COUNTER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/xmastrace_soak.XXXXXX")
trap 'rm -rf "$COUNTER_DIR"' EXIT
cat >"$COUNTER_DIR/count.c" <<'CODE'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static unsigned long frames;

/* Written aside and renamed, so that a reader never sees a half file. */
static void report(void) {
  const char* path = getenv("SOAK_FRAME_FILE");
  char aside[4096];
  if (!path || snprintf(aside, sizeof aside, "%s.new", path) >= (int)sizeof aside) return;
  FILE* out = fopen(aside, "w");
  if (!out) return;
  fprintf(out, "%lu\n", frames);
  if (fclose(out) == 0) rename(aside, path);
}

void glfwSwapBuffers(void* window) {
  static void (*real)(void*);
  if (!real) *(void**)&real = dlsym(RTLD_NEXT, "glfwSwapBuffers");
  real(window);
  if (++frames % 10 == 0) report();
}
CODE
cc -shared -fPIC -O2 -o "$COUNTER_DIR/count.so" "$COUNTER_DIR/count.c" -ldl || exit 1
FRAME_FILE="$COUNTER_DIR/frames"
echo 0 >"$FRAME_FILE"

RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/xmastrace_soak_run.XXXXXX")
cp -RL "$ROOT/run/." "$RUN_DIR/"
trap 'rm -rf "$COUNTER_DIR" "$RUN_DIR"' EXIT

(cd "$RUN_DIR" && SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} SOAK_FRAME_FILE="$FRAME_FILE" \
  LD_PRELOAD="$COUNTER_DIR/count.so" exec "$BUILD/$PROGRAM") >"$LOG" 2>&1 &
DEMO=$!

frames() { cat "$FRAME_FILE" 2>/dev/null || echo 0; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$DEMO/status" 2>/dev/null; }
alive() { kill -0 "$DEMO" 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' "/proc/$DEMO/status" 2>/dev/null; }

window=
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --pid "$DEMO" --name Quellmark 2>/dev/null | head -n 1)
  [ -n "$window" ] || ! alive && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "soak: the demo showed no window" >&2
  cat "$LOG" >&2
  exit 1
fi
xdotool windowsize --sync "$window" $SIZE
xdotool windowfocus --sync "$window" 2>/dev/null

# A small generator of its own, so that a seed gives the same input on every
# machine. It sets R to a number below $1 (no subshell: the state must move).
state=$SEED
draw() {
  state=$(((state * 1103515245 + 12345) % 2147483648))
  R=$((state / 65536 % $1))
}

# One random action: a move, a drag, a wheel step, a held movement key, F1,
# Up or Down, or (now and then) F5.
act() {
  set -- $SIZE
  draw "$1"; x=$R
  draw "$2"; y=$R
  draw "$1"; x2=$R
  draw "$2"; y2=$R
  draw 6; move_key=$(echo w s a d q e | cut -d' ' -f$((R + 1)))
  draw 2; arrow=$(echo Up Down | cut -d' ' -f$((R + 1)))
  draw 2; wheel=$((4 + R))
  draw 30
  case $R in
    0) if [ "$PRESS_F5" = 1 ]; then
         xdotool key F5
         rebuilds=$((rebuilds + 1))
       fi ;;
    1 | 2 | 3 | 4 | 5 | 6) xdotool mousemove --window "$window" "$x" "$y" ;;
    7 | 8 | 9 | 10 | 11 | 12) xdotool mousemove --window "$window" "$x" "$y" mousedown 1 \
             mousemove --window "$window" "$x2" "$y2" mouseup 1 ;;
    13 | 14 | 15 | 16) xdotool click "$wheel" ;;
    17 | 18 | 19 | 20 | 21 | 22) xdotool keydown "$move_key" sleep 0.1 keyup "$move_key" ;;
    23 | 24 | 25) xdotool key F1 ;;
    *) xdotool key "$arrow" ;;
  esac
  actions=$((actions + 1))
}

actions=0
rebuilds=0
# Every kind of input once before the baseline, F5 twice: the driver keeps
# what it builds for a new state or program, and that is no leak.
warm_up() {
  set -- $SIZE
  xdotool key F1 key F1 key F1 key Up key Down click 4 click 5
  xdotool mousemove --window "$window" 1 1 mousedown 1 mousemove --window "$window" $(($1 / 2)) $(($2 / 2)) mouseup 1
  xdotool keydown w sleep 0.1 keyup w
  if [ "$PRESS_F5" = 1 ]; then
    xdotool key F5 sleep 1 key F5
    rebuilds=2
  fi
}
start=$(date +%s)
warm_up
echo "# seconds frames rss_kb" >"$MEMORY"
baseline=
peak=0
# One input, then one memory sample: a few per second.
while alive && [ "$(frames)" -lt "$FRAMES" ]; do
  act
  sleep 0.05
  now=$(date +%s)
  f=$(frames)
  rss=$(rss_kb)
  [ -n "$rss" ] || continue
  echo "$((now - start)) $f $rss" >>"$MEMORY"
  if [ -z "$baseline" ] && [ "$f" -ge "$WARMUP" ]; then
    baseline=$rss
    echo "soak: warm after $f frames, $((now - start)) s: resident $rss kB"
  fi
  [ -n "$baseline" ] && [ "$rss" -gt "$peak" ] && peak=$rss
done
end=$(date +%s)
reached=$(frames)
final_rss=$(rss_kb)

status=
if alive; then
  for _ in $(seq 30); do
    alive || break
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key Escape
    sleep 1
  done
fi
if alive; then
  echo "soak: the demo did not end on Escape" >&2
  kill "$DEMO"
  for _ in $(seq 50); do
    alive || break
    sleep 0.2
  done
  alive && kill -9 "$DEMO"
fi
wait "$DEMO"
status=$?

seconds=$((end - start))
echo "soak: $reached frames in $seconds s ($PROGRAM, window $SIZE), $actions inputs, $rebuilds of them F5"
echo "soak: resident memory after warm-up ${baseline:-?} kB, peak ${peak} kB, at the end ${final_rss:-?} kB"
failed=0
if [ "$reached" -lt "$FRAMES" ]; then
  echo "FAIL: the demo stopped after $reached of $FRAMES frames" >&2
  failed=1
fi
if [ -z "$baseline" ] || [ "$peak" -gt $((baseline + SLACK_KB)) ]; then
  echo "FAIL: resident memory grew by more than $SLACK_KB kB after the warm-up" >&2
  failed=1
fi
if grep -q "Error from API" "$LOG"; then
  echo "FAIL: GL errors reported:" >&2
  grep -A1 "Error from API" "$LOG" | head -n 20 >&2
  failed=1
fi
if [ "$status" != 0 ]; then
  echo "FAIL: exit status $status" >&2
  failed=1
fi
echo "soak: output in $LOG, memory samples in $MEMORY"
[ "$failed" = 0 ] && echo "soak: passed"
exit "$failed"
