#pragma once

// A hidden window with a current GL context for tests that need GL. The
// context is created once per test program and kept to its end, since
// creating contexts on llvmpipe is slow. Tests run under Xvfb when there is
// no display (tools/run-tests.sh).
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "app/DebugOutput.h"
#include "platform/desktop/LegacyWindow.h"

class GlContext {
 public:
  // Returns the shared context, or nullptr when none can be made (the caller
  // then fails the test with a clear message).
  static GlContext* get(int width = 64, int height = 64) {
    static GlContext* context = create(width, height);
    return context;
  }

  LegacyWindow window;

 private:
  // A refusal says why: the display, the GL version, or the entry points.
  static GlContext* create(int width, int height) {
    if (GlContext* context = tryCreate(width, height)) return context;
    std::fprintf(stderr, "GL context failed: %s\n", windowSystemError());
    glfwTerminate();
    return nullptr;
  }

  static GlContext* tryCreate(int width, int height) {
    if (!glfwInit()) return nullptr;
    auto context = std::make_unique<GlContext>();
    if (!context->window.open(width, height, /*visible=*/false)) return nullptr;
    if (!loadGlEntryPoints()) return nullptr;
    installDebugOutput();
    return context.release();
  }
};

// Use at the top of a GL test: fails it when there is no context.
#define REQUIRE_GL_CONTEXT()                                                  \
  do {                                                                        \
    ASSERT_NE(GlContext::get(), nullptr) << "no GL context (is DISPLAY set?)"; \
  } while (0)
