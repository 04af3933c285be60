// The shading ramp: reading a ramp file, and finding the one installed with
// the program.
#include "scene.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The leading decimal number of a ramp line ([blanks][sign]digits[.digits]
// [exponent]); 0 when the line does not begin with one. Hexadecimal, inf and
// nan spellings are not decimal numbers and give 0.
static float leadingNumber(const char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  bool any = p != digits;
  if (*p == '.') {
    ++p;
    const char* fraction = p;
    while (*p >= '0' && *p <= '9') ++p;
    any = any || p != fraction;
  }
  if (!any) return 0.0f;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  char number[256];
  size_t length = (size_t)(p - start);  // a line is at most 254 bytes
  memcpy(number, start, length);
  number[length] = '\0';
  return strtof(number, nullptr);
}

bool readRamp(const char* file, float texels[kRampSize][3]) {
  memset(texels, 0, sizeof(float) * 3 * kRampSize);
  FILE* in = fopen(file, "r");
  if (!in) return false;
  char line[255];
  for (int i = 0; i < kRampSize; ++i) {
    if (feof(in)) break;
    // A read that finds nothing more is the end of the ramp, not a line.
    if (!fgets(line, sizeof line, in)) break;
    texels[i][0] = texels[i][1] = texels[i][2] = leadingNumber(line);
  }
  // A directory opens but cannot be read: that is no ramp either.
  bool read = !ferror(in);
  fclose(in);
  if (!read) memset(texels, 0, sizeof(float) * 3 * kRampSize);
  return read;
}

const char* installedRampFile() {
  static std::string path;
  if (path.empty()) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    // CELSHADE_DATA_FROM_BIN leads from the program's folder to its data; the
    // build tree has the same layout as an installation.
    path = dir + CELSHADE_DATA_FROM_BIN "/Shader.txt";
  }
  return path.c_str();
}
