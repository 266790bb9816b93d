#pragma once

#include <string>
#include <vector>

// The video's sound: 32-bit float samples, one list per channel, as the AAC
// encoder takes them.
struct Soundtrack {
  int sampleRate = 0;
  std::vector<std::vector<float>> channels;

  // Samples per channel.
  long long length() const;
};

// The demo's own output: 44100 Hz stereo.
constexpr int kSoundtrackRate = 44100;
constexpr int kSoundtrackChannels = 2;

// Decodes the whole file into kSoundtrackChannels channels at
// kSoundtrackRate, resampling and remixing only where the file differs. The
// level is the file's own. Returns false with the reason in `error` when the
// file cannot be read or holds no sound. Only a regular file is read: a
// FIFO or a device counts as missing. `stop`, when given, is asked as the
// file is read; true ends the decoding, which then fails.
bool decodeTune(const std::string& path, Soundtrack& tune, std::string& error, bool (*stop)() = nullptr);

// The tune looped without a gap, or cut, to exactly `length` samples per
// channel, the last `fadeLength` of them falling linearly to silence.
Soundtrack fitSoundtrack(const Soundtrack& tune, long long length, long long fadeLength);
