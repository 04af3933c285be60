// What reading files as other tools write them (GLM_READ_LENIENT) adds to
// the OBJ statements: library statements that name lists of libraries, and
// the account of what the read passes over (statements of keywords it does
// not know, indices naming what the file does not have).
#include "read_lex.h"
#include "read_scan.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace read_detail {
namespace {

// Keywords named one by one in the warnings; the others are counted together.
constexpr size_t kNamedKeywords = 16;

// Blank or tab: what a backslash takes into a library's name.
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The name [p, q): a backslash before a blank or tab stands for that blank
// or tab; cut at a NUL, as a C string holding it would be.
std::string unescaped(const char* p, const char* q) {
  std::string name;
  for (; p < q; ++p) {
    if (*p == '\\' && p + 1 < q && isBlank(p[1])) ++p;
    name += *p;
  }
  return name.substr(0, name.find('\0'));
}

// The words of the line rest [p, stop), a blank or tab after a backslash
// belonging to its word; one empty name for an empty rest.
std::vector<std::string> libraryNames(const char* p, const char* stop) {
  std::vector<std::string> names;
  for (p = skipSpace(p, stop); p < stop || names.empty(); p = skipSpace(p, stop)) {
    const char* q = p;
    while (q < stop && !isSpace(*q)) q += *q == '\\' && q + 1 < stop && isBlank(q[1]) ? 2 : 1;
    names.push_back(unescaped(p, q));
    p = q;
  }
  return names;
}

// The line rest [p, stop) as one name, without the white space around it.
std::string wholeName(const char* p, const char* stop) {
  p = skipSpace(p, stop);
  while (stop > p && isSpace(stop[-1]) && !(stop - 1 > p && stop[-2] == '\\')) --stop;
  return unescaped(p, stop);
}

std::string counted(uint64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

bool readLibraryList(ObjScan& s, const char* keyword, const char* rest, const char* stop) {
  const std::vector<std::string> names = libraryNames(rest, stop);
  struct Unopened {
    std::string name;
    Failure failure;
  };
  std::vector<Unopened> unopened;
  // Reads the library `name`: 1, or 0 when it cannot be opened (noted), or
  // -1 when it cannot be read.
  auto read = [&](const std::string& name) {
    if (glmReadMTL(s.model, name, s.mtl, s.error, s.libraries)) return 1;
    if (s.error.kind != Fail::OpenMtl) return -1;
    unopened.push_back(Unopened{name, s.error});
    s.error = Failure{};
    return 0;
  };
  bool anyRead = false;
  for (const std::string& name : names) {
    const int result = read(name);
    if (result < 0) return false;
    anyRead |= result > 0;
  }
  // No word names a library that opens: the name may hold blanks unescaped.
  std::string named = names[0];
  if (!anyRead) {
    std::string whole = wholeName(rest, stop);
    if (whole != names[0]) {
      const int result = read(whole);
      if (result < 0) return false;
      if (result > 0) {
        unopened.clear();
        named = whole;
      } else {
        unopened.pop_back();  // the words are what the file names
      }
    }
  }
  if (!s.model->mtllib && !(s.model->mtllib = copyName(named))) return s.failFile("out of memory");
  if (unopened.empty()) return true;
  if (!s.mtl.optional) {
    s.error = unopened[0].failure;
    return false;
  }
  for (const Unopened& u : unopened) missingLibrary(s, keyword, u.name, u.failure.code);
  return true;
}

// ---- What the read passes over ----------------------------------------------

void PassedOver::skipped(std::string_view word, uint64_t n) {
  if (2 * (keywords.size() + 1) > slots.size()) {
    slots.assign(std::max<size_t>(16, 2 * slots.size()), 0);
    const size_t mask = slots.size() - 1;
    for (size_t i = 0; i < keywords.size(); i++) {
      size_t at = std::hash<std::string_view>()(keywords[i].word) & mask;
      while (slots[at]) at = (at + 1) & mask;
      slots[at] = i + 1;
    }
  }
  const size_t mask = slots.size() - 1;
  for (size_t at = std::hash<std::string_view>()(word) & mask;; at = (at + 1) & mask) {
    size_t& slot = slots[at];
    if (!slot) {
      keywords.push_back(Keyword{word, n});
      slot = keywords.size();
      return;
    }
    if (keywords[slot - 1].word == word) {
      keywords[slot - 1].count += n;
      return;
    }
  }
}

void PassedOver::add(const PassedOver& later) {
  for (const Keyword& k : later.keywords) skipped(k.word, k.count);
  if (!normals) normals = later.normals;
  if (!texcoords) texcoords = later.texcoords;
}

void PassedOver::describe(std::string_view path, const Text& text,
                          std::vector<std::string>& lines) const {
  const std::string file = printable(path);
  const size_t named = std::min(keywords.size(), kNamedKeywords);
  for (size_t i = 0; i < named; i++) {
    const Keyword& k = keywords[i];
    lines.push_back(file + ": " + std::to_string(k.count) + " \"" +
                    quote(k.word.data(), k.word.data() + k.word.size()) + "\" statement" +
                    (k.count == 1 ? "" : "s") + " skipped");
  }
  if (keywords.size() > named) {
    uint64_t others = 0;
    for (size_t i = named; i < keywords.size(); i++) others += keywords[i].count;
    lines.push_back(file + ": " + counted(others, "statement") + " of " +
                    counted(keywords.size() - named, "other keyword") + " skipped");
  }
  const char* const kinds[2][2] = {{texcoords, "texture coordinates"}, {normals, "normals"}};
  for (const auto& kind : kinds)
    if (kind[0])
      lines.push_back(file + ":" + std::to_string(lineOf(text.data, kind[0])) + ": faces name " +
                      kind[1] + ", but the file has none: those indices are dropped");
}

}  // namespace read_detail
