#pragma once
// The browser's stand-in for GLEW. The shared sources include <GL/glew.h>;
// in the browser build this folder comes first on the include path, so they
// get WebGL 2 (OpenGL ES 3.0) instead, plus the few desktop names they use
// mapped onto their ES equivalents. Nothing here runs on the desktop.
#include <GLES3/gl3.h>

#define GLAPIENTRY

// No debug-output extension in WebGL: shader logs are printed directly.
#define GLEW_ARB_debug_output false

// The EXT framebuffer names are core in ES 3.0.
#define glBindFramebufferEXT glBindFramebuffer
#define glGenFramebuffersEXT glGenFramebuffers
#define glFramebufferTexture2DEXT glFramebufferTexture2D
#define glBindRenderbufferEXT glBindRenderbuffer
#define glGenRenderbuffersEXT glGenRenderbuffers
#define glRenderbufferStorageEXT glRenderbufferStorage
#define glFramebufferRenderbufferEXT glFramebufferRenderbuffer
#define GL_DEPTH_COMPONENT32 GL_DEPTH_COMPONENT32F
#define GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT 0x8CD9
#define GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT 0x8CDA
#define GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER 0x8CDB
#define GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER 0x8CDC

// A one-row 2D texture plays the BRDF table's 1D texture; the shader text is
// adapted to match when it is compiled (render/GlslEs).
#define GL_TEXTURE_1D GL_TEXTURE_2D
inline void glTexImage1D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                         GLint border, GLenum format, GLenum type, const void* data) {
  glTexImage2D(target, level, internalFormat, width, 1, border, format, type, data);
}

// No border colour in ES: the adapted shaders test their own bounds, so an
// edge clamp is enough for everything else.
#define GL_CLAMP_TO_BORDER GL_CLAMP_TO_EDGE

// ES binds fragment outputs by layout qualifiers, which the adapted text
// carries.
inline void glBindFragDataLocation(GLuint, GLuint, const char*) {}

// Stages ES does not have; a program never names a file for them here.
#define GL_TESS_CONTROL_SHADER 0x8E88
#define GL_TESS_EVALUATION_SHADER 0x8E87
#define GL_GEOMETRY_SHADER 0x8DD9
