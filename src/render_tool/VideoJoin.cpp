#include "render_tool/VideoJoin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>

#include "ExitStatus.h"
#include "app/Interrupt.h"
#include "video/FfmpegHandles.h"
#include "video/RegularInput.h"
#include "video/VideoEncoder.h"

namespace {

struct Piece {
  std::string name;
  std::unique_ptr<RegularInput> input = std::make_unique<RegularInput>();
  int stream = -1;
  PieceLabel label;
  int decodeDelay = 0;  // frames its first frame is decoded before it is shown

  AVStream* video() const { return input->format()->streams[stream]; }
};

bool stopRequested() { return caughtInterrupt() != 0; }

std::string frames(int first, int last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

// "768x512 at 30 fps, ..." gives 30.
int piecesFps(const PieceLabel& label) {
  int width = 0, height = 0, fps = 0;
  if (std::sscanf(label.video.c_str(), "%dx%d at %d fps", &width, &height, &fps) != 3) return 0;
  return fps >= 1 && fps <= kMaxVideoFps ? fps : 0;
}

// The joined stream's decoding times run on without a jump from piece to
// piece, as a single run's do, so they start as far before the first
// picture as the longest delay of any piece. The first packet, the key
// frame shown first, tells a piece's own; the piece is then opened again
// to be read from its start.
bool measureDecodeDelay(Piece& piece, std::ostream& messages) {
  Packet packet(av_packet_alloc());
  int code = 0;
  while (packet && (code = av_read_frame(piece.input->format(), packet.get())) >= 0 &&
         packet->stream_index != piece.stream)
    av_packet_unref(packet.get());
  if (!packet || code < 0 || packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE) {
    if (caughtInterrupt() == 0) messages << "cannot read the piece " << piece.name << ": no frame in it\n";
    return false;
  }
  const AVRational frameTime = {1, std::max(piecesFps(piece.label), 1)};
  piece.decodeDelay = static_cast<int>(av_rescale_q(packet->pts - packet->dts, piece.video()->time_base, frameTime));
  piece.input = std::make_unique<RegularInput>();
  std::string error;
  if (!piece.input->open(piece.name, stopRequested, error)) {
    if (caughtInterrupt() == 0) messages << "cannot read the piece " << piece.name << ": " << error << "\n";
    return false;
  }
  return true;
}

bool openPiece(Piece& piece, std::ostream& messages) {
  std::string error;
  if (!piece.input->open(piece.name, stopRequested, error)) {
    if (caughtInterrupt() == 0) messages << "cannot read the piece " << piece.name << ": " << error << "\n";
    return false;
  }
  AVFormatContext* format = piece.input->format();
  piece.stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVDictionaryEntry* comment = av_dict_get(format->metadata, "comment", nullptr, 0);
  if (piece.stream < 0 || !comment || !readPieceComment(comment->value, piece.label)) {
    messages << piece.name << " is no piece made with --frames\n";
    return false;
  }
  // A piece cut short (a node that died while writing) holds fewer frames
  // than its label says; the join would otherwise leave a gap unnoticed.
  const long long held = piece.video()->nb_frames;
  const long long said = piece.label.lastFrame - piece.label.firstFrame + 1;
  if (held != said) {
    messages << piece.name << " holds " << held << " frames, not the " << said << " of its "
             << frames(piece.label.firstFrame, piece.label.lastFrame) << ": render it again\n";
    return false;
  }
  return measureDecodeDelay(piece, messages);
}

// Concatenated packets play only where every piece's decoder set-up is the
// one the joined file announces.
bool encodedAlike(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_id == b.codec_id && a.width == b.width && a.height == b.height && a.format == b.format &&
         a.extradata_size == b.extradata_size &&
         (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, static_cast<size_t>(a.extradata_size)) == 0);
}

bool copyPieces(const std::vector<std::unique_ptr<Piece>>& pieces, VideoEncoder& encoder, std::string& error) {
  Packet packet(av_packet_alloc());
  if (!packet) {
    error = "out of memory";
    return false;
  }
  for (const auto& piece : pieces) {
    const AVRational timeBase = piece->video()->time_base;
    while (av_read_frame(piece->input->format(), packet.get()) >= 0) {
      const bool ours = packet->stream_index == piece->stream;
      const bool copied = !ours || encoder.addPacket(*packet, timeBase.num, timeBase.den, piece->label.firstFrame, error);
      av_packet_unref(packet.get());
      if (!copied) return false;
      if (stopRequested()) {
        error = "interrupted";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::string pieceOrderProblem(const std::vector<std::string>& names, const std::vector<PieceLabel>& labels) {
  if (labels.empty()) return "no pieces";
  const PieceLabel& first = labels.front();
  int next = 0;
  for (size_t i = 0; i < labels.size() && i < names.size(); ++i) {
    const PieceLabel& label = labels[i];
    if (label.video != first.video || label.frameCount != first.frameCount)
      return names[i] + " is a piece of another video (" + std::to_string(label.frameCount) + " frames; " +
             label.video + ") than " + names[0] + " (" + std::to_string(first.frameCount) + " frames; " + first.video +
             ")";
    if (label.firstFrame > next)
      return frames(next, label.firstFrame - 1) + (label.firstFrame - next > 1 ? " are" : " is") + " missing, " +
             (i == 0 ? "before " + names[i] : "between " + names[i - 1] + " and " + names[i]);
    if (label.firstFrame < next)
      return frames(label.firstFrame, std::min(next, label.lastFrame + 1) - 1) + " of " + names[i] +
             " came before, in " + names[i - 1] + ": give each frame once, in order";
    next = label.lastFrame + 1;
  }
  if (next < first.frameCount)
    return frames(next, first.frameCount - 1) + (first.frameCount - next > 1 ? " are" : " is") +
           " missing, after " + names.back();
  return "";
}

int joinVideo(const JoinOptions& options, std::ostream& messages) {
  std::vector<std::unique_ptr<Piece>> pieces;
  std::vector<PieceLabel> labels;
  for (const std::string& name : options.pieces) {
    pieces.push_back(std::make_unique<Piece>());
    pieces.back()->name = name;
    if (!openPiece(*pieces.back(), messages)) {
      const int signal = caughtInterrupt();
      return signal != 0 ? interruptExitStatus(signal) : kStatusFatal;
    }
    labels.push_back(pieces.back()->label);
  }
  if (const std::string problem = pieceOrderProblem(options.pieces, labels); !problem.empty()) {
    messages << "cannot join: " << problem << "\n";
    return kStatusFatal;
  }
  const AVCodecParameters& video = *pieces.front()->video()->codecpar;
  for (const auto& piece : pieces) {
    if (!encodedAlike(video, *piece->video()->codecpar)) {
      messages << "cannot join: " << piece->name << " was encoded otherwise than " << pieces.front()->name << "\n";
      return kStatusFatal;
    }
  }
  const int fps = piecesFps(labels.front());
  if (fps == 0) {
    messages << pieces.front()->name << " is no piece made with --frames\n";
    return kStatusFatal;
  }
  const bool withTune = measureVideoTune(1, messages).has_value();
  if (const int signal = caughtInterrupt(); signal != 0) return interruptExitStatus(signal);
  std::unique_ptr<TuneStream> soundtrack;
  if (withTune) soundtrack = tuneForFrames(labels.front().frameCount, fps);

  VideoSettings settings;
  settings.width = video.width;
  settings.height = video.height;
  settings.fps = fps;
  settings.stopRequested = stopRequested;
  for (const auto& piece : pieces) settings.decodeDelay = std::max(settings.decodeDelay, piece->decodeDelay);
  VideoEncoder encoder;
  std::string error;
  const bool written = encoder.openCopy(options.videoFile, settings, video, std::move(soundtrack), error) &&
                       copyPieces(pieces, encoder, error) && encoder.finish(error);
  if (const int signal = caughtInterrupt(); signal != 0) {
    messages << "interrupted: no video written\n";
    return interruptExitStatus(signal);
  }
  if (!written) {
    messages << "cannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  }
  return kStatusOk;
}
