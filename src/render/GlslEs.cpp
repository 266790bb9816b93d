#include "render/GlslEs.h"

#include <cctype>
#include <sstream>

namespace {

constexpr const char* kPrecision =
    "precision highp float;\n"
    "precision highp int;\n"
    "precision highp sampler2D;\n"
    "precision highp sampler3D;\n"
    "precision highp usampler2D;\n"
    "precision highp usampler3D;\n";

// Overloads, since a built-in function cannot be overloaded in ES; level 0
// and nearest filtering are all the shaders ask of textureLod.
constexpr const char* kBoundedLookups =
    "bool insideTexture(vec3 c) {\n"
    "  return all(greaterThanEqual(c, vec3(0.0))) && all(lessThan(c, vec3(1.0)));\n"
    "}\n"
    "uvec4 boundedTextureLod(usampler3D s, vec3 c, float lod) {\n"
    "  return insideTexture(c) ? textureLod(s, c, lod) : uvec4(0u);\n"
    "}\n"
    "uvec4 boundedTextureLod(usampler2D s, vec2 c, float lod) {\n"
    "  return insideTexture(vec3(c, 0.0)) ? textureLod(s, c, lod) : uvec4(0u);\n"
    "}\n"
    "vec4 boundedTextureLod(sampler2D s, vec2 c, float lod) {\n"
    "  return insideTexture(vec3(c, 0.0)) ? textureLod(s, c, lod) : vec4(0.0);\n"
    "}\n"
    "vec4 boundedTextureLod(sampler2D s, float c, float lod) {\n"
    "  return boundedTextureLod(s, vec2(c, 0.5), lod);\n"
    "}\n";

bool startsWith(const std::string& line, const char* prefix) {
  const size_t text = line.find_first_not_of(" \t");
  return text != std::string::npos && line.compare(text, std::string(prefix).size(), prefix) == 0;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// "out vec4 output1;" -> "layout(location = 1) out vec4 output1;"
std::string withOutputLocation(const std::string& line) {
  if (!startsWith(line, "out ")) return line;
  const size_t name = line.find("output");
  const size_t digit = name == std::string::npos ? name : name + 6;
  if (digit >= line.size() || !std::isdigit(static_cast<unsigned char>(line[digit]))) return line;
  return "layout(location = " + std::string(1, line[digit]) + ") " + line;
}

}  // namespace

std::string glslEsText(const std::string& desktopText) {
  std::string body;
  std::istringstream lines(desktopText);
  for (std::string line; std::getline(lines, line);) {
    // A desktop text's own precision line (ignored by desktop GLSL) would
    // override the highp prelude: an ES driver may then march in half floats.
    if (startsWith(line, "#version") || startsWith(line, "#extension") ||
        startsWith(line, "precision "))
      continue;
    body += withOutputLocation(line) + "\n";
  }
  replaceAll(body, "sampler1D", "sampler2D");
  const bool looksUp = body.find("textureLod(") != std::string::npos;
  replaceAll(body, "textureLod(", "boundedTextureLod(");
  std::string prelude = std::string("#version 300 es\n") + kPrecision;
  if (looksUp) prelude += kBoundedLookups;
  return prelude + body;
}
