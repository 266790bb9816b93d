#include "render/ProgramBuilder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/GlContext.h"

namespace {

constexpr const char* kVertex =
    "#version 330\n"
    "layout(location = 0) in vec3 position;\n"
    "void main() { gl_Position = vec4(position, 1.0); }\n";

// Declares its outputs without locations: only the builder can place them.
constexpr const char* kFragment =
    "#version 330\n"
    "out vec4 output0;\n"
    "out vec4 output1;\n"
    "out vec4 output2;\n"
    "void main() { output0 = vec4(1.0); output1 = vec4(2.0); output2 = vec4(3.0); }\n";

constexpr const char* kBrokenFragment = "#version 330\nvoid main() { this is not glsl }\n";

void writeFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

// Each test works in a scratch directory, since file arguments are relative
// to the working directory and headers are written there.
class ProgramBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    previous = std::filesystem::current_path();
    dir = std::filesystem::temp_directory_path() /
          ("xmastrace_program_builder_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    writeFile("vs.glsl", kVertex);
  }
  void TearDown() override {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
  }

  static GLint linkStatus(GLuint program) {
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked;
  }

  std::filesystem::path previous;
  std::filesystem::path dir;
};

TEST_F(ProgramBuilderTest, BuiltInTextLinksWithOutputsAtFixedLocations) {
  const BuiltProgram built = buildProgram("vs.glsl", nullptr, nullptr, nullptr, kFragment, true);
  ASSERT_EQ(built.status, kStatusOk);
  ASSERT_NE(built.program, 0u);
  EXPECT_EQ(linkStatus(built.program), GL_TRUE);
  EXPECT_EQ(glGetFragDataLocation(built.program, "output0"), 0);
  EXPECT_EQ(glGetFragDataLocation(built.program, "output1"), 1);
  EXPECT_EQ(glGetFragDataLocation(built.program, "output2"), 2);
  // Source text is never exported, whatever the flag says.
  int headers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    headers += entry.path().extension() == ".h";
  }
  EXPECT_EQ(headers, 0);
}

TEST_F(ProgramBuilderTest, FragmentArgumentWithoutGlslIsNeverOpened) {
  // A valid shader sits in a file of that name; compiling the name itself as
  // source must fail.
  writeFile("plain_fragment", kFragment);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const BuiltProgram built =
      buildProgram("vs.glsl", nullptr, nullptr, nullptr, "plain_fragment", false);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(built.status, kStatusFatal);
  EXPECT_EQ(built.program, 0u);
}

TEST_F(ProgramBuilderTest, MissingStageFilesAreLeftOutSilently) {
  writeFile("fs.glsl", kFragment);
  testing::internal::CaptureStderr();
  const BuiltProgram built =
      buildProgram("missing_vs.glsl", "missing_tc.glsl", "missing_te.glsl", "missing_gs.glsl",
                   "fs.glsl", false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(built.status, kStatusOk);
  EXPECT_NE(built.program, 0u);
  EXPECT_EQ(linkStatus(built.program), GL_TRUE);

  const BuiltProgram empty =
      buildProgram("missing_vs.glsl", nullptr, nullptr, nullptr, "missing_fs.glsl", true);
  EXPECT_EQ(empty.status, kStatusOk);
  EXPECT_NE(empty.program, 0u);
  EXPECT_FALSE(std::filesystem::exists("missing_fs.h"));
}

TEST_F(ProgramBuilderTest, FragmentFileIsExportedOnlyWhenAsked) {
  writeFile("shade.glsl.bak", std::string(kFragment) + "// end");
  EXPECT_EQ(buildProgram("vs.glsl", nullptr, nullptr, nullptr, "shade.glsl.bak", false).status,
            kStatusOk);
  EXPECT_FALSE(std::filesystem::exists("shade.h"));

  const BuiltProgram built =
      buildProgram("vs.glsl", nullptr, nullptr, nullptr, "shade.glsl.bak", true);
  EXPECT_EQ(built.status, kStatusOk);
  EXPECT_EQ(linkStatus(built.program), GL_TRUE);
  std::ifstream header("shade.h", std::ios::binary);
  ASSERT_TRUE(header);
  std::string line;
  std::getline(header, line);
  EXPECT_EQ(line.rfind("const char shade[]= {\"#version 330 \\nout vec4 output0; \\n", 0), 0u);
  EXPECT_EQ(line.substr(line.size() - 6), " \\n\"};");
  EXPECT_TRUE(header.eof());
}

TEST_F(ProgramBuilderTest, FailedLinkStillReturnsTheProgram) {
  // It compiles, but a program without main does not link.
  const char* noMain = "#version 330\nout vec4 output0;\nvoid helper() { output0 = vec4(1.0); }\n";
  testing::internal::CaptureStderr();
  const BuiltProgram built = buildProgram(nullptr, nullptr, nullptr, "gs_missing.glsl", noMain, false);
  // Debug output or not: drivers do not all report a failed link there.
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Linker failure: ", 0), 0u);
  EXPECT_EQ(built.status, kStatusOk);
  EXPECT_NE(built.program, 0u);
  EXPECT_FALSE(built.linked);
}

TEST_F(ProgramBuilderTest, CompileFailureIsFatalAndReportedOnce) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const BuiltProgram built = buildProgram("vs.glsl", nullptr, nullptr, nullptr, kBrokenFragment, false);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(built.status, kStatusFatal);
  EXPECT_EQ(built.program, 0u);
  if (GLEW_ARB_debug_output) {
    EXPECT_NE(out.find("Error from Shader Compiler"), std::string::npos) << out;
    EXPECT_EQ(err, "");
  } else {
    EXPECT_EQ(err.rfind("Compile failure in shader:\n", 0), 0u) << err;
  }
}

using ProgramBuilderDeathTest = ProgramBuilderTest;

TEST_F(ProgramBuilderDeathTest, BrokenBuiltInShaderEndsAProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // The debug report goes to standard output; the matcher reads stderr.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        std::exit(buildProgram("vs.glsl", nullptr, nullptr, nullptr, kBrokenFragment, false).status);
      },
      testing::ExitedWithCode(1), "Compile failure in shader|Error from Shader Compiler");
}

}  // namespace
