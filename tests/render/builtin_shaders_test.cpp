#include "render/BuiltinShaders.h"

#include <gtest/gtest.h>

#include <string>

#include "render/ProgramBuilder.h"

namespace {

std::string fileText(const std::string& path) {
  std::string text;
  EXPECT_TRUE(readTextFile(path, text)) << path;
  return text;
}

const std::string kShaderDir = std::string(XMASTRACE_SOURCE_DIR) + "/src/render/shaders/";
const std::string kRunDir = std::string(XMASTRACE_RUN_DIR) + "/";

TEST(BuiltinShaders, AreTheTextsOfTheShaderFiles) {
  EXPECT_EQ(primaryRayFragmentSource(), fileText(kShaderDir + "VoxelShaderFSgiga.glsl"));
  EXPECT_EQ(pathTraceFragmentSource(PathVariant::TwoBounce),
            fileText(kShaderDir + "gigaAOShaderFS.glsl"));
}

TEST(BuiltinShaders, OneBounceIsTheSameFileWithItsDefineAfterVersion) {
  const std::string file = fileText(kShaderDir + "gigaAOShaderFS.glsl");
  const size_t lineEnd = file.find('\n', file.find("#version"));
  ASSERT_NE(lineEnd, std::string::npos);
  const std::string expected =
      file.substr(0, lineEnd + 1) + "#define ONE_BOUNCE\n" + file.substr(lineEnd + 1);
  EXPECT_EQ(pathTraceFragmentSource(PathVariant::OneBounce), expected);
}

TEST(BuiltinShaders, TheDefineGoesAfterTheVersionLineWhereverThatIs) {
  // The version line must stay the first statement, or the text fails to
  // compile: a mention of it in an earlier comment does not count.
  EXPECT_EQ(defineAfterVersion("// #version in a comment\n  #version 330\nbody\n", "X"),
            "// #version in a comment\n  #version 330\n#define X\nbody\n");
  EXPECT_EQ(defineAfterVersion("#version 330", "X"), "#version 330\n#define X\n");
  EXPECT_EQ(defineAfterVersion("void main() {}\n", "X"), "#define X\nvoid main() {}\n");
}

TEST(BuiltinShaders, TheFilesThatF5ReloadsHoldTheTwoBounceTexts) {
  EXPECT_EQ(fileText(kRunDir + "VoxelShaderFSgiga.glsl"), primaryRayFragmentSource());
  EXPECT_EQ(fileText(kRunDir + "gigaAOShaderFS.glsl"),
            pathTraceFragmentSource(PathVariant::TwoBounce));
}

}  // namespace
