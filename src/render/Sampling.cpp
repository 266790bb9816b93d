#include "render/Sampling.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

float randomFraction(JitterRandom random) {
  return static_cast<float>(static_cast<double>(random()) / kJitterRandMax);
}

// Keeps the grid cells of the last row and column in the same rounding as the
// first: the cell edge is the single-precision sixth.
constexpr float kCell = 1.0f / 6.0f;

float cellCoordinate(float fraction, int cell) {
  return static_cast<float>(static_cast<double>(fraction) * kCell +
                            static_cast<double>(cell) * kCell - 0.5);
}

// Moves a coordinate towards the centre by a random share of its cube, so
// the outer cells crowd the pixel centre a little less.
float pullTowardsCentre(float v, float fraction) {
  const double d = v;
  return static_cast<float>(d - static_cast<double>(fraction) * d * d * d);
}

void swapPairs(std::vector<float>& offsets, int a, int b) {
  std::swap(offsets[2 * a], offsets[2 * b]);
  std::swap(offsets[2 * a + 1], offsets[2 * b + 1]);
}

}  // namespace

// The offsets were designed for a runtime generator of 15-bit values; glibc
// gives 31 bits, so the low 15 stand in for them.
int runtimeRandom15() { return std::rand() & kJitterRandMax; }

std::vector<float> jitterGrid(JitterRandom random) {
  std::vector<float> offsets;
  offsets.reserve(2 * kJitterOffsetCount);
  for (int i = 0; i < kJitterGridSize; ++i) {
    for (int j = 0; j < kJitterGridSize; ++j) {
      const float x = cellCoordinate(randomFraction(random), j);
      const float y = cellCoordinate(randomFraction(random), i);
      offsets.push_back(pullTowardsCentre(x, randomFraction(random)));
      offsets.push_back(pullTowardsCentre(y, randomFraction(random)));
    }
  }
  return offsets;
}

void shufflePairs(std::vector<float>& offsets, JitterRandom random) {
  const int pairs = static_cast<int>(offsets.size() / 2);
  if (pairs == 0) return;
  for (int n = 0; n < kJitterShuffleSwaps; ++n) {
    const int a = random() % pairs;
    const int b = random() % pairs;
    swapPairs(offsets, a, b);
  }
}

GlibcRandom::GlibcRandom(unsigned seed) {
  constexpr int kSeededWords = 31;
  constexpr int kDroppedOutputs = 310;
  int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
  ring[0] = static_cast<uint32_t>(word);
  for (int i = 1; i < kSeededWords; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage's method).
    const int32_t hi = word / 127773;
    const int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    ring[i] = static_cast<uint32_t>(word);
  }
  for (int i = kSeededWords; i < kDegree; ++i) ring[i] = ring[i - kSeededWords];
  index = kDegree;
  for (int i = 0; i < kDroppedOutputs; ++i) next();
}

int GlibcRandom::next() {
  const uint32_t value = ring[(index - 31) % kDegree] + ring[(index - 3) % kDegree];
  ring[index % kDegree] = value;
  // Kept in [kDegree, 2 * kDegree), so index - 31 never goes negative.
  index = kDegree + (index + 1) % kDegree;
  return static_cast<int>(value >> 1);
}

std::vector<float> makeJitterOffsets() {
  GlibcRandom generator(kJitterSeed);
  const JitterRandom random = [&generator] { return generator.next() & kJitterRandMax; };
  std::vector<float> offsets = jitterGrid(random);
  shufflePairs(offsets, random);
  return offsets;
}

uint32_t Xorshift128::next() {
  const uint32_t t = x ^ (x << 11);
  x = y;
  y = z;
  z = w;
  w = w ^ (w >> 19) ^ t ^ (t >> 8);
  return w;
}

float seedFromOutput(uint32_t output) {
  constexpr float kModulusRange = 4194304.0f;  // 2^22
  const float unit = static_cast<float>(static_cast<double>(output) * (1.0 / 4294967296.0));
  const float seed = unit * kModulusRange;
  // Outputs within 2^-25 of 2^32 round up to exactly 2^22, outside the
  // shader generators' range; keep them just below it.
  return seed < kModulusRange ? seed : std::nextafter(kModulusRange, 0.0f);
}

std::vector<float> makeSeedBuffer(int width, int height, PathVariant variant, Xorshift128 generator) {
  const size_t count =
      width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) * 4 : 0;
  const float first = seedFromOutput(generator.next());
  if (variant == PathVariant::OneBounce) return std::vector<float>(count, first);
  std::vector<float> seeds(count);
  for (float& seed : seeds) seed = seedFromOutput(generator.next());
  return seeds;
}

namespace {

// A bijective integer mix (MurmurHash3's finaliser): neighbouring frame
// numbers give unrelated bits, and 0 stays 0.
uint32_t mixBits(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}

}  // namespace

Xorshift128 frameGenerator(int frame) {
  Xorshift128 generator;
  const uint32_t number = static_cast<uint32_t>(frame);
  // Only x and w change, so the state can never be all zeros.
  generator.x ^= mixBits(number);
  generator.w ^= mixBits(number ^ 0x9e3779b9u) ^ mixBits(0x9e3779b9u);
  return generator;
}

int frameJitterIndex(int frame, int samples, int jitterFloats) {
  if (jitterFloats < 2 || frame <= 0) return 0;
  // A primary pass, then up to kRejitterPeriod - 1 samples before the next.
  const long long primaries = (std::max(samples, 1) + kRejitterPeriod - 2) / (kRejitterPeriod - 1);
  const long long offsets = jitterFloats / 2;
  return static_cast<int>(2 * (primaries * frame % offsets));
}

void SamplingSchedule::restart() {
  sampleCount = -1;
  frameCounter = 0;
  ++restarts;
}

FramePass SamplingSchedule::nextPass() const {
  if (resting()) return FramePass::Rest;
  const bool rejitter = frameCounter % kRejitterPeriod == 0;
  return sampleCount == -1 || rejitter ? FramePass::Primary : FramePass::PathTrace;
}

void SamplingSchedule::primaryPassDone(int jitterFloats) {
  jitterIndex += 2;
  if (jitterIndex >= jitterFloats) jitterIndex = 0;
  if (sampleCount == -1) sampleCount = 0;
}

void SamplingSchedule::pathTracePassDone() {
  randomPing = randomPing == 0 ? 1 : 0;
  ++sampleCount;
}

void SamplingSchedule::frameDone() {
  if (!resting()) ++frameCounter;
}
