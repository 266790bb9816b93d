#include "render/ProgramBuilder.h"

#include <cstdio>
#include <vector>

#include "InputFile.h"
#include "render/GlslEs.h"
#include "render/HeaderExport.h"

namespace {

constexpr int kStageCount = 5;
constexpr int kOutputCount = 4;
constexpr const char* kOutputNames[kOutputCount] = {"output0", "output1", "output2", "output3"};

// With GL_ARB_debug_output the driver has reported the problem through the
// debug callback already; printing the log as well would say it twice.
bool logsGoThroughDebugOutput() { return GLEW_ARB_debug_output; }

// Shaders and programs keep their logs behind the same pair of calls.
std::string infoLog(GLuint object, PFNGLGETSHADERIVPROC getLength,
                    PFNGLGETSHADERINFOLOGPROC getLog) {
  GLint length = 0;
  getLength(object, GL_INFO_LOG_LENGTH, &length);
  std::vector<GLchar> log(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  getLog(object, length, nullptr, log.data());
  return log.data();
}

std::string shaderLog(GLuint shader) { return infoLog(shader, glGetShaderiv, glGetShaderInfoLog); }

std::string programLog(GLuint program) {
  return infoLog(program, glGetProgramiv, glGetProgramInfoLog);
}

// Asks for one stage from complete source text; its status is read later.
GLuint startShader(GLenum type, const char* source) {
#ifdef __EMSCRIPTEN__
  const std::string esText = glslEsText(source);
  source = esText.c_str();
#endif
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

// Reads a stage's status, printing its log when it failed.
bool shaderCompiled(GLuint shader) {
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled) return true;
  if (!logsGoThroughDebugOutput()) {
    std::fprintf(stderr, "Compile failure in shader:\n%s\n", shaderLog(shader).c_str());
  }
  return false;
}

// One slot's file; a file that does not open leaves the stage out (shader
// 0) and is no error.
GLuint startFile(GLenum type, const char* fileName) {
  std::string source;
  if (!readTextFile(fileName, source)) return 0;
  return startShader(type, source.c_str());
}

void startLink(const GLuint (&shaders)[kStageCount], GLuint& program) {
  program = glCreateProgram();
  for (int i = 0; i < kOutputCount; ++i) glBindFragDataLocation(program, i, kOutputNames[i]);
  for (GLuint shader : shaders) {
    if (shader != 0) glAttachShader(program, shader);
  }
  glLinkProgram(program);
}

// The log is printed even with debug output on: drivers (Mesa among them)
// send compile errors through the callback but say nothing there about a
// failed link, which would then go unexplained.
bool programLinked(GLuint program) {
  if (isLinked(program)) return true;
  std::fprintf(stderr, "Linker failure: %s\n", programLog(program).c_str());
  return false;
}

}  // namespace

bool isShaderFileName(const char* fragment) {
  return fragment != nullptr && std::string(fragment).find(".glsl") != std::string::npos;
}

bool isLinked(GLuint program) {
  if (program == 0 || !glIsProgram(program)) return false;
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  return linked == GL_TRUE;
}

void releaseProgram(GLuint program) {
  if (program != 0) glDeleteProgram(program);
}

std::string defineAfterVersion(const std::string& source, const std::string& name) {
  const std::string line = "#define " + name + "\n";
  size_t at = 0;
  // The #version line must stay first: the define goes after the first line
  // that starts with it (blanks before it allowed).
  for (size_t start = 0; start < source.size();) {
    const size_t text = source.find_first_not_of(" \t", start);
    const size_t end = source.find('\n', start);
    if (text != std::string::npos && source.compare(text, 8, "#version") == 0 &&
        (end == std::string::npos || text < end)) {
      if (end == std::string::npos) return source + "\n" + line;
      at = end + 1;
      break;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return source.substr(0, at) + line + source.substr(at);
}

bool readTextFile(const std::string& fileName, std::string& content) {
  return readRegularFile(fileName, content);
}

GLuint compileShader(GLenum type, const char* source) {
  const GLuint shader = startShader(type, source);
  if (shaderCompiled(shader)) return shader;
  glDeleteShader(shader);
  return 0;
}

namespace {

void deleteShaders(const GLuint (&shaders)[kStageCount]) {
  for (GLuint shader : shaders) {
    if (shader != 0) glDeleteShader(shader);
  }
}

// The fragment slot: a file (whose text is kept for its optional header
// export) or the argument's own text, either with its optional define.
GLuint startFragment(const char* fragment, bool exportHeader, const char* define,
                     PendingProgram& pending) {
  if (fragment == nullptr) return 0;
  std::string source = fragment;
  const bool fromFile = isShaderFileName(fragment);
  if (fromFile && !readTextFile(fragment, source)) return 0;
  if (fromFile && exportHeader) {
    pending.headerFile = fragment;
    pending.headerSource = source;
  }
  const std::string compiled = define ? defineAfterVersion(source, define) : source;
  return startShader(GL_FRAGMENT_SHADER, compiled.c_str());
}

}  // namespace

PendingProgram startProgram(const char* vertexFile, const char* tessControlFile,
                            const char* tessEvalFile, const char* geometryFile,
                            const char* fragment, bool exportHeader, const char* fragmentDefine) {
  const char* files[kStageCount - 1] = {vertexFile, tessControlFile, tessEvalFile, geometryFile};
  const GLenum types[kStageCount - 1] = {GL_VERTEX_SHADER, GL_TESS_CONTROL_SHADER,
                                         GL_TESS_EVALUATION_SHADER, GL_GEOMETRY_SHADER};
  PendingProgram pending;
  for (int slot = 0; slot < kStageCount - 1; ++slot) {
    if (files[slot] != nullptr) pending.shaders[slot] = startFile(types[slot], files[slot]);
  }
  pending.shaders[kStageCount - 1] = startFragment(fragment, exportHeader, fragmentDefine, pending);
  startLink(pending.shaders, pending.program);
  return pending;
}

BuiltProgram finishProgram(PendingProgram& pending) {
  // Stages in order, up to the first that failed: that one is reported.
  bool compiled = true;
  for (GLuint shader : pending.shaders) {
    if (shader != 0 && compiled) compiled = shaderCompiled(shader);
  }
  BuiltProgram result;
  if (compiled) {
    if (!pending.headerFile.empty()) exportHeader(pending.headerFile.c_str(), pending.headerSource);
    result.program = pending.program;
    result.linked = programLinked(pending.program);
  } else {
    glDeleteProgram(pending.program);
    result.status = kStatusFatal;
  }
  // Attached shaders live on inside the program; the rest are not needed.
  deleteShaders(pending.shaders);
  pending = PendingProgram();
  return result;
}

BuiltProgram buildProgram(const char* vertexFile, const char* tessControlFile,
                          const char* tessEvalFile, const char* geometryFile,
                          const char* fragment, bool exportHeader, const char* fragmentDefine) {
  PendingProgram pending = startProgram(vertexFile, tessControlFile, tessEvalFile, geometryFile,
                                        fragment, exportHeader, fragmentDefine);
  return finishProgram(pending);
}
