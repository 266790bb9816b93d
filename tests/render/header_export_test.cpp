#include "render/HeaderExport.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(HeaderStem, CutsAtTheFirstGlslAndKeepsEverythingBefore) {
  EXPECT_EQ(headerStem("VoxelShaderFSgiga.glsl"), "VoxelShaderFSgiga");
  EXPECT_EQ(headerStem("a.glsl.bak"), "a");
  EXPECT_EQ(headerStem("x.glsl.glsl"), "x");
  EXPECT_EQ(headerStem("dir/FS.glsl"), "dir/FS");
}

TEST(StripComments, LineAndBlockCommentsGoAndTheRestStays) {
  EXPECT_EQ(stripComments("a = 1; // one\nb = 2; /* two\nlines */c = 3;\n"),
            "a = 1; \nb = 2; c = 3;\n");
  // The scan knows nothing of strings: markers inside quotes count too.
  EXPECT_EQ(stripComments("s = \"http://x\";\n"), "s = \"http:\n");
  // Text without comments, including quotes, tabs and backslashes, is kept.
  EXPECT_EQ(stripComments("\t\"q\" \\ / * /\n"), "\t\"q\" \\ / * /\n");
}

TEST(StripComments, LineCommentsGoFirstAndCanSwallowABlockClose) {
  // "// c */" loses the first block's closer in the first pass, so the block
  // pass erases on to the next "*/", two lines further.
  EXPECT_EQ(stripComments("a /* b // c */ d\ne */ f\ng\n"), "a  f\ng\n");
}

TEST(StripComments, UnterminatedCommentsRunToTheEnd) {
  EXPECT_EQ(stripComments("x = 1; // last line"), "x = 1; ");
  EXPECT_EQ(stripComments("x = 1; /* open\nstill open"), "x = 1; ");
}

TEST(HeaderDeclaration, IsOneLineWithEscapedNewlinesAndNoFinalBreak) {
  const std::string source = "#version 330\n// note\nvoid main() {\n  x = \"q\";\n}";
  EXPECT_EQ(headerDeclaration("FS", source),
            "const char FS[]= {\"#version 330 \\n \\nvoid main() { \\n  x = \"q\"; \\n}\"};");
  EXPECT_EQ(headerDeclaration("E", ""), "const char E[]= {\"\"};");
}

TEST(ExportHeader, WritesTheDeclarationNamedAfterTheStem) {
  // A folder of this process's own: other builds' runs share the machine's /tmp.
  const auto dir = std::filesystem::temp_directory_path() /
                   ("xmastrace_header_export_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string fragment = (dir / "shade.glsl.bak").string();
  const std::string header = (dir / "shade.h").string();
  std::filesystem::remove(header);
  { std::ofstream(header, std::ios::binary) << "old content that is much longer than the new"; }

  ASSERT_TRUE(exportHeader(fragment, "a;\nb; /* c */\n"));
  EXPECT_EQ(readAll(header), "const char " + (dir / "shade").string() + "[]= {\"a; \\nb;  \\n\"};");

  EXPECT_FALSE(exportHeader((dir / "no_such_dir" / "x.glsl").string(), "a"));
  std::filesystem::remove_all(dir);
}

}  // namespace
