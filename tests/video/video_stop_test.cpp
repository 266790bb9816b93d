// Ctrl+C, kill or SIGHUP while a video is written, up to its very end (the
// index, which rewrites the whole file): nothing is left behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "video/VideoEncoder.h"

namespace fs = std::filesystem;

namespace {

bool stopNow = false;
bool stopAsked() { return stopNow; }

bool writeTinyVideo(const fs::path& path, bool stopBeforeTheEnd) {
  VideoSettings settings;
  settings.width = 16;
  settings.height = 16;
  settings.fps = 4;
  settings.stopRequested = stopAsked;
  RgbImage frame;
  frame.width = frame.height = 16;
  frame.pixels.assign(16 * 16 * 3, 128);
  std::string error;
  stopNow = false;
  VideoEncoder encoder;
  if (!encoder.open(path.string(), settings, nullptr, error)) return false;
  for (int i = 0; i < 3; ++i) {
    if (!encoder.addFrame(frame, error)) return false;
  }
  stopNow = stopBeforeTheEnd;
  return encoder.finish(error);
}

TEST(VideoStop, AnInterruptDuringTheFinalWriteLeavesNothing) {
  keepFfmpegQuiet();
  const fs::path folder = fs::temp_directory_path() / ("video_stop_test_" + std::to_string(getpid()));
  fs::create_directories(folder);
  EXPECT_FALSE(writeTinyVideo(folder / "stopped.mp4", true));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(writeTinyVideo(folder / "whole.mp4", false));
  EXPECT_TRUE(fs::exists(folder / "whole.mp4"));
  fs::remove_all(folder);
}

}  // namespace
