#include "app/DebugOutput.h"

#include <cstdio>

const char* debugSourceWord(GLenum source) {
  switch (source) {
    case GL_DEBUG_SOURCE_API_ARB: return "API";
    case GL_DEBUG_SOURCE_WINDOW_SYSTEM_ARB: return "Window System";
    case GL_DEBUG_SOURCE_SHADER_COMPILER_ARB: return "Shader Compiler";
    case GL_DEBUG_SOURCE_THIRD_PARTY_ARB: return "Third Party";
    case GL_DEBUG_SOURCE_APPLICATION_ARB: return "Application";
    case GL_DEBUG_SOURCE_OTHER_ARB: return "Other";
    default: return "";
  }
}

const char* debugTypeWord(GLenum type) {
  switch (type) {
    case GL_DEBUG_TYPE_ERROR_ARB: return "Error";
    case GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR_ARB: return "Deprecated Functionality";
    case GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR_ARB: return "Undefined Behavior";
    case GL_DEBUG_TYPE_PORTABILITY_ARB: return "Portability";
    case GL_DEBUG_TYPE_PERFORMANCE_ARB: return "Performance";
    case GL_DEBUG_TYPE_OTHER_ARB: return "Other";
    default: return "";
  }
}

const char* debugSeverityWord(GLenum severity) {
  switch (severity) {
    case GL_DEBUG_SEVERITY_HIGH_ARB: return "High";
    case GL_DEBUG_SEVERITY_MEDIUM_ARB: return "Medium";
    case GL_DEBUG_SEVERITY_LOW_ARB: return "Low";
    default: return "";
  }
}

std::string formatDebugMessage(GLenum source, GLenum type, GLenum severity, const char* message) {
  std::string text = debugTypeWord(type);
  text += " from ";
  text += debugSourceWord(source);
  text += ",\t";
  text += debugSeverityWord(severity);
  text += " priority\nMessage: ";
  text += message ? message : "";
  text += "\n";
  return text;
}

void GLAPIENTRY onDebugMessage(GLenum source, GLenum type, GLuint, GLenum severity, GLsizei,
                               const GLchar* message, const void*) {
  const std::string text = formatDebugMessage(source, type, severity, message);
  std::fwrite(text.data(), 1, text.size(), stdout);
  // A test or a user piping the output must see the message before a crash
  // or a fatal exit that may follow it.
  std::fflush(stdout);
}

void installDebugOutput() {
  if (!GLEW_ARB_debug_output) return;
  glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS_ARB);
  glDebugMessageCallbackARB(onDebugMessage, nullptr);
}
