// What the OBJ and MTL readers share about their text: where it starts (a
// byte-order mark), and the messages that name a file, a line and the
// statement on it.
#include "reader.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace read_detail {

size_t lineOf(const char* base, const char* p) {
  size_t line = 1;
  if (!base) return line;
  for (const char* q = base; (q = static_cast<const char*>(memchr(q, '\n', size_t(p - q))));
       ++q)
    line++;
  return line;
}

std::string quote(const char* p, const char* end) {
  if (p == end) return std::string();
  const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
  const char* stop = nl ? nl : end;
  while (stop > p && (stop[-1] == '\r' || stop[-1] == ' ' || stop[-1] == '\t')) stop--;
  std::string out;
  for (const char* q = p; q < stop && out.size() < 80; ++q)
    out += (unsigned char)*q < 0x20 || *q == 0x7f ? '?' : *q;
  if (size_t(stop - p) > 80) out += "...";
  return out;
}

namespace {

// Skips a UTF-8 byte-order mark at the start of the text (Windows tools
// write one). False for UTF-16 text (byte-order mark FF FE or FE FF), which
// the reader does not read.
bool skipByteOrderMark(Text& text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data);
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
  error.message.assign(file);
  if (text) error.message += ":" + std::to_string(lineOf(text->data, at));
  error.message.append(": ").append(what);
  if (text && quoted) error.message += ": `" + quote(at, text->end()) + "`";
  return false;
}

bool failLoad(Failure& error, Load load, std::string_view file, Fail kind, const char* cantOpen) {
  const int code = errno;
  fail(error, file, load == Load::CantOpen ? cantOpen : "out of memory");
  if (load == Load::CantOpen) error.kind = kind, error.code = code;
  error.subject.assign(file);
  return false;
}

void Unfound::report() const {
  for (const std::string& line : libraries) emitMessage(stderr, "%s", line.c_str());
  for (const std::string& name : materials) reportMissingMaterial(name.c_str());
}

bool startText(Text& text, Failure& error, std::string_view file) {
  return skipByteOrderMark(text) ||
         fail(error, file, "UTF-16 text, which is not read (save the file as UTF-8)");
}

}  // namespace read_detail
