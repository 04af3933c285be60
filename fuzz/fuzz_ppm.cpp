// libFuzzer harness for glmReadPPM. The input becomes the contents of an
// anonymous in-memory file that the reader opens by its /proc name. A plain
// reference parse of the same bytes says what the reader must return: the
// image (size and the exact pixel bytes) or null.
#include <glm.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"

namespace {

// One in-memory file, rewritten for every input.
int file = -1;
char path[64];

// The image a correct reader finds in the bytes.
struct Expected {
  bool ok = false;
  long long width = 0, height = 0;
  size_t offset = 0;  // where the pixel bytes begin
};

// Header lines come in pieces of at most 69 bytes (a newline ends one early);
// the header values are integers at the start of a piece read as a C string.
// Accepted: three values found before the data ends, a positive size whose
// byte count fits an int, and that many bytes after the header.
Expected reference(const uint8_t* data, size_t size) {
  Expected e;
  size_t at = 0;
  // Next piece [begin, at); false at the end of the data.
  auto piece = [&](size_t& begin) {
    if (at >= size) return false;
    begin = at;
    while (at < size && at - begin < 69)
      if (data[at++] == '\n') break;
    return true;
  };
  size_t begin;
  if (!piece(begin) || at - begin < 2 || data[begin] != 'P' || data[begin + 1] != '6') return e;
  long long values[3];
  int n = 0;
  while (n < 3) {
    if (!piece(begin)) return e;
    if (data[begin] == '#') continue;
    size_t p = begin;
    while (n < 3) {
      while (p < at && (data[p] == ' ' || (data[p] >= '\t' && data[p] <= '\r'))) p++;
      bool negative = p < at && data[p] == '-';
      if (p < at && (data[p] == '-' || data[p] == '+')) p++;
      if (p >= at || data[p] < '0' || data[p] > '9') break;
      long long v = 0;
      for (; p < at && data[p] >= '0' && data[p] <= '9'; p++) v = std::min(v * 10 + (data[p] - '0'), 1LL << 40);
      values[n++] = negative ? -v : v;
    }
  }
  e.width = values[0];
  e.height = values[1];
  e.offset = at;
  e.ok = e.width > 0 && e.height > 0 && e.width <= INT_MAX && e.height <= INT_MAX &&
         e.width * e.height <= INT_MAX / 3 && size - at >= size_t(e.width * e.height * 3);
  return e;
}

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
  Expected expected = reference(data, size);
  FUZZ_CHECK((pixels != nullptr) == expected.ok);
  if (!pixels) {
    FUZZ_CHECK(width == -7 && height == -9);  // outputs untouched on failure
    return 0;
  }
  FUZZ_CHECK(width == expected.width && height == expected.height);
  FUZZ_CHECK(memcmp(pixels, data + expected.offset, size_t(width) * size_t(height) * 3) == 0);
  free(pixels);
  return 0;
}
