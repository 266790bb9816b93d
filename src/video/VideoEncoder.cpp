#include "video/VideoEncoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "OutputFile.h"
#include "video/FfmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

// Visually clean for a noisy path-traced picture at a modest size; the
// encoder's time is nothing beside the rendering.
constexpr const char* kVideoQuality = "20";  // x264's constant rate factor
constexpr int64_t kAudioBitRate = 160000;

struct OutputFormatCloser {
  void operator()(AVFormatContext* context) const {
    if (context->pb) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};
using OutputFormat = std::unique_ptr<AVFormatContext, OutputFormatCloser>;

bool fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

bool fail(std::string& error, const char* what, int code) {
  error = std::string(what) + ": " + ffmpegError(code);
  return false;
}

}  // namespace

struct VideoEncoder::Streams {
  ~Streams() {
    if (finished) return;
    output.reset();  // closes the file before it goes
    std::remove(temporaryPath.c_str());
  }

  static int askToStop(void* opaque) {
    const auto* streams = static_cast<const Streams*>(opaque);
    return streams->stopRequested() ? 1 : 0;
  }

  bool stopRequested() const { return settings.stopRequested && settings.stopRequested(); }

  // `copied` describes the frames addPacket will bring; null: they are encoded here.
  bool start(std::unique_ptr<TuneStream> sound, const AVCodecParameters* copied, std::string& error) {
    AVFormatContext* made = nullptr;
    if (const int code = avformat_alloc_output_context2(&made, nullptr, "mp4", temporaryPath.c_str());
        code < 0)
      return fail(error, "no MP4 muxer", code);
    output.reset(made);
    output->interrupt_callback = {askToStop, this};
    packet.reset(av_packet_alloc());
    if (!packet) return fail(error, "out of memory");
    if (copied ? !addCopiedVideoStream(*copied, error) : !addVideoStream(error)) return false;
    if (sound && !addAudioStream(std::move(sound), error)) return false;
    if (!settings.comment.empty()) av_dict_set(&output->metadata, "comment", settings.comment.c_str(), 0);
    if (const int code = avio_open2(&output->pb, temporaryPath.c_str(), AVIO_FLAG_WRITE,
                                    &output->interrupt_callback, nullptr);
        code < 0)
      return fail(error, ffmpegError(code));
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int code = avformat_write_header(output.get(), &options);
    av_dict_free(&options);
    if (code < 0) return fail(error, "cannot write the MP4 header", code);
    return true;
  }

  bool addVideoStream(std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return fail(error, "this FFmpeg has no H.264 encoder (libx264)");
    video.reset(avcodec_alloc_context3(codec));
    picture.reset(av_frame_alloc());
    if (!video || !picture) return fail(error, "out of memory");
    video->width = settings.width;
    video->height = settings.height;
    video->time_base = {1, settings.fps};
    video->framerate = {settings.fps, 1};
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    // Said outright, so that no player guesses the colours from the size.
    video->color_range = AVCOL_RANGE_MPEG;
    video->colorspace = AVCOL_SPC_BT709;
    video->color_primaries = AVCOL_PRI_BT709;
    video->color_trc = AVCOL_TRC_BT709;
    if (output->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "crf", kVideoQuality, 0);
    const int code = avcodec_open2(video.get(), codec, &options);
    av_dict_free(&options);
    if (code < 0) return fail(error, "the H.264 encoder refused the settings", code);
    videoStream = avformat_new_stream(output.get(), nullptr);
    if (!videoStream) return fail(error, "out of memory");
    videoStream->time_base = video->time_base;
    if (const int copied = avcodec_parameters_from_context(videoStream->codecpar, video.get()); copied < 0)
      return fail(error, ffmpegError(copied));

    picture->format = video->pix_fmt;
    picture->width = settings.width;
    picture->height = settings.height;
    if (const int made = av_frame_get_buffer(picture.get(), 0); made < 0)
      return fail(error, ffmpegError(made));
    scaler.reset(sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGB24, settings.width,
                                settings.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND,
                                nullptr, nullptr, nullptr));
    if (!scaler) return fail(error, "no RGB to YUV converter for this size");
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler.get(), bt709, /*srcRange=full*/ 1, bt709, /*dstRange=limited*/ 0, 0,
                             1 << 16, 1 << 16);
    return true;
  }

  bool addCopiedVideoStream(const AVCodecParameters& copied, std::string& error) {
    videoStream = avformat_new_stream(output.get(), nullptr);
    if (!videoStream) return fail(error, "out of memory");
    if (const int code = avcodec_parameters_copy(videoStream->codecpar, &copied); code < 0)
      return fail(error, ffmpegError(code));
    // Another muxer's tag need not be this one's.
    videoStream->codecpar->codec_tag = 0;
    videoStream->time_base = {1, settings.fps};
    return true;
  }

  bool addPacket(AVPacket& source, AVRational timeBase, long long firstFrame, std::string& error) {
    // Shown where the piece has it, from its first frame's place on; decoded
    // in the order the packets come, one frame time apart.
    av_packet_rescale_ts(&source, timeBase, videoStream->time_base);
    const AVRational frameTime = {1, settings.fps};
    if (source.pts != AV_NOPTS_VALUE) source.pts += av_rescale_q(firstFrame, frameTime, videoStream->time_base);
    source.dts = av_rescale_q(framesWritten - settings.decodeDelay, frameTime, videoStream->time_base);
    if (source.pts != AV_NOPTS_VALUE && source.dts > source.pts)
      return fail(error, "a piece's frame would be decoded after it is shown");
    source.stream_index = videoStream->index;
    source.pos = -1;
    if (const int written = av_interleaved_write_frame(output.get(), &source); written < 0)
      return fail(error, "writing", written);
    ++framesWritten;
    return writeSoundUntil(soundAt(framesWritten), error);
  }

  bool addAudioStream(std::unique_ptr<TuneStream> sound, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return fail(error, "this FFmpeg has no AAC encoder");
    audio.reset(avcodec_alloc_context3(codec));
    sample.reset(av_frame_alloc());
    if (!audio || !sample) return fail(error, "out of memory");
    audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio->bit_rate = kAudioBitRate;
    audio->sample_rate = sound->sampleRate();
    av_channel_layout_default(&audio->ch_layout, sound->channelCount());
    audio->time_base = {1, sound->sampleRate()};
    if (output->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int code = avcodec_open2(audio.get(), codec, nullptr); code < 0)
      return fail(error, "the AAC encoder refused the settings", code);
    audioStream = avformat_new_stream(output.get(), nullptr);
    if (!audioStream) return fail(error, "out of memory");
    audioStream->time_base = audio->time_base;
    if (const int copied = avcodec_parameters_from_context(audioStream->codecpar, audio.get()); copied < 0)
      return fail(error, ffmpegError(copied));

    sample->format = audio->sample_fmt;
    sample->sample_rate = audio->sample_rate;
    sample->nb_samples = audio->frame_size;
    if (const int copied = av_channel_layout_copy(&sample->ch_layout, &audio->ch_layout); copied < 0)
      return fail(error, ffmpegError(copied));
    if (const int made = av_frame_get_buffer(sample.get(), 0); made < 0) return fail(error, ffmpegError(made));
    soundtrack = std::move(sound);
    return true;
  }

  long long soundAt(long long frames) const {
    return soundtrack ? frames * soundtrack->sampleRate() / settings.fps : 0;
  }

  bool addFrame(const RgbImage& image, std::string& error) {
    const size_t expected = static_cast<size_t>(settings.width) * static_cast<size_t>(settings.height) * 3;
    if (image.width != settings.width || image.height != settings.height || image.pixels.size() != expected)
      return fail(error, "a frame of the wrong size");
    if (const int code = av_frame_make_writable(picture.get()); code < 0) return fail(error, ffmpegError(code));
    const uint8_t* rows[1] = {image.pixels.data()};
    const int strides[1] = {3 * settings.width};
    sws_scale(scaler.get(), rows, strides, 0, settings.height, picture->data, picture->linesize);
    picture->pts = framesWritten++;
    if (!encode(video.get(), videoStream, picture.get(), error)) return false;
    // The sound keeps pace with the pictures, so the file interleaves them.
    return writeSoundUntil(soundAt(framesWritten), error);
  }

  bool finish(std::string& error) {
    if (soundtrack && !writeSoundUntil(soundtrack->length(), error)) return false;
    if (video && !encode(video.get(), videoStream, nullptr, error)) return false;
    if (audio && !encode(audio.get(), audioStream, nullptr, error)) return false;
    if (const int code = av_write_trailer(output.get()); code < 0)
      return fail(error, "cannot write the MP4 index", code);
    if (const int code = avio_closep(&output->pb); code < 0) return fail(error, ffmpegError(code));
    if (stopRequested()) return fail(error, "interrupted");
    if (std::rename(temporaryPath.c_str(), path.c_str()) != 0) return fail(error, std::strerror(errno));
    finished = true;
    return true;
  }

  // Whole encoder frames up to `end` (in samples); only the tune's very end
  // goes out as a shorter frame.
  bool writeSoundUntil(long long end, std::string& error) {
    if (!audio) return true;
    end = std::min(end, soundtrack->length());
    while (samplesWritten < end) {
      const int count =
          static_cast<int>(std::min<long long>(audio->frame_size, soundtrack->length() - samplesWritten));
      if (const int code = av_frame_make_writable(sample.get()); code < 0) return fail(error, ffmpegError(code));
      sample->nb_samples = count;
      float* planes[kSoundtrackChannels];
      for (int c = 0; c < kSoundtrackChannels; ++c) planes[c] = reinterpret_cast<float*>(sample->extended_data[c]);
      if (!soundtrack->read(planes, count, error)) return fail(error, "the tune: " + error);
      sample->pts = samplesWritten;
      samplesWritten += count;
      if (!encode(audio.get(), audioStream, sample.get(), error)) return false;
    }
    return true;
  }

  // `frame` null drains the encoder.
  bool encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame, std::string& error) {
    if (const int code = avcodec_send_frame(encoder, frame); code < 0) return fail(error, "encoding", code);
    int code = 0;
    while ((code = avcodec_receive_packet(encoder, packet.get())) >= 0) {
      // x264 leaves it unset, and the muxer would then end the video's
      // timeline at the start of its last frame, which players drop.
      if (encoder->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration == 0) packet->duration = 1;
      av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
      packet->stream_index = stream->index;
      // Takes the packet's contents, leaving it empty for the next one.
      if (const int written = av_interleaved_write_frame(output.get(), packet.get()); written < 0)
        return fail(error, "writing", written);
    }
    if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) return fail(error, "encoding", code);
    return true;
  }

  std::string path;
  std::string temporaryPath;
  VideoSettings settings;
  bool finished = false;
  OutputFormat output;
  CodecContext video;
  CodecContext audio;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  Scaler scaler;
  Frame picture;
  Frame sample;
  Packet packet;
  std::unique_ptr<TuneStream> soundtrack;
  long long framesWritten = 0;
  long long samplesWritten = 0;
};

void keepFfmpegQuiet() { av_log_set_level(AV_LOG_ERROR); }

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::open(const std::string& path, const VideoSettings& settings,
                        std::unique_ptr<TuneStream> soundtrack, std::string& error) {
  return start(path, settings, nullptr, std::move(soundtrack), error);
}

bool VideoEncoder::openCopy(const std::string& path, const VideoSettings& settings, const AVCodecParameters& video,
                            std::unique_ptr<TuneStream> soundtrack, std::string& error) {
  return start(path, settings, &video, std::move(soundtrack), error);
}

bool VideoEncoder::start(const std::string& path, const VideoSettings& settings, const AVCodecParameters* copied,
                         std::unique_ptr<TuneStream> soundtrack, std::string& error) {
  if (streams) return fail(error, "already open");
  OutputTarget target;
  if (!checkMp4OutputTarget(path, error) || !findOutputTarget(path, target, error)) return false;
  auto made = std::make_unique<Streams>();
  made->path = target.file;
  made->settings = settings;
  if (!createTemporaryFor(target, made->temporaryPath, error)) {
    made->finished = true;  // nothing to remove
    return false;
  }
  if (!made->start(std::move(soundtrack), copied, error)) return false;  // removes the temporary file
  streams = std::move(made);
  return true;
}

bool VideoEncoder::addFrame(const RgbImage& image, std::string& error) {
  if (!streams || streams->finished || !streams->video) return fail(error, "the video is not open for pictures");
  return streams->addFrame(image, error);
}

bool VideoEncoder::addPacket(AVPacket& packet, int timeBaseNum, int timeBaseDen, long long firstFrame,
                             std::string& error) {
  if (!streams || streams->finished || streams->video) return fail(error, "the video is not open for copying");
  return streams->addPacket(packet, {timeBaseNum, timeBaseDen}, firstFrame, error);
}

bool VideoEncoder::finish(std::string& error) {
  if (!streams || streams->finished) return fail(error, "the video is not open");
  return streams->finish(error);
}
