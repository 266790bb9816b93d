#!/bin/sh
# Installs the Debian packages the build, the demo and the tests need.
# Idempotent and quiet: when everything is there it prints nothing.
set -e

PACKAGES="cmake g++ make pkg-config
  libglfw3-dev libglew-dev libgl-dev libgl1-mesa-dri libegl-dev
  libsdl2-mixer-dev libpng-dev libmp3lame-dev libicu-dev unifont
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev glslang-tools
  xvfb xauth xdotool x11-apps imagemagick parallel
  emscripten nodejs chromium firefox-esr webkit2gtk-driver ffmpeg"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Node from another source than Debian brings its own npm, which Debian's
# npm package would conflict with.
command -v npm >/dev/null || missing="$missing npm"
[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
