# xmastrace_render as a user runs it: tiny stills of both variants and of the
# three primary views, the progress bar, the timings, no music and no GL
# error; bad options, an unwritable output (before any rendering), a program
# that does not link and a start outside run/ fail with status 1.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="out err"

# render ARGS...: runs the program in run/ and sets STATUS.
render() {
  (cd "$XMASTRACE_RUN_DIR" && exec "$RENDER" "$@") >"$work/out" 2>"$work/err"
  STATUS=$?
}

check_clean_run() {
  [ "$STATUS" = 0 ] || fail "$1: exit status $STATUS"
  grep -q "Error from API" "$work/out" && fail "$1: GL error reported"
  grep -q "Can't initialize device\|Can't play music" "$work/out" && fail "$1: music was started"
  grep -q "^image written: $2\$" "$work/out" || fail "$1: no 'image written' line"
  [ "$(identify -format '%w %h %[channels]' "$2")" = "48 32 srgb" ] || fail "$1: not a 48x32 RGB picture"
}

for variant in "" --fast; do
  out="$work/still$variant.png"
  render --size 48x32 --samples 6 --out "$out" --bench $variant
  check_clean_run "still $variant" "$out"
  grep -q "6/6 samples" "$work/err" || fail "still $variant: no progress bar"
  grep -q "^primary pass: 1 x, .* Mrays/s" "$work/out" || fail "still $variant: no primary timing"
  grep -q "^path sample: 6 x, .* Mrays/s" "$work/out" || fail "still $variant: no sample timing"
done
# One bounce and two bounces must not give the same picture.
[ "$(compare -metric AE "$work/still.png" "$work/still--fast.png" null: 2>&1 | cut -d' ' -f1)" -gt 0 ] ||
  fail "both variants rendered the same picture"

for view in color position normal; do
  out="$work/$view.png"
  render --size 48x32 --view $view --out "$out"
  check_clean_run "view $view" "$out"
done
# The position and normal views of the same hits differ from the colours.
for view in position normal; do
  [ "$(compare -metric AE "$work/color.png" "$work/$view.png" null: 2>&1 | cut -d' ' -f1)" -gt 0 ] ||
    fail "the $view view shows the colours"
done

render --samples zero
[ "$STATUS" = 1 ] || fail "a bad sample count gives status $STATUS"
grep -q "^usage: xmastrace_render" "$work/err" || fail "no usage after a bad option"

# Where the picture cannot go is said before the scene is even loaded.
for target in "$work/no/such/dir.png" "$work" /proc/x.png; do
  render --size 16x16 --samples 1 --out "$target"
  [ "$STATUS" = 1 ] || fail "an unwritable output gives status $STATUS"
  grep -q "^cannot write $target: " "$work/err" || fail "no message for $target"
  grep -q "obj loaded" "$work/out" && fail "$target is refused only after rendering"
done

# A program that does not link draws no picture: nothing is written.
cp -RL "$XMASTRACE_RUN_DIR" "$work/run"
printf '#version 330\nout vec4 output0;\nvoid helper(){output0=vec4(1.0);}\n' \
  >"$work/run/TextureShaderAccumFS.glsl"
(cd "$work/run" && exec "$RENDER" --size 16x16 --samples 1 --out "$work/white.png") >"$work/out" 2>"$work/err"
STATUS=$?
[ "$STATUS" = 1 ] || fail "a program that did not link gives status $STATUS"
grep -q "^Linker failure: " "$work/err" || fail "no link log"
grep -q "TextureShaderAccumFS.glsl did not link: nothing written" "$work/err" || fail "no message"
[ -e "$work/white.png" ] && fail "a picture from a program that did not link was written"

(cd "$work" && exec "$RENDER" --size 16x16 --samples 1 --out "$work/elsewhere.png") >"$work/out" 2>"$work/err"
STATUS=$?
[ "$STATUS" = 1 ] || fail "outside run/ the status is $STATUS"
grep -q "run xmastrace_render in run/" "$work/err" || fail "no message outside run/"
[ -e "$work/elsewhere.png" ] && fail "a picture was written outside run/"

render --help
[ "$STATUS" = 0 ] && grep -q "^usage:" "$work/out" || fail "--help"
echo "still renderer: passed"
