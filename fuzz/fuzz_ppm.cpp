// libFuzzer harness for glmReadPPM. The input becomes the contents of an
// anonymous in-memory file that the reader opens by its /proc name.
#include <glm.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"

namespace {

// One in-memory file, rewritten for every input.
int file = -1;
char path[64];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzKeepReport();
  file = memfd_create("fuzz.ppm", 0);
  FUZZ_CHECK(file >= 0);
  snprintf(path, sizeof path, "/proc/self/fd/%d", file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_CHECK(ftruncate(file, 0) == 0);
  FUZZ_CHECK(pwrite(file, data, size, 0) == ssize_t(size));

  int width = -7, height = -9;
  GLubyte* pixels = glmReadPPM(path, &width, &height);
  if (!pixels) {
    FUZZ_CHECK(width == -7 && height == -9);  // outputs untouched on failure
    return 0;
  }
  FUZZ_CHECK(width > 0 && height > 0);
  size_t bytes = size_t(width) * size_t(height) * 3;
  // The pixels are bytes of the file, taken as they are: they must appear in
  // the input (which also reads every byte of the buffer).
  FUZZ_CHECK(bytes <= size);
  FUZZ_CHECK(memmem(data, size, pixels, bytes) != nullptr);
  free(pixels);
  return 0;
}
