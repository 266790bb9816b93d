#!/bin/sh
# Runs every test through CTest. GL tests need an X display: without one the
# whole run goes under a virtual framebuffer (Mesa's llvmpipe renders).
set -e
BUILD=${1:-build}
cd "$BUILD"
if [ -z "$DISPLAY" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)"
fi
exec ctest --output-on-failure -j"$(nproc)"
