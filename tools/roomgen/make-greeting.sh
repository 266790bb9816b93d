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
# no folder of the user's is ever overwritten. A link inside DIR where one of
# the greeting's files or folders belongs is replaced, never written
# through, so nothing outside DIR changes.
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

# folder PATH: a folder of the greeting at PATH, in place of a link there.
folder() {
  if [ -L "$1" ]; then rm -f "$1"; fi
  mkdir -p "$1"
}

# place FROM TO: a new file TO with FROM's content; whatever was at TO (a
# link above all) is removed, not written into.
place() {
  rm -f "$2"
  cp -L "$1" "$2"
}

# quote WORD: WORD as one word for the shell, whatever it holds.
quote() {
  printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}

# The mark goes first, so that a run cut short can simply be repeated.
folder "$dir"
folder "$dir/data"
folder "$dir/data/xmas"
printf '%s\n' "$text" >"$scratch/$marker"
place "$scratch/$marker" "$dir/$marker"
for shader in "$run"/*.glsl; do
  place "$shader" "$dir/$(basename "$shader")"
done
place "$run/data/sound.mp3" "$dir/data/sound.mp3"
for mesh in "$run"/data/xmas/*.obj; do
  name=$(basename "$mesh")
  [ "$name" = qm.obj ] || place "$mesh" "$dir/data/xmas/$name"
done
place "$scratch/qm.obj" "$dir/data/xmas/qm.obj"

build=$(cd "$(dirname "$roomgen")/../.." && pwd)
tr -s ' ' <"$scratch/triangles" | sed 's/^/greeting: /'
echo "greeting: written to $dir; to see it (after make build):"
echo "  cd $(quote "$(cd "$dir" && pwd)") && $(quote "$build/xmastrace")"
