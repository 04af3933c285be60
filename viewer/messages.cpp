// The viewer's messages: escaping text from files and passing on the
// library's warnings.
#include "messages.h"

#include <glm.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Length of the well-formed UTF-8 character of two or more bytes at p (n
// bytes left), 0 when there is none: no overlong forms, no surrogates,
// nothing above U+10FFFF, no C1 controls.
size_t utf8Length(const unsigned char* p, size_t n) {
  auto continuation = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  if (p[0] >= 0xC2 && p[0] <= 0xDF && continuation(1))
    return p[0] == 0xC2 && p[1] < 0xA0 ? 0 : 2;  // U+0080..U+009F are controls
  if (p[0] >= 0xE0 && p[0] <= 0xEF && continuation(1) && continuation(2)) {
    if (p[0] == 0xE0 && p[1] < 0xA0) return 0;  // overlong
    if (p[0] == 0xED && p[1] >= 0xA0) return 0;  // surrogates
    return 3;
  }
  if (p[0] >= 0xF0 && p[0] <= 0xF4 && continuation(1) && continuation(2) && continuation(3)) {
    if (p[0] == 0xF0 && p[1] < 0x90) return 0;  // overlong
    if (p[0] == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
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

void refuse(const std::string& message) {
  fprintf(stderr, "%s\n", printable(message).c_str());
  exit(1);
}

MessageRelay::MessageRelay() {
  glmSetMessageHandler([](void* user, const char* m) { static_cast<MessageRelay*>(user)->take(m); },
                       this);
}

MessageRelay::~MessageRelay() {
  glmSetMessageHandler(nullptr, nullptr);
  flush();
}

void MessageRelay::take(const char* message) {
  std::string line = printable(message);
  if (line.find(": can't open material library \"") != std::string::npos) {
    libraryMissing_ = true;
    line += "; drawing with the default material";
  } else if (libraryMissing_ && startsWith(line, "glmFindMaterial():")) {
    return;
  }
  if (line == last_) {
    ++more_;
    return;
  }
  if (!seen_.insert(line).second) return;
  flush();
  fprintf(stderr, "%s\n", line.c_str());
  last_ = line;
}

void MessageRelay::flush() {
  if (more_) fprintf(stderr, "(%lu more like it)\n", more_);
  more_ = 0;
}
