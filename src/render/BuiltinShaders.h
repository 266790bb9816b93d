#pragma once

#include "render/PathVariant.h"

// The fragment shaders compiled into the programs. Their texts are generated
// from src/render/shaders/*.glsl at build time; the one-bounce path tracer
// is the same file with ONE_BOUNCE defined after its #version line.
const char* primaryRayFragmentSource();
const char* pathTraceFragmentSource(PathVariant variant);
