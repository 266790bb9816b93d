#pragma once

#include <cstdint>
#include <vector>

#include "Arrangement.h"

struct StereoLoop {
  std::vector<double> left;
  std::vector<double> right;
  std::size_t frames() const { return left.size(); }
};

// Renders the arrangement into a loop of exactly its bars. Whatever sounds
// past the loop's end (ringing bells, the pad's release) wraps round onto its
// start, so the sound is continuous when the loop repeats.
StereoLoop renderLoop(const Arrangement& arrangement, int sampleRate, int beatFrames);

// A small room reverb that also wraps: it runs over the loop twice and keeps
// the second pass, whose tail is already the one the loop's end leaves.
void addLoopReverb(StereoLoop& loop, double wetLevel);

// Scales the loop so that its largest sample magnitude is `peak` (of 1).
void normalizePeak(StereoLoop& loop, double peak);

// Interleaved 16-bit samples, rounded and clipped.
std::vector<int16_t> toPcm16(const StereoLoop& loop);
