#pragma once

#include <string>

#include <GL/glew.h>

#include "ExitStatus.h"

// Building the GL programs of the demo from shader files or built-in text.

// A fragment argument naming a file rather than holding source text.
bool isShaderFileName(const char* fragment);

// Compiles one stage from complete source text. Returns the shader, or 0 when
// it does not compile; the log then goes to standard error, unless debug
// output is on, which has already reported it.
GLuint compileShader(GLenum type, const char* source);

struct BuiltProgram {
  GLuint program = 0;      // linked or not; 0 when a stage did not compile
  int status = kStatusOk;  // kStatusFatal when a stage did not compile
  bool linked = false;     // a program that did not link draws nothing sound
};

// Slots 1 to 4 are file names or null; a missing file leaves its stage out
// silently. `fragment` is a file name when it contains ".glsl", otherwise the
// source text itself. With exportHeader, a fragment shader read from a file
// is also written out as <stem>.h. Output names output0..output3 get
// locations 0..3. A failed link is reported with its log on standard error
// and the program still returned, with `linked` false.
// The fragment shader is compiled with `fragmentDefine`, when given, defined
// after its #version line (defineAfterVersion); the header keeps the file's
// own text.
BuiltProgram buildProgram(const char* vertexFile, const char* tessControlFile,
                          const char* tessEvalFile, const char* geometryFile,
                          const char* fragment, bool exportHeader,
                          const char* fragmentDefine = nullptr);

// buildProgram in two halves: the first asks the driver for every stage and
// the link and reads no status, so that a driver that compiles in the
// background (KHR_parallel_shader_compile) lets its caller go on meanwhile;
// the second reads the statuses, waiting for them if need be, and reports
// as buildProgram does. Every started program must be finished.
struct PendingProgram {
  GLuint program = 0;
  GLuint shaders[5] = {};  // vertex to fragment; 0 for a stage left out
  // A fragment file to export as a header once it has compiled.
  std::string headerFile;
  std::string headerSource;
};
PendingProgram startProgram(const char* vertexFile, const char* tessControlFile,
                            const char* tessEvalFile, const char* geometryFile,
                            const char* fragment, bool exportHeader,
                            const char* fragmentDefine = nullptr);
BuiltProgram finishProgram(PendingProgram& pending);

// `source` with "#define <name>" on a line of its own right after its
// #version line, or at the start when it has none: how a variant of a shader
// is made from one text.
std::string defineAfterVersion(const std::string& source, const std::string& name);

// Frees a program that a rebuild has replaced. GL keeps it until it is no
// longer in use, so the frame that is drawing with it is not disturbed.
void releaseProgram(GLuint program);

// Whether `program` is a program that linked.
bool isLinked(GLuint program);

// Whole file content; false when it is missing or no regular file (a
// directory, a FIFO, a device), as for every input file.
bool readTextFile(const std::string& fileName, std::string& content);
