// The PPM reader: raw (P6) images.
//
// The header is read as the format has it: the magic, then width, height and
// maximum value separated by any white space and '#' comments (to the end of
// their line), then one white-space byte before the pixels. Words where a
// value should be are passed over to the end of their line.
//
// Besides a missing file and a wrong magic, the reader refuses, with one
// line on standard error and a null result, a header that ends before its
// third value, a maximum value above 255 (two-byte samples), a width or
// height below 1, a pixel byte count beyond int, a
// file with fewer pixel bytes than the header promises, and a failed
// allocation. It never allocates for pixels that are not there.
#include "glm_internal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ppm_detail {
namespace {

// Without a known file size the pixel block is read in growing chunks, so a
// header that promises gigabytes costs no more memory than the data present.
constexpr size_t kFirstChunk = size_t(1) << 20;

inline bool isWhite(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDecimal(int c) { return c >= '0' && c <= '9'; }

// Skips the rest of the line, its newline included.
void skipLine(FILE* file) {
  int c;
  while ((c = getc(file)) != EOF && c != '\n') {
  }
}

// Reads the next header value: white space and comments ('#' to the end of
// the line) before it are skipped, and so is, to the end of its line, text
// that is not a number (as a line of words or the "x3" of "2x3"). A value
// may carry a sign. Up to 18 digits it is exact; longer ones stop growing
// there, so that the caller can reject it. Leaves the byte after the digits
// unread; false at the end of the file.
bool readValue(FILE* file, long long& out) {
  for (;;) {
    int c = getc(file);
    if (c == EOF) return false;
    if (isWhite(c)) continue;
    if (c == '#') {
      skipLine(file);
      continue;
    }
    bool negative = c == '-';
    if (c == '-' || c == '+') {
      c = getc(file);
      if (!isDecimal(c)) {
        if (c != EOF && c != '\n') skipLine(file);
        continue;
      }
    }
    if (!isDecimal(c)) {
      skipLine(file);
      continue;
    }
    long long value = 0;
    for (; isDecimal(c); c = getc(file))
      if (value < 100000000000000000LL) value = value * 10 + (c - '0');
    if (c != EOF) ungetc(c, file);
    out = negative ? -value : value;
    return true;
  }
}

// Reads exactly `bytes` bytes (> 0) into a new malloc'ed buffer, or returns
// null with *truncated set (too little data) or clear (no memory). A regular
// file's remaining size is checked before anything is allocated.
GLubyte* readPixels(FILE* file, size_t bytes, bool* truncated) {
  *truncated = true;
  size_t capacity = bytes;
  size_t left;
  if (bytesLeft(file, left)) {
    if (left < bytes) return nullptr;
  } else if (capacity > kFirstChunk) {
    capacity = kFirstChunk;
  }
  GLubyte* pixels = static_cast<GLubyte*>(malloc(capacity));
  size_t got = 0;
  while (pixels) {
    got += fread(pixels + got, 1, capacity - got, file);
    if (got == bytes) return pixels;
    if (got < capacity) break;  // end of file or a read error
    capacity = capacity > bytes / 2 ? bytes : capacity * 2;
    GLubyte* grown = static_cast<GLubyte*>(realloc(pixels, capacity));
    if (!grown) {
      free(pixels);
      pixels = nullptr;
    } else {
      pixels = grown;
    }
  }
  if (pixels) {
    free(pixels);
    return nullptr;
  }
  *truncated = false;
  return nullptr;
}

}  // namespace
}  // namespace ppm_detail

GLubyte* glmReadPPM(const char* filename, int* width, int* height) {
  using namespace ppm_detail;
  GLM_ASSERT(filename);
  GLM_ASSERT(width);
  GLM_ASSERT(height);
  FILE* file = fopen(filename, "rb");
  if (!file) {
    emitMessage(stderr, "%s: %s", filename, strerror(errno));
    return nullptr;
  }
  if (getc(file) != 'P' || getc(file) != '6') {
    emitMessage(stderr, "%s: Not a raw PPM file", filename);
    fclose(file);
    return nullptr;
  }
  // A magic run on into other text ("P6x") is not followed by values: the
  // rest of its line is passed over.
  int next = getc(file);
  if (next != EOF && !isWhite(next) && next != '#')
    skipLine(file);
  else if (next != EOF)
    ungetc(next, file);

  // Width, height and maximum value, wherever they stand after the magic.
  long long values[3];
  for (long long& value : values) {
    if (!readValue(file, value)) {
      emitMessage(stderr, "%s: truncated PPM header", filename);
      fclose(file);
      return nullptr;
    }
  }
  // One white-space byte ends the header. What else follows the maximum
  // value on its line (a comment, a word) is header too, up to the newline.
  int after = getc(file);
  if (after != EOF && !isWhite(after)) skipLine(file);
  long long w = values[0], h = values[1];
  if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX || w * h > INT_MAX / 3) {
    emitMessage(stderr, "%s: bad PPM size %lld x %lld", filename, w, h);
    fclose(file);
    return nullptr;
  }

  // Every sample is returned as one byte, as it stands in the file: a
  // maximum above 255 means two-byte samples, which would come out garbled.
  if (values[2] > 255) {
    emitMessage(stderr, "%s: PPM maximum value %lld not supported (samples of one byte only)",
                filename, values[2]);
    fclose(file);
    return nullptr;
  }

  bool truncated;
  GLubyte* pixels = readPixels(file, size_t(w * h * 3), &truncated);
  fclose(file);
  if (!pixels) {
    if (truncated)
      emitMessage(stderr, "%s: PPM pixel data truncated", filename);
    else
      emitMessage(stderr, "%s: out of memory for %lld x %lld PPM pixels", filename, w, h);
    return nullptr;
  }
  *width = int(w);
  *height = int(h);
  return pixels;
}
