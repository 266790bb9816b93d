#include "app/Interrupt.h"

#include <SDL2/SDL_hints.h>

#include <csignal>

namespace {

// A handler may only write a lock-free atomic flag; this one is the whole
// state, so it lives here rather than with main's program-wide objects.
volatile std::sig_atomic_t gCaughtSignal = 0;

extern "C" void noteSignal(int signal) {
  if (gCaughtSignal == 0) gCaughtSignal = signal;
}

}  // namespace

void catchInterrupts() {
  // Without this hint, SDL's event subsystem (started with its audio) turns
  // both signals into a quit event that nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction action = {};
  action.sa_handler = noteSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal or a dropped SSH session is an interruption too.
  sigaction(SIGHUP, &action, nullptr);
}

int caughtInterrupt() { return static_cast<int>(gCaughtSignal); }
