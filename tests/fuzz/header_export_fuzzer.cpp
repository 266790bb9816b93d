// libFuzzer target: any bytes as a fragment file name and shader text for
// the header export (see HeaderExportCheck.h for what must hold).
#include <cstdio>
#include <cstdlib>

#include "fuzz/HeaderExportCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzcheck::ScratchFolder folder;
  const std::string failure = fuzzcheck::checkHeaderExport(folder.path(), data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "header export property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
