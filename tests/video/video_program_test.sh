# xmastrace_render --video as a user runs it: bad input fails with status 1
# before any rendering and leaves no file, a missing tune gives a warning and
# a silent video (so does a tune that is a device or a FIFO), and Ctrl+C
# or a closed terminal ends it with status 130 or 129 and nothing written.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="out err"
videos="$work/videos"
mkdir "$videos"

# render ARGS...: runs the program in run/ and sets STATUS.
render() {
  (cd "$XMASTRACE_RUN_DIR" && exec "$RENDER" "$@") >"$work/out" 2>"$work/err"
  STATUS=$?
}

# refuse MESSAGE ARGS...: status 1 with MESSAGE, before the scene is loaded.
refuse() {
  message=$1
  shift
  render "$@"
  [ "$STATUS" = 1 ] || fail "'$*' gives status $STATUS"
  grep -qF -- "$message" "$work/err" || fail "'$*' does not say '$message'"
  grep -q "obj loaded" "$work/out" && fail "'$*' started rendering"
  [ -z "$(ls -A "$videos")" ] || fail "'$*' left a file"
}

refuse "needs an even width and height (try 96x64)" --video "$videos/a.mp4" --size 97x64
refuse "bad value for --seconds: '0'" --video "$videos/a.mp4" --seconds 0
refuse "bad value for --fps: '-2'" --video "$videos/a.mp4" --fps -2
refuse "unknown option for a video: '--out'" --video "$videos/a.mp4" --out x.png
refuse "cannot write $work/no/such/a.mp4: No such file" --video "$work/no/such/a.mp4"
refuse "cannot write $videos: it is a folder" --video "$videos"
refuse "bad value for --frames: '5-3'" --video "$videos/a.mp4" --frames 5-3
refuse "bad value for --frames: the video has frames 0-3" --video "$videos/a.mp4" --frames 4-9 --seconds 1 --fps 4
refuse "is no piece made with --frames" --join "$XMASTRACE_RUN_DIR/data/sound.mp3" --video "$videos/a.mp4"

# Without the tune: a warning, and a video with pictures and no sound.
mkdir "$work/run"
for entry in "$XMASTRACE_RUN_DIR"/*; do ln -s "$entry" "$work/run/"; done
rm "$work/run/data" && mkdir "$work/run/data" && ln -s "$XMASTRACE_RUN_DIR/data/xmas" "$work/run/data/xmas"
(cd "$work/run" && exec "$RENDER" --video "$videos/silent.mp4" --size 32x32 --seconds 0.5 --fps 4 --samples 1) \
  >"$work/out" 2>"$work/err"
[ $? = 0 ] || fail "without the tune the status is not 0"
grep -q "^warning: cannot read the tune data/sound.mp3 .*: the video will be silent" "$work/err" || fail "no warning"
grep -q "^video written: $videos/silent.mp4\$" "$work/out" || fail "no 'video written' line"
grep -qa avc1 "$videos/silent.mp4" || fail "no H.264 track"
grep -qa mp4a "$videos/silent.mp4" && fail "a sound track without a tune"
rm "$videos/silent.mp4"

# A tune that is no regular file (a device that reads without end, a FIFO
# that nobody writes to) counts as missing, at once.
for kind in device fifo; do
  if [ $kind = device ]; then ln -s /dev/zero "$work/run/data/sound.mp3"; else mkfifo "$work/run/data/sound.mp3"; fi
  (cd "$work/run" && exec timeout 60 "$RENDER" --video "$videos/$kind.mp4" --size 32x32 --seconds 0.5 --fps 4 \
    --samples 1) >"$work/out" 2>"$work/err"
  STATUS=$?
  [ "$STATUS" = 0 ] || fail "a $kind as the tune gives status $STATUS"
  grep -q "^warning: cannot read the tune data/sound.mp3 (missing, or not a regular file)" "$work/err" ||
    fail "no warning for a $kind"
  grep -qa mp4a "$videos/$kind.mp4" && fail "a sound track from a $kind"
  rm "$videos/$kind.mp4" "$work/run/data/sound.mp3"
done

# A tune longer than a video may last gives no length of its own: an hour
# and a second of 8-bit silence at 1000 Hz, as a WAV file under the tune's name.
le() { for shift in $(seq 0 8 $(($2 * 8 - 8))); do printf "\\$(printf %03o $((($1 >> shift) & 255)))"; done; }
n=3601000
{ printf RIFF; le $((36 + n)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le 1 2; le 1000 4; le 1000 4; le 1 2; le 8 2
  printf data; le $n 4; head -c $n /dev/zero | tr '\0' '\200'; } >"$work/run/data/sound.mp3"
(cd "$work/run" && exec timeout 60 "$RENDER" --video "$videos/long.mp4" --size 32x32) >"$work/out" 2>"$work/err"
STATUS=$?
[ "$STATUS" = 1 ] || fail "a tune of over an hour gives status $STATUS"
grep -q "^the tune is longer than the 1:00:00 a video may last: give --seconds" "$work/err" || fail "no message"
[ -z "$(ls -A "$videos")" ] || fail "a refused length left $(ls "$videos")"
rm "$work/run/data/sound.mp3"

# Ctrl+C, or the terminal closed, half-way: the video never appears under
# its name, not even in part.
for signal in INT:130 HUP:129; do
  : >"$work/err"
  (cd "$XMASTRACE_RUN_DIR" && exec "$RENDER" --video "$videos/stopped.mp4" --size 64x64 --seconds 60 --fps 4 \
    --samples 4) >"$work/out" 2>"$work/err" &
  pid=$!
  for _ in $(seq 600); do
    grep -q "] [1-9][0-9]*/240 frames" "$work/err" && break
    sleep 0.1
  done
  [ -e "$videos/stopped.mp4" ] && fail "the video has its name before it is done"
  ls "$videos" | grep -q "^stopped.mp4.part-" || fail "no temporary file while rendering"
  kill -"${signal%:*}" $pid
  wait $pid
  STATUS=$?
  [ "$STATUS" = "${signal#*:}" ] || fail "SIG${signal%:*} gives status $STATUS"
  grep -q "^interrupted after [0-9]* of 240 frames: no video written" "$work/err" || fail "no message on SIG${signal%:*}"
  [ -z "$(ls -A "$videos")" ] || fail "SIG${signal%:*} left $(ls "$videos")"
done
echo "video program: passed"
