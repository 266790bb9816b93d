#include "app/Interrupt.h"

#include <csignal>

namespace {

// A handler may only write a lock-free atomic flag; this one is the whole
// state, so it lives here rather than with main's program-wide objects.
volatile std::sig_atomic_t gCaughtSignal = 0;

}  // namespace

void noteInterrupt(int signal) {
  if (gCaughtSignal == 0) gCaughtSignal = signal;
}

int caughtInterrupt() { return static_cast<int>(gCaughtSignal); }
