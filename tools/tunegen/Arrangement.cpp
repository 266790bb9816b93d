#include "Arrangement.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

// Pitches used by the tune.
constexpr int D4 = 62, E4 = 64, Fs4 = 66, G4 = 67, A4 = 69, B4 = 71, C5 = 72, D5 = 74;

// A melody note inside one bar: beat offset, length in beats, pitch.
struct BarNote {
  double beat;
  double length;
  int pitch;
};
using Bar = std::vector<BarNote>;

// "We wish you a merry Christmas" up to the pickup into the next phrase; the
// last bar ends with that pickup so phrases chain.
const std::vector<Bar>& verseBars() {
  static const std::vector<Bar> bars = {
      {{0, 1, G4}, {1, 0.5, G4}, {1.5, 0.5, A4}, {2, 0.5, G4}, {2.5, 0.5, Fs4}},
      {{0, 1, E4}, {1, 1, E4}, {2, 1, E4}},
      {{0, 1, A4}, {1, 0.5, A4}, {1.5, 0.5, B4}, {2, 0.5, A4}, {2.5, 0.5, G4}},
      {{0, 1, Fs4}, {1, 1, D4}, {2, 1, D4}},
      {{0, 1, B4}, {1, 0.5, B4}, {1.5, 0.5, C5}, {2, 0.5, B4}, {2.5, 0.5, A4}},
      {{0, 1, G4}, {1, 1, E4}, {2, 0.5, D4}, {2.5, 0.5, D4}},
      {{0, 1, E4}, {1, 1, A4}, {2, 1, Fs4}},
      {{0, 2, G4}, {2, 1, D4}},
  };
  return bars;
}

// "Good tidings we bring to you and your kin".
const std::vector<Bar>& refrainBars() {
  static const std::vector<Bar> bars = {
      {{0, 1, G4}, {1, 1, G4}, {2, 1, G4}},
      {{0, 2, Fs4}, {2, 1, Fs4}},
      {{0, 1, G4}, {1, 1, Fs4}, {2, 1, E4}},
      {{0, 2, D4}, {2, 1, A4}},
      {{0, 1, B4}, {1, 1, A4}, {2, 1, G4}},
      {{0, 1, D5}, {1, 1, D4}, {2, 0.5, D4}, {2.5, 0.5, D4}},
      {{0, 1, E4}, {1, 1, A4}, {2, 1, Fs4}},
      {{0, 2, G4}, {2, 1, D4}},
  };
  return bars;
}

// A chord held from a beat of a bar: the pad's voicing and the bass root.
struct Chord {
  std::vector<int> pad;
  int bass;
};

const Chord kG{{55, 59, 62}, 43};
const Chord kC{{55, 60, 64}, 48};
const Chord kD{{54, 57, 62}, 38};
const Chord kD7{{54, 57, 60, 62}, 38};
const Chord kA7{{55, 57, 61, 64}, 45};
const Chord kB7{{54, 57, 59, 63}, 47};
const Chord kEm{{55, 59, 64}, 40};

struct ChordChange {
  int bar;
  double beat;
  const Chord* chord;
};

// Sections by first bar; the intro takes the bars before the first verse.
constexpr int kVerse1Bar = 4;
constexpr int kVerse2Bar = 12;
constexpr int kRefrainBar = 20;
constexpr int kCodaBar = 28;
constexpr int kBars = 32;
// The coda sings the verse's second half.
constexpr int kCodaFromVerseBar = 4;

std::vector<ChordChange> chordChanges() {
  std::vector<ChordChange> changes = {
      {0, 0, &kG}, {1, 0, &kEm}, {2, 0, &kC}, {3, 0, &kD7},
  };
  const std::array<const Chord*, 8> verse = {&kG, &kC, &kA7, &kD, &kB7, &kEm, &kC, &kG};
  const std::array<const Chord*, 8> refrain = {&kG, &kD, &kEm, &kD, &kG, &kD, &kC, &kG};
  for (int start : {kVerse1Bar, kVerse2Bar}) {
    for (int i = 0; i < 8; ++i) changes.push_back({start + i, 0, verse[i]});
    changes.push_back({start + 6, 1, &kD});
  }
  for (int i = 0; i < 8; ++i) changes.push_back({kRefrainBar + i, 0, refrain[i]});
  changes.push_back({kRefrainBar + 6, 1, &kD});
  for (int i = 0; i < 4; ++i) changes.push_back({kCodaBar + i, 0, verse[kCodaFromVerseBar + i]});
  changes.push_back({kCodaBar + 2, 1, &kD});
  return changes;
}

double beatOf(int bar, double beat) { return bar * kBeatsPerBar + beat; }

// The diatonic third below in G major; a note outside the scale gets the
// minor third.
int thirdBelow(int pitch) {
  static const std::array<int, 7> scale = {0, 2, 4, 5, 7, 9, 11};  // from G
  const int fromG = ((pitch - 55) % 12 + 12) % 12;
  const auto found = std::find(scale.begin(), scale.end(), fromG);
  if (found == scale.end()) return pitch - 3;
  const auto step = found - scale.begin();
  const auto lower = (step + 5) % 7;  // two steps down
  const int interval = scale[static_cast<std::size_t>(step)] - scale[static_cast<std::size_t>(lower)];
  return pitch - (interval > 0 ? interval : interval + 12);
}

// The melody sounds an octave above the written voice, on the bells. The
// pickup into the first phrase sits on the intro's last beat.
constexpr int kBellOctave = 12;

void addMelody(Arrangement& arrangement, const std::vector<Bar>& bars, int atBar, double velocity, bool harmony) {
  for (std::size_t i = 0; i < bars.size(); ++i) {
    for (const BarNote& note : bars[i]) {
      const double start = beatOf(atBar + static_cast<int>(i), note.beat);
      const int pitch = note.pitch + kBellOctave;
      arrangement.notes.push_back({Instrument::Bell, start, note.length, pitch, velocity});
      if (harmony) arrangement.notes.push_back({Instrument::Bell, start, note.length, thirdBelow(pitch), velocity * 0.55});
    }
  }
}

void addPickup(Arrangement& arrangement, int beforeBar) {
  arrangement.notes.push_back({Instrument::Bell, beatOf(beforeBar, 0) - 1, 1, D4 + kBellOctave, 0.8});
}

// The intro rings the chord tones two octaves up, one per beat.
void addIntroBells(Arrangement& arrangement, const std::vector<ChordChange>& changes) {
  for (const ChordChange& change : changes) {
    if (change.bar >= kVerse1Bar) break;
    const std::vector<int>& pad = change.chord->pad;
    for (int beat = 0; beat < kBeatsPerBar; ++beat) {
      if (change.bar == kVerse1Bar - 1 && beat == kBeatsPerBar - 1) break;  // the pickup takes it
      const int pitch = pad[static_cast<std::size_t>(beat) % pad.size()] + 24;
      arrangement.notes.push_back({Instrument::Bell, beatOf(change.bar, beat), 1, pitch, beat == 0 ? 0.6 : 0.4});
    }
  }
}

// Pad and bass hold each chord until the next change (the last one until the
// loop's end); the bass answers with the fifth on the third beat of a bar
// whose chord lasts the whole bar.
void addHarmony(Arrangement& arrangement, const std::vector<ChordChange>& changes) {
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const double start = beatOf(changes[i].bar, changes[i].beat);
    const double end = i + 1 < changes.size() ? beatOf(changes[i + 1].bar, changes[i + 1].beat) : kBars * kBeatsPerBar;
    const Chord& chord = *changes[i].chord;
    for (int pitch : chord.pad) arrangement.notes.push_back({Instrument::Pad, start, end - start, pitch, 0.5});
    if (end - start >= kBeatsPerBar) {
      arrangement.notes.push_back({Instrument::Bass, start, 2, chord.bass, 0.9});
      arrangement.notes.push_back({Instrument::Bass, start + 2, 1, chord.bass + 7, 0.6});
    } else {
      arrangement.notes.push_back({Instrument::Bass, start, end - start, chord.bass, 0.8});
    }
  }
}

std::vector<ChordChange> sortedByTime(std::vector<ChordChange> changes) {
  std::stable_sort(changes.begin(), changes.end(), [](const ChordChange& a, const ChordChange& b) {
    return beatOf(a.bar, a.beat) < beatOf(b.bar, b.beat);
  });
  return changes;
}

}  // namespace

Arrangement merryChristmasArrangement() {
  Arrangement arrangement;
  arrangement.bars = kBars;
  const std::vector<ChordChange> changes = sortedByTime(chordChanges());
  addIntroBells(arrangement, changes);
  addHarmony(arrangement, changes);
  addPickup(arrangement, kVerse1Bar);
  // Each section's last bar carries the pickup into the next one, except the
  // coda's: the intro follows it.
  addMelody(arrangement, verseBars(), kVerse1Bar, 0.8, false);
  addMelody(arrangement, verseBars(), kVerse2Bar, 0.8, true);
  addMelody(arrangement, refrainBars(), kRefrainBar, 0.85, false);
  // The coda's last note is held to the bar line instead of leading on.
  std::vector<Bar> codaBars(verseBars().begin() + kCodaFromVerseBar, verseBars().end());
  codaBars.back() = {{0, 3, verseBars().back().front().pitch}};
  addMelody(arrangement, codaBars, kCodaBar, 0.8, true);
  return arrangement;
}
