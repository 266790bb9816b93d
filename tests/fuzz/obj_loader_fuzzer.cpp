// libFuzzer target: any bytes as an OBJ file, loaded first into an empty
// scene and then after another file. Malformed lines come back as statuses,
// so a refused file is an ordinary outcome here; a crash, a sanitizer report
// or a broken property (see ObjLoadCheck.h) is a finding.
#include <cstdio>
#include <cstdlib>

#include "fuzz/ObjLoadCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzcheck::ScratchFile file(".obj");
  const std::string failure = fuzzcheck::checkObjLoad(file, data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "OBJ loader property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
