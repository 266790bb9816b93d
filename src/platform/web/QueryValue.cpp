#include "platform/web/QueryValue.h"

#include "render_tool/StillOptions.h"

namespace {

constexpr const char* kViewNames[] = {"color", "position", "normal"};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Digits only: no sign, space, fraction or exponent ("1e3" is not a thousand).
bool readWholeNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  int number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high) return false;
  value = number;
  return true;
}

bool readView(const std::string& text, int& view) {
  for (int i = 0; i < 3; ++i) {
    if (text == kViewNames[i]) {
      view = i + 1;
      return true;
    }
  }
  return false;
}

// "?fast" alone switches it on, as a flag does.
bool readSwitch(const std::string& text, bool& on) {
  if (text.empty() || text == "1" || text == "true") on = true;
  else if (text == "0" || text == "false") on = false;
  else return false;
  return true;
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

PageOptions readPageOptions(int argc, const char* const* argv, std::vector<std::string>& ignored) {
  PageOptions options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--text") {
      options.hasText = true;
      options.text = value;
    } else if (name == "--view" && !readView(value, options.view)) {
      ignored.push_back("?view is ignored: it is not color, position or normal");
    } else if (name == "--samples" &&
               !readWholeNumber(value, 1, kMaxStillSamples, options.samples)) {
      ignored.push_back("?samples is ignored: it is not a whole number from 1 to " +
                        std::to_string(kMaxStillSamples));
    } else if (name == "--budget" &&
               !readWholeNumber(value, 0, kMaxFrameBudgetMs, options.budgetMs)) {
      ignored.push_back("?budget is ignored: it is not a whole number from 0 to " +
                        std::to_string(kMaxFrameBudgetMs));
    } else if (name == "--fast" && !readSwitch(value, options.fast)) {
      ignored.push_back("?fast is ignored: it is not 1, true, 0 or false");
    } else if (name == "--tour" && !readSwitch(value, options.tour)) {
      ignored.push_back("?tour is ignored: it is not 1, true, 0 or false");
    } else if (name == "--reuse" && !readSwitch(value, options.reuse)) {
      ignored.push_back("?reuse is ignored: it is not 1, true, 0 or false");
    }
  }
  return options;
}
