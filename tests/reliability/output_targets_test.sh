# Outputs that are no plain new file: a device (a private node, never the
# system's), a link, standard output, a read-only or private file, a folder
# the user may not write. Nothing there may be replaced by a file behind the
# user's back, and a still on standard output must be the PNG alone.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="err"
still="--size 32x24 --samples 1"
video="--size 32x24 --samples 1 --seconds 0.25 --fps 4"

# render ARGS...: runs the program in run/ through EGL, standard output to
# $work/out, and sets STATUS.
render() {
  (cd "$XMASTRACE_RUN_DIR" && exec env -u DISPLAY "$RENDER" "$@") >"$work/out" 2>"$work/err"
  STATUS=$?
}

render $still --out "$work/reference.png"
[ "$STATUS" = 0 ] || fail "a plain still failed"

# A device, or a link to one: a still is written into it, a video refused;
# the node stays a device, the link a link.
mknod "$work/device" c 1 3
ln -s device "$work/device-link.mp4"
render $still --out "$work/device"
[ "$STATUS" = 0 ] && [ -c "$work/device" ] || fail "a still replaced the device"
render --video "$work/device-link.mp4" $video
[ "$STATUS" = 1 ] || fail "a video into a device gives status $STATUS"
grep -qF "cannot write $work/device-link.mp4: it is a device or a pipe" "$work/err" || fail "no reason for the device"
[ -c "$work/device" ] && [ -L "$work/device-link.mp4" ] || fail "a video replaced the device or its link"

# Standard output, under each of its names: the PNG alone, every line of
# the run on standard error.
for name in - /proc/self/fd/1; do
  render $still --out "$name"
  [ "$STATUS" = 0 ] || fail "--out $name gives status $STATUS"
  cmp -s "$work/out" "$work/reference.png" || fail "--out $name is not the PNG alone"
  grep -q "obj loaded" "$work/err" || fail "--out $name lost the log"
done
(cd "$XMASTRACE_RUN_DIR" && env -u DISPLAY "$RENDER" $still --out /proc/self/fd/1 2>"$work/err") | cat >"$work/piped.png"
cmp -s "$work/piped.png" "$work/reference.png" || fail "the still through a pipe is not the PNG alone"

# A read-only file is not replaced by a video (root may write it, so the
# mode says it); a private picture stays private; a link keeps leading to
# the new picture.
echo "keep me" >"$work/read-only.mp4"
chmod 444 "$work/read-only.mp4"
render --video "$work/read-only.mp4" $video
[ "$STATUS" = 1 ] && grep -q "Permission denied" "$work/err" || fail "a read-only file was not refused"
grep -q "keep me" "$work/read-only.mp4" || fail "the read-only file was replaced"
echo old >"$work/private.png"
chmod 600 "$work/private.png"
echo old >"$work/target.png"
ln -s target.png "$work/link.png"
for name in private.png link.png; do
  render $still --out "$work/$name"
  [ "$STATUS" = 0 ] || fail "--out $name gives status $STATUS"
done
[ "$(stat -c %a "$work/private.png")" = 600 ] || fail "the private picture became $(stat -c %a "$work/private.png")"
[ -L "$work/link.png" ] && cmp -s "$work/target.png" "$work/reference.png" || fail "the link was replaced"

# A writable file in a folder another user may not write: the folder is
# what refuses, and is named.
if command -v setpriv >/dev/null && [ "$(id -u)" = 0 ]; then
  mkdir "$work/locked"
  echo old >"$work/locked/mine.png"
  chmod 755 "$work" "$work/locked"
  chmod 666 "$work/locked/mine.png"
  (cd "$XMASTRACE_RUN_DIR" && exec env -u DISPLAY setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$RENDER" $still --out "$work/locked/mine.png") >"$work/out" 2>"$work/err"
  grep -qF "cannot write $work/locked/mine.png: cannot make a file in $work/locked: Permission denied" "$work/err" ||
    fail "the folder is not named"
fi
echo "output targets: passed"
