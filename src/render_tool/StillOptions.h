#pragma once

#include <iosfwd>
#include <functional>
#include <string>

#include "render/Sampling.h"

// What xmastrace_render draws: the converged path-traced picture, or one of
// the primary buffers that F1 cycles through in the demo.
enum class StillView { Converged, Color, Position, Normal };

struct StillOptions {
  int samples = 256;
  std::string outFile = "greeting.png";
  bool fast = false;  // the one-bounce variant of xmastrace_fast
  int width = 768;
  int height = 512;
  StillView view = StillView::Converged;
  bool bench = false;  // print pass timings after rendering
  bool denoise = false;  // write the denoised picture
  bool egl = false;  // a context through EGL even with an X display
  bool help = false;
};

// Bounds that keep every render target and the seed buffer allocatable;
// more samples than the sum holds without drifting would not be taken.
constexpr int kMaxStillSide = 4096;
constexpr int kMaxStillSamples = kSampleLimit;

// A whole decimal number in [low, high], nothing before or after it.
bool parseBoundedInt(const std::string& text, int low, int high, int& value);
// "WxH", each side in 1..kMaxStillSide.
bool parseSize(const std::string& text, int& width, int& height);

// How one program's command line names its options: the switch a flag sets
// (null for no flag), whether an option takes a value, and applying one.
struct OptionGrammar {
  std::function<bool*(const std::string&)> flag;
  std::function<bool(const std::string&)> takesValue;
  std::function<bool(const std::string&, const std::string&)> applyValue;
  const char* unknownOption;  // the start of the line about an unknown one
};

// Walks argv[1..] by `grammar`. Returns false after writing one line that
// names the offending argument to `errors`.
bool parseOptionList(int argc, const char* const* argv, const OptionGrammar& grammar,
                     std::ostream& errors);

// Reads the command line (argv[0] is the program). Returns false, after
// writing one line that names the offending argument to `errors`, when an
// option is unknown, lacks its value or has a value out of range, or does
// not apply to the --view asked for.
bool parseStillOptions(int argc, const char* const* argv, StillOptions& options,
                       std::ostream& errors);

void printStillUsage(std::ostream& out);

// The display mode of the Application that shows this view before sampling.
int displayModeFor(StillView view);

// "[#####     ]  12/256 samples": `barWidth` cells filled in proportion;
// a zero total counts as done.
std::string progressBar(int done, int total, int barWidth, const char* unit = "samples");
