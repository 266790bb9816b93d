// A tiny greeting video rendered with the demo's Application and read back
// with FFmpeg's own decoders: what a phone or browser would find in it.
#include "render_tool/VideoRenderer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "support/GlContext.h"
#include "video/FfmpegHandles.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 64;
constexpr int kFps = 8;
constexpr double kSeconds = 2.0;

struct Media {
  int videoStreams = 0;
  int audioStreams = 0;
  AVCodecID videoCodec = AV_CODEC_ID_NONE;
  AVCodecID audioCodec = AV_CODEC_ID_NONE;
  int pixelFormat = -1;
  double seconds = 0.0;
  std::vector<std::vector<uint8_t>> luma;  // each frame's Y plane
  int sampleRate = 0;
  int audioFrameSize = 0;    // samples in each sound packet but the last
  std::vector<float> sound;  // the first channel
  // Each packet's start and length in seconds, in file order.
  std::vector<std::pair<double, double>> videoPackets, audioPackets;
};

void keep(const AVFrame& frame, AVMediaType type, Media& media) {
  if (type == AVMEDIA_TYPE_VIDEO) {
    std::vector<uint8_t> plane;
    for (int y = 0; y < frame.height; ++y)
      plane.insert(plane.end(), frame.data[0] + y * frame.linesize[0],
                   frame.data[0] + y * frame.linesize[0] + frame.width);
    media.luma.push_back(std::move(plane));
  } else {
    ASSERT_EQ(frame.format, AV_SAMPLE_FMT_FLTP);
    const auto* samples = reinterpret_cast<const float*>(frame.extended_data[0]);
    media.sound.insert(media.sound.end(), samples, samples + frame.nb_samples);
  }
}

void drain(AVCodecContext* decoder, AVMediaType type, Media& media) {
  Frame frame(av_frame_alloc());
  while (avcodec_receive_frame(decoder, frame.get()) >= 0) {
    keep(*frame, type, media);
    av_frame_unref(frame.get());
  }
}

// Every stream counted, the first of each kind decoded whole.
Media readMedia(const std::string& path) {
  Media media;
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return media;
  InputFormat format(opened);
  avformat_find_stream_info(format.get(), nullptr);
  media.seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
  std::vector<CodecContext> decoders(format->nb_streams);
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* stream = format->streams[i]->codecpar;
    const bool video = stream->codec_type == AVMEDIA_TYPE_VIDEO;
    int& count = video ? media.videoStreams : media.audioStreams;
    if (stream->codec_type != AVMEDIA_TYPE_VIDEO && stream->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (count++ > 0) continue;
    (video ? media.videoCodec : media.audioCodec) = stream->codec_id;
    if (video) {
      media.pixelFormat = stream->format;
    } else {
      media.sampleRate = stream->sample_rate;
      media.audioFrameSize = stream->frame_size;
    }
    decoders[i].reset(avcodec_alloc_context3(avcodec_find_decoder(stream->codec_id)));
    avcodec_parameters_to_context(decoders[i].get(), stream);
    avcodec_open2(decoders[i].get(), nullptr, nullptr);
  }
  Packet packet(av_packet_alloc());
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    AVCodecContext* decoder = decoders[packet->stream_index].get();
    const double tick = av_q2d(format->streams[packet->stream_index]->time_base);
    if (decoder)
      (decoder->codec_type == AVMEDIA_TYPE_VIDEO ? media.videoPackets : media.audioPackets)
          .emplace_back(packet->pts * tick, packet->duration * tick);
    if (decoder && avcodec_send_packet(decoder, packet.get()) >= 0) drain(decoder, decoder->codec_type, media);
    av_packet_unref(packet.get());
  }
  for (CodecContext& decoder : decoders) {
    if (!decoder) continue;
    avcodec_send_packet(decoder.get(), nullptr);
    drain(decoder.get(), decoder->codec_type, media);
  }
  return media;
}

// The file's top-level MP4 boxes, in order.
std::vector<std::string> topLevelBoxes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> boxes;
  unsigned char header[8];
  while (file.read(reinterpret_cast<char*>(header), 8)) {
    const uint32_t size = (header[0] << 24u) | (header[1] << 16u) | (header[2] << 8u) | header[3];
    boxes.emplace_back(reinterpret_cast<char*>(header + 4), 4);
    if (size < 8) break;
    file.seekg(size - 8, std::ios::cur);
  }
  return boxes;
}

// Mean luma difference of 16x16 blocks: what the picture shows, not the
// noise of a few samples.
double blockDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  constexpr int kBlock = 16;
  double sum = 0.0;
  for (int by = 0; by < kHeight / kBlock; ++by) {
    for (int bx = 0; bx < kWidth / kBlock; ++bx) {
      double difference = 0.0;
      for (int y = by * kBlock; y < (by + 1) * kBlock; ++y) {
        for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x) {
          const size_t i = static_cast<size_t>(y) * kWidth + x;
          difference += static_cast<double>(a.at(i)) - b.at(i);
        }
      }
      sum += std::fabs(difference) / (kBlock * kBlock);
    }
  }
  return sum / ((kWidth / kBlock) * (kHeight / kBlock));
}

double correlation(const std::vector<float>& a, const std::vector<float>& b, size_t count, double& rmsA,
                   double& rmsB) {
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (size_t i = 0; i < count; ++i) {
    ab += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  rmsA = std::sqrt(aa / count);
  rmsB = std::sqrt(bb / count);
  return ab / std::sqrt(aa * bb);
}

TEST(VideoFile, HoldsTheTurnAndTheTuneAsPhonesAndBrowsersReadThem) {
  REQUIRE_GL_CONTEXT();
  keepFfmpegQuiet();
  const fs::path folder = fs::temp_directory_path() / ("video_file_test_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path previous = fs::current_path();
  fs::current_path(XMASTRACE_RUN_DIR);
  glViewport(0, 0, kWidth, kHeight);

  VideoOptions options;
  options.videoFile = (folder / "greeting.mp4").string();
  options.width = kWidth;
  options.height = kHeight;
  options.fps = kFps;
  options.seconds = kSeconds;
  options.samples = 2;
  std::ostringstream messages;
  testing::internal::CaptureStdout();
  auto app = std::make_unique<Application>(kWidth, kHeight, PathVariant::TwoBounce, /*withMusic=*/false);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(app->startupStatus(), kStatusOk);
  {
    VideoEncoder encoder;
    int frames = 0;
    ASSERT_EQ(openVideo(options, encoder, frames, messages), kStatusOk) << messages.str();
    EXPECT_EQ(frames, 16);
    ASSERT_EQ(renderVideo(*app, options, frames, encoder, messages), kStatusOk) << messages.str();
  }
  EXPECT_NE(messages.str().find("16/16 frames"), std::string::npos) << messages.str();
  Media tune = readMedia(kMusicFile);
  fs::current_path(previous);

  // Nothing but the video is left in its folder, and its index is in front.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  const std::vector<std::string> boxes = topLevelBoxes(options.videoFile);
  const auto at = [&boxes](const char* name) { return std::find(boxes.begin(), boxes.end(), name) - boxes.begin(); };
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.front(), "ftyp");
  EXPECT_LT(at("moov"), at("mdat"));

  const Media video = readMedia(options.videoFile);
  fs::remove_all(folder);
  EXPECT_EQ(video.videoStreams, 1);
  EXPECT_EQ(video.audioStreams, 1);
  EXPECT_EQ(video.videoCodec, AV_CODEC_ID_H264);
  EXPECT_EQ(video.pixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(video.audioCodec, AV_CODEC_ID_AAC);
  ASSERT_EQ(video.luma.size(), 16u);
  EXPECT_NEAR(video.seconds, kSeconds, 1.0 / kFps);
  // Half-way round the tree the picture is another one (a camera that stays
  // put gives about 1.5, from the noise and the light).
  EXPECT_GT(blockDifference(video.luma[0], video.luma[8]), 5.0);

  // The tune's start, at its own level; the fade only touches the end.
  ASSERT_EQ(video.sampleRate, tune.sampleRate);
  EXPECT_NEAR(static_cast<double>(video.sound.size()) / video.sampleRate, kSeconds, 1.0 / kFps);
  const size_t second = static_cast<size_t>(video.sampleRate);
  ASSERT_GE(video.sound.size(), second);
  ASSERT_GE(tune.sound.size(), second);
  double videoLevel = 0.0, tuneLevel = 0.0;
  EXPECT_GT(correlation(video.sound, tune.sound, second, videoLevel, tuneLevel), 0.95);
  EXPECT_GT(tuneLevel, 0.01);
  EXPECT_NEAR(videoLevel / tuneLevel, 1.0, 0.1);
  // A video this short fades over its last quarter only.
  const auto level = [&](const std::vector<float>& sound, double from, double to) {
    double squares = 0.0;
    const size_t begin = static_cast<size_t>(from * video.sampleRate);
    const size_t end = static_cast<size_t>(to * video.sampleRate);
    for (size_t i = begin; i < end; ++i) squares += sound.at(i) * sound.at(i);
    return std::sqrt(squares / (end - begin));
  };
  EXPECT_NEAR(level(video.sound, 1.0, 1.45) / level(tune.sound, 1.0, 1.45), 1.0, 0.05);
  EXPECT_LT(level(video.sound, 1.5, 1.95) / level(tune.sound, 1.5, 1.95), 0.75);

  // Timestamps as players schedule by them: frames from 0, 1/fps apart; each
  // sound packet a packet's samples after the one before; both ending together.
  std::vector<double> frameTimes;
  for (const auto& packet : video.videoPackets) frameTimes.push_back(packet.first);
  std::sort(frameTimes.begin(), frameTimes.end());
  ASSERT_EQ(frameTimes.size(), 16u);
  size_t onTime = 0;
  while (onTime < frameTimes.size() && std::fabs(frameTimes[onTime] - double(onTime) / kFps) < 1e-6) ++onTime;
  EXPECT_EQ(onTime, frameTimes.size()) << "frame " << onTime << " is off its time";
  const std::vector<std::pair<double, double>>& packets = video.audioPackets;
  const double packetSeconds = static_cast<double>(video.audioFrameSize) / video.sampleRate;
  size_t inStep = 1;
  while (inStep < packets.size() &&
         std::fabs(packets[inStep].first - packets[inStep - 1].first - packetSeconds) < 1e-6)
    ++inStep;
  EXPECT_EQ(inStep, packets.size()) << "sound packet " << inStep << " is out of step";
  ASSERT_FALSE(packets.empty());
  const auto& lastSound = packets.back();
  EXPECT_NEAR(lastSound.first + lastSound.second, frameTimes.back() + 1.0 / kFps, 1.0 / kFps);
}

}  // namespace
