// Test helper: decodes two videos and compares their pictures frame by frame.
//   compare_videos A.mp4 B.mp4 [FIRST]
// compares frames FIRST, FIRST+1, ... of A with every frame of B (FIRST 0
// by default), prints one line of figures and exits 0 when B's frames are
// all there and match, 1 when not, 2 when a file does not decode cleanly.
// When both have sound in the same codec, B's must be A's: as long, and the
// same samples within what AAC's rounding changes (kSoundLimit), since a
// sound that is only there, or fades too early, is what a listener notices.
// Sound in another codec (the page's Opus) differs by its encoding alone,
// and its length by the codec's frames: only the pictures are compared.
// "Match" allows what the encoder changes where its frame types differ: a
// mean difference of kMeanLimit levels in the worst frame (measured at 64x48
// with one or two raw samples: 0.8 to 1.7), well below what other random
// numbers give the same frame (7 to 11).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "video/FfmpegHandles.h"

namespace {

constexpr double kMeanLimit = 3.0;
constexpr float kSoundLimit = 1e-3f;

struct Decoded {
  std::vector<std::vector<uint8_t>> frames;  // Y, U and V planes, packed
  std::vector<float> sound;                  // the first channel
  int soundRate = 0;
  AVCodecID soundCodec = AV_CODEC_ID_NONE;
  int errors = 0;
  int audioStreams = 0;
};

void keepPicture(const AVFrame& frame, Decoded& decoded) {
  std::vector<uint8_t> planes;
  for (int plane = 0; plane < 3; ++plane) {
    const int width = plane == 0 ? frame.width : (frame.width + 1) / 2;
    const int height = plane == 0 ? frame.height : (frame.height + 1) / 2;
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = frame.data[plane] + static_cast<ptrdiff_t>(y) * frame.linesize[plane];
      planes.insert(planes.end(), row, row + width);
    }
  }
  decoded.frames.push_back(std::move(planes));
}

void keepSound(const AVFrame& frame, Decoded& decoded) {
  if (frame.format != AV_SAMPLE_FMT_FLTP) {
    ++decoded.errors;
    return;
  }
  const auto* samples = reinterpret_cast<const float*>(frame.data[0]);
  decoded.sound.insert(decoded.sound.end(), samples, samples + frame.nb_samples);
}

void receive(AVCodecContext* decoder, Decoded& decoded) {
  Frame frame(av_frame_alloc());
  int code = 0;
  while ((code = avcodec_receive_frame(decoder, frame.get())) >= 0) {
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT)) ++decoded.errors;
    if (decoder->codec_type == AVMEDIA_TYPE_AUDIO)
      keepSound(*frame, decoded);
    else
      keepPicture(*frame, decoded);
    av_frame_unref(frame.get());
  }
  if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) ++decoded.errors;
}

CodecContext openDecoder(const AVStream& stream, const AVCodec* codec) {
  CodecContext decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0) return nullptr;
  decoder->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return nullptr;
  return decoder;
}

bool decode(const char* path, Decoded& decoded) {
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path, nullptr, nullptr) < 0) return false;
  InputFormat format(opened);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return false;
  for (unsigned i = 0; i < format->nb_streams; ++i)
    decoded.audioStreams += format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream < 0 || !codec) return false;
  CodecContext decoder = openDecoder(*format->streams[stream], codec);
  if (!decoder) return false;
  const AVCodec* soundCodec = nullptr;
  const int soundStream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &soundCodec, 0);
  CodecContext soundDecoder;
  if (soundStream >= 0) {
    if (!soundCodec || !(soundDecoder = openDecoder(*format->streams[soundStream], soundCodec))) return false;
    decoded.soundRate = soundDecoder->sample_rate;
    decoded.soundCodec = soundCodec->id;
  }
  Packet packet(av_packet_alloc());
  int code = 0;
  while ((code = av_read_frame(format.get(), packet.get())) >= 0) {
    AVCodecContext* target = packet->stream_index == stream        ? decoder.get()
                             : packet->stream_index == soundStream ? soundDecoder.get()
                                                                   : nullptr;
    if (target) {
      if (avcodec_send_packet(target, packet.get()) < 0) ++decoded.errors;
      receive(target, decoded);
    }
    av_packet_unref(packet.get());
  }
  if (code != AVERROR_EOF) ++decoded.errors;
  for (AVCodecContext* target : {decoder.get(), soundDecoder.get()}) {
    if (!target) continue;
    avcodec_send_packet(target, nullptr);
    receive(target, decoded);
  }
  return true;
}

double seconds(const Decoded& decoded) {
  return decoded.soundRate > 0 ? static_cast<double>(decoded.sound.size()) / decoded.soundRate : 0.0;
}

// Both with sound in one codec: equally long and the same samples.
bool soundMatches(const Decoded& a, const Decoded& b) {
  if (a.sound.empty() || b.sound.empty() || a.soundCodec != b.soundCodec) return true;
  if (a.sound.size() != b.sound.size() || a.soundRate != b.soundRate) return false;
  for (size_t i = 0; i < a.sound.size(); ++i)
    if (std::fabs(a.sound[i] - b.sound[i]) > kSoundLimit) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: compare_videos A.mp4 B.mp4 [FIRST]\n");
    return 2;
  }
  av_log_set_level(AV_LOG_ERROR);
  const size_t first = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
  Decoded a, b;
  if (!decode(argv[1], a) || !decode(argv[2], b) || a.errors != 0 || b.errors != 0) {
    std::printf("decoding failed or reported errors (%d and %d)\n", a.errors, b.errors);
    return 2;
  }
  if (first + b.frames.size() > a.frames.size() || b.frames.empty()) {
    std::printf("frames: %zu from %zu do not fit in %zu\n", b.frames.size(), first, a.frames.size());
    return 1;
  }
  double total = 0.0, worstMean = 0.0, worstPsnr = 1e9;
  int largest = 0;
  for (size_t i = 0; i < b.frames.size(); ++i) {
    const std::vector<uint8_t>& x = a.frames[first + i];
    const std::vector<uint8_t>& y = b.frames[i];
    if (x.size() != y.size()) {
      std::printf("frame %zu: another size\n", i);
      return 1;
    }
    double sum = 0.0, squares = 0.0;
    for (size_t p = 0; p < x.size(); ++p) {
      const int d = std::abs(static_cast<int>(x[p]) - static_cast<int>(y[p]));
      sum += d;
      squares += static_cast<double>(d) * d;
      if (d > largest) largest = d;
    }
    const double mean = sum / x.size();
    const double psnr = squares == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (squares / x.size()));
    total += mean;
    if (mean > worstMean) worstMean = mean;
    if (psnr < worstPsnr) worstPsnr = psnr;
  }
  const bool soundAlike = soundMatches(a, b);
  std::printf(
      "frames %zu, mean difference %.3f, worst frame %.3f, largest %d, lowest PSNR %.1f dB, audio %d/%d, "
      "sound %.3f/%.3f s%s\n",
      b.frames.size(), total / b.frames.size(), worstMean, largest, worstPsnr, a.audioStreams, b.audioStreams,
      seconds(a), seconds(b), soundAlike ? "" : " (differs)");
  return worstMean <= kMeanLimit && soundAlike ? 0 : 1;
}
