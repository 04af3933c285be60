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

// The header: "P6" (a magic run on into other text loses the rest of its
// line), then three integers, each after white space, '#' comments to the
// end of their line, and words that also run to the end of their line.
// One white-space byte after the third ends the header; other text after
// it runs to its line end. Accepted: three values before the data ends, a
// positive size whose byte count fits an int, a maximum value of at most
// 255, and that many bytes after the header.
Expected reference(const uint8_t* data, size_t size) {
  Expected e;
  if (size < 2 || data[0] != 'P' || data[1] != '6') return e;
  auto white = [](uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  size_t at = 2;
  auto toLineEnd = [&] {
    while (at < size && data[at] != '\n') at++;
    if (at < size) at++;
  };
  if (at < size && !white(data[at]) && data[at] != '#') toLineEnd();
  long long values[3];
  for (long long& value : values) {
    for (;;) {
      if (at >= size) return e;
      const uint8_t c = data[at];
      if (white(c)) {
        at++;
      } else if (digit(c) || ((c == '-' || c == '+') && at + 1 < size && digit(data[at + 1]))) {
        break;
      } else if (c == '-' || c == '+') {
        at++;  // a sign without digits: a word, whose line goes on from here
        if (at < size && data[at] != '\n') toLineEnd();
      } else {
        toLineEnd();
      }
    }
    const bool negative = data[at] == '-';
    if (!digit(data[at])) at++;
    long long v = 0;
    for (; at < size && digit(data[at]); at++) v = std::min(v * 10 + (data[at] - '0'), 1LL << 40);
    value = negative ? -v : v;
  }
  if (at < size) {
    if (white(data[at]))
      at++;
    else
      toLineEnd();
  }
  e.width = values[0];
  e.height = values[1];
  e.offset = at;
  e.ok = e.width > 0 && e.height > 0 && e.width <= INT_MAX && e.height <= INT_MAX &&
         e.width * e.height <= INT_MAX / 3 && values[2] <= 255 &&
         size - at >= size_t(e.width * e.height * 3);
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
