#pragma once

#include <string>

namespace room {

// The Unicode rules a greeting's text is read by. Each build takes them from
// a maintained library (the desktop from ICU, the page from the browser), so
// this file only says what the greeting needs; both must answer alike for
// the same text to give the same room everywhere.

// Why a character cannot be part of a text, or Allowed.
enum class CharacterClass { Allowed, Unassigned, PrivateUse, Control, Surrogate };

CharacterClass classifyCharacter(char32_t code);

// Canonical composition (NFC), and canonical decomposition (NFD).
std::u32string composed(const std::u32string& text);
std::u32string decomposed(const std::u32string& text);

// The character's upper case when it is a Latin letter with a one-character
// upper case; any other character as it is.
char32_t latinUpperCase(char32_t code);

// True for a combining mark (general category M).
bool isCombiningMark(char32_t code);

// One line in the order it is seen from left to right: the bidirectional
// algorithm with the line's direction taken from its first strong letter,
// mirrored brackets, combining marks kept after their base, and Arabic
// letters in their joined (presentation) forms. False with a message naming
// the script when this build cannot order it.
bool visualOrder(const std::u32string& line, std::u32string& visual, std::string& error);

}  // namespace room
