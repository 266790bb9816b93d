#pragma once

#include "render/PathVariant.h"

// The fragment shaders compiled into the programs. Their texts are generated
// from src/render/shaders/*.glsl at build time. The one-bounce path tracer is
// the same text with pathTraceDefine defined after its #version line, made
// here as F5 makes it from the file.
const char* primaryRayFragmentSource();
const char* pathTraceFragmentSource(PathVariant variant);

// What the variant defines in the path-tracing text; null for the two-bounce
// one, which is the text as it stands.
const char* pathTraceDefine(PathVariant variant);
