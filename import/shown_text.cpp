// Text the programs show: bytes from files escaped, numbers grouped, and
// warnings shown once each with their repeats counted.
#include "shown_text.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 character of two or more bytes at p (n
// bytes left), 0 when there is none: no overlong forms, no surrogates,
// nothing above U+10FFFF, no C1 controls.
size_t utf8Length(const unsigned char* p, size_t n) {
  auto continuation = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  if (p[0] >= 0xC2 && p[0] <= 0xDF && continuation(1))
    return p[0] == 0xC2 && p[1] < 0xA0 ? 0 : 2;  // U+0080..U+009F are controls
  if (p[0] >= 0xE0 && p[0] <= 0xEF && continuation(1) && continuation(2)) {
    if (p[0] == 0xE0 && p[1] < 0xA0) return 0;   // overlong
    if (p[0] == 0xED && p[1] >= 0xA0) return 0;  // surrogates
    return 3;
  }
  if (p[0] >= 0xF0 && p[0] <= 0xF4 && continuation(1) && continuation(2) && continuation(3)) {
    if (p[0] == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (p[0] == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (p[i] >= 0x20 && p[i] < 0x7F) {
      out += char(p[i++]);
      continue;
    }
    if (size_t length = p[i] >= 0x80 ? utf8Length(p + i, n - i) : 0) {
      out.append(text.data() + i, length);
      i += length;
      continue;
    }
    char escaped[5];
    snprintf(escaped, sizeof escaped, "\\x%02x", p[i++]);
    out += escaped;
  }
  return out;
}

std::string groupedDigits(unsigned long long n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); i++) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

void WarningTally::add(const std::string& message) {
  auto [at, added] = index_.emplace(message, made_.size());
  if (added)
    made_.emplace_back(message, 0);
  else
    made_[at->second].second++;
}

void WarningTally::flush() {
  for (; shown_ < made_.size(); shown_++) {
    fprintf(stderr, "%s%s\n", prefix_.c_str(), made_[shown_].first.c_str());
    if (made_[shown_].second)
      fprintf(stderr, "%s(%s more like it)\n", prefix_.c_str(),
              groupedDigits(made_[shown_].second).c_str());
  }
}
