// The desktop's Unicode rules, from ICU.
#include "room/TextRules.h"

#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uscript.h>
#include <unicode/ushape.h>
#include <unicode/ustring.h>

#include <vector>

namespace room {

namespace {

std::u16string toUtf16(const std::u32string& text) {
  std::u16string out;
  for (char32_t c : text) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD7C0 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::u32string toUtf32(const char16_t* text, int32_t length) {
  std::u32string out;
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U16_NEXT(text, i, length, c);
    out += static_cast<char32_t>(c);
  }
  return out;
}

std::u32string normalised(const std::u32string& text, bool compose) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* form = compose ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
  if (U_FAILURE(status)) return text;
  const std::u16string source = toUtf16(text);
  // A decomposition is at most a few times longer; ask again if not.
  std::vector<UChar> out(source.size() * 4 + 16);
  int32_t length = unorm2_normalize(form, reinterpret_cast<const UChar*>(source.data()),
                                    static_cast<int32_t>(source.size()), out.data(),
                                    static_cast<int32_t>(out.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.resize(length);
    length = unorm2_normalize(form, reinterpret_cast<const UChar*>(source.data()),
                              static_cast<int32_t>(source.size()), out.data(),
                              static_cast<int32_t>(out.size()), &status);
  }
  if (U_FAILURE(status)) return text;
  return toUtf32(reinterpret_cast<const char16_t*>(out.data()), length);
}

}  // namespace

CharacterClass classifyCharacter(char32_t code) {
  switch (u_charType(static_cast<UChar32>(code))) {
    case U_UNASSIGNED: return CharacterClass::Unassigned;
    case U_PRIVATE_USE_CHAR: return CharacterClass::PrivateUse;
    case U_CONTROL_CHAR: return CharacterClass::Control;
    case U_SURROGATE: return CharacterClass::Surrogate;
    default: return CharacterClass::Allowed;
  }
}

std::u32string composed(const std::u32string& text) { return normalised(text, true); }
std::u32string decomposed(const std::u32string& text) { return normalised(text, false); }

char32_t latinUpperCase(char32_t code) {
  const UChar32 c = static_cast<UChar32>(code);
  UErrorCode status = U_ZERO_ERROR;
  if (uscript_getScript(c, &status) != USCRIPT_LATIN || U_FAILURE(status)) return code;
  return static_cast<char32_t>(u_toupper(c));
}

bool isCombiningMark(char32_t code) {
  return (U_GET_GC_MASK(static_cast<UChar32>(code)) & U_GC_M_MASK) != 0;
}

bool visualOrder(const std::u32string& line, std::u32string& visual, std::string& error) {
  std::u16string text = toUtf16(line);
  const int32_t length = static_cast<int32_t>(text.size());
  UErrorCode status = U_ZERO_ERROR;
  // Joined forms first, on the logical order that joining is defined on.
  std::u16string shaped(text.size() + 1, u'\0');
  const int32_t shapedLength = u_shapeArabic(
      reinterpret_cast<const UChar*>(text.data()), length, reinterpret_cast<UChar*>(shaped.data()),
      static_cast<int32_t>(shaped.size()),
      U_SHAPE_LETTERS_SHAPE | U_SHAPE_TEXT_DIRECTION_LOGICAL | U_SHAPE_LENGTH_GROW_SHRINK, &status);
  if (U_FAILURE(status)) {
    error = "the Arabic letters could not be joined";
    return false;
  }
  shaped.resize(shapedLength);
  UBiDi* bidi = ubidi_open();
  ubidi_setPara(bidi, reinterpret_cast<const UChar*>(shaped.data()), shapedLength,
                UBIDI_DEFAULT_LTR, nullptr, &status);
  std::vector<UChar> out(shaped.size() + 1);
  const int32_t outLength = ubidi_writeReordered(
      bidi, out.data(), static_cast<int32_t>(out.size()),
      UBIDI_DO_MIRRORING | UBIDI_KEEP_BASE_COMBINING | UBIDI_REMOVE_BIDI_CONTROLS, &status);
  ubidi_close(bidi);
  if (U_FAILURE(status)) {
    error = "the text could not be put in reading order";
    return false;
  }
  visual = toUtf32(reinterpret_cast<const char16_t*>(out.data()), outLength);
  return true;
}

}  // namespace room
