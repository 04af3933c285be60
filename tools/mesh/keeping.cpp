// What celshade-mesh's output keeps of what it read. The input's files are
// read again line by line; each statement is classified by its keyword as
// the library's reader classified it (by the keyword's first character, or
// whole when read leniently), and what the model cannot hold is counted by
// kind.
#include "keeping.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string_view>

namespace keeping {
namespace {

// Whether an MTL statement defines a material: newmtl when read leniently,
// by the classic rules every keyword that starts with 'n'.
bool isMaterial(std::string_view keyword, bool lenient) {
  return lenient ? keyword == "newmtl" : keyword[0] == 'n';
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

// Whether the library's writer writes the MTL statement of `line` whose
// keyword ends at `at` back whole. Materials carry their names, colours,
// shininess, diffuse map and every statement the library does not model;
// what they do not carry is the words after a material's name, which the
// reader leaves out of it.
bool writerWritesBack(std::string_view keyword, std::string_view line, size_t at, bool lenient) {
  return !isMaterial(keyword, lenient) || !moreWordsThan(line, at, 1);
}

using Counts = std::map<std::string, unsigned long long>;

// "the words after 2 material names".
std::string cutNames(unsigned long long n) {
  return "the words after " +
         (n == 1 ? std::string("1 material name") : std::to_string(n) + " material names");
}

// A material of a library file as the reader takes it: its name, and the
// statements it keeps as they are (the diffuse map among them), each from
// its keyword to its line's end.
struct FileMaterial {
  std::string name;
  std::vector<std::string> statements;
};

// True for the statements the reader gives a material as they are: all but
// material names, colours (K with d, a or s), the shininess (N with s) and
// comments (read leniently, whole keywords). map_Kd counts among them here:
// a material keeps it too.
bool keptAsItIs(std::string_view keyword, bool lenient) {
  if (isMaterial(keyword, lenient) || keyword[0] == '#') return false;
  if (lenient) return keyword != "Kd" && keyword != "Ka" && keyword != "Ks" && keyword != "Ns";
  if (keyword.size() >= 2 && keyword[0] == 'K')
    return keyword[1] != 'd' && keyword[1] != 'a' && keyword[1] != 's';
  return !(keyword.size() >= 2 && keyword[0] == 'N' && keyword[1] == 's');
}

// Counts in `cut` the statements of the library `path` the writer does not
// write back whole (material names followed by more words); with
// `materials`, collects its materials, "default" first. False when it
// cannot be read.
bool libraryStatements(const std::string& path, bool lenient, unsigned long long& cut,
                       std::vector<FileMaterial>* materials) {
  Lines lines(path, lenient);
  if (!lines.open()) return false;
  if (materials) materials->push_back({"default", {}});
  for (std::string_view line; lines.next(line);) {
    size_t at = 0;
    std::string_view keyword = word(line, at);
    if (keyword.empty() || keyword[0] == '#') continue;
    if (!writerWritesBack(keyword, line, at, lenient)) cut++;
    if (!materials) continue;
    if (isMaterial(keyword, lenient)) {
      materials->push_back({std::string(word(line, at)), {}});
    } else if (keptAsItIs(keyword, lenient)) {
      std::string_view statement = line.substr(size_t(keyword.data() - line.data()));
      if (!statement.empty() && statement.back() == '\r') statement.remove_suffix(1);
      materials->back().statements.emplace_back(statement);
    }
  }
  return true;
}

// The statements of `file` that `material` does not hold: every one of them
// without a material. The diffuse map counts as held when the material has
// one (it replaces the file's, as its colours do).
unsigned long long statementsNotHeld(const FileMaterial& file, const GLMmaterial* material) {
  if (!material) return file.statements.size();
  std::multiset<std::string_view> held;
  for (std::string_view rest = material->statements ? material->statements : ""; !rest.empty();) {
    const size_t stop = rest.find('\n');
    held.insert(rest.substr(0, stop));
    rest.remove_prefix(stop == std::string_view::npos ? rest.size() : stop + 1);
  }
  unsigned long long missing = 0;
  for (const std::string& statement : file.statements) {
    size_t at = 0;
    if (word(statement, at) == "map_Kd" && material->diffusemap) continue;
    auto found = held.find(statement);
    if (found == held.end())
      missing++;
    else
      held.erase(found);
  }
  return missing;
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
      case 0: break;
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
      case 'm': libraries++; break;
      default: skipped[std::string(keyword)]++; break;
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
    notes.push_back(file +
                    (otherMaterial == 1
                         ? "material of 1 face"
                         : "materials of " + std::to_string(otherMaterial) + " faces") +
                    " not kept (a group takes the last material given to it)");
  for (const auto& [keyword, n] : skipped)
    notes.push_back(file + statements(n, keyword) + " not kept");
  if (!model->materials) {
    const char* why = " not kept (no material library was read)";
    if (libraries) notes.push_back(file + statements(libraries, "mtllib") + why);
    if (uses) notes.push_back(file + statements(uses, "usemtl") + why);
  }
  return notes;
}

std::vector<std::string> notKeptOfLibrary(const std::string& path, bool lenient) {
  std::vector<std::string> notes;
  unsigned long long cut = 0;
  if (libraryStatements(path, lenient, cut, nullptr) && cut)
    notes.push_back(path + ": " + cutNames(cut) + " not kept (a material's name is one word)");
  return notes;
}

std::string lostByReplacing(const std::string& path, const GLMmodel* model, bool lenient) {
  unsigned long long cut = 0;
  std::vector<FileMaterial> materials;
  if (!libraryStatements(path, lenient, cut, &materials)) return std::string();
  std::string lost;
  auto add = [&lost](const std::string& what) { lost += (lost.empty() ? "" : ", ") + what; };
  if (cut) add(cutNames(cut));
  for (size_t m = 0; m < materials.size(); m++) {
    const FileMaterial& file = materials[m];
    const GLMmaterial* held = nullptr;
    for (GLuint i = 0; !held && i < model->materialcount; i++)
      if (file.name == model->materials[i].name) held = &model->materials[i];
    const std::string name = "material \"" + file.name + "\"";
    // The reader's own "default" is only lost for what it holds.
    if (!held && m > 0) {
      add(name);
    } else if (unsigned long long n = statementsNotHeld(file, held)) {
      add(std::to_string(n) + (n == 1 ? " statement of " : " statements of ") + name);
    }
  }
  return lost;
}

}  // namespace keeping
