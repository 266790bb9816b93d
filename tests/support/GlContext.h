#pragma once

// A hidden window with a current GL context for tests that need GL. The
// context is created once per test program and kept to its end, since
// creating contexts on llvmpipe is slow. Tests run under Xvfb when there is
// no display (tools/run-tests.sh).
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/DebugOutput.h"
#include "app/LegacyWindow.h"

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
  // A busy virtual display now and then refuses a context: a few tries tell
  // such a hiccup from a real failure, and each refusal says why.
  static GlContext* create(int width, int height) {
    constexpr int kTries = 3;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
      if (GlContext* context = tryCreate(width, height)) return context;
      const char* reason = nullptr;
      glfwGetError(&reason);
      std::fprintf(stderr, "GL context, try %d of %d failed: %s\n", attempt, kTries,
                   reason ? reason : "no usable GL entry points");
      glfwTerminate();
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
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
