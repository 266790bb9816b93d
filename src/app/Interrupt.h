#pragma once

// Ctrl+C and kill must end the programs cleanly: music released, files
// finished or removed. The platform's handlers only note the signal here;
// the frame loops and writers ask once a frame and leave through their
// normal clean-up.

// Notes `signal` unless one came before. Safe inside a signal handler.
void noteInterrupt(int signal);

// 0 while no interrupt came, otherwise the number of the first signal caught.
int caughtInterrupt();

// The shell's convention for a process ended by `signal`: 128 + its number.
constexpr int interruptExitStatus(int signal) { return 128 + signal; }
