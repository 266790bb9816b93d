#!/bin/sh
# Starts the demo in run/, its working directory. Without a display the
# greeting is rendered as a still on a virtual screen instead, and its path
# printed.
set -e
. "$(dirname "$0")/virtual-display.sh"
BUILD=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/../run"

if [ -n "$DISPLAY" ]; then
  exec "$BUILD/xmastrace"
fi

SAMPLES=${XMASTRACE_SAMPLES:-32}
STILL="$BUILD/greeting.png"
echo "No display: rendering the greeting as a still ($SAMPLES samples)."
on_virtual_display "$BUILD/xmastrace_render" --samples "$SAMPLES" --out "$STILL"
echo "The greeting: $STILL"
