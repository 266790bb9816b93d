#include "render_tool/VideoJoin.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>

#include "ExitStatus.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "app/Interrupt.h"
#include "video/FfmpegHandles.h"
#include "video/Mp4Boxes.h"
#include "video/RegularInput.h"
#include "video/VideoEncoder.h"

namespace {

struct CodecParametersFreer {
  void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using CodecParameters = std::unique_ptr<AVCodecParameters, CodecParametersFreer>;

// What the first reading of a piece found. The piece is closed after it,
// and opened again only to be copied, so that a join of a thousand
// one-frame pieces holds one open at a time.
struct Piece {
  std::string name;
  PieceLabel label;
  CodecParameters video;
  long long frames = 0;  // read whole, not as the index says
  int decodeDelay = 0;   // frames its first frame is decoded before it is shown
  // How long its frames are shown, in seconds as num/den: the first one's,
  // or {0, 1} when they differ.
  AVRational frameTime = {0, 1};
};

bool stopRequested() { return caughtInterrupt() != 0; }

std::string frames(int first, int last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

struct LabelFormat {
  int width = 0, height = 0, fps = 0;
};

// "768x512 at 30 fps, ..." gives 768, 512 and 30; nothing for a label that
// says otherwise.
std::optional<LabelFormat> labelFormat(const PieceLabel& label) {
  LabelFormat format;
  if (std::sscanf(label.video.c_str(), "%dx%d at %d fps", &format.width, &format.height, &format.fps) != 3 ||
      format.fps < 1 || format.fps > kMaxVideoFps)
    return std::nullopt;
  return format;
}

int piecesFps(const PieceLabel& label) {
  const std::optional<LabelFormat> format = labelFormat(label);
  return format ? format->fps : 0;
}

// Seconds as a text, "0.125".
std::string secondsText(AVRational seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", av_q2d(seconds));
  return text;
}

// The frames are copied with the times the label's rate gives them, and
// the joined file announces the size and codec of the first piece: a label
// that says otherwise than the stream (changed by hand, or by a tool that
// rewrote the file) would make a video whose picture and sound part ways.
bool streamMatchesLabel(const Piece& piece, std::ostream& messages) {
  const std::optional<LabelFormat> format = labelFormat(piece.label);
  if (!format) {
    messages << piece.name << " is no piece made with --frames\n";
    return false;
  }
  const AVCodecParameters& video = *piece.video;
  std::string problem;
  if (video.codec_id != AV_CODEC_ID_H264) {
    problem = "its video is not H.264";
  } else if (video.width != format->width || video.height != format->height) {
    problem = "its video is " + std::to_string(video.width) + "x" + std::to_string(video.height) + ", not " +
              std::to_string(format->width) + "x" + std::to_string(format->height);
  } else if (piece.frameTime.num == 0) {
    problem = "its frames are not all shown for the same time";
  } else if (av_cmp_q(piece.frameTime, AVRational{1, format->fps}) != 0) {
    problem = "its frames are shown for " + secondsText(piece.frameTime) + " s each, not 1/" +
              std::to_string(format->fps) + " s";
  }
  if (problem.empty()) return true;
  const std::string said = piece.label.video.substr(0, piece.label.video.find(','));
  messages << "cannot join: " << piece.name << " says it is " << said << ", but " << problem << ": render it again\n";
  return false;
}

bool cannotRead(const std::string& name, const std::string& error, std::ostream& messages) {
  if (caughtInterrupt() == 0) messages << "cannot read the piece " << name << ": " << error << "\n";
  return false;
}

bool damaged(const std::string& name, const std::string& how, std::ostream& messages) {
  messages << name << " is damaged or cut short: " << how << ": render it again\n";
  return false;
}

// The boxes are looked at before FFmpeg reads: a copy cut short would
// otherwise be named by whatever part of it FFmpeg misses first.
std::string boxProblem(const std::string& name) {
  std::string ignored;
  const int fd = openRegularFile(name, ignored);
  if (fd < 0) return "";  // the opening that follows says why
  const std::string problem = mp4BoxProblem(fd);
  close(fd);
  return problem;
}

// A frame counts when all its bytes were read: the index at the front
// promises every frame, and a copy cut short lacks the last ones, or has
// the last one in part.
bool wholeFrame(const AVPacket& packet, AVStream* video, long long index) {
  const AVIndexEntry* entry = avformat_index_get_entry(video, static_cast<int>(index));
  return !(packet.flags & AV_PKT_FLAG_CORRUPT) && (!entry || entry->size == packet.size);
}

void noteFrameTime(Piece& piece, int64_t duration, AVRational timeBase) {
  AVRational shown = {0, 1};
  if (duration > 0 && duration <= INT_MAX) shown = av_mul_q(AVRational{static_cast<int>(duration), 1}, timeBase);
  if (piece.frames == 0) piece.frameTime = shown;
  else if (av_cmp_q(piece.frameTime, shown) != 0) piece.frameTime = {0, 1};
}

// Reads every frame of the piece, counting those that are whole; the first
// one, the key frame shown first, tells how far the decoding runs ahead.
bool countFrames(RegularInput& input, int stream, Piece& piece, std::string& error) {
  Packet packet(av_packet_alloc());
  if (!packet) {
    error = "out of memory";
    return false;
  }
  AVStream* video = input.format()->streams[stream];
  const AVRational frameTime = {1, std::max(piecesFps(piece.label), 1)};
  int code = 0;
  bool whole = true;
  while (whole && (code = av_read_frame(input.format(), packet.get())) >= 0) {
    if (packet->stream_index == stream) {
      whole = wholeFrame(*packet, video, piece.frames);
      if (whole && piece.frames == 0 && packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE)
        piece.decodeDelay = static_cast<int>(av_rescale_q(packet->pts - packet->dts, video->time_base, frameTime));
      if (whole) noteFrameTime(piece, packet->duration, video->time_base);
      if (whole) ++piece.frames;
    }
    av_packet_unref(packet.get());
  }
  if (!whole || code == AVERROR_EOF) return true;
  error = stopRequested() ? "interrupted" : ffmpegError(code);
  return false;
}

bool readPiece(Piece& piece, std::ostream& messages) {
  const std::string cut = boxProblem(piece.name);
  RegularInput input;
  std::string error;
  if (!input.open(piece.name, stopRequested, error)) {
    if (!cut.empty() && caughtInterrupt() == 0) return damaged(piece.name, "it " + cut, messages);
    return cannotRead(piece.name, error, messages);
  }
  AVFormatContext* format = input.format();
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVDictionaryEntry* comment = av_dict_get(format->metadata, "comment", nullptr, 0);
  if (stream < 0 || !comment || !readPieceComment(comment->value, piece.label)) {
    if (!cut.empty()) return damaged(piece.name, "it " + cut, messages);
    messages << piece.name << " is no piece made with --frames\n";
    return false;
  }
  if (piece.label.files.empty()) {
    messages << piece.name << " was made by an earlier xmastrace_render, whose pieces do not say which files "
             << "they were rendered from: render it again\n";
    return false;
  }
  piece.video.reset(avcodec_parameters_alloc());
  if (!piece.video || avcodec_parameters_copy(piece.video.get(), format->streams[stream]->codecpar) < 0)
    return cannotRead(piece.name, "out of memory", messages);
  if (!countFrames(input, stream, piece, error)) {
    if (caughtInterrupt() != 0) return false;
    return damaged(piece.name, cut.empty() ? error : "it " + cut, messages);
  }
  const int first = piece.label.firstFrame, last = piece.label.lastFrame;
  const long long held = piece.frames, said = last - first + 1;
  const std::string count = "it holds " + std::to_string(held) + " frames, not the " + std::to_string(said) +
                            " of its " + frames(first, last);
  if (held < said)
    return damaged(piece.name, count + " (" + frames(first + static_cast<int>(held), last) + " missing)", messages);
  if (!cut.empty()) return damaged(piece.name, "it " + cut, messages);
  if (held > said) {
    messages << piece.name << " holds " << held << " frames, not the " << said << " of its " << frames(first, last)
             << ": render it again\n";
    return false;
  }
  return streamMatchesLabel(piece, messages);
}

// Concatenated packets play only where every piece's decoder set-up is the
// one the joined file announces.
bool encodedAlike(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_id == b.codec_id && a.width == b.width && a.height == b.height && a.format == b.format &&
         a.extradata_size == b.extradata_size &&
         (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, static_cast<size_t>(a.extradata_size)) == 0);
}

// The piece opened again, its frames copied; they must be those the first
// reading counted, or the file changed in between.
bool copyPiece(const Piece& piece, VideoEncoder& encoder, std::string& error) {
  RegularInput input;
  if (!input.open(piece.name, stopRequested, error)) {
    error = "the piece " + piece.name + ": " + error;
    return false;
  }
  const int stream = av_find_best_stream(input.format(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  Packet packet(av_packet_alloc());
  if (stream < 0 || !packet) {
    error = "the piece " + piece.name + " changed while it was joined";
    return false;
  }
  const AVRational timeBase = input.format()->streams[stream]->time_base;
  long long copied = 0;
  while (copied < piece.frames && av_read_frame(input.format(), packet.get()) >= 0) {
    const bool ours = packet->stream_index == stream;
    const bool added = !ours || encoder.addPacket(*packet, timeBase.num, timeBase.den, piece.label.firstFrame, error);
    av_packet_unref(packet.get());
    if (!added) return false;
    if (ours) ++copied;
    if (stopRequested()) {
      error = "interrupted";
      return false;
    }
  }
  if (copied == piece.frames) return true;
  error = "the piece " + piece.name + " changed while it was joined";
  return false;
}

bool copyPieces(const std::vector<Piece>& pieces, VideoEncoder& encoder, std::string& error) {
  for (const Piece& piece : pieces) {
    if (!copyPiece(piece, encoder, error)) return false;
  }
  return true;
}

// The piece that the video to write already is (the same file under any
// name, through links too), or empty.
std::string pieceWritten(const JoinOptions& options) {
  struct stat video;
  if (stat(options.videoFile.c_str(), &video) != 0) return "";
  for (const std::string& name : options.pieces) {
    struct stat piece;
    if (stat(name.c_str(), &piece) == 0 && piece.st_dev == video.st_dev && piece.st_ino == video.st_ino) return name;
  }
  return "";
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
    if (label.files != first.files)
      return names[i] + " was rendered from other files (the room, the shaders or the tune) than " + names[0] +
             ": render every piece in the same run/ with the same program";
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
  // Before any piece is read: the video must not replace one of them, and
  // a target it cannot be written to is told at once.
  if (const std::string piece = pieceWritten(options); !piece.empty()) {
    messages << "cannot join: the video to write, " << options.videoFile << ", is the piece " << piece << "\n";
    return kStatusFatal;
  }
  if (std::string error; !checkMp4OutputTarget(options.videoFile, error)) {
    messages << "cannot write " << options.videoFile << ": " << error << "\n";
    return kStatusFatal;
  }
  std::vector<Piece> pieces(options.pieces.size());
  std::vector<PieceLabel> labels;
  for (size_t i = 0; i < pieces.size(); ++i) {
    pieces[i].name = options.pieces[i];
    if (!readPiece(pieces[i], messages)) {
      const int signal = caughtInterrupt();
      return signal != 0 ? interruptExitStatus(signal) : kStatusFatal;
    }
    labels.push_back(pieces[i].label);
  }
  if (const std::string problem = pieceOrderProblem(options.pieces, labels); !problem.empty()) {
    messages << "cannot join: " << problem << "\n";
    return kStatusFatal;
  }
  const AVCodecParameters& video = *pieces.front().video;
  for (const Piece& piece : pieces) {
    if (!encodedAlike(video, *piece.video)) {
      messages << "cannot join: " << piece.name << " was encoded otherwise than " << pieces.front().name << "\n";
      return kStatusFatal;
    }
  }
  const int fps = piecesFps(labels.front());
  if (fps == 0) {
    messages << pieces.front().name << " is no piece made with --frames\n";
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
  for (const Piece& piece : pieces) settings.decodeDelay = std::max(settings.decodeDelay, piece.decodeDelay);
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
