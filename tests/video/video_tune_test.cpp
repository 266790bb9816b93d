// The tune streamed to the encoder is, sample for sample, the tune decoded
// whole and fitted to the video: looped without a gap and faded at the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video/Soundtrack.h"

namespace {

const std::string kTune = std::string(XMASTRACE_RUN_DIR) + "/data/sound.mp3";

TEST(VideoTune, StreamedIsTheWholeTuneLoopedAndFaded) {
  Soundtrack whole;
  std::string error;
  ASSERT_TRUE(decodeTune(kTune, whole, error)) << error;
  long long measured = 0;
  ASSERT_TRUE(measureTune(kTune, 1LL << 40, measured, error)) << error;
  EXPECT_EQ(measured, whole.length());

  // Past the end of the tune, so that the loop's seam is read, in blocks
  // that do not divide the decoder's packets.
  const long long length = whole.length() + whole.sampleRate * 3;
  const long long fade = whole.sampleRate;
  const Soundtrack fitted = fitSoundtrack(whole, length, fade);
  TuneStream stream(kTune, length, fade);
  ASSERT_EQ(stream.length(), length);
  std::vector<float> left(1000), right(1000);
  float* channels[] = {left.data(), right.data()};
  long long mismatches = 0;
  for (long long at = 0; at < length; at += 1000) {
    const int count = static_cast<int>(std::min<long long>(1000, length - at));
    ASSERT_TRUE(stream.read(channels, count, error)) << error << " at " << at;
    for (int i = 0; i < count; ++i) {
      mismatches += left[i] != fitted.channels[0][at + i];
      mismatches += right[i] != fitted.channels[1][at + i];
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_FALSE(stream.read(channels, 1, error));

  // A bound on the count keeps a long tune from being decoded whole.
  ASSERT_TRUE(measureTune(kTune, 44100, measured, error)) << error;
  EXPECT_LT(measured, 2 * 44100);
}

}  // namespace
