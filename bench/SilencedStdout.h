#pragma once

// Start-up prints its statistics with printf-style and stream output alike;
// both would break up a benchmark's table. Standard output goes to
// /dev/null while one of these lives.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>

class SilencedStdout {
 public:
  SilencedStdout() : streamBuffer(std::cout.rdbuf(sink.rdbuf())) {
    std::fflush(stdout);
    saved = dup(STDOUT_FILENO);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    close(devnull);
  }
  ~SilencedStdout() {
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::cout.rdbuf(streamBuffer);
  }
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

 private:
  std::ostringstream sink;
  std::streambuf* streamBuffer;
  int saved = -1;
};
