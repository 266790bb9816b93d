#pragma once

#include "app/KeyCodes.h"

// Translates a GLFW 3 key code to its 2.7 code; kKeyUnknown for keys 2.7 did
// not have (Print Screen, the "world" keys) and for unknown codes.
int legacyKeyCode(int glfw3Key);
