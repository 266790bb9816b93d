#include "render/PassTimer.h"

#include <chrono>

PassTimer::PassTimer() { glGenQueries(1, &query); }

PassTimer::~PassTimer() { glDeleteQueries(1, &query); }

GlWorkTime PassTimer::time(const std::function<void()>& work) {
  // Earlier work must not be counted against this one on the wall clock.
  glFinish();
  const auto start = std::chrono::steady_clock::now();
  glBeginQuery(GL_TIME_ELAPSED, query);
  work();
  glEndQuery(GL_TIME_ELAPSED);
  GLuint64 nanoseconds = 0;
  glGetQueryObjectui64v(query, GL_QUERY_RESULT, &nanoseconds);
  glFinish();
  GlWorkTime spent;
  spent.gpuSeconds = static_cast<double>(nanoseconds) * 1e-9;
  spent.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return spent;
}
