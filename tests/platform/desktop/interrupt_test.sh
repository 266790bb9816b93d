# Ctrl+C and kill end either program at once, through its normal clean-up,
# with the shell's status for the signal (128 + its number): with a working
# audio device (SDL's disk driver, which plays into a file) and without one.
. "$XMASTRACE_SOURCE_DIR/tests/support/demo.sh"
set -u
log=$(mktemp)
sound=$(mktemp)
trap 'rm -f "$log" "$sound"; [ -n "${DEMO_PID:-}" ] && stop_demo' EXIT
export SDL_DISKAUDIOFILE="$sound"

# From the signal to the end. The program looks once a frame, and a frame of
# the small window below takes milliseconds; the rest is its clean-up.
kLimitMs=1000

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# interrupt PROGRAM SIGNAL STATUS AUDIO_DRIVER
interrupt() {
  export SDL_AUDIODRIVER=$4
  start_demo "$1" "$log"
  window=$(find_demo_window 120) || fail "$1: no window"
  wait_for_output "$log" "number of light emitter verts: " 120 || fail "$1: no start-up"
  xdotool windowsize --sync "$window" 96 64
  sleep 1
  demo_alive || fail "$1 ended before the signal"
  sent=$(now_ms)
  kill -s "$2" "$DEMO_PID"
  while demo_alive && [ $(($(now_ms) - sent)) -lt 10000 ]; do sleep 0.02; done
  elapsed=$(($(now_ms) - sent))
  demo_alive && fail "$1 still running 10 s after SIG$2"
  wait "$DEMO_PID"
  status=$?
  DEMO_PID=
  [ "$status" = "$3" ] || fail "$1: exit status $status after SIG$2, expected $3"
  [ "$elapsed" -le $kLimitMs ] || fail "$1 took $elapsed ms to end after SIG$2"
  echo "$1, SIG$2, audio driver $4: status $status after $elapsed ms"
}

interrupt xmastrace INT 130 disk
interrupt xmastrace_fast TERM 143 disk
interrupt xmastrace TERM 143 no-such-driver
grep -q "^Can't initialize device" "$log" || fail "the audio device was expected to fail"
echo "interrupt: 3 passed, 0 failed"
