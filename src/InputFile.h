#pragma once

#include <string>

// The demo's input files (meshes, shaders, music) must be regular files. A
// FIFO blocks the open until someone writes to it, a device such as
// /dev/zero reads without end, and a directory opens but holds no text: each
// counts as a missing file, with that file's own message.

// A descriptor open for reading on the regular file at `path`, or -1. The
// caller closes it.
int openRegularFile(const std::string& path);

// As above, with the reason when it gives -1: "missing, or not a regular
// file", or the system's own words for anything else (too many open files,
// a permission, a disk error).
int openRegularFile(const std::string& path, std::string& error);

// The whole content of the regular file at `path`; false, with `content`
// untouched, when there is no such file or it cannot be read or held.
bool readRegularFile(const std::string& path, std::string& content);
