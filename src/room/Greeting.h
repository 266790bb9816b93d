#pragma once

#include <string>
#include <vector>

#include "room/BlockFont.h"
#include "room/Room.h"
#include "room/Unifont.h"

namespace room {

// A personal greeting: the sender's own short text on the back wall, in
// place of the letters QM.

constexpr int kMaxGreetingCharacters = 48;
constexpr int kMaxGreetingLines = 3;
// A greeting this short stands where QM stands, at most as tall; a longer
// one takes the wall between the left wall and the tree.
constexpr int kShortGreetingCharacters = 12;
constexpr int kShortGreetingLines = 2;

// The wall between the left wall and the tree, above the gifts, as seen
// from the start camera: where a longer greeting stands.
constexpr WallRect kWideLetterArea{0.45, 1.1, 3.9, 2.6};
// A longer greeting's letters are at least this tall (about 20 pixels of a
// 768x512 picture, 10 of a phone's upright one), or it is refused.
constexpr double kMinimumLetterHeight = 0.23;

struct Greeting {
  // The text as it will read, in the order it was written: composed (NFC),
  // Latin letters in upper case, lines joined by '|'.
  std::string text;
  // One to three lines of one or more glyphs each, left to right as seen.
  std::vector<std::vector<Glyph>> lines;
};

// Reads the user's UTF-8 text: composed as Unicode composes it, Latin
// letters in upper case and drawn by the block font (with its accents),
// other characters by Unifont from `unifont`, each line in reading order
// (right to left where its script reads so), '|' breaking the line, spaces
// at either end of a line dropped. Returns false with a message in `error`,
// naming the first character that cannot be shown by its code point, when
// the text cannot be written on the wall.
bool parseGreeting(const std::string& text, const UnifontTable& unifont, Greeting& greeting,
                   std::string& error);
// The same with the block font alone.
bool parseGreeting(const std::string& text, Greeting& greeting, std::string& error);

// The part of the back wall a greeting's letters are centred in.
WallRect greetingArea(const Greeting& greeting);

// The glyphs of a greeting that parseGreeting accepted, as closed boxes of
// cells, centred in greetingArea() and scaled to fit it, no taller than
// today's letters and as deep as they are: "qm.obj", which the demo loads
// with the letters' material.
RoomFile greetingLetters(const Greeting& greeting);

// The bytes of qm.obj for the user's UTF-8 text, exactly as `roomgen --text`
// writes them, for a program that builds a greeting without the generator
// (the browser page, from the text in its link). Returns false with
// parseGreeting's message in `error` when the wall cannot show the text.
bool greetingObjText(const std::string& utf8Text, const UnifontTable& unifont, std::string& obj,
                     std::string& error);
bool greetingObjText(const std::string& utf8Text, std::string& obj, std::string& error);

}  // namespace room
