#include "Synth.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double midiToHz(int pitch) { return 440.0 * std::pow(2.0, (pitch - 69) / 12.0); }

// Equal-power panning: pan -1 is left, +1 right.
struct PanGains {
  double left;
  double right;
};
PanGains panGains(double pan) {
  const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
  return {std::cos(angle), std::sin(angle)};
}

// Adds a mono voice into the loop from startFrame on, wrapping at the end.
template <typename Voice>
void addVoice(StereoLoop& loop, std::size_t startFrame, std::size_t length, PanGains gains, Voice voice) {
  const std::size_t frames = loop.frames();
  std::size_t index = startFrame % frames;
  for (std::size_t i = 0; i < length; ++i) {
    const double sample = voice(i);
    loop.left[index] += sample * gains.left;
    loop.right[index] += sample * gains.right;
    if (++index == frames) index = 0;
  }
}

// A short linear fade at both ends keeps every voice free of clicks.
double edgeFade(std::size_t i, std::size_t length, std::size_t fadeIn, std::size_t fadeOut) {
  double gain = 1.0;
  if (i < fadeIn) gain = static_cast<double>(i) / static_cast<double>(fadeIn);
  if (i + fadeOut > length) gain *= static_cast<double>(length - i) / static_cast<double>(fadeOut);
  return gain;
}

// Struck bell: slightly inharmonic partials, the higher ones dying faster.
struct Partial {
  double ratio;
  double amplitude;
  double decaySeconds;
};
constexpr std::array<Partial, 6> kBellPartials = {{
    {1.0, 1.0, 0.9},
    {2.0, 0.35, 0.55},
    {2.76, 0.12, 0.3},
    {3.0, 0.1, 0.25},
    {4.07, 0.06, 0.15},
    {0.5, 0.05, 1.4},
}};
constexpr double kBellRingSeconds = 3.0;
constexpr double kBellGain = 0.22;

void addBell(StereoLoop& loop, const Note& note, int sampleRate, int beatFrames) {
  const double hz = midiToHz(note.pitch);
  const std::size_t start = static_cast<std::size_t>(std::lround(note.startBeat * beatFrames));
  const std::size_t length = static_cast<std::size_t>(kBellRingSeconds * sampleRate);
  const std::size_t attack = static_cast<std::size_t>(0.002 * sampleRate);
  const std::size_t release = static_cast<std::size_t>(0.4 * sampleRate);
  const double gain = kBellGain * note.velocity;
  const double rate = sampleRate;
  addVoice(loop, start, length, panGains((note.pitch - 76) / 30.0), [&](std::size_t i) {
    const double t = static_cast<double>(i) / rate;
    double sum = 0.0;
    for (const Partial& partial : kBellPartials) {
      sum += partial.amplitude * std::exp(-t / partial.decaySeconds) * std::sin(2.0 * kPi * hz * partial.ratio * t);
    }
    return gain * edgeFade(i, length, attack, release) * sum;
  });
}

// Soft pad: three slightly detuned voices of a mellow wave (harmonics falling
// off with the square of their number), spread across the stereo field,
// swelling in and fading out over the next chord's swell.
constexpr std::array<double, 3> kPadDetuneCents = {-6.0, 0.0, 6.0};
constexpr std::array<double, 3> kPadPans = {-0.6, 0.0, 0.6};
constexpr int kPadHarmonics = 6;
constexpr double kPadAttackSeconds = 0.35;
constexpr double kPadReleaseSeconds = 0.8;
constexpr double kPadGain = 0.065;

void addPad(StereoLoop& loop, const Note& note, int sampleRate, int beatFrames) {
  const std::size_t start = static_cast<std::size_t>(std::lround(note.startBeat * beatFrames));
  const std::size_t held = static_cast<std::size_t>(std::lround(note.lengthBeats * beatFrames));
  const std::size_t release = static_cast<std::size_t>(kPadReleaseSeconds * sampleRate);
  const std::size_t attack = static_cast<std::size_t>(kPadAttackSeconds * sampleRate);
  const std::size_t length = held + release;
  const double gain = kPadGain * note.velocity;
  const double rate = sampleRate;
  for (std::size_t v = 0; v < kPadDetuneCents.size(); ++v) {
    const double hz = midiToHz(note.pitch) * std::pow(2.0, kPadDetuneCents[v] / 1200.0);
    const double phase = 0.7 * static_cast<double>(v);
    addVoice(loop, start, length, panGains(kPadPans[v]), [&](std::size_t i) {
      const double t = static_cast<double>(i) / rate;
      double sum = 0.0;
      for (int h = 1; h <= kPadHarmonics; ++h) sum += std::sin(2.0 * kPi * hz * h * t + phase * h) / (h * h);
      return gain * edgeFade(i, length, attack, release) * sum;
    });
  }
}

// Round bass: a sine with a little second and third harmonic, plucked.
constexpr double kBassDecaySeconds = 1.2;
constexpr double kBassGain = 0.24;

void addBass(StereoLoop& loop, const Note& note, int sampleRate, int beatFrames) {
  const double hz = midiToHz(note.pitch);
  const std::size_t start = static_cast<std::size_t>(std::lround(note.startBeat * beatFrames));
  const std::size_t release = static_cast<std::size_t>(0.08 * sampleRate);
  const std::size_t length = static_cast<std::size_t>(std::lround(note.lengthBeats * beatFrames)) + release;
  const std::size_t attack = static_cast<std::size_t>(0.008 * sampleRate);
  const double gain = kBassGain * note.velocity;
  const double rate = sampleRate;
  addVoice(loop, start, length, panGains(0.0), [&](std::size_t i) {
    const double t = static_cast<double>(i) / rate;
    const double w = 2.0 * kPi * hz * t;
    const double wave = std::sin(w) + 0.25 * std::sin(2.0 * w) + 0.08 * std::sin(3.0 * w);
    return gain * edgeFade(i, length, attack, release) * std::exp(-t / kBassDecaySeconds) * wave;
  });
}

// Damped feedback comb and allpass filters of a classic small-room reverb.
class Comb {
 public:
  explicit Comb(std::size_t delay) : line(delay, 0.0) {}
  double process(double input) {
    const double delayed = line[position];
    filtered = delayed * (1.0 - kDamping) + filtered * kDamping;
    line[position] = input + filtered * kFeedback;
    if (++position == line.size()) position = 0;
    return delayed;
  }

 private:
  static constexpr double kFeedback = 0.82;
  static constexpr double kDamping = 0.25;
  std::vector<double> line;
  std::size_t position = 0;
  double filtered = 0.0;
};

class Allpass {
 public:
  explicit Allpass(std::size_t delay) : line(delay, 0.0) {}
  double process(double input) {
    const double delayed = line[position];
    line[position] = input + delayed * 0.5;
    if (++position == line.size()) position = 0;
    return delayed - input;
  }

 private:
  std::vector<double> line;
  std::size_t position = 0;
};

class Room {
 public:
  explicit Room(std::size_t spread) {
    for (std::size_t delay : {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617}) combs.emplace_back(delay + spread);
    for (std::size_t delay : {556, 441, 341, 225}) allpasses.emplace_back(delay + spread);
  }
  double process(double input) {
    double sum = 0.0;
    for (Comb& comb : combs) sum += comb.process(input);
    for (Allpass& allpass : allpasses) sum = allpass.process(sum);
    return sum / static_cast<double>(combs.size());
  }

 private:
  std::vector<Comb> combs;
  std::vector<Allpass> allpasses;
};

constexpr std::size_t kRightRoomSpread = 23;

}  // namespace

StereoLoop renderLoop(const Arrangement& arrangement, int sampleRate, int beatFrames) {
  const std::size_t frames = static_cast<std::size_t>(arrangement.bars) * kBeatsPerBar * static_cast<std::size_t>(beatFrames);
  StereoLoop loop{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0)};
  for (const Note& note : arrangement.notes) {
    switch (note.instrument) {
      case Instrument::Bell: addBell(loop, note, sampleRate, beatFrames); break;
      case Instrument::Pad: addPad(loop, note, sampleRate, beatFrames); break;
      case Instrument::Bass: addBass(loop, note, sampleRate, beatFrames); break;
    }
  }
  return loop;
}

void addLoopReverb(StereoLoop& loop, double wetLevel) {
  Room leftRoom(0);
  Room rightRoom(kRightRoomSpread);
  const std::size_t frames = loop.frames();
  std::vector<double> wetLeft(frames);
  std::vector<double> wetRight(frames);
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < frames; ++i) {
      // The room hears both channels, as a real one would.
      const double input = 0.5 * (loop.left[i] + loop.right[i]);
      wetLeft[i] = leftRoom.process(input);
      wetRight[i] = rightRoom.process(input);
    }
  }
  for (std::size_t i = 0; i < frames; ++i) {
    loop.left[i] += wetLevel * wetLeft[i];
    loop.right[i] += wetLevel * wetRight[i];
  }
}

void normalizePeak(StereoLoop& loop, double peak) {
  double largest = 0.0;
  for (std::size_t i = 0; i < loop.frames(); ++i) {
    largest = std::max({largest, std::fabs(loop.left[i]), std::fabs(loop.right[i])});
  }
  if (largest == 0.0) return;
  const double scale = peak / largest;
  for (std::size_t i = 0; i < loop.frames(); ++i) {
    loop.left[i] *= scale;
    loop.right[i] *= scale;
  }
}

std::vector<int16_t> toPcm16(const StereoLoop& loop) {
  std::vector<int16_t> pcm;
  pcm.reserve(loop.frames() * 2);
  auto convert = [](double x) {
    return static_cast<int16_t>(std::lround(std::clamp(x * 32767.0, -32768.0, 32767.0)));
  };
  for (std::size_t i = 0; i < loop.frames(); ++i) {
    pcm.push_back(convert(loop.left[i]));
    pcm.push_back(convert(loop.right[i]));
  }
  return pcm;
}
