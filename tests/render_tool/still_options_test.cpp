#include "render_tool/StillOptions.h"
#include "render_tool/VideoOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Parsed {
  bool ok = false;
  StillOptions options;
  std::string errors;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "xmastrace_render");
  Parsed parsed;
  std::ostringstream errors;
  parsed.ok = parseStillOptions(static_cast<int>(args.size()), args.data(), parsed.options, errors);
  parsed.errors = errors.str();
  return parsed;
}

TEST(StillOptions, WithoutArgumentsRendersTheConvergedGreetingAtTheDemoSize) {
  const Parsed parsed = parse({});
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.options.samples, 256);
  EXPECT_EQ(parsed.options.width, 768);
  EXPECT_EQ(parsed.options.height, 512);
  EXPECT_EQ(parsed.options.view, StillView::Converged);
  EXPECT_FALSE(parsed.options.fast);
  EXPECT_FALSE(parsed.options.bench);
  EXPECT_FALSE(parsed.options.denoise);
  EXPECT_EQ(parsed.errors, "");
}

TEST(StillOptions, EveryOptionTakesEffectInAnyOrder) {
  const Parsed parsed = parse({"--bench", "--size", "96x64", "--fast", "--out", "dir/a b.png",
                               "--samples", "12", "--denoise"});
  ASSERT_TRUE(parsed.ok) << parsed.errors;
  EXPECT_TRUE(parsed.options.bench);
  EXPECT_TRUE(parsed.options.denoise);
  EXPECT_EQ(parsed.options.width, 96);
  EXPECT_EQ(parsed.options.height, 64);
  EXPECT_TRUE(parsed.options.fast);
  EXPECT_EQ(parsed.options.outFile, "dir/a b.png");
  EXPECT_EQ(parsed.options.samples, 12);

  const Parsed view = parse({"--view", "normal", "--bench", "--fast", "--size", "96x64"});
  ASSERT_TRUE(view.ok) << view.errors;
  EXPECT_EQ(view.options.view, StillView::Normal);
  EXPECT_EQ(parse({"--view", "position"}).options.view, StillView::Position);
  EXPECT_EQ(parse({"--view", "color"}).options.view, StillView::Color);
  // A repeated option: the last one counts.
  EXPECT_EQ(parse({"--samples", "3", "--samples", "4"}).options.samples, 4);
}

TEST(StillOptions, SidesAndSampleCountsAreAcceptedUpToTheirBounds) {
  Parsed smallest = parse({"--size", "1x1", "--samples", "1"});
  ASSERT_TRUE(smallest.ok);
  EXPECT_EQ(smallest.options.width, 1);
  EXPECT_EQ(smallest.options.height, 1);
  const std::string side = std::to_string(kMaxStillSide);
  const std::string most = std::to_string(kMaxStillSamples);
  Parsed largest = parse({"--size", (side + "x" + side).c_str(), "--samples", most.c_str()});
  ASSERT_TRUE(largest.ok);
  EXPECT_EQ(largest.options.width, kMaxStillSide);
  EXPECT_EQ(largest.options.samples, kMaxStillSamples);
}

TEST(StillOptions, MalformedOrOutOfRangeValuesAreRejectedNamingTheOption) {
  const std::string tooWide = std::to_string(kMaxStillSide + 1) + "x8";
  const std::string tooMany = std::to_string(kMaxStillSamples + 1);
  const std::vector<std::vector<const char*>> rejected = {
      {"--samples", "0"},          {"--samples", "-5"},        {"--samples", "+5"},
      {"--samples", "12abc"},      {"--samples", ""},          {"--samples", "99999999999999999999"},
      {"--samples", tooMany.c_str()},
      {"--size", "768"},           {"--size", "x512"},         {"--size", "768x"},
      {"--size", "0x512"},         {"--size", "768x512x2"},    {"--size", "768X512"},
      {"--size", " 768x512"},      {"--size", tooWide.c_str()}, {"--size", "-768x512"},
      {"--view", "colour"},        {"--view", ""},             {"--out", ""},
  };
  for (const auto& args : rejected) {
    const Parsed parsed = parse(args);
    EXPECT_FALSE(parsed.ok) << args[0] << " '" << args[1] << "'";
    EXPECT_NE(parsed.errors.find(args[0]), std::string::npos) << parsed.errors;
  }
}

// Options that would be silently ignored are refused, each in one line
// that names it.
TEST(StillOptions, OptionsThatCannotApplyAreRefusedNamingThem) {
  const Parsed denoise = parse({"--view", "color", "--denoise"});
  const Parsed samples = parse({"--samples", "8", "--view", "normal"});
  EXPECT_EQ(denoise.errors.rfind("--denoise does not apply to --view", 0), 0u) << denoise.errors;
  EXPECT_EQ(samples.errors.rfind("--samples does not apply to --view", 0), 0u) << samples.errors;
  EXPECT_EQ(std::count(samples.errors.begin(), samples.errors.end(), '\n'), 1);
  const std::pair<const char*, bool> names[] = {
      {"x.mkv", false}, {"x", false}, {"x.mp4.part", false}, {"dir/x.mp4", true}, {"X.MP4", true}};
  for (const auto& [name, accepted] : names) {
    const char* args[] = {"xmastrace_render", "--video", name};
    VideoOptions options;
    std::ostringstream errors;
    EXPECT_EQ(parseVideoOptions(3, args, options, errors), accepted) << name << ": " << errors.str();
  }
}

TEST(StillOptions, UnknownOptionsAndMissingValuesAreRejected) {
  for (const char* option : {"--samples", "--out", "--size", "--view"}) {
    const Parsed parsed = parse({option});
    EXPECT_FALSE(parsed.ok) << option;
    EXPECT_NE(parsed.errors.find("missing value"), std::string::npos) << parsed.errors;
  }
  for (const char* option : {"--sample", "-s", "samples", "--FAST", "--out=x.png"}) {
    const Parsed parsed = parse({option});
    EXPECT_FALSE(parsed.ok) << option;
    EXPECT_NE(parsed.errors.find("unknown option"), std::string::npos) << parsed.errors;
  }
}

TEST(ProgressBar, FillsInProportionAndStaysInsideItsCells) {
  EXPECT_EQ(progressBar(0, 256, 8), "[        ] 0/256 samples");
  EXPECT_EQ(progressBar(128, 256, 8), "[####    ] 128/256 samples");
  EXPECT_EQ(progressBar(255, 256, 8), "[####### ] 255/256 samples");
  EXPECT_EQ(progressBar(256, 256, 8), "[########] 256/256 samples");
  // Counts outside 0..total never overflow the bar.
  EXPECT_EQ(progressBar(300, 256, 8), "[########] 256/256 samples");
  EXPECT_EQ(progressBar(-1, 256, 8), "[        ] 0/256 samples");
  EXPECT_EQ(progressBar(0, 0, 4), "[####] 0/0 samples");
  // Large totals must not overflow the proportion.
  EXPECT_EQ(progressBar(1000000, 1000000, 40).size(), progressBar(0, 1000000, 40).size() + 6);
}

}  // namespace
