# Each file the demo reads at start-up, taken away in turn, and the audio
# device: every run reports what it lacks in the program's own words (or
# says nothing where nothing is said) and keeps going to a clean exit.
. "$XMASTRACE_SOURCE_DIR/tests/reliability/fault_runs.sh"
on_private_display "$XMASTRACE_SOURCE_DIR/tests/reliability/missing_files_test.sh"
set -u
start_fault_runs

for obj in backwall wall_left wall_right floor gave gave2 ribbon slf qm \
           sphere1 sphere2 sphere3 sphere4 toppe ground_2; do
  run_fault "no $obj.obj" 0 "ERROR: loading obj:\(data/xmas/$obj\.obj\) file is not good" \
    "rm data/xmas/$obj.obj"
done

run_fault "no music file" 0 "Can't play music" "rm data/sound.mp3"

SDL_AUDIODRIVER=no-such-driver
run_fault "no audio device" 0 "Can't initialize device
Can't play music" ":"
SDL_AUDIODRIVER=dummy

# The builder leaves a stage out silently when its file does not open; the
# programs link without it in the compatibility profile.
for shader in VS.glsl FS.glsl TextureShaderVS.glsl TextureShaderFS.glsl \
              TextureShaderAccumVS.glsl TextureShaderAccumFS.glsl \
              VoxelShaderVSgiga.glsl gigaAOShaderVS.glsl; do
  run_fault "no $shader" 0 "" "rm $shader"
done

finish_fault_runs "missing files"
