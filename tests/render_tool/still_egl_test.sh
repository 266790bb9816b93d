# xmastrace_render without an X server: with DISPLAY unset, or set but empty
# as in many CI jobs and containers, it makes its GL context through EGL,
# says which renderer it got, and writes a still, a primary view and a video
# byte for byte as through the hidden window; --egl asks for EGL when a
# display is at hand.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="out err"

[ -n "${DISPLAY:-}" ] || fail "the hidden window to compare with needs an X display"

# render ARGS...: runs the program in run/, as a user does.
render() {
  (cd "$XMASTRACE_RUN_DIR" && exec "$RENDER" "$@") >"$work/out" 2>"$work/err" ||
    fail "exit status $? for $*"
  grep -q "Error from API" "$work/out" && fail "GL error reported for $*"
  return 0
}

# through WAY: the line that names the renderer says how the context was made.
through() {
  grep -q "^GL renderer: .* from .*, through $1\$" "$work/err" || fail "no renderer line for $1"
}
EGL_WAY="\(an EGL device\|EGL's surfaceless platform\)"

render --size 96x64 --samples 4 --out "$work/window.png"
through "a hidden window"
(unset DISPLAY && render --size 96x64 --samples 4 --out "$work/egl.png" --bench) || exit 1
through "$EGL_WAY"
grep -q "^GL renderer: .* from " "$work/out" || fail "no renderer in the timings"
# A GL timer that missed its start reads the time since boot, far above
# the wall clock around the same pass.
awk '/^primary pass:/ { if ($5 + 0 > 2 * $9 + 1) bad = 1; seen = 1 } END { exit !(seen && !bad) }' \
  "$work/out" || fail "the primary pass's GL time exceeds its wall time"
cmp "$work/window.png" "$work/egl.png" || fail "the still through EGL differs from the window's"

render --size 96x64 --view normal --out "$work/window-normal.png"
render --egl --size 96x64 --view normal --out "$work/egl-normal.png"
through "$EGL_WAY"
cmp "$work/window-normal.png" "$work/egl-normal.png" ||
  fail "the normal view through EGL differs from the window's"

# One frame is enough: the video's file holds no time stamp of its making.
render --video "$work/window.mp4" --seconds 0.1 --fps 10 --size 48x32 --samples 2
(export DISPLAY= && render --video "$work/egl.mp4" --seconds 0.1 --fps 10 --size 48x32 --samples 2) ||
  exit 1
through "$EGL_WAY"
cmp "$work/window.mp4" "$work/egl.mp4" || fail "the video through EGL differs from the window's"
echo "still through EGL: passed"
