// The page's Unicode rules, from the browser: String.prototype.normalize,
// toUpperCase and the regular expressions' Unicode properties, and the
// bidirectional algorithm from bidi-js (the page loads it before the
// program). Nothing in the page joins Arabic letters, so a text in a script
// whose letters join is refused here by name rather than shown unjoined.
#include <emscripten.h>

#include <cstdio>
#include <vector>

#include "room/TextRules.h"

namespace {

// clang-format off
// The backslash of a property escape is spelled as its character code: the
// macro that carries this script into the page would drop it.
EM_JS(int, pageHasProperty, (int code, const char* property), {
  const escape = String.fromCharCode(92) + 'p{' + UTF8ToString(property) + '}';
  return new RegExp(escape, 'u').test(String.fromCodePoint(code)) ? 1 : 0;
});

EM_JS(int, pageNormalise, (const int* text, int length, int compose, int* out, int capacity), {
  const codes = HEAP32.subarray(text >> 2, (text >> 2) + length);
  const s = String.fromCodePoint(...codes).normalize(compose ? 'NFC' : 'NFD');
  let n = 0;
  for (const c of s) {
    if (n < capacity) HEAP32[(out >> 2) + n] = c.codePointAt(0);
    n++;
  }
  return n;
});

// The upper case of a Latin letter when it is one character.
EM_JS(int, pageUpperCase, (int code), {
  const upper = [...String.fromCodePoint(code).toUpperCase()];
  return upper.length === 1 ? upper[0].codePointAt(0) : code;
});
// The line's code points as seen from left to right: bidi-js's levels,
// mirrored characters and reversed runs, then (as the desktop keeps them)
// surrogate pairs and each letter's marks in their written order.
EM_JS(int, pageVisualOrder, (const int* text, int length, int* out), {
  const codes = Array.from(HEAP32.subarray(text >> 2, (text >> 2) + length));
  const s = String.fromCodePoint.apply(null, codes);
  if (!Module.bidi) Module.bidi = bidi_js();
  const result = Module.bidi.getEmbeddingLevels(s);
  const units = s.split('');
  Module.bidi.getMirroredCharactersMap(s, result.levels).forEach((c, i) => { units[i] = c; });
  const order = units.map((u, i) => i);
  Module.bidi.getReorderSegments(s, result).forEach((segment) => {
    const reversed = order.slice(segment[0], segment[1] + 1).reverse();
    order.splice(segment[0], reversed.length, ...reversed);
  });
  const seen = [];
  const levels = [];
  for (let k = 0; k < order.length; k++) {
    const i = order[k];
    const unit = units[i].charCodeAt(0);
    let code = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF && k + 1 < order.length && order[k + 1] === i - 1) {
      code = (units[i - 1] + units[i]).codePointAt(0);
      k++;
    } else if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < order.length && order[k + 1] === i + 1) {
      code = (units[i] + units[i + 1]).codePointAt(0);
      k++;
    }
    seen.push(code);
    levels.push(result.levels[i]);
  }
  const mark = new RegExp(String.fromCharCode(92) + 'p{M}', 'u');
  const isMark = (c) => mark.test(String.fromCodePoint(c));
  for (let j = 0; j < seen.length; j++) {
    if (!(levels[j] & 1) || !isMark(seen[j])) continue;
    let k = j;
    while (k < seen.length && (levels[k] & 1) && isMark(seen[k])) k++;
    if (k < seen.length && (levels[k] & 1)) {
      const reversed = seen.slice(j, k + 1).reverse();
      seen.splice(j, reversed.length, ...reversed);
    }
    j = k;
  }
  for (let n = 0; n < seen.length && n < length; n++) HEAP32[(out >> 2) + n] = seen[n];
  return Math.min(seen.length, length);
});
// clang-format on

bool hasProperty(char32_t code, const char* property) {
  return pageHasProperty(static_cast<int>(code), property) != 0;
}

struct Script {
  const char* property;
  const char* name;
};

const Script kJoiningScripts[] = {{"Script=Arabic", "Arabic"},   {"Script=Syriac", "Syriac"},
                                   {"Script=Nko", "N'Ko"},         {"Script=Mandaic", "Mandaic"},
                                   {"Script=Adlam", "Adlam"},      {"Script=Mongolian", "Mongolian"}};

std::string utf8(char32_t code) {
  std::string out;
  if (code < 0x80) return std::string(1, static_cast<char>(code));
  if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (code & 0x3F));
  return out;
}

std::u32string normalised(const std::u32string& text, bool compose) {
  std::vector<int> codes(text.begin(), text.end());
  std::vector<int> out(text.size() * 4 + 16);
  int length = pageNormalise(codes.data(), static_cast<int>(codes.size()), compose, out.data(),
                             static_cast<int>(out.size()));
  if (length > static_cast<int>(out.size())) {
    out.resize(length);
    length = pageNormalise(codes.data(), static_cast<int>(codes.size()), compose, out.data(), length);
  }
  return std::u32string(out.begin(), out.begin() + length);
}

}  // namespace

namespace room {

CharacterClass classifyCharacter(char32_t code) {
  if (code >= 0xD800 && code <= 0xDFFF) return CharacterClass::Surrogate;
  if (hasProperty(code, "Cn")) return CharacterClass::Unassigned;
  if (hasProperty(code, "Co")) return CharacterClass::PrivateUse;
  if (hasProperty(code, "Cc")) return CharacterClass::Control;
  return CharacterClass::Allowed;
}

std::u32string composed(const std::u32string& text) { return normalised(text, true); }
std::u32string decomposed(const std::u32string& text) { return normalised(text, false); }

char32_t latinUpperCase(char32_t code) {
  if (!hasProperty(code, "Script=Latin")) return code;
  return static_cast<char32_t>(pageUpperCase(static_cast<int>(code)));
}

bool isCombiningMark(char32_t code) { return hasProperty(code, "M"); }

bool visualOrder(const std::u32string& line, std::u32string& visual, std::string& error) {
  for (char32_t code : line) {
    for (const Script& script : kJoiningScripts) {
      if (!hasProperty(code, script.property)) continue;
      char number[16];
      std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
      error = "'" + utf8(code) + "' (" + number + ") is " + script.name +
              ", whose letters join: the page cannot join them yet (the desktop's "
              "make greeting can)";
      return false;
    }
  }
  std::vector<int> codes(line.begin(), line.end());
  std::vector<int> out(codes.size());
  const int length = pageVisualOrder(codes.data(), static_cast<int>(codes.size()), out.data());
  visual.assign(out.begin(), out.begin() + length);
  return true;
}

}  // namespace room
