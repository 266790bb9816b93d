#pragma once

#include <vector>

// One note of the arrangement. Times are in beats from the start of the loop;
// pitches are MIDI note numbers.
enum class Instrument { Bell, Pad, Bass };

struct Note {
  Instrument instrument;
  double startBeat;
  double lengthBeats;
  int pitch;
  double velocity;  // 0..1
};

constexpr int kBeatsPerBar = 3;

struct Arrangement {
  int bars = 0;
  std::vector<Note> notes;
};

// Our arrangement of the traditional carol "We Wish You a Merry Christmas"
// in G major, 3/4: an intro, the verse twice (the second with a harmony a
// third below), the refrain and the verse's last line. It is meant to loop,
// so it ends on the last bar line and the intro follows on seamlessly.
Arrangement merryChristmasArrangement();
