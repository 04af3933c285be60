// What celshade-mesh's output keeps of what it read. The input's files are
// read again line by line; each statement is classified by its keyword as
// the library's reader classified it (by the keyword's first character, or
// whole when read leniently), and what the model cannot hold is counted by
// kind.
#include "keeping.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

namespace keeping {
namespace {

// Whether an MTL statement defines a material: newmtl when read leniently,
// by the classic rules every keyword that starts with 'n'.
bool isMaterial(std::string_view keyword, bool lenient) {
  return lenient ? keyword == "newmtl" : keyword[0] == 'n';
}

// Whether the library's writer writes an MTL statement back: a material's
// name and the colours and shininess it holds. The list grows as materials
// come to carry more of their statements (texture maps, transparency, ...).
bool writerWritesBack(std::string_view keyword, bool lenient) {
  return isMaterial(keyword, lenient) || keyword == "Ka" || keyword == "Kd" || keyword == "Ks" ||
         keyword == "Ns";
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A file's lines, each without its newline; with `crEnds` a carriage return
// not followed by a newline ends a line too.
class Lines {
 public:
  Lines(const std::string& path, bool crEnds) : file_(fopen(path.c_str(), "rb")), crEnds_(crEnds) {}
  ~Lines() {
    if (file_) fclose(file_);
    free(buffer_);
  }
  Lines(const Lines&) = delete;
  Lines& operator=(const Lines&) = delete;

  bool open() const { return file_ != nullptr; }
  // The next line; false at the end.
  bool next(std::string_view& line) {
    if (!pending_) {
      ssize_t n = getline(&buffer_, &capacity_, file_);
      if (n < 0) return false;
      rest_ = std::string_view(buffer_, size_t(n));
      if (!rest_.empty() && rest_.back() == '\n') rest_.remove_suffix(1);
    }
    // A carriage return last on the line is one before its newline, or ends it.
    const size_t cr = crEnds_ ? rest_.find('\r') : std::string_view::npos;
    pending_ = cr != std::string_view::npos && cr + 1 < rest_.size();
    line = pending_ ? rest_.substr(0, cr) : rest_;
    if (pending_) rest_.remove_prefix(cr + 1);
    return true;
  }

 private:
  FILE* file_;
  bool crEnds_;
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  std::string_view rest_;  // of the line read last, from the next line on
  bool pending_ = false;   // rest_ holds another line
};

// How the reader took an OBJ keyword: its first letter when it reads it or
// skips it by rule, by the classic rules every keyword; read leniently 0
// for a keyword it does not know (and warns of itself).
char readerLetter(std::string_view keyword, bool lenient) {
  if (!lenient) return keyword[0];
  for (const char* known : {"v", "vn", "vt", "f", "g", "usemtl", "mtllib", "o", "s", "l", "p"})
    if (keyword == known) return keyword[0];
  return 0;
}

// The word of `line` at `at` or after it (empty at the end); `at` moves past it.
std::string_view word(std::string_view line, size_t& at) {
  while (at < line.size() && isSpace(line[at])) at++;
  size_t start = at;
  while (at < line.size() && !isSpace(line[at])) at++;
  return line.substr(start, at - start);
}

// Whether more than `n` words follow `at`, up to a comment.
bool moreWordsThan(std::string_view line, size_t at, size_t n) {
  for (std::string_view w; !(w = word(line, at)).empty() && w[0] != '#';)
    if (n-- == 0) return true;
  return false;
}

// "1 `o` statement", "20 `s` statements".
std::string statements(unsigned long long n, const std::string& keyword) {
  return std::to_string(n) + " `" + keyword + "` statement" + (n == 1 ? "" : "s");
}

// The material a "usemtl" name gives: the first of that name, else 0.
GLuint materialIndex(const GLMmodel* model, std::string_view name) {
  for (GLuint i = 0; model->materials && i < model->materialcount; i++)
    if (name == model->materials[i].name) return i;
  return 0;
}

using Counts = std::map<std::string, unsigned long long>;

// The statements of a library the writer does not write back, by keyword;
// with `names`, the names of its materials too. False when it cannot be read.
bool libraryStatements(const std::string& path, bool lenient, Counts& dropped,
                       std::vector<std::string>* names) {
  Lines lines(path, lenient);
  if (!lines.open()) return false;
  for (std::string_view line; lines.next(line);) {
    size_t at = 0;
    std::string_view keyword = word(line, at);
    if (keyword.empty() || keyword[0] == '#') continue;
    if (!writerWritesBack(keyword, lenient))
      dropped[std::string(keyword)]++;
    else if (isMaterial(keyword, lenient) && names)
      names->emplace_back(word(line, at));
  }
  return true;
}

}  // namespace

std::vector<std::string> notKeptOfObj(const std::string& path, const GLMmodel* model,
                                      bool lenient) {
  std::vector<std::string> notes;
  Lines lines(path, lenient);
  if (!lines.open()) return notes;
  Counts skipped;
  unsigned long long colours = 0, polygons = 0, libraries = 0, uses = 0;
  // Each group's faces by the material in force at each, and the material
  // the group ends with: the one in force at its last "g" line or at the
  // last "usemtl" while it is current.
  struct Group {
    GLuint last = 0;
    std::map<GLuint, unsigned long long> faces;
  };
  std::map<std::string, Group> groups;
  Group* group = &groups["default"];  // the reader's own; no "g" line names it
  GLuint material = 0;
  for (std::string_view line; lines.next(line);) {
    size_t at = 0;
    std::string_view keyword = word(line, at);
    if (keyword.empty() || keyword[0] == '#') continue;
    switch (readerLetter(keyword, lenient)) {
      case 0:
        break;
      case 'v':
        if (keyword == "v" && moreWordsThan(line, at, 3)) colours++;
        break;
      case 'f':
        if (moreWordsThan(line, at, 3)) polygons++;
        group->faces[material]++;
        break;
      case 'g': {
        std::string_view name = line.substr(at);
        group = &groups[std::string(name.substr(0, name.find('\0')))];
        group->last = material;
        break;
      }
      case 'u':
        uses++;
        material = group->last = materialIndex(model, word(line, at));
        break;
      case 'm':
        libraries++;
        break;
      default:
        skipped[std::string(keyword)]++;
        break;
    }
  }
  unsigned long long otherMaterial = 0;
  for (const auto& named : groups)
    for (const auto& [index, faces] : named.second.faces)
      if (index != named.second.last) otherMaterial += faces;

  const std::string file = path + ": ";
  if (colours)
    notes.push_back(file + std::to_string(colours) +
                    " vertex colours not kept (numbers after x y z on `v` lines)");
  if (polygons)
    notes.push_back(file + std::to_string(polygons) +
                    " polygons of more than three corners not kept (written as triangles)");
  if (otherMaterial)
    notes.push_back(file + (otherMaterial == 1 ? "material of 1 face" : "materials of " +
                            std::to_string(otherMaterial) + " faces") +
                    " not kept (a group takes the last material given to it)");
  for (const auto& [keyword, n] : skipped) notes.push_back(file + statements(n, keyword) + " not kept");
  if (!model->materials) {
    const char* why = " not kept (no material library was read)";
    if (libraries) notes.push_back(file + statements(libraries, "mtllib") + why);
    if (uses) notes.push_back(file + statements(uses, "usemtl") + why);
  }
  return notes;
}

std::vector<std::string> notKeptOfLibrary(const std::string& path, bool lenient) {
  std::vector<std::string> notes;
  Counts dropped;
  if (!libraryStatements(path, lenient, dropped, nullptr)) return notes;
  for (const auto& [keyword, n] : dropped)
    notes.push_back(path + ": " + statements(n, keyword) + " not kept");
  return notes;
}

std::string lostByReplacing(const std::string& path, const GLMmodel* model, bool lenient) {
  Counts dropped;
  std::vector<std::string> names;
  if (!libraryStatements(path, lenient, dropped, &names)) return std::string();
  std::string lost;
  auto add = [&lost](const std::string& what) { lost += (lost.empty() ? "" : ", ") + what; };
  for (const auto& [keyword, n] : dropped) add(statements(n, keyword));
  for (const std::string& name : names) {
    bool held = false;
    for (GLuint i = 0; !held && i < model->materialcount; i++)
      held = name == model->materials[i].name;
    if (!held) add("material \"" + name + "\"");
  }
  return lost;
}

}  // namespace keeping
