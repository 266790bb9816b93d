#!/bin/sh
# make-greeting.sh ROOMGEN RUN_DIR TEXT DIR: writes DIR as a working directory
# for the demo whose glowing letters say TEXT (`make greeting` calls it).
#
# DIR gets the shader files and data/ of RUN_DIR, with data/xmas/qm.obj made
# from TEXT. Shader files that are links into the sources are copied as
# files: the greeting then works wherever it is moved or sent, without the
# checkout it came from.
#
# Nothing is written before the text is known to fit. DIR may be new, an
# empty directory, or a greeting written before (marked by the file
# .xmastrace-greeting): its files are overwritten, anything else in it (a
# rendered still, say) is left alone. Any other existing path is refused, so
# no folder of the user's is ever overwritten.
set -eu

if [ $# -ne 4 ] || [ -z "$3" ] || [ -z "$4" ]; then
  echo 'usage: make greeting TEXT="..." DIR=path' >&2
  exit 2
fi
roomgen=$1
run=$2
text=$3
dir=$4
marker=.xmastrace-greeting

# The text first: roomgen refuses what the wall cannot show, naming the
# character, before anything reaches DIR.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$roomgen" --text "$text" "$scratch" >"$scratch/triangles" || exit 1

if [ -e "$dir" ] || [ -L "$dir" ]; then
  if [ ! -d "$dir" ] || [ -L "$dir" ]; then
    echo "greeting: $dir exists and is not a directory; nothing written" >&2
    exit 1
  fi
  if [ ! -f "$dir/$marker" ] && [ -n "$(ls -A "$dir")" ]; then
    echo "greeting: $dir is neither empty nor a greeting made before; nothing written" >&2
    echo "greeting: choose a new or empty directory" >&2
    exit 1
  fi
fi

# The mark goes first, so that a run cut short can simply be repeated.
mkdir -p "$dir/data/xmas"
printf '%s\n' "$text" >"$dir/$marker"
for shader in "$run"/*.glsl; do
  cp -L "$shader" "$dir/"
done
cp "$run/data/sound.mp3" "$dir/data/"
for mesh in "$run"/data/xmas/*.obj; do
  [ "$(basename "$mesh")" = qm.obj ] || cp "$mesh" "$dir/data/xmas/"
done
cp "$scratch/qm.obj" "$dir/data/xmas/qm.obj"

build=$(cd "$(dirname "$roomgen")/../.." && pwd)
tr -s ' ' <"$scratch/triangles" | sed 's/^/greeting: /'
echo "greeting: written to $dir; to see it (after make build):"
echo "  cd $(cd "$dir" && pwd) && $build/xmastrace"
