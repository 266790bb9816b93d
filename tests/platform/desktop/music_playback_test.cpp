// Music playback through SDL's disk audio driver, which writes what the
// mixer outputs to a file (and, with no delay, seconds of it in a fraction of
// a second), so the tests check what would actually be heard.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Music.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kChannels = 2;
constexpr std::size_t kFrameBytes = kChannels * sizeof(int16_t);
const fs::path kRunDir = XMASTRACE_RUN_DIR;
const fs::path kMusicFile = kRunDir / "data" / "sound.mp3";

// Interleaved 16-bit stereo, as the device is opened.
using Samples = std::vector<int16_t>;

std::size_t frameCount(const Samples& samples) { return samples.size() / kChannels; }

std::size_t fileFrames(const fs::path& path) {
  std::error_code error;
  const auto bytes = fs::file_size(path, error);
  return error ? 0 : static_cast<std::size_t>(bytes) / kFrameBytes;
}

Samples readSamples(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Samples samples(fileFrames(path) * kChannels);
  in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
  return samples;
}

bool silentFrame(const Samples& samples, std::size_t frame) {
  return samples[frame * 2] == 0 && samples[frame * 2 + 1] == 0;
}

// The first frame from which on a channel reaches `level`.
std::size_t firstFrameReaching(const Samples& samples, int level) {
  for (std::size_t frame = 0; frame < frameCount(samples); ++frame) {
    if (std::abs(samples[frame * 2]) >= level || std::abs(samples[frame * 2 + 1]) >= level) return frame;
  }
  return frameCount(samples);
}

std::size_t lastFrameReaching(const Samples& samples, int level) {
  for (std::size_t frame = frameCount(samples); frame-- > 0;) {
    if (std::abs(samples[frame * 2]) >= level || std::abs(samples[frame * 2 + 1]) >= level) return frame;
  }
  return 0;
}

std::size_t longestSilence(const Samples& samples, std::size_t from, std::size_t to) {
  std::size_t longest = 0;
  std::size_t run = 0;
  for (std::size_t frame = from; frame < to; ++frame) {
    run = silentFrame(samples, frame) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

std::size_t framesOf(double seconds) { return static_cast<std::size_t>(seconds * kRate); }

// Every test gets its own scratch folder as working directory, its own disk
// driver file, and the working directory back at the end.
class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir = fs::current_path();
    scratch = fs::temp_directory_path() / ("xmastrace-music-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(scratch);
    fs::create_directories(scratch / "data");
    fs::current_path(scratch);
  }

  void TearDown() override {
    fs::current_path(previousDir);
    fs::remove_all(scratch);
  }

  void useDiskDriver(const fs::path& output) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
  }

  void installMusic(const fs::path& source) { fs::copy_file(source, scratch / "data" / "sound.mp3"); }

  // Runs startMusic, lets the device write `seconds` past the point where
  // the music was started, then stops; returns the messages and the output.
  struct Run {
    MusicHandle music;
    std::string messages;
    Samples output;
  };
  Run playFor(double seconds) {
    const fs::path output = scratch / "out.raw";
    useDiskDriver(output);
    ::testing::internal::CaptureStdout();
    const MusicHandle music = startMusic();
    const std::string messages = ::testing::internal::GetCapturedStdout();
    waitForFrames(output, fileFrames(output) + framesOf(seconds));
    stopMusic(music);
    return {music, messages, readSamples(output)};
  }

  // Plays a file once at full volume with the mixer alone: the reference
  // for what the decoder yields.
  struct Decoded {
    Samples output;
    std::size_t frames;  // the decoder's length of the file
  };
  Decoded decodeOnce(const fs::path& file) {
    const fs::path output = scratch / "reference.raw";
    useDiskDriver(output);
    EXPECT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0);
    EXPECT_EQ(Mix_OpenAudioDevice(kRate, AUDIO_S16SYS, 2, 2048, nullptr, 0), 0);
    Mix_Music* music = Mix_LoadMUS(file.c_str());
    EXPECT_NE(music, nullptr) << Mix_GetError();
    Decoded decoded{{}, 0};
    if (music) {
      decoded.frames = static_cast<std::size_t>(std::lround(Mix_MusicDuration(music) * kRate));
      Mix_VolumeMusic(MIX_MAX_VOLUME);
      Mix_PlayMusic(music, 0);
      waitUntil([] { return !Mix_PlayingMusic(); });
      Mix_FreeMusic(music);
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    decoded.output = readSamples(output);
    return decoded;
  }

  static void waitForFrames(const fs::path& output, std::size_t frames) {
    waitUntil([&] { return fileFrames(output) >= frames; });
  }

  // The disk driver runs far faster than real time; the deadline only keeps
  // a broken build from hanging the suite.
  template <typename Done>
  static void waitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(done()) << "the audio device did not get that far";
  }

  fs::path previousDir;
  fs::path scratch;
};

// The music sounds at a quarter of the file's level and repeats without a
// gap: after the file's last frame comes its first one again.
TEST_F(MusicTest, LoopsTheFileAtAQuarterOfItsLevelWithoutAGap) {
  ASSERT_TRUE(fs::exists(kMusicFile));
  const Decoded reference = decodeOnce(kMusicFile);
  ASSERT_GT(reference.frames, framesOf(1.0));
  installMusic(kMusicFile);
  const double loopSeconds = static_cast<double>(reference.frames) / kRate;
  const Run run = playFor(loopSeconds + 3.0);
  EXPECT_EQ(run.messages, "");
  EXPECT_NE(run.music, MusicHandle::None);

  // Both outputs begin with the device's silence, of different lengths. A
  // quarter of a value of at least 64 is at least 16, so the first frames to
  // reach these levels are the same frame of the music; from there the
  // reference's first sounding frame gives where the music starts in each.
  const std::size_t referenceLoud = firstFrameReaching(reference.output, 64);
  const std::size_t runLoud = firstFrameReaching(run.output, 16);
  ASSERT_LT(referenceLoud, frameCount(reference.output));
  const std::size_t referenceStart = firstFrameReaching(reference.output, 1);
  ASSERT_GE(runLoud, referenceLoud - referenceStart);
  const std::size_t runStart = runLoud - (referenceLoud - referenceStart);
  const std::size_t sounding = lastFrameReaching(reference.output, 1) + 1 - referenceStart;
  const std::size_t wrap = runStart + reference.frames;
  ASSERT_LE(wrap + framesOf(2.0), frameCount(run.output));

  std::size_t levelMismatches = 0;
  for (std::size_t frame = 0; frame < sounding; ++frame) {
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
      const int full = reference.output[(referenceStart + frame) * 2 + channel];
      const int played = run.output[(runStart + frame) * 2 + channel];
      if (std::abs(played - full / 4) > 1) ++levelMismatches;
    }
  }
  EXPECT_EQ(levelMismatches, 0u) << "the music is not played at a quarter of the file's level";

  // Past the end of the file the output repeats its start frame for frame.
  std::size_t loopMismatches = 0;
  for (std::size_t frame = wrap; frame < wrap + framesOf(2.0); ++frame) {
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
      if (run.output[frame * 2 + channel] != run.output[(frame - reference.frames) * 2 + channel]) ++loopMismatches;
    }
  }
  EXPECT_EQ(loopMismatches, 0u) << "the music does not continue from its start after its end";

  // No silence appears around the seam that the music itself does not have.
  const std::size_t around = framesOf(0.5);
  const std::size_t seamSilence = longestSilence(run.output, wrap - around, wrap + around);
  const std::size_t ownSilence = std::max(longestSilence(run.output, wrap - around, wrap),
                                          longestSilence(run.output, wrap - reference.frames, wrap - reference.frames + around));
  EXPECT_LE(seamSilence, ownSilence + framesOf(0.005)) << "a gap of " << seamSilence << " frames at the loop seam";
}

TEST_F(MusicTest, WithoutAFileReportsItOnceAndStaysSilent) {
  const Run run = playFor(0.5);
  EXPECT_EQ(run.messages, "Can't play music\n");
  EXPECT_EQ(run.music, MusicHandle::None);
  ASSERT_GT(frameCount(run.output), 0u) << "the device should still have been opened";
  EXPECT_EQ(longestSilence(run.output, 0, frameCount(run.output)), frameCount(run.output));
}

TEST_F(MusicTest, WithoutADeviceReportsBothAndShutsDownSafely) {
  installMusic(kMusicFile);
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ::testing::internal::CaptureStdout();
  const MusicHandle music = startMusic();
  const std::string messages = ::testing::internal::GetCapturedStdout();
  // Whether the decoder can be opened without a device is the library's
  // affair; the message must match what happened.
  const std::string expected = music == MusicHandle::None ? "Can't initialize device\nCan't play music\n"
                                                          : "Can't initialize device\n";
  EXPECT_EQ(messages, expected);
  stopMusic(music);
  stopMusic(MusicHandle::None);

  // The failed start leaves nothing behind that spoils the next one.
  const Run run = playFor(0.5);
  EXPECT_EQ(run.messages, "");
  EXPECT_NE(run.music, MusicHandle::None);
  EXPECT_LT(firstFrameReaching(run.output, 16), frameCount(run.output));
}

// A Protracker module of one pattern that plays a looped square wave: the
// smallest thing the tracker fallback must accept.
std::vector<unsigned char> squareWaveModule() {
  constexpr std::size_t kHeaderBytes = 1084;
  constexpr std::size_t kPatternBytes = 64 * 4 * 4;
  constexpr std::size_t kSampleBytes = 64;
  std::vector<unsigned char> module(kHeaderBytes + kPatternBytes + kSampleBytes, 0);
  const std::string title = "square";
  std::copy(title.begin(), title.end(), module.begin());
  unsigned char* sample = &module[20];
  sample[22] = 0;                    // length in words, big-endian
  sample[23] = kSampleBytes / 2;
  sample[25] = 64;                   // volume
  sample[29] = kSampleBytes / 2;     // repeat length in words: loop it all
  module[950] = 1;                   // song length: one order
  module[951] = 127;
  const std::string tag = "M.K.";
  std::copy(tag.begin(), tag.end(), module.begin() + 1080);
  // Row 0, channel 0: sample 1 at period 428 (C-2).
  unsigned char* cell = &module[kHeaderBytes];
  cell[0] = 0x01;
  cell[1] = 0xAC;
  cell[2] = 0x10;
  for (std::size_t i = 0; i < kSampleBytes; ++i) {
    module[kHeaderBytes + kPatternBytes + i] = i < kSampleBytes / 2 ? 0x40 : 0xC0;
  }
  return module;
}

TEST_F(MusicTest, FallsBackToTrackerMusicWhenTheFileIsNoStream) {
  const std::vector<unsigned char> module = squareWaveModule();
  std::ofstream(scratch / "data" / "sound.mp3", std::ios::binary)
      .write(reinterpret_cast<const char*>(module.data()), static_cast<std::streamsize>(module.size()));
  const Run run = playFor(1.0);
  EXPECT_EQ(run.messages, "");
  EXPECT_NE(run.music, MusicHandle::None);
  EXPECT_LT(firstFrameReaching(run.output, 16), frameCount(run.output)) << "the module was not played";
}

TEST_F(MusicTest, TheFileIsAShortLoudEnoughLoopAt44100Hz) {
  const Decoded decoded = decodeOnce(kMusicFile);
  const double seconds = static_cast<double>(decoded.frames) / kRate;
  EXPECT_GE(seconds, 30.0);
  EXPECT_LE(seconds, 90.0);
  EXPECT_LE(fs::file_size(kMusicFile), 1536u * 1024u);

  // The rate is coded in the first frame header (the file has no ID3v2 tag
  // before it): MPEG-1 layer III, rate index 0 is 44100 Hz.
  SDL_RWops* file = SDL_RWFromFile(kMusicFile.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  unsigned char header[4] = {};
  ASSERT_EQ(SDL_RWread(file, header, 1, 4), 4u);
  SDL_RWclose(file);
  EXPECT_EQ(header[0], 0xFF);
  EXPECT_EQ(header[1] & 0xFE, 0xFA) << "not an MPEG-1 layer III frame";
  EXPECT_EQ((header[2] >> 2) & 0x3, 0) << "not 44100 Hz";

  // The device is silent before and after the music, so the file's own
  // silence at its two ends is what its length leaves beyond the span from
  // the first to the last sounding frame.
  const std::size_t first = firstFrameReaching(decoded.output, 1);
  const std::size_t last = lastFrameReaching(decoded.output, 1);
  ASSERT_LT(first, frameCount(decoded.output));
  const std::size_t sounding = last - first + 1;
  ASSERT_LE(sounding, decoded.frames);
  EXPECT_LE(decoded.frames - sounding, framesOf(0.05)) << "silence at the ends of the music";

  int peak = 0;
  for (std::size_t i = first * 2; i <= last * 2 + 1; ++i) peak = std::max(peak, std::abs(int{decoded.output[i]}));
  EXPECT_LT(peak, 32767) << "the music reaches full scale";
  EXPECT_GT(peak, 32767 / 4) << "the music is too quiet";
}

}  // namespace
