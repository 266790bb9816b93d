// Whatever sits at data/sound.mp3, the demo must come through startMusic:
// silent with its message when the thing is no music, never a crash.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "app/Music.h"

namespace fs = std::filesystem;

namespace {

class MusicFiles : public testing::Test {
 protected:
  void SetUp() override {
    previous = fs::current_path();
    scratch = fs::temp_directory_path() / ("xmastrace_music_files_" + std::to_string(getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch / "data");
    fs::current_path(scratch);
    // A device that always opens, so that only the file can fail.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  void TearDown() override {
    fs::current_path(previous);
    fs::remove_all(scratch);
  }

  static std::string startAndStop() {
    testing::internal::CaptureStdout();
    const MusicHandle music = startMusic();
    const std::string messages = testing::internal::GetCapturedStdout();
    stopMusic(music);
    return messages;
  }

  fs::path previous;
  fs::path scratch;
};

const fs::path kMusicPath = fs::path("data") / "sound.mp3";

}  // namespace

TEST_F(MusicFiles, ThingsThatAreNoMusicLeaveTheDemoSilent) {
  const struct {
    const char* name;
    void (*make)();
  } cases[] = {
      {"directory", [] { fs::create_directory(kMusicPath); }},
      {"zero bytes", [] { std::ofstream empty(kMusicPath); }},
      {"text", [] { std::ofstream(kMusicPath) << "not music\n"; }},
      {"random bytes",
       [] {
         std::ofstream out(kMusicPath, std::ios::binary);
         uint32_t x = 2463534242u;
         for (int i = 0; i < 65536; ++i) {
           x ^= x << 13, x ^= x >> 17, x ^= x << 5;
           out.put(static_cast<char>(x));
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(kMusicPath);
    c.make();
    EXPECT_EQ(startAndStop(), "Can't play music\n");
  }
}

TEST_F(MusicFiles, ACutOffFilePlaysWhatItHas) {
  // A download that stopped early: the decoder must not read past the end.
  const fs::path full = fs::path(XMASTRACE_RUN_DIR) / "data" / "sound.mp3";
  if (!fs::exists(full)) GTEST_SKIP() << "no music file in " << full;
  std::ifstream in(full, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  std::ofstream(kMusicPath, std::ios::binary) << head;
  const std::string messages = startAndStop();
  EXPECT_TRUE(messages.empty() || messages == "Can't play music\n") << messages;
}
