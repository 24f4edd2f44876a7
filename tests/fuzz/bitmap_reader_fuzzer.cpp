// libFuzzer entry for the BMP reader: any check that fails is reported as a crash.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string violation = checkBitmapInput(data, size);
  if (!violation.empty()) {
    std::fprintf(stderr, "bitmap reader check failed: %s\n", violation.c_str());
    std::abort();
  }
  return 0;
}
