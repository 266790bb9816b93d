#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "render_tool/VideoOptions.h"
#include "render_tool/VideoRenderer.h"

// What is wrong with pieces given in this order, as one line naming the
// piece (and the frames) at fault; empty when they make one whole video:
// each of the same video and rendered from the same files, the first from
// frame 0, each going on where the one before stopped, the last at the
// video's end.
std::string pieceOrderProblem(const std::vector<std::string>& names, const std::vector<PieceLabel>& labels);

// Joins the pieces of options.pieces into options.videoFile: their frames
// copied as they are, the tune fitted to the whole length and encoded once,
// written as --video writes (temporary name, index in front). The pieces
// are read one after another, each checked whole (every frame its label
// says, read to its last byte) before anything is written; the video may
// not be one of them. Returns
// kStatusOk, kStatusFatal after a message, or on Ctrl+C or kill the
// signal's status, with nothing left behind.
int joinVideo(const JoinOptions& options, std::ostream& messages);
