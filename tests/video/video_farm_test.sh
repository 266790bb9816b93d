# A video rendered in pieces over several job slots of GNU parallel, as a
# farm would, and joined: the joined video holds the pictures of a single
# run (within what the encoder's other frame types change) and its tune,
# as long as the pictures and not faded early. Joins that would lose
# frames (a gap, a missing last frame, a piece short of what its label
# says) are refused, name the frames or the piece, and write nothing.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="log"
COMPARE="$XMASTRACE_BINARY_DIR/tests/compare_videos"
DROP_LAST_FRAME="$XMASTRACE_BINARY_DIR/tests/drop_last_frame"
# Raw averages of two samples: a frame drawn from other random numbers
# differs by 7 to 11 levels on average, the encoder's own changes by under 2.
video="--size 64x48 --seconds 2 --fps 4 --samples 2 --no-denoise"

cd "$XMASTRACE_RUN_DIR" || exit 1
"$RENDER" --video "$work/single.mp4" $video >"$work/log" 2>&1 || fail "the single run failed"
# The third range runs past the end, which stops at the last frame (7); the
# fourth is a piece of one frame.
parallel --will-cite --jobs 3 --halt now,fail=1 \
  "'$RENDER' --video '$work/piece-{}.mp4' --frames {} $video" ::: 0-2 3-5 6-99 6-6 >"$work/log" 2>&1 ||
  fail "a piece failed"
"$DROP_LAST_FRAME" "$work/piece-3-5.mp4" "$work/piece-trimmed.mp4" >"$work/log" 2>&1 || fail "cannot trim a piece"

# join_pieces NAME PIECES...: joins the pieces (given by their frames) into NAME.mp4.
join_pieces() {
  name=$1
  shift
  pieces=""
  for piece in "$@"; do pieces="$pieces $work/piece-$piece.mp4"; done
  "$RENDER" --join $pieces --video "$work/$name.mp4" >"$work/log" 2>&1
  STATUS=$?
}

join_pieces joined 0-2 3-5 6-99
[ "$STATUS" = 0 ] || fail "the join failed"
"$COMPARE" "$work/single.mp4" "$work/joined.mp4" >"$work/log" 2>&1 || fail "joined and single differ"
grep -q "^frames 8, .*audio 1/1, sound \(2\.0[0-9]*\)/\1 s\$" "$work/log" ||
  fail "not 8 frames with the tune over their 2 s"
# A piece on its own is the same frames of the single run.
"$COMPARE" "$work/single.mp4" "$work/piece-3-5.mp4" 3 >"$work/log" 2>&1 || fail "a piece differs from its frames"
"$COMPARE" "$work/single.mp4" "$work/piece-6-6.mp4" 6 >"$work/log" 2>&1 || fail "a one-frame piece differs"

# refuse NAME MESSAGE PIECES...: the join fails with status 1 and MESSAGE.
refuse() {
  name=$1
  message=$2
  shift 2
  join_pieces "$name" "$@"
  [ "$STATUS" = 1 ] || fail "the join of $name gives status $STATUS"
  grep -qF -- "$message" "$work/log" || fail "the join of $name does not say '$message'"
  ls "$work" | grep -q "^$name.mp4" && fail "the refused join of $name left $(ls "$work" | grep "^$name")"
  return 0
}

refuse gap "cannot join: frames 3-5 are missing, between $work/piece-0-2.mp4 and $work/piece-6-99.mp4" 0-2 6-99
refuse short "cannot join: frame 7 is missing, after $work/piece-6-6.mp4" 0-2 3-5 6-6
refuse cut "$work/piece-trimmed.mp4" 0-2 trimmed 6-99
echo "video farm: passed"
