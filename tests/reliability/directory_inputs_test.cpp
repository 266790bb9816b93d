// A directory where the demo expects a file (an unpacking tool that made a
// folder of the name, say) is treated like a missing file by every reader.
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "render/ProgramBuilder.h"
#include "scene/OctreeScene.h"

namespace fs = std::filesystem;

namespace {

class DirectoryInputs : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("xmastrace_directory_inputs_" + std::to_string(getpid()));
    fs::create_directories(dir / "floor.obj");
    fs::create_directories(dir / "VS.glsl");
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

}  // namespace

TEST_F(DirectoryInputs, ShaderReaderFindsNoFile) {
  // Read as empty text it would reach the compiler and end the demo.
  std::string content = "untouched";
  EXPECT_FALSE(readTextFile((dir / "VS.glsl").string(), content));
  EXPECT_EQ(content, "untouched");
}

TEST_F(DirectoryInputs, ObjLoaderReportsTheFileAndChangesNothing) {
  OctreeScene scene;
  scene.positions.push_back({1, 2, 3});
  testing::internal::CaptureStdout();
  const int status = scene.loadObj((dir / "floor.obj").string(), false, 0);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, kStatusOk);
  EXPECT_EQ(output, "ERROR: loading obj:(" + (dir / "floor.obj").string() + ") file is not good\n");
  EXPECT_EQ(scene.positions.size(), 1u);
  EXPECT_EQ(scene.object_count, 0);
}
