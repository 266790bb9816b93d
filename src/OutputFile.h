#pragma once

#include <cstddef>
#include <string>

// The programs' output files (stills, videos) grow under a temporary name
// beside their target and take its name only when complete: a failed or
// interrupted run leaves no torn file behind and the earlier one untouched.

// The mkstemp pattern of the temporary file for `path`: the same folder and
// the same name with ".part-XXXXXX" added, the name cut short (at a
// character boundary) where the whole would pass `nameMax` bytes, so that a
// target whose own name fits always gets a temporary one.
std::string temporaryPatternFor(const std::string& path, size_t nameMax);

// Creates an empty file beside `path` (the same folder, so the final rename
// cannot cross file systems) with a name no other run uses and the
// permissions of any other file the user writes. False with the system's
// reason.
bool createTemporaryBeside(const std::string& path, std::string& temporary, std::string& error);

// What an output name stands for, its links followed.
struct OutputTarget {
  // Where the finished file takes its name: the end of any chain of
  // symbolic links, so that the links stay and lead to the new content.
  std::string file;
  bool exists = false;
  // A device, pipe or socket: it can only be written in place, and is
  // never replaced by a file.
  bool stream = false;
  unsigned mode = 0;  // permission bits of the existing file
};

// Looks at `path` without changing anything. False with the reason when it
// is a folder or its links cannot be followed.
bool findOutputTarget(const std::string& path, OutputTarget& target, std::string& error);

// As createTemporaryBeside, beside the target's file; a replacement keeps
// the permission bits of the file it replaces.
bool createTemporaryFor(const OutputTarget& target, std::string& temporary, std::string& error);

// Whether `path` names this process's standard output: "-", or any name
// of the file, pipe or device that standard output is.
bool namesStandardOutput(const std::string& path);

// Whether a file can be written at `path`, asked before any work is done so
// that a wrong name does not cost a whole rendering: not a folder, not a
// file the user may not write or made read-only, and a temporary file can
// be made beside it (else the folder is named). A device or pipe passes: it
// is written in place. False with the reason.
bool checkOutputTarget(const std::string& path, std::string& error);

// As checkOutputTarget for an MP4, which must be a regular file: its index
// is written at its front once the frames are in. A device or pipe is
// refused.
bool checkMp4OutputTarget(const std::string& path, std::string& error);
