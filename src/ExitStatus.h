#pragma once

// Fatal errors are not exceptions: the function that meets one prints its
// message and returns the status the process must end with, and the caller
// passes it up to main, which alone exits.
constexpr int kStatusOk = 0;          // nothing fatal happened: go on
constexpr int kStatusMalformed = -1;  // a malformed input line (OBJ)
constexpr int kStatusFatal = 1;       // shader compile, framebuffer, texture overflow
