# A still or a video is made to be passed on, and is written through a
# private temporary file: once finished it has the mode the user's umask
# gives any new file, no wider (others could overwrite it) and no narrower.
. "$XMASTRACE_SOURCE_DIR/tests/support/prelude.sh"
FAIL_LOGS="log"

for case in 022:644 077:600; do
  mask=${case%:*}
  for output in "--out $work/still.png" "--video $work/video.mp4 --seconds 0.25 --fps 4"; do
    file=${output#* }
    file=${file%% *}
    (umask "$mask" && cd "$XMASTRACE_RUN_DIR" && exec "$RENDER" $output --size 16x16 --samples 1) \
      >"$work/log" 2>&1 || fail "$output under umask $mask gives status $?"
    mode=$(stat -c %a "$file")
    [ "$mode" = "${case#*:}" ] || fail "$file has mode $mode under umask $mask, not ${case#*:}"
    rm "$file"
  done
done
echo "output modes: passed"
