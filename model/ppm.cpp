// The PPM reader: raw (P6) images.
//
// Besides a missing file and a wrong magic, the reader refuses, with one
// line on standard error and a null result, a header that ends before its
// third value, a width or height below 1, a pixel byte count beyond int, a
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

// Header lines are read in pieces of at most 69 bytes; a longer line goes on
// as a piece of its own.
constexpr int kPieceSize = 70;
// Without a known file size the pixel block is read in growing chunks, so a
// header that promises gigabytes costs no more memory than the data present.
constexpr size_t kFirstChunk = size_t(1) << 20;

// Scans up to `want` decimal integers from the start of `s` the way
// sscanf's "%d %d %d" (or "%d %d", "%d") does: each may follow white space
// and carry a sign, and the scan stops at the first text that is not an
// integer. Returns how many were converted. Unlike sscanf, a value beyond
// int neither wraps nor is undefined: up to 18 digits it is exact, longer
// ones stop growing there, so the caller can reject it.
int scanInts(const char* s, int want, long long* out) {
  int got = 0;
  while (got < want) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) s++;
    bool negative = *s == '-';
    if (*s == '-' || *s == '+') s++;
    if (*s < '0' || *s > '9') break;
    long long value = 0;
    for (; *s >= '0' && *s <= '9'; s++)
      if (value < 100000000000000000LL) value = value * 10 + (*s - '0');
    out[got++] = negative ? -value : value;
  }
  return got;
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
  char piece[kPieceSize];
  if (!fgets(piece, sizeof piece, file) || strncmp(piece, "P6", 2) != 0) {
    emitMessage(stderr, "%s: Not a raw PPM file", filename);
    fclose(file);
    return nullptr;
  }

  // Width, height and maximum value, in that order, from as many lines as
  // they take; comment lines and lines without a leading number supply none.
  long long values[3];
  int n = 0;
  while (n < 3) {
    if (!fgets(piece, sizeof piece, file)) {
      emitMessage(stderr, "%s: truncated PPM header", filename);
      fclose(file);
      return nullptr;
    }
    if (piece[0] == '#') continue;
    n += scanInts(piece, 3 - n, values + n);
  }
  // The maximum value is not used: every sample is one byte.
  long long w = values[0], h = values[1];
  if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX || w * h > INT_MAX / 3) {
    emitMessage(stderr, "%s: bad PPM size %lld x %lld", filename, w, h);
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
