#include "render/BuiltinShaders.h"

#include <string>

#include "render/PathTraceShader.h"
#include "render/PrimaryRayShader.h"
#include "render/ProgramBuilder.h"

const char* primaryRayFragmentSource() { return kPrimaryRayFragmentSource; }

const char* pathTraceFragmentSource(PathVariant variant) {
  if (variant == PathVariant::TwoBounce) return kPathTraceFragmentSource;
  static const std::string oneBounce =
      defineAfterVersion(kPathTraceFragmentSource, pathTraceDefine(PathVariant::OneBounce));
  return oneBounce.c_str();
}

const char* pathTraceDefine(PathVariant variant) {
  return variant == PathVariant::OneBounce ? "ONE_BOUNCE" : nullptr;
}
