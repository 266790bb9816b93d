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

// An existing device or pipe (/dev/stdout, a FIFO): written in place, since
// it cannot be replaced by a file.
bool writesInPlace(const std::string& path);

// Whether a file can be written at `path`, asked before any work is done so
// that a wrong name does not cost a whole rendering: not a folder, not a
// file or device the user may not write, and a temporary file can be made
// beside it. False with the reason.
bool checkOutputTarget(const std::string& path, std::string& error);
