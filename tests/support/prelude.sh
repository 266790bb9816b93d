# The opening of the render program's shell tests: unset variables are
# errors, RENDER is the program, $work a private folder removed on exit,
# and `fail MESSAGE` says what failed, shows the files of $work named in
# FAIL_LOGS (those that exist) and ends the test with status 1.
set -u
RENDER="$XMASTRACE_BINARY_DIR/xmastrace_render"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $1" >&2
  for log in ${FAIL_LOGS:-}; do
    if [ -f "$work/$log" ]; then cat "$work/$log" >&2; fi
  done
  exit 1
}
