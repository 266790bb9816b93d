#pragma once

#include <cstdint>

// The music that plays while the demo runs. The value wraps the audio
// library's music object; None means there is none (no device or no file),
// and then the demo simply runs silently. A distinct type rather than a bare
// integer so that the handle cannot be narrowed by accident on its way into
// a field.
enum class MusicHandle : std::uintptr_t { None = 0 };

// The tune, relative to the working directory (run/).
constexpr const char* kMusicFile = "data/sound.mp3";
// One pass of the tune; the length when the tune itself is missing.
constexpr double kTuneSeconds = 43.2;

// Opens the default audio device at 44100 Hz, loads "data/sound.mp3" (as an
// MP3 stream, else as tracker music) and plays it at a quarter of full volume
// in an endless, gapless loop. Prints "Can't initialize device\n" or "Can't
// play music\n" to standard output when that step fails, and goes on.
MusicHandle startMusic();

// Stops the music and releases the device and the decoders. Safe with None
// and after any failure of startMusic.
void stopMusic(MusicHandle music);
