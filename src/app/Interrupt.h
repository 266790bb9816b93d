#pragma once

// Ctrl+C and kill must end the programs cleanly: music released, files
// finished or removed. The handlers only note the signal; the frame loops
// ask once a frame and leave through their normal clean-up.

// Catches SIGINT, SIGTERM and SIGHUP from now on. Call it before the audio library
// starts: it also asks that library to leave the signals alone.
void catchInterrupts();

// 0 while no interrupt came, otherwise the number of the first signal caught.
int caughtInterrupt();

// The shell's convention for a process ended by `signal`: 128 + its number.
constexpr int interruptExitStatus(int signal) { return 128 + signal; }
