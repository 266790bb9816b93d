#include "ReferenceShaders.h"

#include <string>

#include "reference/PathTraceShader.h"
#include "reference/PrimaryRayShader.h"
#include "render/BuiltinShaders.h"
#include "render/ProgramBuilder.h"

const char* referencePrimaryRayFragmentSource() { return kReferencePrimaryRayFragmentSource; }

// The one-bounce variant is made as the programs make theirs.
const char* referencePathTraceFragmentSource(PathVariant variant) {
  if (variant == PathVariant::TwoBounce) return kReferencePathTraceFragmentSource;
  static const std::string oneBounce = defineAfterVersion(
      kReferencePathTraceFragmentSource, pathTraceDefine(PathVariant::OneBounce));
  return oneBounce.c_str();
}
