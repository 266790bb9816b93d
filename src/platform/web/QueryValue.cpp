#include "platform/web/QueryValue.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool decodeQueryValue(const std::string& encoded, std::string& decoded, std::string& error) {
  decoded.clear();
  for (size_t at = 0; at < encoded.size(); ++at) {
    const char c = encoded[at];
    if (c == '+') {
      decoded += ' ';
    } else if (c != '%') {
      decoded += c;
    } else {
      const int high = at + 1 < encoded.size() ? hexDigit(encoded[at + 1]) : -1;
      const int low = at + 2 < encoded.size() ? hexDigit(encoded[at + 2]) : -1;
      if (high < 0 || low < 0) {
        error = "the '%' at character " + std::to_string(at + 1) +
                " is not followed by two hexadecimal digits";
        return false;
      }
      decoded += static_cast<char>(high * 16 + low);
      at += 2;
    }
  }
  return true;
}
