// A directory where the demo expects a file (an unpacking tool that made a
// folder of the name, say) is treated like a missing file by every reader;
// so is an OBJ file larger than memory holds. (FIFOs and devices: the
// damaged-files runs.)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

namespace {

// In a child process: loads `file` with 96 MB of address space to spare and
// exits with 0 when the loader gave up on it and left the scene unchanged.
// Its report goes to standard error, where the death test looks.
[[noreturn]] void loadWithLittleMemory(const fs::path& file) {
  std::string status;
  readTextFile("/proc/self/statm", status);
  const rlim_t used = std::strtoull(status.c_str(), nullptr, 10) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
  const rlimit limit{used + (rlim_t{96} << 20), used + (rlim_t{96} << 20)};
  setrlimit(RLIMIT_AS, &limit);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  OctreeScene scene;
  const int result = scene.loadObj(file.string(), false, 0);
  std::_Exit(result == kStatusOk && scene.faces.empty() && scene.object_count == 0 ? 0 : 1);
}

}  // namespace

TEST(HugeObj, MoreFacesThanMemoryHoldsIsAFileThatIsNotGood) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer needs more address space than the test allows";
#endif
  // 4 million faces need about 320 MB of records; the loader may have a
  // quarter of that.
  const fs::path file = fs::temp_directory_path() / ("xmastrace_huge_" + std::to_string(getpid()) + ".obj");
  {
    std::ofstream out(file, std::ios::binary);
    const std::string block = [] {
      std::string lines;
      for (int i = 0; i < 4096; ++i) lines += "f 1 2 3\n";
      return lines;
    }();
    for (int i = 0; i < 1024; ++i) out << block;
  }
  EXPECT_EXIT(loadWithLittleMemory(file), testing::ExitedWithCode(0),
              "ERROR: loading obj:\\(.*huge.*\\) file is not good");
  fs::remove(file);
}
