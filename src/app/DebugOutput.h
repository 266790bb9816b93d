#pragma once

#include <string>

#include <GL/glew.h>

// Reporting of GL_ARB_debug_output messages on standard output.

// The words printed for the extension's enumerants; empty for values
// outside the tables.
const char* debugSourceWord(GLenum source);
const char* debugTypeWord(GLenum type);
const char* debugSeverityWord(GLenum severity);

// "<type> from <source>,\t<severity> priority\nMessage: <message>\n"
std::string formatDebugMessage(GLenum source, GLenum type, GLenum severity, const char* message);

void GLAPIENTRY onDebugMessage(GLenum source, GLenum type, GLuint id, GLenum severity,
                               GLsizei length, const GLchar* message, const void* userParam);

// Installs onDebugMessage, synchronous so that messages arrive on the main
// thread inside the offending call. Without the extension nothing happens.
void installDebugOutput();
