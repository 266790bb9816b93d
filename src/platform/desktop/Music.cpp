#include "app/Music.h"

#include <unistd.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <cstdio>

#include "InputFile.h"

namespace {

constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kChunkFrames = 2048;
constexpr int kMusicVolume = MIX_MAX_VOLUME / 4;
// Only the library's own loop count restarts the decoder inside the same
// mixing pass; a restart from a finished-hook leaves a short silence.
constexpr int kLoopForever = -1;

// No allowed changes: a sound server may offer another rate, and the tune is
// made for 44100 Hz.
bool openDevice() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  return Mix_OpenAudioDevice(kOutputRate, AUDIO_S16SYS, kOutputChannels, kChunkFrames, nullptr, 0) == 0;
}

// Each try gets its own file handle, because a failed load closes the one it
// was given. Only a regular file is handed over: a directory opens as a
// stream too, and the decoders crash on what it reports as its size.
Mix_Music* loadAs(const char* path, Mix_MusicType type) {
  const int fd = openRegularFile(path);
  if (fd < 0) return nullptr;
  FILE* stream = fdopen(fd, "rb");
  if (!stream) {
    close(fd);
    return nullptr;
  }
  SDL_RWops* file = SDL_RWFromFP(stream, SDL_TRUE);
  if (!file) {
    std::fclose(stream);
    return nullptr;
  }
  return Mix_LoadMUSType_RW(file, type, /*freesrc=*/1);
}

MusicHandle toHandle(Mix_Music* music) { return static_cast<MusicHandle>(reinterpret_cast<std::uintptr_t>(music)); }

Mix_Music* fromHandle(MusicHandle music) {
  return reinterpret_cast<Mix_Music*>(static_cast<std::uintptr_t>(music));
}

}  // namespace

MusicHandle startMusic() {
  if (!openDevice()) {
    std::fputs("Can't initialize device\n", stdout);
    std::fflush(stdout);
  }
  Mix_Music* music = loadAs(kMusicFile, MUS_MP3);
  if (!music) music = loadAs(kMusicFile, MUS_MOD);
  if (!music) {
    std::fputs("Can't play music\n", stdout);
    std::fflush(stdout);
  }
  Mix_VolumeMusic(kMusicVolume);
  if (music) Mix_PlayMusic(music, kLoopForever);
  return toHandle(music);
}

void stopMusic(MusicHandle music) {
  Mix_HaltMusic();
  if (music != MusicHandle::None) Mix_FreeMusic(fromHandle(music));
  // Both are counted by the library, so they are no-ops when the open above
  // failed.
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
