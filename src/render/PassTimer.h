#pragma once

#include <functional>

#include <GL/glew.h>

// Time of some GL work: by a GL_TIME_ELAPSED query, and by the wall clock
// until glFinish returns. Software renderers may leave their rasteriser
// threads out of the query, so both are kept.
struct GlWorkTime {
  double gpuSeconds = 0.0;
  double wallSeconds = 0.0;
};

// Owns one timer query; waits for each result, so it serialises the work it
// times.
class PassTimer {
 public:
  PassTimer();
  ~PassTimer();
  PassTimer(const PassTimer&) = delete;
  PassTimer& operator=(const PassTimer&) = delete;

  GlWorkTime time(const std::function<void()>& work);

 private:
  GLuint query = 0;
};
