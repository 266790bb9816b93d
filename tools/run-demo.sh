#!/bin/sh
# Starts the demo in run/, its working directory. Without a display the demo
# runs for a few seconds on a virtual one and a screenshot is saved instead.
set -e
BUILD=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/../run"

if [ -n "$DISPLAY" ]; then
  exec "$BUILD/xmastrace"
fi

SECONDS_TO_RUN=${XMASTRACE_SECONDS:-8}
SHOT="$(pwd)/screenshot.png"
echo "No display: running the demo on a virtual screen for $SECONDS_TO_RUN s."
xvfb-run -a -s "-screen 0 768x512x24" sh -c "
  '$BUILD/xmastrace' &
  demo=\$!
  sleep $SECONDS_TO_RUN
  import -window root '$SHOT'
  window=\$(xdotool search --onlyvisible --limit 1 --name 'Quellmark' 2>/dev/null)
  [ -n \"\$window\" ] && xdotool windowfocus --sync \$window key Escape 2>/dev/null
  sleep 1
  kill \$demo 2>/dev/null || true
  wait \$demo
"
echo "Screenshot saved to $SHOT"
