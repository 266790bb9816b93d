// Synthesises the demo's music and writes it as MP3:
//   tunegen OUTPUT.mp3 [OUTPUT.raw]
// The optional second file receives the same loop as raw interleaved 16-bit
// stereo PCM, for comparing what a decoder gives back with what went in.
#include <cmath>
#include <cstdio>
#include <fstream>

#include "Arrangement.h"
#include "Mp3Writer.h"
#include "Synth.h"

namespace {

constexpr int kSampleRate = 44100;
// 0.45 s a beat (about 133 beats a minute) is a whole number of frames, so
// every bar line falls on a frame and the loop is exactly 32 bars.
constexpr int kBeatFrames = 19845;
constexpr double kReverbLevel = 0.15;
// Headroom for the encoder, whose output may overshoot the input's peak.
constexpr double kPeak = 0.79;
constexpr int kKilobitsPerSecond = 192;

bool writeRaw(const char* path, const std::vector<int16_t>& pcm) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * sizeof(int16_t)));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s OUTPUT.mp3 [OUTPUT.raw]\n", argv[0]);
    return 2;
  }
  const Arrangement arrangement = merryChristmasArrangement();
  StereoLoop loop = renderLoop(arrangement, kSampleRate, kBeatFrames);
  addLoopReverb(loop, kReverbLevel);
  normalizePeak(loop, kPeak);
  const std::vector<int16_t> pcm = toPcm16(loop);

  if (argc == 3 && !writeRaw(argv[2], pcm)) {
    std::fprintf(stderr, "tunegen: cannot write %s\n", argv[2]);
    return 1;
  }
  const Mp3Result result = writeMp3(argv[1], pcm, kSampleRate, kKilobitsPerSecond);
  if (!result.ok) {
    std::fprintf(stderr, "tunegen: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("%s: %d bars, %zu frames (%.2f s) at %d Hz, %d kbit/s, encoder delay %d, padding %d\n", argv[1],
              arrangement.bars, loop.frames(), static_cast<double>(loop.frames()) / kSampleRate, kSampleRate,
              kKilobitsPerSecond, result.encoderDelay, result.encoderPadding);
  return 0;
}
