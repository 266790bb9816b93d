# A user's session with xmastrace on the room, driven through the X server
# as a person would: orbit with a left-button drag, zoom with the wheel,
# hold each of W, A, S, D, E and Q, cycle the views with F1 three times,
# hold Up and Down, reload the shaders with F5 and quit with Escape. Every
# camera move must change the picture, the iso value must be printed, no
# GL error may be reported and the exit status must be 0. The screenshots
# stay in the build directory for a look.
#
# llvmpipe takes about a second per frame at the window's size, so nothing
# here waits a fixed time for a frame: every step watches the screenshots
# until the demo has drawn what the step needs.
. "$XMASTRACE_SOURCE_DIR/tests/support/demo.sh"
set -u
log=$(mktemp)
# F5 exports the reloaded shaders as headers into the working directory:
# the session runs in a copy of run/ so that they land there.
work=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$work"; [ -n "${DEMO_PID:-}" ] && stop_demo' EXIT
cp "$XMASTRACE_RUN_DIR"/*.glsl "$work"/
ln -s "$XMASTRACE_RUN_DIR/data" "$work/data"
XMASTRACE_RUN_DIR=$work
shots="$XMASTRACE_BINARY_DIR/user_session"
rm -rf "$shots"
mkdir -p "$shots"
started=$(date +%s)
kSessionLimit=170

within_limit() {
  [ $(($(date +%s) - started)) -lt $kSessionLimit ] || fail "session longer than $kSessionLimit s ($1)"
}

# Differences at a coarse scale, where block means wash out the sampling
# noise of the progressive image but not a new view or the switch from the
# hit colours to the path-traced average after a restart. Refinement stays
# below kRefining; a camera move takes the settled picture beyond kMoved.
kRefining=0.02
kMoved=0.03
coarse_difference() {
  compare -metric RMSE "$1-coarse.png" "$2-coarse.png" null: 2>&1 | sed 's/.*(\(.*\)).*/\1/'
}
exact_difference() { compare -metric AE "$1.png" "$2.png" null: 2>&1 | cut -d' ' -f1; }
above() { awk "BEGIN { exit !($1 > $2) }"; }

shot=0
# take NAME: screenshot of the demo window into $shots/NN-NAME.png with its
# coarse form beside it; sets SHOT to the path without the extension.
take() {
  within_limit "$1"
  shot=$((shot + 1))
  SHOT=$(printf '%s/%02d-%s' "$shots" "$shot" "$1")
  import -window "$window" "$SHOT.png" || fail "no screenshot ($1)"
  convert "$SHOT.png" -colorspace Gray -scale 48x32! "$SHOT-coarse.png"
}

# settle NAME: waits until the picture refines the view it shows, and sets
# PICTURE to it. The frame being drawn when an input ends, and the one
# after it, may still restart; the third new frame is the first that can
# refine the one before it. Frames that change nothing (none drawn yet, or a
# re-jittered primary pass) do not count.
settle() {
  take "$1"
  previous=$SHOT
  frames=0
  while :; do
    sleep 0.5
    take "$1"
    [ "$(exact_difference "$previous" "$SHOT")" = 0 ] && continue
    frames=$((frames + 1))
    if [ $frames -ge 3 ] && ! above "$(coarse_difference "$previous" "$SHOT")" $kRefining; then
      PICTURE=$SHOT
      return 0
    fi
    previous=$SHOT
  done
}

# await_restart NAME: waits until the picture leaves the settled PICTURE,
# which only a camera change does: the input has reached a frame.
await_restart() {
  while :; do
    take "$1"
    above "$(coarse_difference "$PICTURE" "$SHOT")" $kRefining && return 0
    sleep 0.5
  done
}

# moved NAME: once the moved view has settled, it must differ from the
# settled view before the move.
moved() {
  before=$PICTURE
  settle "$1"
  d=$(coarse_difference "$before" "$PICTURE")
  above "$d" $kMoved || fail "the picture did not change after $1 (coarse difference $d)"
  echo "$1: coarse difference $d"
}

focus() { xdotool windowfocus --sync "$window" 2>/dev/null || true; }

# await_frames NAME COUNT: waits until the demo has drawn COUNT new frames.
await_frames() {
  take "$1"
  previous=$SHOT
  frames=0
  while [ $frames -lt "$2" ]; do
    sleep 0.5
    take "$1"
    [ "$(exact_difference "$previous" "$SHOT")" = 0 ] && continue
    frames=$((frames + 1))
    previous=$SHOT
  done
}

# The pointer reaches the drag's start two frames before the button goes
# down: a frame takes the pointer's whole travel since the frame before as
# one step, so a press in the same frame as the move onto the window would
# turn the camera by the distance from wherever the pointer was (outside
# the window, at start-up) and point it at the ceiling.
drag() {
  xdotool mousemove --window "$window" 384 256
  await_frames drag 2
  xdotool mousedown 1
  for step in 1 2 3 4 5 6; do
    xdotool mousemove --window "$window" $((384 + 20 * step)) $((256 - 6 * step))
  done
  await_restart drag
  xdotool mouseup 1
  moved drag
}

wheel() {
  xdotool mousemove --window "$window" 384 256
  xdotool click --repeat 5 --delay 100 4
  await_restart wheel
  moved wheel
}

# hold KEY: keeps a key down until a frame has moved the camera with it.
hold() {
  focus
  xdotool keydown "$1"
  await_restart "key-$1"
  xdotool keyup "$1"
  moved "key-$1"
}

start_demo xmastrace "$log"
window=$(find_demo_window 120) || fail "no window"

settle start
drag
wheel
# A frame on llvmpipe takes about a second, and a held key moves the camera
# by 5 units per second of frame time: Q, the first time, would take it
# below the floor, where E could not bring it back into view. Up first.
for key in w a s d e q; do hold $key; done

for _ in 1 2 3; do press_key "$window" F1; done
# Up and Down print a line every frame they are held; each is held for two.
iso_lines() { grep -c "^iso value: " "$log"; }
hold_for_lines() {
  target=$(($(iso_lines) + 2))
  focus
  xdotool keydown "$1"
  while [ "$(iso_lines)" -lt $target ]; do
    within_limit "$1"
    sleep 0.5
  done
  xdotool keyup "$1"
}
hold_for_lines Up
hold_for_lines Down
press_key "$window" F5
# The reload compiles the shaders from their files; the demo goes on.
settle after-reload
[ -f "$work/gigaAOShaderFS.h" ] || fail "F5 did not rebuild the path-tracing program"
press_key "$window" Escape
wait_demo 60 || fail "still running after Escape"
# Ended and reaped: its id may name another process from now on.
DEMO_PID=
[ "$DEMO_STATUS" = 0 ] || fail "exit status $DEMO_STATUS after Escape"

grep -q "Error from API" "$log" && fail "GL error reported"
# Up raises the value from 0.25 and Down brings it back down.
awk '/^iso value: / { v = $3; n++; if (n == 1) first = v; if (v > top) top = v; last = v }
     END { exit !(n >= 2 && first > 0.25 && last < top) }' "$log" ||
  fail "no rising and falling iso value lines"
echo "user session: passed in $(($(date +%s) - started)) s"
