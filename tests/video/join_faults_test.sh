# --join given what a careless farm hands it: a piece cut short at any
# length, many pieces under a low limit of open files, the video to write
# among the pieces, a name that is no MP4, a read-only file or a device as
# the video, a piece rendered from another room or after a shader file was
# edited, and pieces whose labels say another rate, size or codec than their
# frames. Each is refused with its own reason, nothing written; the limit of
# open files is no reason.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="err"
video="--size 64x48 --samples 1 --seconds 1 --fps 8"

# run_in FOLDER ARGS...: runs the program in FOLDER through EGL and sets STATUS.
run_in() {
  (cd "$1" && shift && exec env -u DISPLAY "$RENDER" "$@") >"$work/out" 2>"$work/err"
  STATUS=$?
}

# refused MESSAGE ARGS...: a join that fails with MESSAGE and writes nothing.
refused() {
  message=$1
  shift
  run_in "$XMASTRACE_RUN_DIR" --join "$@"
  [ "$STATUS" = 1 ] || fail "'$*' gives status $STATUS"
  grep -qF -- "$message" "$work/err" || fail "'$*' does not say '$message'"
  ls "$work" | grep -q "^j" && fail "'$*' left a file"
  return 0
}

for range in 0-3 4-7 0-0 1-1 2-2 3-3 4-4 5-5 6-6 7-7; do
  run_in "$XMASTRACE_RUN_DIR" --video "$work/p$range.mp4" --frames $range $video
  [ "$STATUS" = 0 ] || fail "the piece $range failed"
done
p="$work/p0-3.mp4 $work/p4-7.mp4"

# Cut in the frames (the index at the front still promises all of them),
# at the last bytes, and in the index itself.
size=$(stat -c %s "$work/p4-7.mp4")
for length in 3000 $((size - 7)) 1500 1000; do
  head -c "$length" "$work/p4-7.mp4" >"$work/cut.mp4"
  refused "$work/cut.mp4 is damaged or cut short: " "$work/p0-3.mp4" "$work/cut.mp4" --video "$work/j.mp4"
done
head -c 3000 "$work/p4-7.mp4" >"$work/cut.mp4"
refused "not the 4 of its frames 4-7 (frame" "$work/p0-3.mp4" "$work/cut.mp4" --video "$work/j.mp4"

# Eight one-frame pieces under a limit of ten open files: read one at a
# time, the join needs six; holding them all open at once, it needed sixteen.
(ulimit -n 10 && cd "$XMASTRACE_RUN_DIR" && exec env -u DISPLAY "$RENDER" --join \
  "$work/p0-0.mp4" "$work/p1-1.mp4" "$work/p2-2.mp4" "$work/p3-3.mp4" "$work/p4-4.mp4" \
  "$work/p5-5.mp4" "$work/p6-6.mp4" "$work/p7-7.mp4" --video "$work/ones.mp4") >"$work/out" 2>"$work/err" ||
  fail "one-frame pieces fail under a limit of ten open files"

# The video to write may not be a piece, under any name.
cp "$work/p0-3.mp4" "$work/copy.mp4"
ln -s p4-7.mp4 "$work/link.mp4"
refused "is the piece $work/p4-7.mp4" $p --video "$work/link.mp4"
cmp -s "$work/p0-3.mp4" "$work/copy.mp4" || fail "the piece changed"
[ -L "$work/link.mp4" ] || fail "the link to a piece was replaced"

# The same rules for the video's name and file as a render's.
refused "its name must end in .mp4" $p --video "$work/j.avi"
mknod "$work/device.mp4" c 1 3
refused "it is a device or a pipe" $p --video "$work/device.mp4"
[ -c "$work/device.mp4" ] || fail "the device was replaced"
echo "keep me" >"$work/read-only.mp4"
chmod 444 "$work/read-only.mp4"
refused "Permission denied" $p --video "$work/read-only.mp4"
grep -q "keep me" "$work/read-only.mp4" || fail "the read-only file was replaced"

# A piece of another room: the same options, other words on the wall.
cp -RL "$XMASTRACE_RUN_DIR" "$work/other-run"
echo "# another greeting" >>"$work/other-run/data/xmas/qm.obj"
run_in "$work/other-run" --video "$work/other4-7.mp4" --frames 4-7 $video
[ "$STATUS" = 0 ] || fail "the piece of the other room failed"
refused "$work/other4-7.mp4 was rendered from other files" "$work/p0-3.mp4" "$work/other4-7.mp4" --video "$work/j.mp4"

# Pieces rendered after a shader file of the folder was edited, in place
# (the same size) and then made longer.
cp -RL "$XMASTRACE_RUN_DIR" "$work/edited-run"
sed -i 's/tex_c, 0.0/tex_c, 1.0/' "$work/edited-run/FS.glsl"
cmp -s "$XMASTRACE_RUN_DIR/FS.glsl" "$work/edited-run/FS.glsl" && fail "FS.glsl was not edited"
for edit in same-size longer; do
  [ "$edit" = longer ] && echo "// edited" >>"$work/edited-run/FS.glsl"
  run_in "$work/edited-run" --video "$work/${edit}4-7.mp4" --frames 4-7 $video
  [ "$STATUS" = 0 ] || fail "the piece after the $edit edit failed"
  refused "$work/${edit}4-7.mp4 was rendered from other files" "$work/p0-3.mp4" "$work/${edit}4-7.mp4" --video "$work/j.mp4"
done

# Labels that say another rate or size than the stream (the same number of
# bytes, so nothing else in the file changes), and a stream of another
# codec under the label: joined by the label, the picture and the sound
# would part ways.
relabel() {
  for piece in p0-3 p4-7; do perl -0777 -pe "$1" "$work/$piece.mp4" >"$work/label$piece.mp4"; done
  cmp -s "$work/p0-3.mp4" "$work/labelp0-3.mp4" && fail "'$1' changed no label"
  return 0
}
labelled="$work/labelp0-3.mp4 $work/labelp4-7.mp4 --video $work/j.mp4"
relabel 's/64x48 at 8 fps/64x48 at 9 fps/'
refused "labelp0-3.mp4 says it is 64x48 at 9 fps, but its frames are shown for 0.125 s each, not 1/9 s" $labelled
relabel 's/64x48 at 8 fps/64x40 at 8 fps/'
refused "labelp0-3.mp4 says it is 64x40 at 8 fps, but its video is 64x48, not 64x40" $labelled
for piece in p0-3 p4-7; do
  ffmpeg -v error -i "$work/$piece.mp4" -map_metadata 0 -c:v mpeg4 -an "$work/mpeg4$piece.mp4" ||
    fail "ffmpeg could not re-encode $piece"
done
refused "mpeg4p0-3.mp4 says it is 64x48 at 8 fps, but its video is not H.264" \
  "$work/mpeg4p0-3.mp4" "$work/mpeg4p4-7.mp4" --video "$work/j.mp4"

run_in "$XMASTRACE_RUN_DIR" --join $p --video "$work/whole.mp4"
[ "$STATUS" = 0 ] || fail "the pieces do not join"
echo "join faults: passed"
