# Both programs start on the room, print the load and build statistics,
# render a picture that is not uniform and that changes as samples add up,
# report no GL error, and end with status 0 on Escape. The screenshots are
# kept in the build directory for a look.
. "$XMASTRACE_SOURCE_DIR/tests/support/demo.sh"
set -u
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Standard deviation of the pixel values, 0 to 1.
spread() { convert "$1" -colorspace Gray -format '%[fx:standard_deviation]' info:; }
# Number of pixels that differ between two pictures.
changed_pixels() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1; }

for program in xmastrace xmastrace_fast; do
  early="$XMASTRACE_BINARY_DIR/${program}_early.png"
  late="$XMASTRACE_BINARY_DIR/${program}_late.png"
  start_demo $program "$log"
  window=$(find_demo_window 120) || fail "$program: no window"
  # The window maps before the first frame: wait for a picture.
  waited=0
  while :; do
    import -window "$window" "$early" || fail "$program: no screenshot"
    awk "BEGIN { exit !($(spread "$early") > 0.02) }" && break
    [ $waited -lt 60 ] || fail "$program: the picture stays uniform"
    sleep 1
    waited=$((waited + 1))
  done
  sleep 4
  import -window "$window" "$late" || fail "$program: no screenshot"
  press_key "$window" Escape
  wait_demo 60 || fail "$program: still running after Escape"
  [ "$DEMO_STATUS" = 0 ] || fail "$program: exit status $DEMO_STATUS after Escape"

  grep -q "^number of faces loaded: [1-9]" "$log" || fail "$program: no load statistics"
  grep -q "^time to build: " "$log" || fail "$program: no build statistics"
  [ "$(grep -c '^Frame buffer incomplete, missing attachment$' "$log")" = 1 ] ||
    fail "$program: the framebuffer note is not there exactly once"
  grep -q "Error from API" "$log" && fail "$program: GL error reported"

  [ "$(changed_pixels "$early" "$late")" -gt 0 ] || fail "$program: the picture never changed"
done
echo "demo render: 2 programs passed"
