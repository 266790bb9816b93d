# A video rendered in pieces over several job slots of GNU parallel, as a
# farm would, and joined: the joined video holds the pictures of a single
# run (within what the encoder's other frame types change) and its tune;
# a join with a piece missing names the missing frames and writes nothing.
set -u
RENDER="$XMASTRACE_BINARY_DIR/xmastrace_render"
COMPARE="$XMASTRACE_BINARY_DIR/tests/compare_videos"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Raw averages of two samples: a frame drawn from other random numbers
# differs by 7 to 11 levels on average, the encoder's own changes by under 2.
video="--size 64x48 --seconds 2 --fps 4 --samples 2 --no-denoise"

fail() {
  echo "FAIL: $1" >&2
  cat "$work/log" >&2
  exit 1
}

cd "$XMASTRACE_RUN_DIR" || exit 1
"$RENDER" --video "$work/single.mp4" $video >"$work/log" 2>&1 || fail "the single run failed"
# The last range runs past the end, which stops at the last frame (7).
parallel --will-cite --jobs 3 --halt now,fail=1 \
  "'$RENDER' --video '$work/piece-{#}.mp4' --frames {} $video" ::: 0-2 3-5 6-99 >"$work/log" 2>&1 ||
  fail "a piece failed"
"$RENDER" --join "$work/piece-1.mp4" "$work/piece-2.mp4" "$work/piece-3.mp4" --video "$work/joined.mp4" \
  >"$work/log" 2>&1 || fail "the join failed"
"$COMPARE" "$work/single.mp4" "$work/joined.mp4" >"$work/log" 2>&1 || fail "joined and single differ"
grep -q "^frames 8, .*audio 1/1\$" "$work/log" || fail "not 8 frames with the tune"
# A piece on its own is the same frames of the single run.
"$COMPARE" "$work/single.mp4" "$work/piece-2.mp4" 3 >"$work/log" 2>&1 || fail "a piece differs from its frames"

"$RENDER" --join "$work/piece-1.mp4" "$work/piece-3.mp4" --video "$work/gap.mp4" >"$work/log" 2>&1
[ $? = 1 ] || fail "a join with a gap does not fail with status 1"
grep -qF "cannot join: frames 3-5 are missing, between $work/piece-1.mp4 and $work/piece-3.mp4" "$work/log" ||
  fail "the gap is not named"
ls "$work" | grep -q "^gap" && fail "a refused join left a file"
echo "video farm: passed"
