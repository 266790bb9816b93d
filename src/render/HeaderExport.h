#pragma once

#include <string>

// Writing a fragment shader file out as the one-line C declaration that
// built-in shader texts once had. The comment stripping is deliberately
// naive (it knows nothing of GLSL syntax) so that the output of an edited
// file stays predictable.

// The file name with everything from the first ".glsl" on removed; the whole
// name when it holds no ".glsl".
std::string headerStem(const std::string& fileName);

// Line comments first, each to (not including) its newline, then block
// comments through their closing "*/". A comment left open at the end of the
// text is removed to the end.
std::string stripComments(std::string text);

// "const char <stem>[]= {\"<text>\"};" with every newline of the
// comment-free text written as a space and the escape backslash-n.
std::string headerDeclaration(const std::string& stem, const std::string& source);

// Writes <stem>.h next to the working directory's view of fragmentFile.
// Returns false when the header cannot be created; callers stay silent then.
bool exportHeader(const std::string& fragmentFile, const std::string& source);
