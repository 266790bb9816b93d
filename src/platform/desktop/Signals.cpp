#include "platform/desktop/Signals.h"

#include <SDL2/SDL_hints.h>

#include <csignal>

#include "app/Interrupt.h"

namespace {

extern "C" void noteSignal(int signal) { noteInterrupt(signal); }

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
