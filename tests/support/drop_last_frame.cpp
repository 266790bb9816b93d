// Test helper: copies a video without its last picture, as a piece would
// look that lost a frame while its label still counts it.
//   drop_last_frame IN.mp4 OUT.mp4
// The packets are copied as they are (the last one of the picture stream,
// in file order, left out), and so are the file's tags, the label with them.
// Exits 0 when OUT is written, 1 when not.
#include <cstdio>
#include <vector>

#include "video/FfmpegHandles.h"

namespace {

struct OutputFormatCloser {
  void operator()(AVFormatContext* context) const {
    if (context->pb) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};
using OutputFormat = std::unique_ptr<AVFormatContext, OutputFormatCloser>;

bool readPackets(AVFormatContext& input, std::vector<Packet>& packets) {
  for (;;) {
    Packet packet(av_packet_alloc());
    if (!packet) return false;
    const int code = av_read_frame(&input, packet.get());
    if (code == AVERROR_EOF) return true;
    if (code < 0) return false;
    packets.push_back(std::move(packet));
  }
}

bool copyWithout(AVFormatContext& input, std::vector<Packet>& packets, size_t left, const char* path) {
  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, nullptr, nullptr, path) < 0) return false;
  OutputFormat output(made);
  av_dict_copy(&output->metadata, input.metadata, 0);
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, input.streams[i]->codecpar) < 0) return false;
    stream->codecpar->codec_tag = 0;
    stream->time_base = input.streams[i]->time_base;
  }
  if (avio_open(&output->pb, path, AVIO_FLAG_WRITE) < 0 || avformat_write_header(output.get(), nullptr) < 0)
    return false;
  for (size_t i = 0; i < packets.size(); ++i) {
    if (i == left) continue;
    AVPacket& packet = *packets[i];
    av_packet_rescale_ts(&packet, input.streams[packet.stream_index]->time_base,
                         output->streams[packet.stream_index]->time_base);
    if (av_interleaved_write_frame(output.get(), &packet) < 0) return false;
  }
  return av_write_trailer(output.get()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: drop_last_frame IN.mp4 OUT.mp4\n");
    return 1;
  }
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, argv[1], nullptr, nullptr) < 0) return 1;
  InputFormat input(opened);
  std::vector<Packet> packets;
  const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0 || !readPackets(*input, packets)) return 1;
  size_t last = packets.size();
  for (size_t i = 0; i < packets.size(); ++i)
    if (packets[i]->stream_index == stream) last = i;
  if (last == packets.size() || !copyWithout(*input, packets, last, argv[2])) {
    std::fprintf(stderr, "cannot copy %s without its last frame\n", argv[1]);
    return 1;
  }
  return 0;
}
