# Sourced by the scripts that need an X display. A virtual one is Xvfb, where
# Mesa's llvmpipe renders.
#
# -noreset: by default Xvfb resets itself whenever its last client leaves,
# and a program that connects during the reset is refused ("Failed to open
# display"). Tests start one program after another; in a quick loop about
# one start in ten failed that way.

# on_virtual_display COMMAND...: runs COMMAND on a display of its own.
on_virtual_display() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"
}

# on_display COMMAND...: on the user's display when there is one.
on_display() {
  if [ -z "$DISPLAY" ]; then
    on_virtual_display "$@"
  else
    "$@"
  fi
}
