#!/bin/sh
# The committed room files must be exactly what the generator writes today, so
# the two never drift apart: regenerate into a scratch folder and compare.
set -e
gen="$XMASTRACE_BINARY_DIR/tools/roomgen/roomgen"
if [ ! -x "$gen" ]; then
  echo "roomgen is not built: $gen"
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$gen" "$out" >/dev/null
diff -r "$out" "$XMASTRACE_RUN_DIR/data/xmas"
# Twice in a row gives the same bytes too (no state leaks between runs).
mkdir "$out/again"
"$gen" "$out/again" >/dev/null
for f in "$out"/*.obj; do
  cmp "$f" "$out/again/$(basename "$f")"
done
