#pragma once

#include <emscripten.h>

// A resting page (its picture finished, or the tab hidden) runs no frames
// at all; input, a change of the screen or a video to make starts them
// again. The browser's loop itself says whether it rests.
inline void wakePageLoop() {
  EM_ASM({ if (Browser.mainLoop.func && !Browser.mainLoop.scheduler) Browser.mainLoop.resume(); });
}
