// Every shader text the programs can compile passes the reference GLSL
// compiler. Mesa, the only driver the tests run on, accepts some things that
// other desktop drivers refuse.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "render/BuiltinShaders.h"
#include "render/DenoiseShader.h"
#include "render/TemporalShader.h"
#include "render/GlslEs.h"
#include "render/ProgramBuilder.h"

namespace fs = std::filesystem;

namespace {

struct ShaderText {
  std::string name;
  const char* stage;  // the validator's name for it
  std::string text;
};

// The files in run/ (VS or FS in the name says the stage) and the built-in
// texts of both variants. F5 compiles the run/ files, the path tracer with
// the variant's define too, which makes the built-in texts again.
std::vector<ShaderText> loadableShaders() {
  std::vector<ShaderText> shaders;
  for (const auto& entry : fs::directory_iterator(XMASTRACE_RUN_DIR)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".glsl") continue;
    std::string text;
    EXPECT_TRUE(readTextFile(entry.path().string(), text)) << name;
    shaders.push_back({name, name.find("VS") != std::string::npos ? "vert" : "frag", text});
  }
  shaders.push_back({"built-in primary rays", "frag", primaryRayFragmentSource()});
  for (PathVariant variant : {PathVariant::TwoBounce, PathVariant::OneBounce}) {
    const bool one = variant == PathVariant::OneBounce;
    shaders.push_back({one ? "built-in one bounce" : "built-in two bounces", "frag",
                       pathTraceFragmentSource(variant)});
  }
  return shaders;
}

// Runs glslangValidator on the text; false when it reports an error, with
// its words in `report`.
bool passesValidator(const ShaderText& shader, std::string& report) {
  const fs::path file = fs::temp_directory_path() / ("xmastrace_validate_" + std::to_string(getpid()));
  std::ofstream(file, std::ios::binary) << shader.text;
  const std::string command =
      std::string("glslangValidator -S ") + shader.stage + " '" + file.string() + "' 2>&1";
  report.clear();
  FILE* out = popen(command.c_str(), "r");
  if (!out) return false;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, out)) > 0;) report.append(chunk, got);
  const int status = pclose(out);
  fs::remove(file);
  return status == 0 && report.find("ERROR") == std::string::npos;
}

// The desktop binds each fragment output "outputN" to colour attachment N
// by name; ES cannot, so its text must carry "layout(location = N)" itself.
// glslangValidator accepts an output without one, so this is checked here:
// the names of the outputs whose location is missing or another than N.
std::vector<std::string> outputsWithoutTheirLocation(const std::string& text, int& outputs) {
  static const std::regex declaration(
      R"(^\s*(layout\s*\(\s*location\s*=\s*(\d+)\s*\)\s*)?out\s+\w+\s+(\w+)\s*;)");
  std::vector<std::string> wrong;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (!std::regex_search(line, match, declaration)) continue;
    ++outputs;
    if (!match[2].matched || match[3].str() != "output" + match[2].str()) wrong.push_back(line);
  }
  return wrong;
}

}  // namespace

TEST(ShaderValidation, EveryTextTheProgramsCompilePassesTheReferenceCompiler) {
  ASSERT_EQ(std::system("command -v glslangValidator >/dev/null"), 0)
      << "glslangValidator is missing: tools/install-deps.sh installs glslang-tools";
  std::string report;
  // The check itself must be able to fail.
  EXPECT_FALSE(passesValidator({"broken", "frag", "#version 330\nnot glsl\n"}, report)) << report;

  const std::vector<ShaderText> shaders = loadableShaders();
  EXPECT_GE(shaders.size(), 13u);
  for (const ShaderText& shader : shaders) {
    EXPECT_TRUE(passesValidator(shader, report)) << shader.name << ":\n" << report;
  }
}

// The browser compiles every text rewritten as GLSL ES 3.00; WebGL refuses
// what ES lacks (1D samplers, implicit conversions), so the rewritten texts,
// the denoiser's and the history's passes included, must pass as ES, and
// every fragment output must be at the location the desktop binds it to.
TEST(ShaderValidation, EveryTextAsTheBrowserCompilesItPassesAsGlslEs) {
  std::vector<ShaderText> shaders = loadableShaders();
  for (const char* pass : {"GATHER_MOMENTS", "PREPARE", "FILTER", "LAST_FILTER", "RECENTRE"}) {
    shaders.push_back({pass, "frag", defineAfterVersion(kDenoiseFragmentSource, pass)});
  }
  for (const char* pass : {"REPROJECT", "KEEP_GEOMETRY", "RESOLVE"}) {
    shaders.push_back({pass, "frag", defineAfterVersion(kTemporalFragmentSource, pass)});
  }
  std::string report;
  for (ShaderText& shader : shaders) {
    shader.text = glslEsText(shader.text);
    ASSERT_EQ(shader.text.rfind("#version 300 es\n", 0), 0u) << shader.name;
    // Desktop GLSL ignores precision; an ES driver may compute mediump in
    // half floats, which breaks the march.
    EXPECT_EQ(shader.text.find("mediump"), std::string::npos) << shader.name;
    EXPECT_EQ(shader.text.find("lowp"), std::string::npos) << shader.name;
    EXPECT_TRUE(passesValidator(shader, report)) << shader.name << ":\n" << report;
    if (std::string(shader.stage) != "frag") continue;
    int outputs = 0;
    EXPECT_THAT(outputsWithoutTheirLocation(shader.text, outputs), testing::IsEmpty()) << shader.name;
    EXPECT_GE(outputs, 1) << shader.name;
  }
}
