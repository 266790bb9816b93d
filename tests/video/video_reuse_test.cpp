// A video whose frames reuse the samples of the frames before: a piece
// starts early enough to fill its history, writes only its own frames, and
// joined with the others equals one run.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <sstream>

#include "ExitStatus.h"
#include "render_tool/VideoRenderer.h"
#include "support/AppFixture.h"

namespace {

double psnr(const RgbImage& a, const RgbImage& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
    sum += d * d;
  }
  const double mse = sum / static_cast<double>(a.pixels.size());
  return mse == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

TEST(VideoWarmUp, APieceStartsAHistoryEarlierButNeverBeforeTheFirstFrame) {
  EXPECT_EQ(firstWarmUpFrame(100, 30, 0.5), 85);
  EXPECT_EQ(firstWarmUpFrame(100, 30, 0.51), 84) << "a part of a frame is a whole frame";
  EXPECT_EQ(firstWarmUpFrame(100, 24, 1.0), 76) << "the history is time, not frames";
  EXPECT_EQ(firstWarmUpFrame(10, 30, 0.5), 0);
  EXPECT_EQ(firstWarmUpFrame(0, 30, 0.5), 0);
  EXPECT_EQ(firstWarmUpFrame(100, 30, 0.0), 100);
  EXPECT_EQ(firstWarmUpFrame(100, 30, std::numeric_limits<double>::quiet_NaN()), 100);
  EXPECT_EQ(firstWarmUpFrame(kMaxVideoFrames - 1, kMaxVideoFps, 1e300), 0);

  // Pieces that reuse samples are another video than pieces that do not:
  // the join must not mix them.
  const char* args[] = {"render", "--video", "v.mp4", "--temporal", "--frames", "3-9"};
  VideoOptions reusing, plain;
  std::ostringstream errors;
  ASSERT_TRUE(parseVideoOptions(6, args, reusing, errors)) << errors.str();
  ASSERT_TRUE(parseVideoOptions(3, args, plain, errors)) << errors.str();
  EXPECT_TRUE(reusing.temporal);
  EXPECT_FALSE(plain.temporal);
  EXPECT_NE(pieceComment(reusing, 20, "f"), pieceComment(plain, 20, "f"));
}

using VideoReuse = AppFixture;

// Two pieces rendered in fresh programs, as a farm would, against one run.
TEST_F(VideoReuse, PiecesJoinedAreOneRun) {
  // The first frames of a long video: each moves the camera a little.
  constexpr int kWidth = 32, kHeight = 24, kFrames = 24, kVideoFrames = 300;
  VideoOptions options;
  options.fps = 4;
  options.samples = 1;
  options.temporal = true;
  std::ostringstream progress;
  // Raw, the frame is the history's own picture; denoised, the denoiser's.
  for (const bool denoise : {false, true}) {
  const auto render = [&](int first, int last) {
    std::map<int, RgbImage> frames;
    VideoOptions piece = options;
    piece.denoise = denoise;
    piece.piece = true;
    piece.firstFrame = first;
    piece.lastFrame = last;
    auto app = startApp(kWidth, kHeight);
    const FrameSink keep = [&frames](int frame, const RgbImage& picture, std::string&) {
      return frames.emplace(frame, picture).second;
    };
    EXPECT_EQ(renderVideoFrames(*app, piece, kVideoFrames, keep, progress), kStatusOk);
    return frames;
  };
  const std::map<int, RgbImage> run = render(0, kFrames - 1);
  ASSERT_EQ(run.size(), static_cast<size_t>(kFrames));
  // The run's frames carry samples on: a frame alone is another picture.
  options.temporal = false;
  EXPECT_LT(psnr(render(20, 20).at(20), run.at(20)), 40.0) << "denoise " << denoise;
  options.temporal = true;
  // The second piece starts after more than a warm-up's frames, so its
  // history is its own.
  ASSERT_GT(firstWarmUpFrame(13, options.fps, kWarmUpSeconds), 0);
  for (const auto& [first, last] : {std::pair{0, 12}, std::pair{13, kFrames - 1}}) {
    const std::map<int, RgbImage> piece = render(first, last);
    ASSERT_EQ(piece.size(), static_cast<size_t>(last - first + 1)) << "only the piece's own frames";
    EXPECT_EQ(piece.begin()->first, first);
    for (const auto& [frame, picture] : piece)
      EXPECT_GE(psnr(picture, run.at(frame)), 40.0) << "frame " << frame << ", denoise " << denoise;
  }
  }
}
