#pragma once

// Key codes as the rest of the program sees them: the GLFW 2.7 numbering.
// Printable keys are their upper-case character codes; special keys start
// at 256. GLFW 3 numbers special keys differently (its Enter is 2.7's
// Escape), so the desktop's window layer translates every code it gets
// (platform/desktop/GlfwKeys.h).
constexpr int kKeyUnknown = -1;
constexpr int kKeyW = 'W', kKeyS = 'S', kKeyA = 'A', kKeyD = 'D', kKeyQ = 'Q', kKeyE = 'E';
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

