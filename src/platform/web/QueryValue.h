#pragma once

#include <string>

// A value from a link's query string ("text=From%7CAnna+%E2%99%A5") as its
// writer typed it: "%XX" is the byte XX, so UTF-8 comes back whole
// ("%E2%99%A5" is a heart), and '+' is a space, as browsers encode forms.
// Returns false with a message in `error` for a '%' without two hexadecimal
// digits after it: guessing what was meant would show the recipient words
// nobody wrote. The bytes are not checked as UTF-8 here; the greeting's own
// rules name a bad byte.
bool decodeQueryValue(const std::string& encoded, std::string& decoded, std::string& error);
