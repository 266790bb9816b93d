#pragma once

#include <memory>
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

// The tune's length in samples at kSoundtrackRate, counted by decoding it
// without keeping the sound; the count stops once it reaches `limit`, so
// a long tune costs no more than the part that matters. Fails as decodeTune.
bool measureTune(const std::string& path, long long limit, long long& length, std::string& error,
                 bool (*stop)() = nullptr);

class TuneDecoder;

// The tune looped without a gap, or cut, to `length` samples per channel,
// the last `fadeLength` of them falling linearly to silence, as
// fitSoundtrack makes it; but decoded, resampled and faded as the samples
// are read, so that memory stays the same however long the video is.
class TuneStream {
 public:
  TuneStream(std::string path, long long length, long long fadeLength, bool (*stop)() = nullptr);
  ~TuneStream();
  TuneStream(const TuneStream&) = delete;
  TuneStream& operator=(const TuneStream&) = delete;

  int sampleRate() const { return kSoundtrackRate; }
  int channelCount() const { return kSoundtrackChannels; }
  long long length() const { return total; }
  // The next `count` samples of each channel into channels[0..1]. False
  // with the reason in `error` when the tune no longer decodes (or is
  // interrupted), or reading would pass the length.
  bool read(float* const* channels, int count, std::string& error);

 private:
  bool refill(std::string& error);

  std::string path;
  long long total = 0;
  long long fade = 0;
  bool (*stop)() = nullptr;
  std::unique_ptr<TuneDecoder> decoder;  // of the current pass over the file
  long long passLength = 0;               // samples the current pass gave
  Soundtrack pending;                     // decoded and not yet read
  long long taken = 0;                    // of pending, already read
  long long produced = 0;
};
