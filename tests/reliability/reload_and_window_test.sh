# What a user can do to the running demo: edit a shader into something that
# does not compile and press F5, take shader files away before F5, resize the
# window to odd sizes and minimise it, switch to full screen and back with
# F11, close it while it is still starting.
# The demo keeps drawing where it should and always ends with status 0.
. "$XMASTRACE_SOURCE_DIR/tests/reliability/fault_runs.sh"
on_private_display "$XMASTRACE_SOURCE_DIR/tests/reliability/reload_and_window_test.sh"
set -u
start_fault_runs

spread() { convert "$1" -colorspace Gray -format '%[fx:standard_deviation]' info:; }
changed_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

# still_drawing NAME: the window shows a picture that is not uniform and
# that changes as samples add up (within 30 s: a loaded machine may take
# seconds per frame, and a resize reaches the viewport only at the next
# frame, so the first change seen may still be a corner of a blank window).
still_drawing() {
  before="$FAULT_WORK/before.png"
  after="$FAULT_WORK/after.png"
  import -window "$DEMO_WINDOW" "$before" || {
    fault_failed "$1" "no screenshot" /dev/null
    return 1
  }
  waited=0
  changed=0
  while :; do
    sleep 1
    waited=$((waited + 1))
    import -window "$DEMO_WINDOW" "$after" || {
      fault_failed "$1" "no screenshot" /dev/null
      return 1
    }
    if [ "$(changed_pixels "$before" "$after")" != 0 ]; then
      changed=1
      awk "BEGIN { exit !($(spread "$after") > 0.02) }" && return 0
    fi
    if [ $waited -ge 30 ]; then
      if [ $changed = 0 ]; then
        fault_failed "$1" "the picture stopped changing" /dev/null
      else
        fault_failed "$1" "the picture is uniform" /dev/null
      fi
      return 1
    fi
  done
}

# reload_after NAME EXPECTED DAMAGE: starts the demo, damages the shader
# files once it runs, presses F5 and checks that it goes on.
reload_after() {
  copy=$(copy_run_dir "$ROOM_DIR")
  log="$FAULT_WORK/$1.log"
  launch_in "$copy" "$log"
  if wait_for_output "$log" "number of light emitter verts: " 60; then
    (cd "$copy" && eval "$3")
    press_key "$DEMO_WINDOW" F5
    sleep 2
    still_drawing "$1"
    drawing=$?
  fi
  quit_demo "$DEMO_WINDOW" 30
  [ "${drawing:-1}" = 0 ] && check_run "$1" 0 "$2" "$log"
  rm -rf "$copy"
}

compiler_error="Error from Shader Compiler,	High priority
Message: .*error.*"
reload_after "F5 with a primary-ray shader that does not compile" "$compiler_error" \
  "echo 'not glsl' >> VoxelShaderFSgiga.glsl"
reload_after "F5 with two shaders that do not compile" "$compiler_error
$compiler_error" "echo 'not glsl' >> VoxelShaderFSgiga.glsl && : > gigaAOShaderFS.glsl"
# A missing fragment file leaves the stage out, as at start-up: the programs
# change, the demo goes on.
copy=$(copy_run_dir "$ROOM_DIR")
launch_in "$copy" "$FAULT_WORK/f5-missing.log"
if wait_for_output "$FAULT_WORK/f5-missing.log" "number of light emitter verts: " 60; then
  rm "$copy/VoxelShaderFSgiga.glsl" "$copy/gigaAOShaderFS.glsl"
  press_key "$DEMO_WINDOW" F5
  sleep 3
fi
quit_demo "$DEMO_WINDOW" 30
check_run "F5 with the reloaded fragment files missing" 0 "" "$FAULT_WORK/f5-missing.log"
rm -rf "$copy"

# Sizes the window manager of a user might hand out, from one pixel to more
# than the screen, with cursor moves and wheel steps at each; then hidden
# and shown again, as minimising does (without a window manager xdotool's
# own minimise request has no one to act on it). No drags: how far one turns
# the camera depends on the frame its events land in, and a camera turned to
# the open sky shows a uniform picture that is right. The render targets
# follow every size and sampling restarts, so the picture is judged as it
# comes, without a camera move.
copy=$(copy_run_dir "$ROOM_DIR")
launch_in "$copy" "$FAULT_WORK/resize.log"
if wait_for_output "$FAULT_WORK/resize.log" "number of light emitter verts: " 60; then
  for size in "1 1" "3 1001" "1001 3" "769 513" "2001 1501" "17 9"; do
    timeout 10 xdotool windowsize --sync "$DEMO_WINDOW" $size
    xdotool mousemove --window "$DEMO_WINDOW" 0 0 mousemove --window "$DEMO_WINDOW" 5 5 click 5
    sleep 0.5
  done
  xdotool windowminimize "$DEMO_WINDOW" 2>/dev/null
  xdotool windowunmap --sync "$DEMO_WINDOW"
  sleep 2
  xdotool windowmap --sync "$DEMO_WINDOW"
  xdotool windowsize --sync "$DEMO_WINDOW" 300 200
  still_drawing "resized and minimised" && resized=0
fi
quit_demo "$DEMO_WINDOW" 30
[ "${resized:-1}" = 0 ] && check_run "resized and minimised" 0 "" "$FAULT_WORK/resize.log"
rm -rf "$copy"

# F11 makes the window cover the screen and draws there; F11 again gives
# the window its size back. (Xvfb's screen of on_private_display.)
window_size() { xwininfo -id "$DEMO_WINDOW" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
# await_size SIZE: a frame on llvmpipe at full screen takes seconds, and the
# key acts in the frame after the one it arrives in.
await_size() {
  waited=0
  until [ "$(window_size)" = "$1" ]; do
    [ $waited -lt 150 ] || return 1
    sleep 0.2
    waited=$((waited + 1))
  done
}
copy=$(copy_run_dir "$ROOM_DIR")
launch_in "$copy" "$FAULT_WORK/full-screen.log"
if wait_for_output "$FAULT_WORK/full-screen.log" "number of light emitter verts: " 60; then
  press_key "$DEMO_WINDOW" F11
  if ! await_size 1280x1024; then
    fault_failed "F11" "the window is $(window_size), not the screen's 1280x1024" /dev/null
  elif still_drawing "full screen"; then
    press_key "$DEMO_WINDOW" F11
    if await_size 768x512; then
      full_screen=0
    else
      fault_failed "F11 again" "the window is $(window_size), not 768x512 as before" /dev/null
    fi
  fi
fi
quit_demo "$DEMO_WINDOW" 30
[ "${full_screen:-1}" = 0 ] && check_run "full screen and back" 0 "" "$FAULT_WORK/full-screen.log"
rm -rf "$copy"

# Closed as soon as the window shows (while the scene is still being built)
# and right after the first frames; both programs.
for program in xmastrace xmastrace_fast; do
  FAULT_PROGRAM=$program
  copy=$(copy_run_dir "$ROOM_DIR")
  launch_in "$copy" "$FAULT_WORK/close-early.log"
  "$XMASTRACE_BINARY_DIR/tests/close_window" "$DEMO_WINDOW"
  wait_demo 60
  check_run "$program closed while starting" 0 "" "$FAULT_WORK/close-early.log"

  launch_in "$copy" "$FAULT_WORK/close-first.log"
  wait_for_output "$FAULT_WORK/close-first.log" "number of light emitter verts: " 60
  "$XMASTRACE_BINARY_DIR/tests/close_window" "$DEMO_WINDOW"
  wait_demo 60
  check_run "$program closed in its first frames" 0 "" "$FAULT_WORK/close-first.log"
  rm -rf "$copy"
done

finish_fault_runs "reload and window"
