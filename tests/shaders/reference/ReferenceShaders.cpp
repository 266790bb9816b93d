#include "ReferenceShaders.h"

#include "reference/PathTraceShader.h"
#include "reference/PathTraceShaderOneBounce.h"
#include "reference/PrimaryRayShader.h"

const char* referencePrimaryRayFragmentSource() { return kReferencePrimaryRayFragmentSource; }

const char* referencePathTraceFragmentSource(PathVariant variant) {
  return variant == PathVariant::OneBounce ? kReferencePathTraceOneBounceFragmentSource
                                           : kReferencePathTraceFragmentSource;
}
