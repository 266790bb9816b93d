#pragma once

#include <string>

// An MP4 file is a row of boxes, each headed by its size and type, that
// fill the file exactly. A copy cut short ends inside its last box, and
// FFmpeg, which finds the frames through the index at the front, may not
// notice where the frames end.

// What is wrong with the boxes of the MP4 file open at `fd`, as words that
// follow its name ("ends inside its mdat box, 694 bytes short"); empty when
// they fill the file, or when it does not begin as an MP4 does (with an
// "ftyp" box), which the reader then judges.
std::string mp4BoxProblem(int fd);
