#!/bin/sh
# Starts the demo in run/, its working directory. Without a display the
# greeting is rendered as a still instead, through EGL with no X server, and
# its path printed.
set -e
BUILD=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/../run"

if [ -n "$DISPLAY" ]; then
  exec "$BUILD/xmastrace"
fi

SAMPLES=${XMASTRACE_SAMPLES:-32}
STILL="$BUILD/greeting.png"
echo "No display: rendering the greeting as a still ($SAMPLES samples)."
"$BUILD/xmastrace_render" --samples "$SAMPLES" --out "$STILL"
echo "The greeting: $STILL"
