// The OBJ reader: the scan with its two passes (counting, then storing) and
// the public entry points glmReadOBJ, glmTryReadOBJ and glmReadOBJText.
//
// The text is scanned in memory (a read-only mapping of the file, or the
// caller's buffer) twice: the first pass counts and creates the groups, the
// second stores. The first pass counts lines by their first bytes, which
// holds for files of one statement per line; the second reads statement by
// statement and checks that it stored exactly what was counted. When it did
// not, the read starts over with a first pass that is the second's scanner
// instantiated to count, so that the passes agree by construction. Plain
// statements (coordinates and faces of the usual shapes, away from the end
// of the text) take shortcuts that end exactly where the
// statement-by-statement reading would and give the same values; faces use
// one recogniser in both passes. Storing never goes past what was counted.
//
// Which lines are fast:
//  - Counting by lines holds when every statement stands on a line of its
//    own, keyword first. Where it does not (a face going on over the next
//    line, a comment after a face's corners, a face of fewer than three
//    corners, an indented keyword), the text is read again counting
//    statement by statement: the same result, in up to twice the time.
//  - In the storing pass, runs of coordinate lines and of face lines are
//    stored in tight loops (plainCoordinateRun, plainFaceRun), fastest when
//    coordinates are plain decimals (no exponent, at most seven digits on
//    each side of the point) and face corners unsigned numbers one blank
//    apart (simpleFace). Everything else is read by the same rules, only
//    more slowly.
//  - Files are mapped, not copied, and pages already read are handed back
//    (system.cpp); the model's arrays go on huge pages where the system
//    grants them.
#include "read_lines.h"

#include <sched.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <exception>
#include <new>
#include <thread>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace read_detail {

namespace {

// Line of p, counted from base.
size_t lineOf(const char* base, const char* p) {
  size_t line = 1;
  if (!base) return line;
  for (const char* q = base; (q = static_cast<const char*>(memchr(q, '\n', size_t(p - q))));
       ++q)
    line++;
  return line;
}

// The statement at p up to its line end, at most 80 bytes, control bytes as '?'.
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

}  // namespace

bool fail(Error& error, std::string_view file, std::string_view what, const Text* text,
          const char* at, bool quoted) {
  error.kind = Fail::Other;
  error.message.assign(file);
  if (text) error.message += ":" + std::to_string(lineOf(text->data, at));
  error.message.append(": ").append(what);
  if (text && quoted) error.message += ": `" + quote(at, text->end()) + "`";
  return false;
}

bool failLoad(Error& error, Load load, std::string_view file, Fail kind, const char* cantOpen) {
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

bool startText(Text& text, Error& error, std::string_view file) {
  return skipByteOrderMark(text) ||
         fail(error, file, "UTF-16 text, which is not read (save the file as UTF-8)");
}

namespace {

// ---- The OBJ scan -----------------------------------------------------------

struct GroupSlot {
  GLMgroup* group;
  uint64_t count;  // triangles counted by the first pass
};

// A group, library or material line met by counting a piece of the text by
// lines, with the triangles counted since the one before; a null keyword
// closes the piece.
struct LineMark {
  const char* keyword;
  uint64_t triangles;
};

struct ObjScan {
  GLMmodel* model;
  Text& text;
  const MtlSource& mtl;
  Error& error;
  std::unordered_map<std::string_view, GroupSlot> groups;
  GroupSlot* defaultGroup = nullptr;
  const char* statement = nullptr;  // keyword of the statement being read
  // The statements read are those whose keywords lie in [begin, stop): the
  // whole text, or a piece of it read beside others.
  const char* begin = text.data;
  const char* stop = text.end();
  // In force at begin: the group, the material and the numbers already
  // taken by vertices, normals, texture coordinates and triangles. Storing
  // leaves here the group and material in force at the end.
  GroupSlot* group = nullptr;
  GLuint material = 0;
  uint64_t first[4] = {0, 0, 0, 0};
  // Counted (the numbers at stop, for storing): vertices, normals, texture
  // coordinates, triangles.
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
  // Counting a piece by lines: its group, library and material lines are
  // noted here, to be taken in order once every piece is counted.
  std::vector<LineMark>* lineMarks = nullptr;
  bool byLines = false;  // the counting pass counts lines, not statements
  // Keywords of the group and library statements the counting pass took, in
  // order; the storing pass must meet exactly these.
  std::vector<const char*> marks;
  size_t nextMark = 0;
  std::vector<std::string> missingMaterials;  // reported once the read is done
  std::vector<std::string> missingLibraries;  // warnings, reported once the read is done
  Libraries libraries;
  // First index of each material name, for the materials it was built for:
  // open addressing over a power-of-two table, each slot the name's hash in
  // its high half and index + 1 in its low half (0: empty). One allocation,
  // and mostly one cache miss per look-up besides the name itself.
  std::vector<uint64_t> materialSlots;
  const GLMmaterial* indexed = nullptr;

  ObjScan(GLMmodel* m, Text& t, const MtlSource& source, Error& e)
      : model(m), text(t), mtl(source), error(e), libraries(m) {}

  // Fails with "file:line: what: `statement`".
  bool fail(const char* what) {
    return read_detail::fail(error, model->path, what, &text, statement);
  }
  // Fails with "file: what", for the file as a whole.
  bool failFile(const char* what) { return read_detail::fail(error, model->path, what); }
  // The storing pass found something the counting pass did not count.
  // Counting statement by statement this never happens; counting by lines
  // it sends the read back to count statement by statement.
  bool disagreeing() { return fail("internal error: the passes disagree"); }
  // The storing pass meets a group or library statement at `keyword`.
  bool takeMark(const char* keyword) {
    return nextMark < marks.size() && marks[nextMark++] == keyword;
  }
  // The index of the first material named `name`, when there is one: what
  // glmFindMaterial finds, in expected constant time.
  bool findMaterial(std::string_view name, GLuint& index) {
    if (indexed != model->materials) indexMaterials();
    GLuint found;
    findSlot(name, found);
    if (found) index = found - 1;
    return found != 0;
  }

 private:
  // The slot holding `name`, with index + 1 in `found`; else the empty
  // slot where it belongs, with `found` 0. Null without a table.
  uint64_t* findSlot(std::string_view name, GLuint& found) {
    found = 0;
    if (materialSlots.empty()) return nullptr;
    const size_t mask = materialSlots.size() - 1;
    const uint64_t hash = std::hash<std::string_view>()(name);
    const uint64_t tag = hash & ~uint64_t(UINT32_MAX);
    for (size_t at = size_t(hash) & mask;; at = (at + 1) & mask) {
      uint64_t& slot = materialSlots[at];
      if (slot == 0) return &slot;
      if ((slot & ~uint64_t(UINT32_MAX)) != tag) continue;
      const char* candidate = model->materials[GLuint(slot) - 1].name;
      if (strncmp(candidate, name.data(), name.size()) == 0 && candidate[name.size()] == '\0') {
        found = GLuint(slot);
        return &slot;
      }
    }
  }
  // Builds the table for the model's materials, the first of equal names
  // taking the slot.
  void indexMaterials() {
    size_t size = 16;
    while (size < 2 * size_t(model->materialcount)) size *= 2;
    materialSlots.assign(model->materials ? size : 0, 0);
    indexed = model->materials;
    for (GLuint i = 0; indexed && i < model->materialcount; i++) {
      GLuint found;
      const char* name = model->materials[i].name;
      uint64_t* slot = findSlot(name, found);
      if (!found) *slot = (std::hash<std::string_view>()(name) & ~uint64_t(UINT32_MAX)) | (i + 1);
    }
  }
};

// Creates the group `name` at the head of the model's list. Null when out
// of memory.
GroupSlot* newGroup(ObjScan& s, std::string_view name) {
  GLMgroup* group = static_cast<GLMgroup*>(malloc(sizeof(GLMgroup)));
  char* copy = copyName(name);
  if (!group || !copy) {
    free(group);
    free(copy);
    return nullptr;
  }
  *group = GLMgroup{copy, 0, nullptr, 0, s.model->groups};
  s.model->groups = group;
  s.model->groupcount++;
  return &s.groups.emplace(std::string_view(copy, name.size()), GroupSlot{group, 0})
              .first->second;
}

// Resolves a corner's index (relative ones against `next`) and checks it
// names an element of the file.
inline bool resolve(int32_t index, uint64_t next, uint64_t count, GLuint& out) {
  int64_t r = index < 0 ? int64_t(next) + index : index;
  out = GLuint(r);
  return r >= 1 && uint64_t(r) <= count;
}

// The same for a normal or texture index, where a written 0 means "none"
// (the writer puts it in corners of faces that had none) and stays 0.
inline bool resolveOptional(int32_t index, uint64_t next, uint64_t count, GLuint& out) {
  if (index == 0) {
    out = 0;
    return true;
  }
  return resolve(index, next, count, out);
}

// Resolves a corner of the given form into out (vertex, texture coordinate,
// normal; fields the form lacks are 0). `next` holds the numbers the next
// vertex, texture coordinate and normal would take. False when an index
// names nothing.
inline bool resolveCorner(int32_t v, int32_t t, int32_t n, Form form, const uint64_t next[3],
                          const GLMmodel* m, GLuint out[3]) {
  out[1] = out[2] = 0;
  bool ok = resolve(v, next[0], m->vertexcount, out[0]);
  if (form == kVT || form == kVTN) ok &= resolveOptional(t, next[1], m->texcoordcount, out[1]);
  if (form == kVN || form == kVTN) ok &= resolveOptional(n, next[2], m->normalcount, out[2]);
  return ok;
}

// A group's name: the line rest [p, stop) without its newline, cut at a NUL.
inline std::string_view groupName(const char* p, const char* stop) {
  return cString(p, stop > p && stop[-1] == '\n' ? stop - 1 : stop);
}

// Counting: the group statement whose keyword is at `keyword`, with its line
// rest at p (moved past the line end). Finds or creates the group, which
// becomes current; null when out of memory.
GroupSlot* countGroup(ObjScan& s, const char* keyword, const char*& p) {
  const char* stop = lineEnd(p, s.text.end());
  std::string_view name = groupName(p, stop);
  p = stop;
  s.marks.push_back(keyword);
  auto found = s.groups.find(name);
  GroupSlot* group = found != s.groups.end() ? &found->second : newGroup(s, name);
  if (!group) s.failFile("out of memory");
  return group;
}

// Counting: the library statement whose keyword is at `keyword`, with its
// line rest at p (moved past the line end). Takes the name and reads the
// library.
bool countLibrary(ObjScan& s, const char* keyword, const char*& p) {
  const char* stop = lineEnd(p, s.text.end());
  std::string_view name = firstWord(p, stop);
  p = stop;
  s.marks.push_back(keyword);
  char* copy = copyName(name);
  if (!copy) return s.failFile("out of memory");
  free(s.model->mtllib);
  s.model->mtllib = copy;
  if (glmReadMTL(s.model, name, s.mtl, s.error, s.libraries)) return true;
  if (!s.mtl.optional || s.error.kind != Fail::OpenMtl) return false;
  // An optional library that cannot be opened: the read goes on with the
  // materials it had.
  s.missingLibraries.push_back(s.model->path + (":" + std::to_string(lineOf(s.text.data, keyword))) +
                               ": can't open material library \"" + std::string(name) + "\" (" +
                               strerror(s.error.code) + ")");
  s.error = Error{};
  return true;
}

// Stores a run of plain faces: the first one's corners at p (its keyword
// just read), then those of the lines below that start with "f" and a
// blank, none starting at or after `stop`. `next` holds the numbers the next
// vertex, texture coordinate and normal would take; no triangle is stored at
// `limit` or beyond. Each face's corners are
// resolved (fields its form lacks are 0), and its fan around the first
// corner stored in one go. Stops before a face that is not plain, does not
// fit the arrays or has an index naming nothing: the general reading takes
// that one. Gives where the last face stored ends, or null when none is.
GLM_NOINLINE const char* plainFaceRun(const char* p, const char* stop, GLMmodel* m,
                                      const uint64_t next[3], GroupSlot& group,
                                      uint64_t& triangles, uint64_t limit) {
  const char* last = nullptr;
  GLMgroup* g = group.group;
  for (;;) {
    PlainFace face;
    const char* q = simpleFace(p, face);
    if (!q) q = plainFace<true>(p, face);
    if (!q) return last;
    const GLuint fan = GLuint(face.corners - 2);
    if (limit - triangles < fan || group.count - g->trianglecount < fan) return last;
    const int stride = numbersPerCorner(face.form);
    GLuint r[kPlainCorners][3];  // v, t, n
    bool ok = true;
    for (int i = 0; i < face.corners; i++) {
      // Numbers of the corner: v, then t or n, then n.
      const int32_t* number = &face.number[stride * i];
      const int32_t second = stride > 1 ? number[1] : 0, third = stride > 2 ? number[2] : 0;
      ok &= resolveCorner(number[0], second, face.form == kVN ? second : third, face.form, next, m,
                          r[i]);
    }
    if (!ok) return last;
    GLMtriangle* t = &m->triangles[triangles];
    GLuint* slot = &g->triangles[g->trianglecount];
    for (int i = 2; i < face.corners; i++) {
      const GLuint *a = r[0], *b = r[i - 1], *c = r[i];
      *t++ = GLMtriangle{{a[0], b[0], c[0]}, {a[2], b[2], c[2]}, {a[1], b[1], c[1]}, 0};
      *slot++ = GLuint(triangles++);
    }
    g->trianglecount += fan;
    last = q;
    if (q >= stop || q[0] != 'f' || !isBlank(q[1])) return last;
    p = q + 1;
  }
}

// The state of one scan of the OBJ text, counting (Store false) or storing
// (Store true), and its statements one by one. The statement readers are
// inlined into the scan loop and keep this state in registers.
template <bool Store>
struct ObjPass {
  ObjScan& s;
  GLMmodel* const m = s.model;
  const char* p = s.begin;
  const char* const end = s.text.end();
  GroupSlot* group = s.group;
  GLuint material = s.material;
  uint64_t vertices = s.first[0], normals = s.first[1], texcoords = s.first[2],
           triangles = s.first[3];
  size_t releaseAt = size_t(s.begin - s.text.data) + kReleaseStep;  // next page hand-back
  GLuint resolved[3][3] = {};       // corner (first, last-but-one, last) x (v, t, n)

  explicit ObjPass(ObjScan& scan) : s(scan) {}

  // Runs of like lines stop before the next hand-back, where fewer than
  // kPlainRoom bytes would follow the next keyword, and before a line that
  // starts at the scan's stop.
  GLM_READ_INLINE const char* runStop() const {
    const size_t room = size_t(kPlainRoom) + 4, size = s.text.size;
    const size_t last = size_t(s.stop - s.text.data) - 1;
    return s.text.data + std::min({releaseAt, size > room ? size - room : 0, last});
  }

  // Stores the triangle (a, b, c) of resolved corners with the fields the
  // form sets, at next triangle.
  GLM_READ_INLINE bool store(Form form, const GLuint* a, const GLuint* b, const GLuint* c) {
    if (triangles >= s.triangles || group->group->trianglecount >= group->count)
      return s.disagreeing();
    GLMtriangle& t = m->triangles[triangles];
    bool hasT = form == kVT || form == kVTN, hasN = form == kVN || form == kVTN;
    const GLuint* corner[3] = {a, b, c};
    for (int k = 0; k < 3; k++) {
      t.vertexidx[k] = corner[k][0];
      t.texcoordidx[k] = hasT ? corner[k][1] : 0;
      t.normalidx[k] = hasN ? corner[k][2] : 0;
    }
    t.facetnormidx = 0;
    group->group->triangles[group->group->trianglecount++] = GLuint(triangles);
    return true;
  }

  // Resolves corner c into resolved[k]; false when an index names nothing.
  GLM_READ_INLINE bool resolveInto(const Corner& c, Form form, int k) {
    const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
    return resolveCorner(c.v, c.t, c.n, form, next, m, resolved[k]);
  }

  // A coordinate statement ("v", "vn", "vt") whose keyword is at `keyword`.
  GLM_READ_INLINE bool coordinates(const char* keyword) {
    size_t length = size_t(p - keyword);
    int n;
    uint64_t* count;
    GLfloat* array;  // (storing) the kind's array and its counted size
    uint64_t size;
    if (length == 1 || keyword[1] == '\0') {  // "v" alone, as a C string too
      n = 3, count = &vertices, array = m->vertices, size = s.vertices;
    } else if (keyword[1] == 'n') {
      n = 3, count = &normals, array = m->normals, size = s.normals;
    } else if (keyword[1] == 't') {
      n = 2, count = &texcoords, array = m->texcoords, size = s.texcoords;
    } else {
      fail(s.error, m->path, "unknown token \"" + quote(keyword, p) + "\"", &s.text, keyword,
           false);
      s.error.kind = Fail::UnknownToken;
      s.error.subject = std::string(cString(keyword, p));
      return false;
    }
    float sink[3];  // the counting pass converts nothing
    float* out = sink;
    if (Store) {
      if (*count >= size) return s.disagreeing();
      out = &array[n * (*count + 1)];
    }
    if (end - p >= kPlainRoom) {
      if (Store) {
        if (const char* q =
                plainCoordinateRun(p, keyword, length, n, out, size - *count, runStop(), *count)) {
          p = q;
          return true;
        }
      } else if (const char* q = plainCoordinateLine(p, n)) {
        ++*count;
        p = q;
        return true;
      }
    }
    ++*count;
    if (Store)
      for (int i = 0; i < n; i++) out[i] = 0;  // a missing number reads as 0
    bool bad = false;
    p = readFloats<Store>(p, end, n, out, bad);
    return !bad || s.fail("number out of range");
  }

  // A face statement: plain faces take the shortcuts, the rest is read
  // corner by corner.
  GLM_READ_INLINE bool face() {
    if (end - p >= kPlainRoom) {
      if (Store) {
        const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
        if (const char* q =
                plainFaceRun(p, runStop(), m, next, *group, triangles, s.triangles)) {
          p = q;
          return true;
        }
      } else {
        PlainFace face;
        if (const char* q = plainFace<false>(p, face)) {
          p = q;
          triangles += face.corners - 2;
          group->count += face.corners - 2;
          return true;
        }
      }
    }
    return generalFace();
  }

  // A face read corner by corner, fanned around its first corner.
  GLM_READ_INLINE bool generalFace() {
    const char* token = skipSpace(p, end);
    p = skipWord(token, end);
    const char* tokenEnd = cString(token, p).end();
    // The first corner decides the form: "//" in it gives v//n, else the
    // count of numbers "%d/%d/%d" takes from it (3: v/t/n, 2: v/t, else
    // v); that read also takes the corner's numbers the form's way.
    Corner c{};
    bool bad = false;
    const char* q = token;
    Form form = kVN;
    if (hasDoubleSlash(token, tokenEnd)) {
      readCorner<Store>(q, tokenEnd, kVN, c, bad);
    } else {
      int n = readCorner<Store>(q, tokenEnd, kVTN, c, bad);
      form = n == 3 ? kVTN : n == 2 ? kVT : kV;
    }
    if (Store && !resolveInto(c, form, 0)) return s.fail("face index out of range");
    readCorner<Store>(p, end, form, c, bad);  // the second and third reads
    if (Store && !resolveInto(c, form, 1)) return s.fail("face index out of range");
    readCorner<Store>(p, end, form, c, bad);
    if (Store && !resolveInto(c, form, 2)) return s.fail("face index out of range");
    if (bad) return s.fail("face index out of range");
    uint64_t count = 1;
    if (Store && !store(form, resolved[0], resolved[1], resolved[2])) return false;
    for (;; count++) {
      if (Store) ++triangles;
      if (!readCorner<Store>(p, end, form, c, bad)) break;
      if (Store) {
        // Fan: keep the first corner, the last corner moves to the middle.
        for (int f = 0; f < 3; f++) resolved[1][f] = resolved[2][f];
        if (bad || !resolveInto(c, form, 2)) return s.fail("face index out of range");
        if (!store(form, resolved[0], resolved[1], resolved[2])) return false;
      }
    }
    if (!Store) {
      triangles += count;
      group->count += count;
    }
    return true;
  }

  // A group statement: counting creates the group, storing finds it; either
  // way it becomes current.
  bool groupStatement(const char* keyword) {
    if (!Store) return (group = countGroup(s, keyword, p)) != nullptr;
    const char* stop = lineEnd(p, end);
    auto found = s.groups.find(groupName(p, stop));
    p = stop;
    if (!s.takeMark(keyword) || found == s.groups.end()) return s.disagreeing();
    group = &found->second;
    group->group->material = material;
    return true;
  }

  // A library statement: counting reads the library, storing passes it.
  bool library(const char* keyword) {
    if (!Store) return countLibrary(s, keyword, p);
    if (!s.takeMark(keyword)) return s.disagreeing();
    p = lineEnd(p, end);
    return true;
  }

  // A material statement: storing gives the current group the material.
  void useMaterial() {
    const char* stop = lineEnd(p, end);
    if (Store) {
      std::string_view name = firstWord(p, stop);
      material = 0;
      if (!s.findMaterial(name, material)) s.missingMaterials.emplace_back(name);
      group->group->material = material;
    }
    p = stop;
  }

  // The end of the scan: counting hands over its counts; storing checks that
  // everything counted was stored, at the same group and library statements
  // (no group took more triangles than counted, so with the same total each
  // took its count), and leaves the group and material in force.
  bool finish() {
    if (!Store) {
      s.vertices = vertices;
      s.normals = normals;
      s.texcoords = texcoords;
      s.triangles = triangles;
      return true;
    }
    bool same = vertices == s.vertices && normals == s.normals && texcoords == s.texcoords &&
                triangles == s.triangles && s.nextMark == s.marks.size();
    s.group = group;
    s.material = material;
    return same || s.disagreeing();
  }
};

// One scan of the OBJ text: counting (Store false) or storing (Store true).
// The scan loop stays a function of its own: inlined into the read, it
// shares registers with the read's set-up and runs measurably slower.
template <bool Store>
GLM_NOINLINE bool scanObj(ObjScan& s) {
  ObjPass<Store> pass(s);
  for (;;) {
    const char* after = pass.p;  // where the statement before ended
    const char* keyword = pass.p = nextKeyword(s.text, pass.p, pass.releaseAt);
    if (keyword >= s.stop) {
      // A statement that went on past the stop took what a scan from there
      // would read: the text cannot be cut there.
      if (after > skipSpace(s.stop, pass.end)) return s.disagreeing();
      return pass.finish();
    }
    pass.p = skipWord(keyword, pass.end);
    s.statement = keyword;
    bool ok = true;
    switch (keyword[0]) {
      case 'v':
        ok = pass.coordinates(keyword);
        break;
      case 'f':
        ok = pass.face();
        break;
      case 'g':
        ok = pass.groupStatement(keyword);
        break;
      case 'm':
        ok = pass.library(keyword);
        break;
      case 'u':
        pass.useMaterial();
        break;
      default:
        pass.p = lineEnd(pass.p, pass.end);
        break;
    }
    if (!ok) return false;
  }
}

// ---- Counting by lines ------------------------------------------------------

// Nearly every file puts one statement on each line, keyword first, and then
// lines can be counted by their first bytes, sixty-four bytes at a time, much
// faster than statement by statement: a line that starts with "v" is a
// vertex (a normal with "n" after it, a texture coordinate with "t"), one
// that starts with "f" a face of as many corners as it has words after the
// keyword, and group and library lines are taken statement by statement.
// Lines of other statements count nothing. The storing pass then checks
// that it stored exactly what was counted, at the same group and library
// statements; where the guess was wrong (a statement spread over lines, a
// face of fewer than three corners, a keyword after white space, ...) the
// read starts over and counts statement by statement.

// Bit i: byte i of the 64 at p is a newline; is white space or another
// byte up to the blank.
struct Block {
  uint64_t newline = 0, blank = 0;
};

inline Block classifyBlock(const char* p) {
  Block b;
#if defined(__SSE2__)
  for (int i = 0; i < 4; i++) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    __m128i newline = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
    __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(' ')), x);
    b.newline |= uint64_t(unsigned(_mm_movemask_epi8(newline))) << (16 * i);
    b.blank |= uint64_t(unsigned(_mm_movemask_epi8(low))) << (16 * i);
  }
#else
  for (int i = 0; i < 64; i++) {
    b.newline |= uint64_t(p[i] == '\n') << i;
    b.blank |= uint64_t(static_cast<unsigned char>(p[i]) <= ' ') << i;
  }
#endif
  return b;
}

enum class LineStart { Counted, Face, Statement, Unsure };

// Counts the line starting at q by its first bytes (`next` is the second):
// a coordinate statement in counts[0..2] (vertices, normals, texture
// coordinates). Group and library lines are statements to read, and so are
// material lines when `uses`; lines whose keyword is unknown or comes after
// white space are unsure.
inline LineStart countLineStart(const char* q, char next, uint64_t* counts, bool uses) {
  switch (*q) {
    case 'v':
      if (static_cast<unsigned char>(next) <= ' ') return counts[0]++, LineStart::Counted;
      if (next == 'n') return counts[1]++, LineStart::Counted;
      if (next == 't') return counts[2]++, LineStart::Counted;
      return LineStart::Unsure;
    case 'f':
      return LineStart::Face;
    case 'g':
    case 'm':
      return LineStart::Statement;
    case 'u':
      return uses ? LineStart::Statement : LineStart::Counted;
    case '\n':
      return LineStart::Counted;
    case '\r':
      return next == '\n' ? LineStart::Counted : LineStart::Unsure;
    default:
      return static_cast<unsigned char>(*q) <= ' ' ? LineStart::Unsure : LineStart::Counted;
  }
}

// The counting pass by lines, over [s.begin, s.stop); false when the text
// does not look like one statement per line (nothing is reported: the read
// starts over) or a group or library statement fails. With s.lineMarks set
// the group, library and material lines are only noted there.
GLM_SCAN_CLONES bool countLines(ObjScan& s) {
  const char* p = s.begin;
  const char* const end = s.stop;
  GroupSlot* group = s.group;
  std::vector<LineMark>* const noted = s.lineMarks;
  uint64_t counts[3] = {0, 0, 0}, triangles = 0;
  uint64_t faces = 0, words = 0;  // face lines and their words since the last group
  uint64_t segment = 0;           // triangles since the last statement
  size_t releaseAt = size_t(p - s.text.data) + kReleaseStep;
  // State between blocks: the next byte starts a line, follows white space,
  // is within a face line.
  bool lineStart = true, blankBefore = true, inFace = false;
  // Adds the faces counted so far to the current group: a face of k words
  // (keyword included) has k - 3 triangles.
  auto flush = [&] {
    if (words < 3 * faces) return false;
    triangles += words - 3 * faces;
    segment += words - 3 * faces;
    faces = words = 0;
    return true;
  };
  // Ends the segment before the statement at `keyword` (null: the end).
  auto endSegment = [&](const char* keyword) {
    if (noted)
      noted->push_back(LineMark{keyword, segment});
    else
      group->count += segment;
    segment = 0;
  };
  // Takes the group, library or material statement at q; p goes past its line.
  auto statement = [&](const char* q) {
    if (!flush()) return false;
    endSegment(q);
    const char* keyword = q;
    p = skipWord(q, end);
    lineStart = blankBefore = true, inFace = false;
    if (noted) {
      p = lineEnd(p, end);
      return true;
    }
    return *keyword == 'g' ? (group = countGroup(s, keyword, p)) != nullptr
                           : countLibrary(s, keyword, p);
  };
  while (end - p >= 128) {  // a block and the byte after it
    if (size_t(p - s.text.data) >= releaseAt) {
      s.text.release(p);
      releaseAt = size_t(p - s.text.data) + kReleaseStep;
    }
    const Block b = classifyBlock(p);
    uint64_t starts = (b.newline << 1) | uint64_t(lineStart);
    uint64_t faceStarts = 0, stop = 0;  // stop: the bit of a statement's line
    for (; starts; starts &= starts - 1) {
      const int i = __builtin_ctzll(starts);
      LineStart kind = countLineStart(p + i, p[i + 1], counts, noted);
      if (kind == LineStart::Face) faceStarts |= uint64_t(1) << i;
      if (kind == LineStart::Unsure) return false;
      if (kind == LineStart::Statement) {
        stop = uint64_t(1) << i;
        break;
      }
    }
    // Bytes of face lines: each face start borrows from the newline that
    // ends its line, setting the bits between (a face line still open at
    // the block's start borrows one more).
    uint64_t region;
    bool borrow = __builtin_sub_overflow(b.newline, faceStarts, &region);
    borrow |= __builtin_sub_overflow(region, uint64_t(inFace), &region);
    region &= ~b.newline;
    if (stop) region &= stop - 1;
    const uint64_t wordStarts = ~b.blank & ((b.blank << 1) | uint64_t(blankBefore));
    words += uint64_t(bitCount(wordStarts & region));
    faces += uint64_t(bitCount(faceStarts));
    if (stop) {
      if (!statement(p + __builtin_ctzll(stop))) return false;
      continue;
    }
    lineStart = b.newline >> 63;
    blankBefore = b.blank >> 63;
    inFace = borrow;
    p += 64;
  }
  // The last bytes one at a time, the same way.
  while (p < end) {
    const char* q = p++;
    if (lineStart) {
      LineStart kind = countLineStart(q, q + 1 < end ? q[1] : '\n', counts, noted);
      if (kind == LineStart::Unsure) return false;
      if (kind == LineStart::Statement) {
        if (!statement(q)) return false;
        continue;
      }
      if (kind == LineStart::Face) faces++, inFace = true;
    }
    const bool blank = static_cast<unsigned char>(*q) <= ' ';
    words += inFace && !blank && blankBefore;
    blankBefore = blank;
    lineStart = *q == '\n';
    inFace &= !lineStart;
  }
  if (!flush()) return false;
  endSegment(nullptr);
  s.vertices = counts[0];
  s.normals = counts[1];
  s.texcoords = counts[2];
  s.triangles = triangles;
  return true;
}

// Takes the counts into the model and gives every group its index array.
bool sizeModel(ObjScan& s) {
  const uint64_t limit = UINT32_MAX;
  if (s.vertices > limit || s.normals > limit || s.texcoords > limit || s.triangles > limit)
    return s.failFile("more than 4294967295 vertices, normals, texture coordinates or triangles");
  GLMmodel* m = s.model;
  m->vertexcount = GLuint(s.vertices);
  m->normalcount = GLuint(s.normals);
  m->texcoordcount = GLuint(s.texcoords);
  m->trianglecount = GLuint(s.triangles);
  for (GLMgroup* g = m->groups; g; g = g->next) {
    GroupSlot& slot = s.groups.find(g->name)->second;
    g->triangles = static_cast<GLuint*>(malloc(slot.count * sizeof(GLuint)));
    if (!g->triangles && slot.count) return s.failFile("out of memory");
    adviseHugePages(g->triangles, slot.count * sizeof(GLuint));
  }
  return true;
}

// Counts everything, creates the groups, reads the material libraries, and
// gives every group its index array.
bool glmFirstPass(ObjScan& s) {
  s.group = s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup || !(s.byLines ? countLines(s) : scanObj<false>(s))) return false;
  return sizeModel(s);
}

// Stores everything into the arrays sized by the first pass.
bool glmSecondPass(ObjScan& s) { return scanObj<true>(s); }
// ---- The read ---------------------------------------------------------------

// Allocates the model's arrays at the sizes the first pass counted.
bool allocateArrays(ObjScan& s) {
  GLMmodel* m = s.model;
  m->vertices = static_cast<GLfloat*>(malloc((size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->normalcount)
    m->normals = static_cast<GLfloat*>(malloc((size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->texcoordcount)
    m->texcoords =
        static_cast<GLfloat*>(malloc((size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat)));
  m->triangles = static_cast<GLMtriangle*>(malloc(size_t(m->trianglecount) * sizeof(GLMtriangle)));
  if (!m->vertices || (m->normalcount && !m->normals) || (m->texcoordcount && !m->texcoords) ||
      (m->trianglecount && !m->triangles))
    return s.failFile("out of memory");
  adviseHugePages(m->vertices, (size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat));
  adviseHugePages(m->normals, (size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat));
  adviseHugePages(m->texcoords, (size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat));
  adviseHugePages(m->triangles, size_t(m->trianglecount) * sizeof(GLMtriangle));
  // Slot 0 is never used; keep it defined all the same.
  for (int i = 0; i < 3; i++) m->vertices[i] = 0;
  if (m->normals) m->normals[0] = m->normals[1] = m->normals[2] = 0;
  if (m->texcoords) m->texcoords[0] = m->texcoords[1] = 0;
  return true;
}

// An empty model read from `path`; null (with `error` filled) when out of
// memory.
GLMmodel* newModel(const char* path, Error& error) {
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  char* pathCopy = copyName(path);
  if (!model || !pathCopy) {
    free(model);
    free(pathCopy);
    fail(error, path, "out of memory");
    return nullptr;
  }
  model->path = pathCopy;
  return model;
}

// ---- Reading in pieces ------------------------------------------------------

// A large text is cut at line starts into pieces, a few per thread, which
// the threads take in turn: pieces differ in cost (faces store more than
// coordinates), and a thread done early takes the next. Each piece
// is counted by lines, noting its group, library and material lines; these
// are then taken in file order (creating the groups in the same order and
// reading the libraries), which gives every piece its first numbers in each
// array and in each group's list, and the group and material in force at
// its start. Each piece then stores its part straight into the model's
// arrays, which were allocated but not touched, so that their pages fault in
// on the thread that fills them. A piece that cannot be read alone (a count
// by lines gone wrong, a statement going on past its end, a group or
// material at its end other than the next piece assumed) sends the whole
// read back to one thread, which alone then decides the model or the error.

// Pieces no smaller than this: below, threads cost more than they save.
constexpr size_t kSmallestPiece = size_t(2) << 20;
// Pieces per thread, when the text is large enough.
constexpr size_t kPiecesPerThread = 4;
constexpr GLuint kUnset = UINT32_MAX;  // no material index reaches this

std::atomic<unsigned> splitThreads{0};
std::atomic<size_t> splitSmallest{0};

// CELSHADE_READ_THREADS when it holds a positive number, else the CPUs the
// process may run on.
unsigned defaultThreads() {
  if (const char* env = getenv("CELSHADE_READ_THREADS")) {
    char* rest = nullptr;
    unsigned long n = strtoul(env, &rest, 10);
    if (rest != env && *rest == '\0' && n >= 1) return unsigned(std::min(n, 256ul));
  }
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return unsigned(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// How many threads read a text, and in how many pieces: one of each when
// the text is too small for two pieces.
struct Split {
  size_t threads, pieces;
};
Split splitFor(size_t size) {
  const unsigned threads = splitThreads.load() ? splitThreads.load() : defaultThreads();
  const size_t smallest = splitSmallest.load() ? splitSmallest.load() : kSmallestPiece;
  const size_t pieces = std::min<size_t>(threads * kPiecesPerThread, size / smallest);
  if (threads < 2 || pieces < 2) return Split{1, 1};
  return Split{std::min<size_t>(threads, pieces), pieces};
}

// A group's triangles within one piece: the first's place in its list, and
// how many.
struct GroupShare {
  GroupSlot* slot;
  uint64_t first, count;
};

struct Piece {
  const char* begin = nullptr;
  const char* stop = nullptr;
  bool ok = false;
  // Counted: vertices, normals, texture coordinates, triangles, and the
  // group, library and material lines.
  uint64_t counts[4] = {0, 0, 0, 0};
  std::vector<LineMark> marks;
  // Placed: the numbers before the piece, the group and material in force
  // at its start, the groups it stores into.
  uint64_t first[4] = {0, 0, 0, 0};
  GroupSlot* group = nullptr;
  const char* use = nullptr;  // the material line in force at the start
  GLuint material = 0;
  std::vector<GroupShare> shares;
  // Stored: the group (by name) and material in force at its end, the
  // materials it gave groups, the materials it did not find.
  const char* endGroup = nullptr;
  GLuint endMaterial = 0;
  std::vector<std::pair<GLMgroup*, GLuint>> materials;
  std::vector<std::string> missing;
};

// Cuts the text at line starts into at most `count` pieces of about the
// same size.
std::vector<Piece> cutPieces(const Text& text, size_t count) {
  std::vector<Piece> pieces;
  const char* begin = text.data;
  for (size_t i = 1; i <= count && begin < text.end(); i++) {
    const char* stop = text.data + text.size / count * i + text.size % count * i / count;
    if (i == count) stop = text.end();
    if (stop <= begin) continue;
    if (stop[-1] != '\n') stop = lineEnd(stop, text.end());
    pieces.emplace_back();
    pieces.back().begin = begin;
    pieces.back().stop = stop;
    begin = stop;
  }
  return pieces;
}

std::atomic<PieceRunner> pieceRunner{nullptr};

// Runs work(i) for every i < n on `threads` threads, the caller's among
// them, each taking the next i in turn (on the caller's alone when no
// thread can be started).
template <class Work>
void runPieces(size_t n, size_t threads, Work work) {
  if (PieceRunner runner = pieceRunner.load()) {  // a test's threads
    runner(n, threads, [](void* context, size_t i) { (*static_cast<Work*>(context))(i); }, &work);
    return;
  }
  std::atomic<size_t> next{0};
  auto take = [&] {
    for (size_t i; (i = next.fetch_add(1)) < n;) work(i);
  };
  std::vector<std::thread> started;
  started.reserve(threads);
  for (size_t k = 1; k < threads; k++) {
    try {
      started.emplace_back(take);
    } catch (const std::exception&) {
      break;
    }
  }
  take();
  for (std::thread& t : started) t.join();
}

// The scan of one piece on its own thread: a view of the text and an error
// of its own (a piece's failure only sends the read back to one thread).
struct PieceScan {
  Text text;
  Error error;
  ObjScan s;
  PieceScan(ObjScan& whole, const Piece& piece)
      : text(whole.text, piece.begin), s(whole.model, text, whole.mtl, error) {
    s.begin = piece.begin;
    s.stop = piece.stop;
  }
};

// Counts a piece by lines, noting its group, library and material lines.
void countPiece(ObjScan& whole, Piece& piece) try {
  PieceScan scan(whole, piece);
  ObjScan& s = scan.s;
  s.lineMarks = &piece.marks;
  piece.ok = countLines(s);
  const uint64_t counts[4] = {s.vertices, s.normals, s.texcoords, s.triangles};
  std::copy(counts, counts + 4, piece.counts);
} catch (const std::exception&) {
  piece.ok = false;
}

// Takes the pieces' noted lines in file order: creates the groups, reads
// the libraries, places every piece and sizes the model. False when a
// piece could not be counted by lines or a statement fails.
bool placePieces(ObjScan& s, std::vector<Piece>& pieces) {
  s.group = s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup) return s.failFile("out of memory");
  GroupSlot* group = s.group;
  const char* use = nullptr;
  uint64_t next[4] = {0, 0, 0, 0};
  for (Piece& piece : pieces) {
    if (!piece.ok) return false;
    piece.group = group;
    piece.use = use;
    for (int k = 0; k < 4; k++) piece.first[k] = next[k], next[k] += piece.counts[k];
    std::unordered_map<GroupSlot*, size_t> shareOf;
    for (const LineMark& mark : piece.marks) {
      auto found = shareOf.emplace(group, piece.shares.size());
      if (found.second) piece.shares.push_back(GroupShare{group, group->count, 0});
      piece.shares[found.first->second].count += mark.triangles;
      group->count += mark.triangles;
      if (!mark.keyword) break;
      const char* p = skipWord(mark.keyword, s.text.end());
      s.statement = mark.keyword;
      if (*mark.keyword == 'g') {
        if (!(group = countGroup(s, mark.keyword, p))) return false;
      } else if (*mark.keyword == 'm') {
        if (!countLibrary(s, mark.keyword, p)) return false;
      } else {
        use = mark.keyword;
      }
    }
  }
  s.statement = s.text.data;
  s.vertices = next[0];
  s.normals = next[1];
  s.texcoords = next[2];
  s.triangles = next[3];
  // Materials are found in the last library read, as the storing pass finds them.
  const char* const end = s.text.end();
  for (Piece& piece : pieces) {
    if (!piece.use) continue;
    const char* p = skipWord(piece.use, end);
    const char* stop = p < end ? lineEnd(p, end) : end;
    if (!s.findMaterial(firstWord(p, stop), piece.material)) piece.material = 0;
  }
  return sizeModel(s);
}

// Stores a piece into the model's arrays; its groups are stand-ins that
// point into the real groups' lists at the piece's places.
void storePiece(ObjScan& whole, Piece& piece) try {
  PieceScan scan(whole, piece);
  ObjScan& s = scan.s;
  std::vector<GLMgroup> standIns;
  standIns.reserve(piece.shares.size());
  for (const GroupShare& share : piece.shares) {
    GLMgroup* g = share.slot->group;
    standIns.push_back(GLMgroup{g->name, 0, g->triangles + share.first, kUnset, nullptr});
    s.groups.emplace(std::string_view(g->name), GroupSlot{&standIns.back(), share.count});
  }
  s.group = &s.groups.find(piece.group->group->name)->second;
  s.material = piece.material;
  std::copy(piece.first, piece.first + 4, s.first);
  s.vertices = piece.first[0] + piece.counts[0];
  s.normals = piece.first[1] + piece.counts[1];
  s.texcoords = piece.first[2] + piece.counts[2];
  s.triangles = piece.first[3] + piece.counts[3];
  for (const LineMark& mark : piece.marks)
    if (mark.keyword && *mark.keyword != 'u') s.marks.push_back(mark.keyword);
  piece.ok = glmSecondPass(s);
  // The piece's text is not read again: hand its pages back now, not when
  // the last piece is done, so that the text is never resident as a whole.
  scan.text.releaseBefore(piece.stop);
  if (!piece.ok) return;
  piece.endGroup = s.group->group->name;
  piece.endMaterial = s.material;
  for (size_t i = 0; i < standIns.size(); i++)
    if (standIns[i].material != kUnset)
      piece.materials.emplace_back(piece.shares[i].slot->group, standIns[i].material);
  piece.missing = std::move(s.missingMaterials);
} catch (const std::exception&) {
  piece.ok = false;
}

// Checks that every piece stored what was counted and ended in the group
// and material the next one assumed; then completes the groups and gathers
// the materials not found, in file order.
bool finishPieces(ObjScan& s, std::vector<Piece>& pieces, Unfound& missing) {
  for (size_t k = 0; k < pieces.size(); k++) {
    const Piece& piece = pieces[k];
    if (!piece.ok) return false;
    if (k + 1 < pieces.size() && (piece.endGroup != pieces[k + 1].group->group->name ||
                                  piece.endMaterial != pieces[k + 1].material))
      return false;
  }
  for (auto& named : s.groups) named.second.group->trianglecount = GLuint(named.second.count);
  for (Piece& piece : pieces) {
    for (const auto& given : piece.materials) given.first->material = given.second;
    for (std::string& name : piece.missing) missing.materials.push_back(std::move(name));
  }
  missing.libraries = std::move(s.missingLibraries);
  return true;
}

// Reads the model from `text` in `count` pieces; null (with nothing
// reported) when a piece cannot be read alone or anything fails: the read
// by one thread then decides.
GLMmodel* readPieces(const char* path, Text& text, const MtlSource& mtl, Split split,
                     Unfound& missing) {
  Error error;
  GLMmodel* model = newModel(path, error);
  if (!model) return nullptr;
  bool ok = false;
  try {
    std::vector<Piece> pieces = cutPieces(text, split.pieces);
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    runPieces(pieces.size(), split.threads, [&](size_t i) { countPiece(scan, pieces[i]); });
    ok = placePieces(scan, pieces) && allocateArrays(scan);
    if (ok) runPieces(pieces.size(), split.threads, [&](size_t i) { storePiece(scan, pieces[i]); });
    ok = ok && finishPieces(scan, pieces, missing);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  text.releaseAll();
  if (ok) return model;
  glmDelete(model);
  missing = Unfound{};
  return nullptr;
}

// One read of the model from `text`, its first pass counting by lines or
// statement by statement; null (with `error` filled) on any error. The
// libraries and materials not found are left in `missing`.
GLMmodel* readOnce(const char* path, Text& text, const MtlSource& mtl, Error& error, bool byLines,
                   Unfound& missing) {
  GLMmodel* model = newModel(path, error);
  if (!model) return nullptr;
  bool ok = false;
  try {
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    scan.byLines = byLines;
    ok = glmFirstPass(scan);
    text.releaseAll();
    ok = ok && allocateArrays(scan) && glmSecondPass(scan);
    text.releaseAll();
    missing.materials = std::move(scan.missingMaterials);
    missing.libraries = std::move(scan.missingLibraries);
  } catch (const std::bad_alloc&) {
    ok = fail(error, path, "out of memory");
  }
  if (ok) return model;
  glmDelete(model);
  return nullptr;
}

// Reads the model from `text`; null (with `error` filled) on any error.
// A large text is read in pieces on several threads where it can be (see
// above); otherwise the read counts by lines first (unless told to count statements only); when that
// count turns out wrong, or the read fails, reads again counting statement
// by statement, which alone decides the outcome and the messages.
GLMmodel* readModel(const char* path, Text& text, const MtlSource& mtl, Error& error,
                    int counting = GLM_COUNT_LINES_FIRST) {
  if (!startText(text, error, path)) return nullptr;
  Unfound missing;
  if (counting == GLM_COUNT_LINES_FIRST) {
    const Split split = splitFor(text.size);
    GLMmodel* model = split.pieces > 1 ? readPieces(path, text, mtl, split, missing) : nullptr;
    if (model) {
      missing.report();
      return model;
    }
  }
  if (counting != GLM_COUNT_STATEMENTS) {
    GLMmodel* model = readOnce(path, text, mtl, error, true, missing);
    if (model) {
      missing.report();
      return model;
    }
    if (counting == GLM_COUNT_LINES_ONLY) {
      if (error.message.empty()) fail(error, path, "lines miscounted");
      return nullptr;
    }
    error = Error{};
    missing = Unfound{};
  }
  GLMmodel* model = readOnce(path, text, mtl, error, false, missing);
  missing.report();
  return model;
}

// Copies the message into the caller's buffer, cut to fit.
void report(const Error& error, char* buffer, size_t size) {
  if (buffer && size) snprintf(buffer, size, "%s", error.message.c_str());
}

GLMmodel* readFile(const char* filename, GLuint flags, Error& error) {
  Text text;
  Load load = loadFile(filename, text);
  if (load != Load::Ok) {
    failLoad(error, load, filename, Fail::OpenObj, "can't open data file");
    return nullptr;
  }
  MtlSource source;
  source.optional = flags & GLM_READ_OPTIONAL_LIBRARIES;
  return readModel(filename, text, source, error);
}

}  // namespace
}  // namespace read_detail

GLMmodel* glmReadOBJ(const char* filename) {
  GLM_ASSERT(filename);
  read_detail::Error error;
  GLMmodel* model = read_detail::readFile(filename, 0, error);
  if (model) return model;
  switch (error.kind) {
    case read_detail::Fail::OpenObj:
      fprintf(stderr, "glmReadOBJ() failed: can't open data file \"%s\".\n", filename);
      break;
    case read_detail::Fail::OpenMtl:
      fprintf(stderr, "glmReadMTL() failed: can't open material file \"%s\".\n",
              error.subject.c_str());
      break;
    case read_detail::Fail::UnknownToken:
      printf("glmFirstPass(): Unknown token \"%s\".\n", error.subject.c_str());
      break;
    case read_detail::Fail::Other:
      fprintf(stderr, "%s\n", error.message.c_str());
      break;
  }
  exit(1);
}

GLMmodel* glmTryReadOBJ(const char* filename, char* error, size_t errorsize) {
  return glmTryReadOBJWith(filename, 0, error, errorsize);
}

GLMmodel* glmTryReadOBJWith(const char* filename, GLuint flags, char* error, size_t errorsize) {
  GLM_ASSERT(filename);
  read_detail::Error failure;
  GLMmodel* model = read_detail::readFile(filename, flags, failure);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}

namespace {

GLMmodel* readText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                   void* user, GLuint flags, char* error, size_t errorsize, int counting) {
  GLM_ASSERT(path);
  GLM_ASSERT(text || length == 0);
  read_detail::Text span;
  span.data = text;
  span.size = length;
  read_detail::Error failure;
  read_detail::MtlSource source;
  source.callback = mtl;
  source.user = user;
  source.optional = flags & GLM_READ_OPTIONAL_LIBRARIES;
  if (!mtl) source.callback = [](void*, const char*, size_t*) -> const char* { return nullptr; };
  GLMmodel* model = read_detail::readModel(path, span, source, failure, counting);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}

}  // namespace

GLMmodel* glmReadOBJText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                         void* user, char* error, size_t errorsize) {
  return readText(path, text, length, mtl, user, 0, error, errorsize, GLM_COUNT_LINES_FIRST);
}

GLMmodel* glmReadOBJTextWith(const char* path, const char* text, size_t length,
                             GLMmtlsource mtl, void* user, GLuint flags, char* error,
                             size_t errorsize) {
  return readText(path, text, length, mtl, user, flags, error, errorsize, GLM_COUNT_LINES_FIRST);
}

GLMmodel* readObjTextCounting(const char* path, const char* text, size_t length,
                                 GLMmtlsource mtl, void* user, char* error, size_t errorsize,
                                 int counting) {
  GLM_ASSERT(counting >= GLM_COUNT_LINES_FIRST && counting <= GLM_COUNT_LINES_ONLY);
  return readText(path, text, length, mtl, user, 0, error, errorsize, counting);
}

void setPieceRunner(PieceRunner runner) { read_detail::pieceRunner = runner; }

void setReadSplit(unsigned threads, size_t smallest) {
  read_detail::splitThreads = threads;
  read_detail::splitSmallest = smallest;
}
