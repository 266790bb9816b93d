#include "Mp3Writer.h"

#include <lame/lame.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kChunkFrames = 4096;
// lame's documented worst case for one buffer: 1.25 * samples + 7200.
constexpr int kMp3BufferBytes = kChunkFrames * 5 / 4 + 7200;
// 2 is lame's "near best" quality; slower encoding does not matter here.
constexpr int kEncoderQuality = 2;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct LameCloser {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

bool writeAll(std::FILE* file, const unsigned char* bytes, int count) {
  return count >= 0 && std::fwrite(bytes, 1, static_cast<std::size_t>(count), file) == static_cast<std::size_t>(count);
}

std::unique_ptr<lame_global_flags, LameCloser> makeEncoder(int sampleRate, int kilobitsPerSecond) {
  std::unique_ptr<lame_global_flags, LameCloser> flags(lame_init());
  if (!flags) return flags;
  lame_set_in_samplerate(flags.get(), sampleRate);
  lame_set_out_samplerate(flags.get(), sampleRate);
  lame_set_num_channels(flags.get(), 2);
  lame_set_mode(flags.get(), JOINT_STEREO);
  lame_set_brate(flags.get(), kilobitsPerSecond);
  lame_set_quality(flags.get(), kEncoderQuality);
  // The header frame carries the delay and padding a gapless decoder drops.
  lame_set_bWriteVbrTag(flags.get(), 1);
  lame_set_write_id3tag_automatic(flags.get(), 0);
  if (lame_init_params(flags.get()) < 0) flags.reset();
  return flags;
}

}  // namespace

Mp3Result writeMp3(const std::string& path, const std::vector<int16_t>& interleaved, int sampleRate, int kilobitsPerSecond) {
  Mp3Result result;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    result.error = "cannot open " + path + " for writing";
    return result;
  }
  auto encoder = makeEncoder(sampleRate, kilobitsPerSecond);
  if (!encoder) {
    result.error = "the encoder rejected its settings";
    return result;
  }
  std::vector<unsigned char> mp3(kMp3BufferBytes);
  const std::size_t totalFrames = interleaved.size() / 2;
  for (std::size_t frame = 0; frame < totalFrames; frame += kChunkFrames) {
    const int frames = static_cast<int>(std::min<std::size_t>(kChunkFrames, totalFrames - frame));
    // lame takes a non-const pointer but does not write through it.
    short* pcm = const_cast<short*>(interleaved.data() + frame * 2);
    const int bytes = lame_encode_buffer_interleaved(encoder.get(), pcm, frames, mp3.data(), kMp3BufferBytes);
    if (!writeAll(file.get(), mp3.data(), bytes)) {
      result.error = "encoding or writing failed";
      return result;
    }
  }
  if (!writeAll(file.get(), mp3.data(), lame_encode_flush(encoder.get(), mp3.data(), kMp3BufferBytes))) {
    result.error = "flushing the encoder failed";
    return result;
  }
  // The first frame was a placeholder; now that the length is known it gets
  // the real header.
  const std::size_t tagBytes = lame_get_lametag_frame(encoder.get(), mp3.data(), mp3.size());
  if (tagBytes == 0 || tagBytes > mp3.size() || std::fseek(file.get(), 0, SEEK_SET) != 0 ||
      !writeAll(file.get(), mp3.data(), static_cast<int>(tagBytes))) {
    result.error = "writing the gapless header failed";
    return result;
  }
  result.encoderDelay = lame_get_encoder_delay(encoder.get());
  result.encoderPadding = lame_get_encoder_padding(encoder.get());
  if (std::fflush(file.get()) != 0) {
    result.error = "writing " + path + " failed";
    return result;
  }
  result.ok = true;
  return result;
}
