#!/bin/sh
# Runs every benchmark program; those that need GL get a virtual display when
# there is no real one.
set -e
. "$(dirname "$0")/virtual-display.sh"
BUILD=${1:-build}
found=0
for bench in "$BUILD"/bench/*_bench; do
  [ -x "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  on_display "$bench"
done
[ $found -eq 1 ] || echo "no benchmarks built yet"
