#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Mp3Result {
  bool ok = false;
  std::string error;
  int encoderDelay = 0;    // frames the decoder must drop at the start
  int encoderPadding = 0;  // frames it must drop at the end
};

// Encodes interleaved stereo 16-bit samples as constant-bit-rate MP3 with a
// gapless header (the encoder's delay and padding), so that a decoder that
// honours it yields exactly the samples given: the loop has no gap.
Mp3Result writeMp3(const std::string& path, const std::vector<int16_t>& interleaved, int sampleRate, int kilobitsPerSecond);
