// The tune in the browser: the page plays it (web/page.js) with the Web Audio
// API, which loops a decoded buffer without a gap. Browsers refuse sound
// until the visitor clicks, taps or types, so the page starts it then.
#include <emscripten.h>

#include "app/Music.h"

MusicHandle startMusic() {
  EM_ASM({ if (Module.startTune) Module.startTune(); });
  return MusicHandle{1};
}

void stopMusic(MusicHandle music) {
  if (music == MusicHandle::None) return;
  EM_ASM({ if (Module.stopTune) Module.stopTune(); });
}
