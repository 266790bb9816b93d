#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "render/PathVariant.h"

// CPU-side state of progressive sampling: sub-pixel jitter offsets, the seeds
// of the shaders' per-pixel random generators and the schedule that decides
// which pass each frame runs.

constexpr int kJitterGridSize = 6;
constexpr int kJitterOffsetCount = kJitterGridSize * kJitterGridSize;
constexpr int kJitterShuffleSwaps = 1024;
constexpr unsigned kJitterSeed = 12355;
// A new primary pass (with the next jitter offset) every this many frames.
constexpr int kRejitterPeriod = 24;

// A source of random integers in 0..kJitterRandMax.
using JitterRandom = std::function<int()>;
constexpr int kJitterRandMax = 32767;
// The runtime library's generator cut to that range.
int runtimeRandom15();

// glibc's rand(): its additive feedback generator (x[i] = x[i-3] + x[i-31],
// seeded through 16807 * x mod 2^31 - 1, first 310 outputs dropped), so that
// the jitter is the same wherever the program is built, the browser's
// runtime library included.
class GlibcRandom {
 public:
  explicit GlibcRandom(unsigned seed);
  int next();  // 0..2^31-1, the value rand() would give

 private:
  static constexpr int kDegree = 34;
  uint32_t ring[kDegree] = {};
  int index = 0;
};

// 36 (x, y) pairs as 72 floats, row by row: pair (i, j) is drawn inside
// cell (column j, row i) of a 6 x 6 grid over [-0.5, 0.5]^2, then pulled
// towards the centre by a random share of its cube.
std::vector<float> jitterGrid(JitterRandom random);
// 1024 swaps of randomly chosen pairs (a pair may swap with itself).
void shufflePairs(std::vector<float>& offsets, JitterRandom random);
// The grid, shuffled, from the runtime generator seeded with kJitterSeed, so
// the result is the same on every run.
std::vector<float> makeJitterOffsets();

// Marsaglia's 128-bit xorshift generator.
struct Xorshift128 {
  uint32_t x = 123456789;
  uint32_t y = 362436069;
  uint32_t z = 521288629;
  uint32_t w = 88675123;

  uint32_t next();
};

// A generator output as a seed of the shader's generators: a value in
// [0, 2^22), the range of their moduli.
float seedFromOutput(uint32_t output);

// width x height RGBA texels of seeds from `generator` (by default the one
// the demo starts with). Two-bounce: fresh outputs everywhere after dropping
// the first; one-bounce: the first output in every float.
std::vector<float> makeSeedBuffer(int width, int height, PathVariant variant,
                                  Xorshift128 generator = {});

// The generator that seeds video frame `frame`: the demo's own for frame 0,
// and for every other frame one scrambled by the frame's number alone, so
// that a frame looks the same whichever frames were rendered before it.
Xorshift128 frameGenerator(int frame);

// The jitter offset (a float index) that video frame `frame` starts from:
// where a run through every frame before it, `samples` a frame, would be.
int frameJitterIndex(int frame, int samples, int jitterFloats);

// The most samples one picture sums. Each addition to a 32-bit float sum
// of n samples rounds by up to about n * 2^-24 of a sample, and for a pixel
// whose samples hardly vary it rounds the same way every time: at 2^16
// samples the average drifts by less than a quarter of an 8-bit level,
// while past 2^24 a sample no longer changes the sum and the picture
// darkens as the count grows. The counters stay far from overflow too.
constexpr int kSampleLimit = 1 << 16;

// Which pass a frame runs. Rest: the picture is complete and nothing is
// drawn into it until the camera moves.
enum class FramePass { Primary, PathTrace, Rest };

struct SamplingSchedule {
  int sampleCount = 0;   // samples in the sum; -1 asks for a restart
  int frameCounter = 0;  // frames since the last restart, rests not counted
  int jitterIndex = 0;   // float index of the next primary pass's offset
  int randomPing = 0;    // random texture the next path-tracing pass writes
  int sampleLimit = kSampleLimit;
  int restarts = 0;      // how many restarts were asked for, ever

  bool resting() const { return sampleCount >= sampleLimit; }

  // After a camera change: the next frame casts primary rays again.
  void restart();
  FramePass nextPass() const;
  // Moves to the next jitter offset (wrapping at jitterFloats) and ends a
  // requested restart.
  void primaryPassDone(int jitterFloats);
  // The written random texture becomes the one read next.
  void pathTracePassDone();
  void frameDone();
};
