#include "render_tool/VideoOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "render_tool/StillOptions.h"

namespace {

constexpr int kProgressBarWidth = 30;

// A plain decimal number of seconds in (0, kMaxVideoSeconds]: no sign, no
// exponent, nothing after it.
bool parseSeconds(const std::string& text, double& seconds) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(parsed > 0.0) || parsed > kMaxVideoSeconds) return false;
  seconds = parsed;
  return true;
}

// The nearest even number below, at least 2.
int evenBelow(int side) { return side < 2 ? 2 : side & ~1; }

bool takesValue(const std::string& option) {
  return option == "--video" || option == "--seconds" || option == "--fps" || option == "--size" ||
         option == "--samples" || option == "--frames";
}

// "A-B" with A <= B, both plain frame numbers.
bool parseFrameRange(const std::string& text, VideoOptions& options) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) return false;
  int first = 0, last = 0;
  if (!parseBoundedInt(text.substr(0, dash), 0, kMaxVideoFrames - 1, first) ||
      !parseBoundedInt(text.substr(dash + 1), 0, kMaxVideoFrames - 1, last) || last < first)
    return false;
  options.firstFrame = first;
  options.lastFrame = last;
  options.piece = true;
  return true;
}

bool applyValue(const std::string& option, const std::string& value, VideoOptions& options) {
  if (option == "--seconds") return parseSeconds(value, options.seconds);
  if (option == "--fps") return parseBoundedInt(value, 1, kMaxVideoFps, options.fps);
  if (option == "--size") return parseSize(value, options.width, options.height);
  if (option == "--samples") return parseBoundedInt(value, 1, kMaxStillSamples, options.samples);
  if (option == "--frames") return parseFrameRange(value, options);
  if (value.empty()) return false;
  options.videoFile = value;
  return true;
}

// The file is MP4 whatever its name; a name that says otherwise misleads
// whoever opens it.
bool namesMp4(const std::string& file) {
  const std::string suffix = ".mp4";
  if (file.size() <= suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(file[file.size() - suffix.size() + i])) != suffix[i])
      return false;
  }
  return true;
}

bool refusesVideoName(const std::string& file, std::ostream& errors) {
  // A folder is refused when the file is opened, with that reason.
  std::error_code ignored;
  if (namesMp4(file) || std::filesystem::is_directory(file, ignored)) return false;
  errors << "bad value for --video: '" << file << "': the video is written as MP4, so its name must end in .mp4\n";
  return true;
}

// What the options are only wrong about together.
bool checkCombination(const VideoOptions& options, std::ostream& errors) {
  if (refusesVideoName(options.videoFile, errors)) return false;
  if (options.width % 2 != 0 || options.height % 2 != 0) {
    errors << "bad value for --size: '" << options.width << "x" << options.height
           << "': H.264 in yuv420p needs an even width and height (try " << evenBelow(options.width)
           << "x" << evenBelow(options.height) << ")\n";
    return false;
  }
  if (options.seconds > 0.0 && videoFrameCount(options.seconds, options.fps) < 1) {
    errors << "bad value for --seconds: '" << options.seconds << "' is not one frame at "
           << options.fps << " fps\n";
    return false;
  }
  return true;
}

}  // namespace

bool wantsVideo(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--video") return true;
  }
  return false;
}

bool parseVideoOptions(int argc, const char* const* argv, VideoOptions& options,
                       std::ostream& errors) {
  bool noDenoise = false;
  OptionGrammar grammar;
  grammar.flag = [&options, &noDenoise](const std::string& option) -> bool* {
    if (option == "--fast") return &options.fast;
    if (option == "--denoise") return &options.denoise;
    if (option == "--egl") return &options.egl;
    if (option == "--temporal") return &options.temporal;
    if (option == "--no-denoise") return &noDenoise;
    if (option == "--help" || option == "-h") return &options.help;
    return nullptr;
  };
  grammar.takesValue = takesValue;
  grammar.applyValue = [&options](const std::string& option, const std::string& value) {
    return applyValue(option, value, options);
  };
  grammar.unknownOption = "unknown option for a video";
  if (!parseOptionList(argc, argv, grammar, errors)) return false;
  if (noDenoise) options.denoise = false;
  if (options.samples == 0)
    options.samples = options.fast ? kDefaultFastVideoSamples : kDefaultVideoSamples;
  return checkCombination(options, errors);
}

void printVideoUsage(std::ostream& out) {
  out << "usage: xmastrace_render --video FILE.mp4 [--seconds S] [--fps N] [--size WxH]\n"
         "                        [--samples N] [--no-denoise] [--temporal] [--fast] [--egl]\n"
         "                        [--frames A-B]\n"
         "Renders the greeting as a video with the tune: one slow turn around the tree\n"
         "that ends where it began, so the video loops. H.264 and AAC in MP4. Run it in run/.\n"
         "  --video FILE  the video to write\n"
         "  --seconds S   its length (default: one pass of the tune, " << kTuneSeconds << " s)\n"
         "  --fps N       frames per second (1.." << kMaxVideoFps << ", default 30)\n"
         "  --size WxH    picture size, both even (default 768x512)\n"
         "  --samples N   path-traced samples per frame (default " << kDefaultVideoSamples
      << ", with --fast " << kDefaultFastVideoSamples << ")\n"
         "  --no-denoise  the raw average of the samples, grainy (default: denoised)\n"
         "  --temporal    each frame starts from the samples of the frame before,\n"
         "                reprojected into its view; a piece first renders the\n"
         "                frames that fill its history, and writes only its own\n"
         "  --fast        the one-bounce variant of xmastrace_fast\n"
         "  --egl         render through EGL, without an X server (the default\n"
         "                when DISPLAY is unset)\n"
         "  --frames A-B  only frames A to B (numbered from 0) of that video, as a\n"
         "                piece without sound for --join; B past the end stops there\n"
         "Pieces join with: xmastrace_render --join PIECE.mp4... --video FILE.mp4\n";
}

bool wantsJoin(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--join") return true;
  }
  return false;
}

bool parseJoinOptions(int argc, const char* const* argv, JoinOptions& options, std::ostream& errors) {
  bool inPieces = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--join") {
      inPieces = true;
    } else if (argument == "--video") {
      inPieces = false;
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        errors << "missing value after --video\n";
        return false;
      }
      options.videoFile = argv[++i];
    } else if (inPieces && argument.rfind("--", 0) != 0 && !argument.empty()) {
      options.pieces.push_back(argument);
    } else {
      errors << "unknown option for a join: '" << argument << "'\n";
      return false;
    }
  }
  if (options.help) return true;
  if (options.pieces.empty()) {
    errors << "no pieces after --join\n";
    return false;
  }
  if (options.videoFile.empty()) {
    errors << "--join needs --video FILE.mp4 to write\n";
    return false;
  }
  return !refusesVideoName(options.videoFile, errors);
}

void printJoinUsage(std::ostream& out) {
  out << "usage: xmastrace_render --join PIECE.mp4... --video FILE.mp4\n"
         "Joins pieces made with --frames, given in frame order, into the whole video:\n"
         "their frames copied as they are, the tune added once over the whole length.\n"
         "Refuses pieces of different videos, and names a frame missing or repeated.\n"
         "Run it in run/, where the tune is.\n";
}

int videoFrameCount(double seconds, int fps) {
  return static_cast<int>(std::llround(seconds * fps));
}

std::string formatDuration(double seconds) {
  const long long whole = seconds > 0.0 ? std::llround(seconds) : 0;
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

std::string videoProgressLine(int done, int total, double elapsedSeconds) {
  std::string line = progressBar(done, total, kProgressBarWidth, "frames");
  line += ", " + formatDuration(elapsedSeconds) + " elapsed, ";
  if (done > 0 && done < total) {
    line += formatDuration(elapsedSeconds / done * (total - done)) + " left";
  } else {
    line += done >= total ? "done" : "--:-- left";
  }
  return line;
}
