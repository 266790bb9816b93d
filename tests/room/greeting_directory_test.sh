# make-greeting.sh as `make greeting` runs it: a bad character writes
# nothing; a good text gives a self-contained working directory (shader links
# copied as files, the room's other files unchanged) in which the still
# renderer runs cleanly from elsewhere; a folder that is not a greeting is
# never touched, while a greeting made before is rewritten, keeping the
# user's own files and replacing, not following, links inside it; the hint
# to see it quotes its paths.
set -u
script="$XMASTRACE_SOURCE_DIR/tools/roomgen/make-greeting.sh"
gen="$XMASTRACE_BINARY_DIR/tools/roomgen/roomgen"
run="$XMASTRACE_RUN_DIR"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $1" >&2
  cat "$work/out" >&2
  exit 1
}

greet() {
  sh "$script" "$gen" "$run" "$1" "$2" >"$work/out" 2>&1
}

# A private-use character means nothing to anyone but its sender.
greet "HO HO $(printf '\356\200\200')" "$work/bad" && fail "a bad character was accepted"
grep -q "U+E000 cannot be written" "$work/out" || fail "the bad character is not named"
[ -e "$work/bad" ] && fail "a refused text wrote its directory"

dir="$work/some where/card"
greet 'Merry|Xmas' "$dir" || fail "a good text was refused"
for shader in "$run"/*.glsl; do
  copy="$dir/$(basename "$shader")"
  [ -f "$copy" ] && [ ! -L "$copy" ] || fail "$copy is not a plain file"
  cmp -s "$shader" "$copy" || fail "$copy differs from run/"
done
cmp -s "$run/data/sound.mp3" "$dir/data/sound.mp3" || fail "the music differs"
for mesh in "$run"/data/xmas/*.obj; do
  name=$(basename "$mesh")
  if [ "$name" = qm.obj ]; then
    grep -q "^# the greeting MERRY|XMAS\$" "$dir/data/xmas/qm.obj" || fail "qm.obj is not the text"
  else
    cmp -s "$mesh" "$dir/data/xmas/$name" || fail "$name differs from run/"
  fi
done

# The programs find everything in the greeting's directory.
(cd "$dir" && exec "$XMASTRACE_BINARY_DIR/xmastrace_render" --size 32x24 --samples 2 \
  --out "$dir/still.png") >"$work/out" 2>&1 || fail "the still renderer failed in the greeting"
grep -q "ERROR\|Error from API" "$work/out" && fail "the greeting loads with errors"

# Links inside a greeting made before lead elsewhere: they are replaced,
# and nothing they lead to changes.
mkdir "$work/elsewhere" && echo mine >"$work/elsewhere/FS.glsl"
rm -r "$dir/data" && ln -s "$work/elsewhere" "$dir/data"
rm "$dir/FS.glsl" && ln -s "$work/elsewhere/FS.glsl" "$dir/FS.glsl"
greet 'Again' "$dir" || fail "a greeting made before was not rewritten"
grep -q "^# the greeting AGAIN\$" "$dir/data/xmas/qm.obj" || fail "the new text is not there"
[ -f "$dir/still.png" ] || fail "the user's own file was removed"
[ "$(ls -A "$work/elsewhere")" = FS.glsl ] && [ "$(cat "$work/elsewhere/FS.glsl")" = mine ] ||
  fail "a link inside the greeting was written through"
[ ! -L "$dir/data" ] && [ ! -L "$dir/FS.glsl" ] || fail "a link inside the greeting was kept"
# The hint to see it is one command line, spaces in the path and all.
hint=$(grep -A1 'to see it' "$work/out" | tail -n 1)
eval "set -- ${hint%% && *}"
[ "$#" = 2 ] && [ "$2" = "$(cd "$dir" && pwd)" ] || fail "the hint does not quote its paths"

mkdir "$work/mine" && echo keep >"$work/mine/notes.txt"
greet 'Hi' "$work/mine" && fail "a folder of the user's was written into"
[ "$(ls -A "$work/mine")" = notes.txt ] || fail "a refused folder was changed"
echo "greeting directory: passed"
