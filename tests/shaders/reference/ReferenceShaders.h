#pragma once

#include "render/PathVariant.h"

// The ray-tracing fragment shaders as they were before the march was made
// faster: every cell is found by a descent from the root, every texel
// lookup asks for its texture's size. The built-in shaders must produce the
// same outputs, texel for texel; these texts are what they are held to.
const char* referencePrimaryRayFragmentSource();
const char* referencePathTraceFragmentSource(PathVariant variant);
