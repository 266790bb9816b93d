#include "video/Soundtrack.h"

#include <algorithm>

#include "video/FfmpegHandles.h"
#include "video/RegularInput.h"

// Reads packets of one audio stream and turns them into float samples at the
// soundtrack's rate and channel count.
class TuneDecoder {
 public:
  explicit TuneDecoder(bool (*stop)()) : stop(stop) {}

  bool open(const std::string& path, std::string& error) {
    if (!input.open(path, stop, error)) return false;
    AVFormatContext* format = input.format();
    const AVCodec* codec = nullptr;
    stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return fail(error, "no audio stream that this FFmpeg can decode");
    decoder.reset(avcodec_alloc_context3(codec));
    packet.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!decoder || !packet || !frame) return fail(error, "out of memory");
    if (const int code = avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar);
        code < 0)
      return fail(error, ffmpegError(code));
    if (const int code = avcodec_open2(decoder.get(), codec, nullptr); code < 0)
      return fail(error, ffmpegError(code));
    return true;
  }

  // Appends the samples of the next packets to `tune` (its rate and
  // channels set), at least one packet's worth unless the file ends; at its
  // end the decoder's and the resampler's delayed samples follow and
  // `ended` is set.
  bool decodeMore(Soundtrack& tune, bool& ended, std::string& error) {
    const long long before = tune.length();
    int code = 0;
    while (tune.length() == before && (code = av_read_frame(input.format(), packet.get())) >= 0) {
      if (input.stopped()) {
        av_packet_unref(packet.get());
        return fail(error, "interrupted");
      }
      const bool ours = packet->stream_index == stream;
      // A damaged packet is skipped, as a player would; the rest still plays.
      if (ours && avcodec_send_packet(decoder.get(), packet.get()) >= 0 && !receive(tune, error)) {
        av_packet_unref(packet.get());
        return false;
      }
      av_packet_unref(packet.get());
    }
    if (tune.length() > before) return true;
    if (code != AVERROR_EOF) return fail(error, input.stopped() ? "interrupted" : ffmpegError(code));
    avcodec_send_packet(decoder.get(), nullptr);
    if (!receive(tune, error)) return false;
    if (resampler && !convert(tune, nullptr, 0, error)) return false;
    ended = true;
    return true;
  }

  static bool fail(std::string& error, const std::string& reason) {
    error = reason;
    return false;
  }

 private:

  bool receive(Soundtrack& tune, std::string& error) {
    int code = 0;
    while ((code = avcodec_receive_frame(decoder.get(), frame.get())) >= 0) {
      const bool converted =
          (resampler || startResampler(error)) &&
          convert(tune, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples, error);
      av_frame_unref(frame.get());
      if (!converted) return false;
    }
    if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) return fail(error, ffmpegError(code));
    return true;
  }

  // Made from the first decoded frame, whose format, rate and layout are the
  // ones the decoder settled on.
  bool startResampler(std::string& error) {
    AVChannelLayout output;
    av_channel_layout_default(&output, kSoundtrackChannels);
    SwrContext* made = nullptr;
    const int code = swr_alloc_set_opts2(&made, &output, AV_SAMPLE_FMT_FLTP, kSoundtrackRate,
                                         &frame->ch_layout, static_cast<AVSampleFormat>(frame->format),
                                         frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&output);
    resampler.reset(made);
    if (code < 0) return fail(error, ffmpegError(code));
    if (const int init = swr_init(resampler.get()); init < 0) return fail(error, ffmpegError(init));
    return true;
  }

  // `input` null drains the resampler.
  bool convert(Soundtrack& tune, const uint8_t** input, int count, std::string& error) {
    const int room = swr_get_out_samples(resampler.get(), count);
    if (room < 0) return fail(error, ffmpegError(room));
    if (room == 0) return true;
    std::vector<std::vector<float>> planes(kSoundtrackChannels, std::vector<float>(static_cast<size_t>(room)));
    uint8_t* output[kSoundtrackChannels];
    for (int c = 0; c < kSoundtrackChannels; ++c) output[c] = reinterpret_cast<uint8_t*>(planes[c].data());
    const int made = swr_convert(resampler.get(), output, room, input, count);
    if (made < 0) return fail(error, ffmpegError(made));
    for (int c = 0; c < kSoundtrackChannels; ++c)
      tune.channels[c].insert(tune.channels[c].end(), planes[c].begin(), planes[c].begin() + made);
    return true;
  }

  bool (*stop)() = nullptr;
  RegularInput input;
  CodecContext decoder;
  Packet packet;
  Frame frame;
  Resampler resampler;
  int stream = -1;
};

long long Soundtrack::length() const {
  return channels.empty() ? 0 : static_cast<long long>(channels.front().size());
}

namespace {

Soundtrack emptySoundtrack() {
  Soundtrack tune;
  tune.sampleRate = kSoundtrackRate;
  tune.channels.assign(kSoundtrackChannels, {});
  return tune;
}

// Sample `index` of a soundtrack of `length` whose last `fade` fall
// linearly to silence, reaching zero on the very last sample.
float faded(float value, long long index, long long length, long long fade) {
  if (index < length - fade || fade <= 0) return value;
  return static_cast<float>(value * (static_cast<double>(length - 1 - index) / static_cast<double>(fade)));
}

}  // namespace

bool decodeTune(const std::string& path, Soundtrack& tune, std::string& error, bool (*stop)()) {
  TuneDecoder decoder(stop);
  Soundtrack decoded = emptySoundtrack();
  if (!decoder.open(path, error)) return false;
  for (bool ended = false; !ended;) {
    if (!decoder.decodeMore(decoded, ended, error)) return false;
  }
  if (decoded.length() == 0) return TuneDecoder::fail(error, "no sound in it");
  tune = std::move(decoded);
  return true;
}

bool measureTune(const std::string& path, long long limit, long long& length, std::string& error,
                 bool (*stop)()) {
  TuneDecoder decoder(stop);
  if (!decoder.open(path, error)) return false;
  Soundtrack scratch = emptySoundtrack();
  long long counted = 0;
  for (bool ended = false; !ended && counted < limit;) {
    if (!decoder.decodeMore(scratch, ended, error)) return false;
    counted += scratch.length();
    for (std::vector<float>& channel : scratch.channels) channel.clear();
  }
  if (counted == 0) return TuneDecoder::fail(error, "no sound in it");
  length = counted;
  return true;
}

TuneStream::TuneStream(std::string path, long long length, long long fadeLength, bool (*stop)())
    : path(std::move(path)), total(std::max(length, 0LL)), fade(std::clamp(fadeLength, 0LL, total)), stop(stop) {
  pending = emptySoundtrack();
}

TuneStream::~TuneStream() = default;

bool TuneStream::refill(std::string& error) {
  if (!decoder) {
    decoder = std::make_unique<TuneDecoder>(stop);
    if (!decoder->open(path, error)) return false;
    passLength = 0;
  }
  bool ended = false;
  const long long before = pending.length();
  if (!decoder->decodeMore(pending, ended, error)) return false;
  passLength += pending.length() - before;
  if (ended) {
    // Looped without a gap: the next pass starts from a fresh decoder, as the first did.
    if (passLength == 0) return TuneDecoder::fail(error, "no sound in it");
    decoder.reset();
  }
  return true;
}

bool TuneStream::read(float* const* channels, int count, std::string& error) {
  if (count < 0 || produced + count > total) return TuneDecoder::fail(error, "read past the soundtrack's end");
  while (pending.length() - taken < count) {
    if (!refill(error)) return false;
  }
  for (int c = 0; c < kSoundtrackChannels; ++c) {
    const float* from = pending.channels[static_cast<size_t>(c)].data() + taken;
    for (int i = 0; i < count; ++i) channels[c][i] = faded(from[i], produced + i, total, fade);
  }
  produced += count;
  taken += count;
  // Drops what was handed out, so that the buffer stays a packet or two long.
  if (taken >= pending.length() / 2) {
    for (std::vector<float>& channel : pending.channels) channel.erase(channel.begin(), channel.begin() + taken);
    taken = 0;
  }
  return true;
}

Soundtrack fitSoundtrack(const Soundtrack& tune, long long length, long long fadeLength) {
  Soundtrack fitted;
  fitted.sampleRate = tune.sampleRate;
  const long long tuneLength = tune.length();
  length = std::max(length, 0LL);
  for (const std::vector<float>& source : tune.channels) {
    std::vector<float> channel(static_cast<size_t>(length), 0.0f);
    for (long long i = 0; tuneLength > 0 && i < length; ++i)
      channel[static_cast<size_t>(i)] = source[static_cast<size_t>(i % tuneLength)];
    fitted.channels.push_back(std::move(channel));
  }
  const long long fade = std::clamp(fadeLength, 0LL, length);
  for (std::vector<float>& channel : fitted.channels) {
    for (long long i = length - fade; i < length; ++i) channel[static_cast<size_t>(i)] = faded(channel[static_cast<size_t>(i)], i, length, fade);
  }
  return fitted;
}
