#include "render/BuiltinShaders.h"

#include "render/PathTraceShader.h"
#include "render/PathTraceShaderOneBounce.h"
#include "render/PrimaryRayShader.h"

const char* primaryRayFragmentSource() { return kPrimaryRayFragmentSource; }

const char* pathTraceFragmentSource(PathVariant variant) {
  return variant == PathVariant::OneBounce ? kPathTraceOneBounceFragmentSource
                                           : kPathTraceFragmentSource;
}
