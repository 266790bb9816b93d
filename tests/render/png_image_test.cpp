#include "render/PngImage.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "OutputFile.h"

namespace {

namespace fs = std::filesystem;

struct ReadBack {
  bool ok = false;
  int width = 0;
  int height = 0;
  int colorType = -1;
  int bitDepth = 0;
  bool hasGamma = false;
  bool hasSrgb = false;
  std::vector<uint8_t> pixels;
};

ReadBack readPngFrom(FILE* file) {
  ReadBack result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return ReadBack{};
  }
  png_init_io(png, file);
  png_read_info(png, info);
  result.width = static_cast<int>(png_get_image_width(png, info));
  result.height = static_cast<int>(png_get_image_height(png, info));
  result.colorType = png_get_color_type(png, info);
  result.bitDepth = png_get_bit_depth(png, info);
  result.hasGamma = png_get_valid(png, info, PNG_INFO_gAMA) != 0;
  result.hasSrgb = png_get_valid(png, info, PNG_INFO_sRGB) != 0;
  const size_t stride = png_get_rowbytes(png, info);
  result.pixels.resize(stride * static_cast<size_t>(result.height));
  for (int row = 0; row < result.height; ++row)
    png_read_row(png, result.pixels.data() + stride * static_cast<size_t>(row), nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  result.ok = true;
  return result;
}

ReadBack readPng(const fs::path& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return ReadBack{};
  ReadBack result = readPngFrom(file);
  std::fclose(file);
  return result;
}

class PngImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("png_image_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

RgbImage gradient(int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      image.pixels.push_back(static_cast<uint8_t>(x * 40));
      image.pixels.push_back(static_cast<uint8_t>(y * 90));
      image.pixels.push_back(static_cast<uint8_t>(255 - x - y));
    }
  return image;
}

TEST_F(PngImageTest, WritesEightBitRgbThatReadsBackByteForByteWithoutGamma) {
  const RgbImage image = gradient(5, 3);
  std::string error;
  ASSERT_TRUE(writePng(image, (dir / "a.png").string(), error)) << error;
  const ReadBack read = readPng(dir / "a.png");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.width, 5);
  EXPECT_EQ(read.height, 3);
  EXPECT_EQ(read.colorType, PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(read.bitDepth, 8);
  EXPECT_FALSE(read.hasGamma);
  EXPECT_FALSE(read.hasSrgb);
  EXPECT_EQ(read.pixels, image.pixels);
}

TEST_F(PngImageTest, GlRowsAreTurnedTopFirstAndLoseTheirAlpha) {
  // Two rows of two pixels, bottom row first as GL reads them.
  const std::vector<uint8_t> rgba = {1, 2, 3, 99, 4, 5, 6, 99,       // bottom
                                     7, 8, 9, 99, 10, 11, 12, 99};   // top
  const RgbImage image = rgbImageFromGlRows(rgba, 2, 2);
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

  EXPECT_TRUE(rgbImageFromGlRows(rgba, 2, 3).pixels.empty()) << "buffer too short";
  EXPECT_TRUE(rgbImageFromGlRows(rgba, 0, 2).pixels.empty());
  EXPECT_TRUE(rgbImageFromGlRows(rgba, -2, -2).pixels.empty());
}

TEST_F(PngImageTest, FailuresAreReportedAndLeaveNoFile) {
  std::string error;
  EXPECT_FALSE(writePng(gradient(2, 2), (dir / "missing" / "a.png").string(), error));
  EXPECT_FALSE(error.empty());

  error.clear();
  EXPECT_FALSE(writePng(gradient(2, 2), dir.string(), error)) << "a directory";
  EXPECT_FALSE(error.empty());

  RgbImage torn = gradient(4, 4);
  torn.pixels.pop_back();
  error.clear();
  EXPECT_FALSE(writePng(torn, (dir / "torn.png").string(), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(dir / "torn.png"));

  error.clear();
  EXPECT_FALSE(writePng(RgbImage{}, (dir / "empty.png").string(), error));
  EXPECT_FALSE(fs::exists(dir / "empty.png"));
}

// Noise does not compress: its file outgrows the write buffer, so the
// failure comes inside the encoder, not at the close.
RgbImage noise(int width, int height) {
  RgbImage image = gradient(width, height);
  uint32_t state = 12345;
  for (uint8_t& byte : image.pixels) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return image;
}

// A disk that fills half-way through the picture, as a file-size limit.
TEST_F(PngImageTest, AFailedWriteKeepsTheEarlierPictureAndSaysWhy) {
  const fs::path card = dir / "card.png";
  std::string error;
  ASSERT_TRUE(writePng(gradient(4, 4), card.string(), error)) << error;
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 16384;
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_FALSE(writePng(noise(128, 128), card.string(), error));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(error, std::strerror(EFBIG));
  EXPECT_EQ(readPng(card).pixels, gradient(4, 4).pixels);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "a temporary file was left";
}

// The temporary name must fit wherever the target's name does; it is cut
// at a character boundary.
TEST_F(PngImageTest, NamesUpToTheSystemsLimitAreWritten) {
  std::string longest;
  while (longest.size() < 250) longest += "\xc3\xa9";  // é, two bytes
  longest += ".png";                                     // 254 bytes
  std::string error;
  EXPECT_TRUE(writePng(gradient(2, 2), (dir / longest).string(), error)) << error;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
  EXPECT_EQ(temporaryPatternFor("d/" + longest, 255), "d/" + longest.substr(0, 242) + ".part-XXXXXX");
}

TEST_F(PngImageTest, AFullDeviceIsAFailureAndTheDeviceStays) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  std::string error;
  EXPECT_FALSE(writePng(gradient(64, 64), "/dev/full", error));
  EXPECT_EQ(error, std::strerror(ENOSPC));
  EXPECT_TRUE(fs::exists("/dev/full"));
}

}  // namespace
