// The shading ramp: reading a ramp file by the bundled run's rule or the
// checked one, spreading values over the texels, and finding the data files
// installed with the program.
#include "ramp.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Length of the decimal number at p ([sign]digits[.digits][exponent], at
// least one digit); 0 when p does not begin with one. Hexadecimal, inf and
// nan spellings are not decimal numbers.
size_t decimalLength(const char* p) {
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
  if (!any) return 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  return size_t(p - start);
}

// The leading decimal number of a ramp line (after blanks); 0 when the line
// does not begin with one.
float leadingNumber(const char* line) {
  while (isBlank(*line)) ++line;
  size_t length = decimalLength(line);
  if (length == 0) return 0.0f;
  char number[256];  // a line is at most 254 bytes
  memcpy(number, line, length);
  number[length] = '\0';
  return strtof(number, nullptr);
}

void setTexel(float texels[kRampSize][3], int i, float value) {
  texels[i][0] = texels[i][1] = texels[i][2] = value;
}

}  // namespace

bool readRamp(const char* file, float texels[kRampSize][3]) {
  memset(texels, 0, sizeof(float) * 3 * kRampSize);
  FILE* in = fopen(file, "r");
  if (!in) return false;
  char line[255];
  for (int i = 0; i < kRampSize; ++i) {
    if (feof(in)) break;
    // A read that finds nothing more is the end of the ramp, not a line.
    if (!fgets(line, sizeof line, in)) break;
    setTexel(texels, i, leadingNumber(line));
  }
  // A directory opens but cannot be read: that is no ramp either.
  bool read = !ferror(in);
  fclose(in);
  if (!read) memset(texels, 0, sizeof(float) * 3 * kRampSize);
  return read;
}

bool readCheckedRamp(const char* file, float texels[kRampSize][3], std::string& error) {
  auto fail = [&](long line, const char* what) {
    error = file;
    if (line > 0) error += ":" + std::to_string(line);
    error += std::string(": ") + what;
    return false;
  };
  FILE* in = fopen(file, "r");
  if (!in) return fail(0, "can't open shading ramp file");
  std::vector<float> values;
  char* text = nullptr;
  size_t capacity = 0;
  long number = 0;
  const char* wrong = nullptr;
  for (ssize_t n; !wrong && (n = getline(&text, &capacity, in)) >= 0;) {
    ++number;
    const char* p = text;
    if (number == 1 && strncmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;  // a byte-order mark
    const char* end = text + n;
    while (p < end && isBlank(*p)) ++p;
    if (p == end) continue;  // a blank line
    size_t length = decimalLength(p);
    const char* rest = p + length;
    while (rest < end && isBlank(*rest)) ++rest;
    double value = length ? strtod(std::string(p, length).c_str(), nullptr) : -1;
    if (length == 0 || rest != end || !(value >= 0 && value <= 1))
      wrong = "not a number from 0 to 1";
    else if (values.size() == kRampSize)
      wrong = "more than 32 values";
    else
      values.push_back(float(value));
  }
  free(text);
  const bool unreadable = ferror(in);
  fclose(in);
  if (unreadable) return fail(0, "can't open shading ramp file");
  if (wrong) return fail(number, wrong);
  if (values.empty()) return fail(0, "no values (one number from 0 to 1 per line)");
  spreadRamp(values, texels);
  return true;
}

void spreadRamp(const std::vector<float>& values, float texels[kRampSize][3]) {
  const size_t n = values.size();
  for (int i = 0; i < kRampSize; ++i) setTexel(texels, i, values[size_t(i) * n / kRampSize]);
}

std::string installedDataFile(const char* name) {
  static std::string dir;
  if (dir.empty()) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    dir = n > 0 ? std::string(self, size_t(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    // CELSHADE_DATA_FROM_BIN leads from the program's folder to its data.
    dir += CELSHADE_DATA_FROM_BIN "/";
  }
  return dir + name;
}
