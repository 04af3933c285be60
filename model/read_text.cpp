// What the OBJ and MTL readers share about their text: where it starts (a
// byte-order mark), and the messages that name a file, a line and the
// statement on it.
#include "reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace read_detail {
namespace {

// Bytes of a statement a message quotes.
constexpr size_t kQuoted = 80;

// The length of the well-formed UTF-8 character of two bytes or more at p
// (< end); 0 when there is none (an ASCII byte, a stray continuation byte,
// an overlong form, a surrogate, a code point beyond U+10FFFF, a cut
// sequence).
size_t utf8Length(const unsigned char* p, const unsigned char* end) {
  const unsigned lead = p[0];
  unsigned low = 0x80, high = 0xbf;  // the second byte's range
  size_t n;
  if (lead >= 0xc2 && lead <= 0xdf) {
    n = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    n = 3;
    if (lead == 0xe0) low = 0xa0;   // overlong below
    if (lead == 0xed) high = 0x9f;  // surrogates above
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    n = 4;
    if (lead == 0xf0) low = 0x90;   // overlong below
    if (lead == 0xf4) high = 0x8f;  // beyond U+10FFFF above
  } else {
    return 0;
  }
  if (size_t(end - p) < n || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < n; i++)
    if (p[i] < 0x80 || p[i] > 0xbf) return 0;
  return n;
}

}  // namespace

size_t lineOf(const char* base, const char* p) {
  size_t line = 1;
  if (!base) return line;
  for (const char* q = base; (q = static_cast<const char*>(memchr(q, '\n', size_t(p - q)))); ++q)
    line++;
  return line;
}

std::string printable(std::string_view bytes) {
  std::string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
    if (*p >= 0x20 && *p < 0x7f) {
      out += char(*p++);
      continue;
    }
    const size_t n = utf8Length(p, end);
    if (n && !(p[0] == 0xc2 && p[1] < 0xa0)) {  // not a C1 control
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
      continue;
    }
    char escaped[5];
    snprintf(escaped, sizeof escaped, "\\x%02x", *p++);
    out += escaped;
  }
  return out;
}

std::string quote(const char* p, const char* end) {
  if (p == end) return std::string();
  const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
  const char* stop = nl ? nl : end;
  while (stop > p && (stop[-1] == '\r' || stop[-1] == ' ' || stop[-1] == '\t')) stop--;
  // At most kQuoted bytes, cut before a character that would not fit whole.
  const size_t length = size_t(stop - p);
  size_t cut = std::min(length, kQuoted);
  const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(p);
  for (size_t back = 1; cut < length && back <= 3 && back <= cut; back++)
    if (utf8Length(bytes + cut - back, bytes + length) > back) {
      cut -= back;
      break;
    }
  std::string out = printable(std::string_view(p, cut));
  if (cut < length) out += "...";
  return out;
}

namespace {

// Skips a UTF-8 byte-order mark at the start of the text (Windows tools
// write one). False for UTF-16 text (byte-order mark FF FE or FE FF), which
// the reader does not read. The bytes are copied, not read through a
// file's mapping (whose page faulted in would map a large piece of the file).
bool skipByteOrderMark(Text& text) {
  unsigned char p[3] = {0, 0, 0};
  if (text.size > 0) text.readAt(text.data, reinterpret_cast<char*>(p), sizeof p);
  if (text.size >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
    return false;
  if (text.size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    text.data += 3;
    text.size -= 3;
  }
  return true;
}

}  // namespace

bool fail(Failure& error, std::string_view file, std::string_view what, const Text* text,
          const char* at, bool quoted) {
  error.kind = Fail::Other;
  error.message = printable(file);
  if (text) error.message += ":" + std::to_string(lineOf(text->data, at));
  error.message.append(": ").append(what);
  if (text && quoted) error.message += ": `" + quote(at, text->end()) + "`";
  return false;
}

bool failLoad(Failure& error, Load load, std::string_view file, Fail kind, const char* cantOpen) {
  const int code = errno;
  fail(error, file, load == Load::CantOpen ? cantOpen : "out of memory");
  if (load == Load::CantOpen) error.kind = kind, error.code = code;
  error.subject = printable(file);
  return false;
}

void Unfound::report() const {
  for (const std::string& line : libraries) emitMessage(stderr, "%s", line.c_str());
  for (const std::string& line : passedOver) emitMessage(stderr, "%s", line.c_str());
  for (const std::string& name : materials) reportMissingMaterial(printable(name).c_str());
}

bool startText(Text& text, Failure& error, std::string_view file) {
  return skipByteOrderMark(text) ||
         fail(error, file, "UTF-16 text, which is not read (save the file as UTF-8)");
}

}  // namespace read_detail
