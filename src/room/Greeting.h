#pragma once

#include <string>
#include <vector>

#include "room/BlockFont.h"
#include "room/Room.h"

namespace room {

// A personal greeting: the sender's own short text on the back wall, in
// place of the letters QM.

constexpr int kMaxGreetingCharacters = 12;
constexpr int kMaxGreetingLines = 2;

struct Greeting {
  // The text as it will read: upper case, lines joined by '|'.
  std::string text;
  // One or two lines of one or more glyphs each.
  std::vector<std::vector<const Glyph*>> lines;
};

// Reads the user's UTF-8 text: characters of the block font, lower case
// taken as upper case, '|' breaking the line, spaces at either end of a line
// dropped. Returns false with a message in `error` (naming the first
// character the font lacks) when the text cannot be written on the wall.
bool parseGreeting(const std::string& text, Greeting& greeting, std::string& error);

// The glyphs of a greeting that parseGreeting accepted, as closed boxes of
// cells, centred in letterArea() and scaled to fit it, no taller than
// today's letters and as deep as they are: "qm.obj", which the demo loads
// with the letters' material.
RoomFile greetingLetters(const Greeting& greeting);

// The bytes of qm.obj for the user's UTF-8 text, exactly as `roomgen --text`
// writes them, for a program that builds a greeting without the generator
// (the browser page, from the text in its link). Returns false with
// parseGreeting's message in `error` when the wall cannot show the text.
bool greetingObjText(const std::string& utf8Text, std::string& obj, std::string& error);

}  // namespace room
