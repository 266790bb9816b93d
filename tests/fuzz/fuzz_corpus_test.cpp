// Every seed and every input a fuzz run ever turned into a regression case is
// checked again here, in the ordinary (and the sanitizer) test run, with the
// same properties the fuzz targets check.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/HeaderExportCheck.h"
#include "fuzz/ObjLoadCheck.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus(const char* name) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(XMASTRACE_SOURCE_DIR) / "tests/fuzz/corpus" / name)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const uint8_t* data(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

}  // namespace

TEST(FuzzCorpus, ObjSeedsKeepTheLoaderProperties) {
  const std::vector<fs::path> files = corpus("obj");
  ASSERT_GE(files.size(), 20u) << "the seed corpus is missing";
  fuzzcheck::ScratchFile file(".obj");
  for (const fs::path& seed : files) {
    const std::string input = bytes(seed);
    EXPECT_EQ("", fuzzcheck::checkObjLoad(file, data(input), input.size())) << seed.filename();
  }
}

TEST(FuzzCorpus, HeaderSeedsKeepTheExportProperties) {
  const std::vector<fs::path> files = corpus("header");
  ASSERT_GE(files.size(), 5u) << "the seed corpus is missing";
  fuzzcheck::ScratchFolder folder;
  ASSERT_FALSE(folder.path().empty());
  for (const fs::path& seed : files) {
    const std::string input = bytes(seed);
    EXPECT_EQ("", fuzzcheck::checkHeaderExport(folder.path(), data(input), input.size())) << seed.filename();
  }
}

// The checks themselves must be able to fail, or the fuzz runs prove nothing.
TEST(FuzzCorpus, ChecksNoticeABrokenLoad) {
  fuzzcheck::ScratchFile file(".obj");
  const std::string refused = "0v 0 0 0\nv 1 2\n";
  ASSERT_TRUE(file.write(data(refused) + 1, refused.size() - 1));
  OctreeScene scene;
  const fuzzcheck::LoadRun run = fuzzcheck::loadCapturing(scene, file.path(), false, 0);
  EXPECT_EQ(kStatusMalformed, run.status);
  EXPECT_EQ(fuzzcheck::kVertexMessage, run.output);
  EXPECT_EQ(2u, fuzzcheck::firstMalformedLine("v 0 0 0\nv 1 2\n", false).line);
  EXPECT_EQ(0u, fuzzcheck::firstMalformedLine("v 0 0 0\nvn 1\n", false).line) << "vn only counts when smooth";
  EXPECT_EQ(7u, fuzzcheck::indexMessageLine("ERROR: face index out of range in OBJLoader (a.obj, line 7)\n", "a.obj"));
  EXPECT_EQ(0u, fuzzcheck::indexMessageLine("ERROR: face index out of range in OBJLoader (b.obj, line 7)\n", "a.obj"));
  EXPECT_FALSE(fuzzcheck::isErasureOf("ba", "ab"));
  EXPECT_TRUE(fuzzcheck::isErasureOf("ac", "abc"));
}
