#pragma once

#include <string>
#include <vector>

#include "app/FrameBudget.h"

// A value from a link's query string ("text=From%7CAnna+%E2%99%A5") as its
// writer typed it: "%XX" is the byte XX, so UTF-8 comes back whole
// ("%E2%99%A5" is a heart), and '+' is a space, as browsers encode forms.
// Returns false with a message in `error` for a '%' without two hexadecimal
// digits after it: guessing what was meant would show the recipient words
// nobody wrote. The bytes are not checked as UTF-8 here; the greeting's own
// rules name a bad byte.
bool decodeQueryValue(const std::string& encoded, std::string& decoded, std::string& error);

// What the page's URL asks of the program; web/page.js hands the values on
// as main's arguments, as the URL spells them ("--samples 64").
struct PageOptions {
  int view = 0;     // 0 the path-traced picture; 1, 2, 3 a primary buffer
  int samples = 0;  // stop sampling after this many; 0: at the page's rest point
  int budgetMs = kDefaultFrameBudgetMs;  // the longest a frame should take; 0: a whole pass a frame
  bool fast = false;
  bool tour = false;  // the camera turns along the video's path until touched
  // Samples carried across moves; off, a moving picture starts afresh, and
  // the picture drawn in bands is the whole pass's, sample for sample.
  bool reuse = true;
  // The link's own words, still percent-encoded as the URL carries them.
  bool hasText = false;
  std::string text;
};

// Reads main's "--name value" pairs. A number must be whole and within
// xmastrace_render's bounds, a view or a switch one of its words ("fast" alone,
// 1 or true; 0 or false); anything else leaves the option at its default and
// adds a line naming it to `ignored`, so that the page can say what the link
// asked for and did not get.
PageOptions readPageOptions(int argc, const char* const* argv, std::vector<std::string>& ignored);
