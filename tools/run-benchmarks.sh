#!/bin/sh
# Runs every benchmark program; those that need GL get a virtual display when
# there is no real one.
set -e
BUILD=${1:-build}
found=0
for bench in "$BUILD"/bench/*_bench; do
  [ -x "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  if [ -z "$DISPLAY" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$bench"
  else
    "$bench"
  fi
done
[ $found -eq 1 ] || echo "no benchmarks built yet"
