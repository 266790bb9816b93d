#pragma once

// Key codes as the rest of the program sees them: the GLFW 2.7 numbering.
// Printable keys are their upper-case character codes; special keys start
// at 256. GLFW 3 numbers special keys differently (its Enter is 2.7's
// Escape), so every code coming from GLFW 3 goes through legacyKeyCode.
constexpr int kKeyUnknown = -1;
constexpr int kKeySpecial = 256;
constexpr int kKeyEsc = 257;
constexpr int kKeyF1 = 258;
constexpr int kKeyF2 = 259;
constexpr int kKeyF5 = 262;
constexpr int kKeyF11 = 268;
constexpr int kKeyF25 = 282;
constexpr int kKeyUp = 283;
constexpr int kKeyDown = 284;
constexpr int kKeyLeft = 285;
constexpr int kKeyRight = 286;
constexpr int kKeyLast = 325;  // Menu, the highest 2.7 code

// Translates a GLFW 3 key code to its 2.7 code; kKeyUnknown for keys 2.7 did
// not have (Print Screen, the "world" keys) and for unknown codes.
int legacyKeyCode(int glfw3Key);
