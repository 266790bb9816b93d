# Files that are there but wrong: empty, binary, a directory, a FIFO or a
# device, too big for the scene textures, or geometry that degenerates. Each
# run reports exactly the program's message and ends with its status; the
# degenerate scenes run and quit cleanly without a GL error.
. "$XMASTRACE_SOURCE_DIR/tests/reliability/fault_runs.sh"
on_private_display "$XMASTRACE_SOURCE_DIR/tests/reliability/damaged_files_test.sh"
set -u
start_fault_runs

FLOOR=data/xmas/floor.obj
OBJS="data/xmas/*.obj"

run_fault "zero-byte OBJ" 0 "" ": > $FLOOR"
# The music file holds no line that starts like a vertex or a face.
run_fault "binary OBJ without OBJ lines" 0 "" "cp data/sound.mp3 $FLOOR"
run_fault "binary OBJ with a vertex keyword" 255 "ERROR: vertex not in wanted format in OBJLoader" \
  "printf 'v \377\376\001\002\n' > $FLOOR"
run_fault "binary OBJ with a face keyword" 255 "ERROR: I don't know the format of that FaceMtl" \
  "printf 'v 0 0 0\nf \377\376\001\n' > $FLOOR"
run_fault "face index past the file's vertices" 255 \
  "ERROR: face index out of range in OBJLoader \(data/xmas/floor\.obj, line 4\)" \
  "printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n' > $FLOOR"
# Relative indices count back from the last vertex; a line longer than any
# buffer is read whole; Windows line ends are white space.
run_fault "relative face indices" 0 "" "printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\n' > $FLOOR"
run_fault "a 100,000-character line" 0 "" \
  "{ printf 'v 1 2 3 '; head -c 100000 /dev/zero | tr -c 9 9; printf '\nv 0 0 0\nv 1 0 0\nf 1 2 3\n'; } > $FLOOR"
run_fault "Windows line ends" 0 "" "sed -i 's/\$/\r/' $OBJS"
run_fault "directory for an OBJ" 0 "ERROR: loading obj:\(data/xmas/floor\.obj\) file is not good" \
  "rm $FLOOR && mkdir $FLOOR"
run_fault "directory for the music" 0 "Can't play music" "rm data/sound.mp3 && mkdir data/sound.mp3"
run_fault "directory for a shader" 0 "" "rm TextureShaderFS.glsl && mkdir TextureShaderFS.glsl"
# A FIFO would block the start-up until someone writes to it, and a device
# reads without end: both count as missing.
run_fault "FIFO for an OBJ" 0 "ERROR: loading obj:\(data/xmas/floor\.obj\) file is not good" \
  "rm $FLOOR && mkfifo $FLOOR"
run_fault "FIFO for the music" 0 "Can't play music" "rm data/sound.mp3 && mkfifo data/sound.mp3"
run_fault "device for a shader" 0 "" "ln -sf /dev/zero TextureShaderFS.glsl"
# A file that is there is compiled; empty text does not compile, which ends
# the start-up. The driver's own words follow the first line.
run_fault "zero-byte shader" 1 "Error from Shader Compiler,	High priority
Message: .*error.*" ": > TextureShaderFS.glsl"

# One triangle more than the triangle texture holds.
run_fault "huge OBJ" 1 "triangle texture out of bounds" \
  "awk 'BEGIN { print \"v 0 0 0\nv 10 0 0\nv 0 10 0\"; for (i = 0; i < 349184; i++) print \"f 1 2 3\" }' > $FLOOR"
# Eight layers of a plane across the whole room: every cell of the deepest
# level in the plane lists them all, far more references than fit.
run_fault "OBJ overflowing the triangle ids" 1 "tri id out of bounds" \
  "{ printf 'v 0 1.7 0\nv 10 1.7 0\nv 10 1.7 10\nv 0 1.7 10\n'; for i in 1 2 3 4 5 6 7 8; do printf 'f 1 2 3\nf 1 3 4\n'; done; } > $FLOOR"

run_fault "no faces at all" 0 "" "for f in $OBJS; do : > \$f; done"
run_fault "every vertex at one point" 0 "" \
  "for f in $OBJS; do printf 'v 4 2 4\nv 4 2 4\nv 4 2 4\nf 1 2 3\nf 3 2 1\n' > \$f; done"
run_fault "nan and inf coordinates" 0 "faces skipped, not finite: 3" \
  "printf 'v nan 1 1\nv 1 inf 1\nv 1 1 -inf\nv 2 2 2\nf 1 4 4\nf 4 2 4\nf 4 4 3\n' > data/xmas/gave.obj"

finish_fault_runs "damaged files"
