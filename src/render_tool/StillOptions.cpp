#include "render_tool/StillOptions.h"

#include <cerrno>
#include <cstdlib>
#include <ostream>

bool parseBoundedInt(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool parseSize(const std::string& text, int& width, int& height) {
  const size_t cross = text.find('x');
  if (cross == std::string::npos) return false;
  int w = 0, h = 0;
  if (!parseBoundedInt(text.substr(0, cross), 1, kMaxStillSide, w) ||
      !parseBoundedInt(text.substr(cross + 1), 1, kMaxStillSide, h)) {
    return false;
  }
  width = w;
  height = h;
  return true;
}

namespace {

bool parseView(const std::string& text, StillView& view) {
  if (text == "color") view = StillView::Color;
  else if (text == "position") view = StillView::Position;
  else if (text == "normal") view = StillView::Normal;
  else return false;
  return true;
}

bool takesValue(const std::string& option) {
  return option == "--samples" || option == "--out" || option == "--size" || option == "--view";
}

bool applyValue(const std::string& option, const std::string& value, StillOptions& options) {
  if (option == "--samples") return parseBoundedInt(value, 1, kMaxStillSamples, options.samples);
  if (option == "--size") return parseSize(value, options.width, options.height);
  if (option == "--view") return parseView(value, options.view);
  if (value.empty()) return false;
  options.outFile = value;
  return true;
}

// A view shows the primary buffer before any sample is taken, so options
// about the samples would be silently ignored.
bool checkView(const StillOptions& options, bool samplesGiven, std::ostream& errors) {
  if (options.view == StillView::Converged) return true;
  const char* ignored = options.denoise ? "--denoise" : samplesGiven ? "--samples" : nullptr;
  if (!ignored) return true;
  errors << ignored << " does not apply to --view: it shows the primary buffer, before any sample\n";
  return false;
}

}  // namespace

bool parseOptionList(int argc, const char* const* argv, const OptionGrammar& grammar,
                     std::ostream& errors) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (bool* flag = grammar.flag(option)) {
      *flag = true;
    } else if (grammar.takesValue(option)) {
      if (i + 1 >= argc) {
        errors << "missing value after " << option << "\n";
        return false;
      }
      const std::string value = argv[++i];
      if (!grammar.applyValue(option, value)) {
        errors << "bad value for " << option << ": '" << value << "'\n";
        return false;
      }
    } else {
      errors << grammar.unknownOption << ": '" << option << "'\n";
      return false;
    }
  }
  return true;
}

bool parseStillOptions(int argc, const char* const* argv, StillOptions& options,
                       std::ostream& errors) {
  OptionGrammar grammar;
  grammar.flag = [&options](const std::string& option) -> bool* {
    if (option == "--fast") return &options.fast;
    if (option == "--bench") return &options.bench;
    if (option == "--denoise") return &options.denoise;
    if (option == "--egl") return &options.egl;
    if (option == "--help" || option == "-h") return &options.help;
    return nullptr;
  };
  grammar.takesValue = takesValue;
  bool samplesGiven = false;
  grammar.applyValue = [&](const std::string& option, const std::string& value) {
    samplesGiven = samplesGiven || option == "--samples";
    return applyValue(option, value, options);
  };
  grammar.unknownOption = "unknown option";
  if (!parseOptionList(argc, argv, grammar, errors)) return false;
  return checkView(options, samplesGiven, errors);
}

void printStillUsage(std::ostream& out) {
  out << "usage: xmastrace_render [--samples N] [--out FILE.png] [--fast] [--size WxH]\n"
         "                        [--view color|position|normal] [--denoise] [--bench] [--egl]\n"
         "Renders the room from the start camera without a visible window and\n"
         "writes what the demo's window would show. Run it in run/.\n"
         "  --samples N   path-traced samples per pixel (1.." << kMaxStillSamples << ", default 256)\n"
         "  --out FILE    the PNG to write (default greeting.png; - for standard output)\n"
         "  --fast        the one-bounce variant of xmastrace_fast\n"
         "  --size WxH    picture size (each side 1.." << kMaxStillSide << ", default 768x512)\n"
         "  --view V      a primary buffer instead of the converged picture\n"
         "  --denoise     write the denoised picture\n"
         "  --bench       print milliseconds per primary pass and path sample\n"
         "                (and per denoising, with --denoise)\n"
         "  --egl         render through EGL, without an X server (the default\n"
         "                when DISPLAY is unset)\n"
         "For a video with the tune: xmastrace_render --video FILE.mp4 --help\n";
}

int displayModeFor(StillView view) {
  switch (view) {
    case StillView::Position: return 1;
    case StillView::Normal: return 2;
    default: return 0;
  }
}

std::string progressBar(int done, int total, int barWidth, const char* unit) {
  if (barWidth < 0) barWidth = 0;
  const int clampedDone = done < 0 ? 0 : (total > 0 && done > total ? total : done);
  const long long filled =
      total > 0 ? static_cast<long long>(clampedDone) * barWidth / total : barWidth;
  std::string bar = "[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(barWidth - filled), ' ');
  bar += "] " + std::to_string(clampedDone) + "/" + std::to_string(total) + " " + unit;
  return bar;
}
