// The OBJ statements: the scan of OBJ text in one pass or in two (counting,
// then storing), the statements one by one, the groups, libraries and
// materials they name, and the model's arrays.
//
// One thread reads a text in one pass where it can: the arrays grow as they
// fill (a large array's pages are moved, not copied, where the system can)
// and are cut to size at the end. One pass settles the model exactly as two
// would unless a library comes after a material statement, a face names an
// element the text never comes to, or (read leniently) a face drops indices
// of a kind the text then has after all; then, and on any error, the one
// pass gives up without a word and the text is read in two, which alone
// tells errors.
//
// Read in two passes (in pieces on several threads, or after the one pass
// gave up), the text is scanned in memory (a read-only mapping of the file,
// or the caller's buffer) twice: the first pass counts and creates the
// groups, the second stores. The first pass counts lines by their first
// bytes (read_count.cpp), which holds for files of one statement per line;
// the second reads statement by statement and checks that it stored exactly
// what was counted. When it did not, the read starts over with a first pass
// that is the second's scanner instantiated to count, so that the passes
// agree by construction. Plain statements (coordinates and faces of the
// usual shapes, away from the end of the text) take shortcuts that end
// exactly where the statement-by-statement reading would and give the same
// values; faces use one recogniser in both passes. Storing never goes past
// what was counted.
//
// Which lines are fast:
//  - One thread reads in one pass unless the text needs two (above), which
//    costs the text's reading again: a library statement after a material
//    statement, for one, is read in up to three times the time.
//  - Counting by lines holds when every statement stands on a line of its
//    own, keyword first. Where it does not (a face going on over the next
//    line, a comment after a face's corners, a face of fewer than three
//    corners, an indented keyword), the text is read again counting
//    statement by statement: the same result, in up to twice the time.
//  - In the storing pass, runs of coordinate lines and of face lines are
//    stored in tight loops (plainCoordinateRun, plainFaceRun), fastest when
//    coordinates are plain decimals (no exponent, at most seven digits on
//    each side of the point) and face corners numbers one blank apart, all
//    unsigned or all relative (simpleFace). Everything else is read by the
//    same rules, only more slowly.
//  - Files are mapped, and pages already read are handed back (system.cpp),
//    but counting by lines and the runs of plain lines read a file through
//    a small window copied with pread (Window), which costs a fraction of
//    faulting the mapping's pages in; the model's arrays go on huge pages
//    where the system grants them.
#include "read_lines.h"
#include "read_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace read_detail {

// ---- The material table -----------------------------------------------------

bool ObjScan::findMaterial(std::string_view name, GLuint& index) {
  if (indexed != model->materials) indexMaterials();
  GLuint found;
  findSlot(name, found);
  if (found) index = found - 1;
  return found != 0;
}

// The slot holding `name`, with index + 1 in `found`; else the empty slot
// where it belongs, with `found` 0. Null without a table.
uint64_t* ObjScan::findSlot(std::string_view name, GLuint& found) {
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

void ObjScan::indexMaterials() {
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

namespace {

// A group's name: the line rest [p, stop) without its newline, cut at a NUL.
// Read leniently, without a carriage return before the newline or in its
// place either.
inline std::string_view groupName(const char* p, const char* stop, bool lenient) {
  if (stop > p && stop[-1] == '\n') --stop;
  if (lenient && stop > p && stop[-1] == '\r') --stop;
  return cString(p, stop);
}

}  // namespace

const char* ObjScan::lineEnd(const char* p) const {
  return read_detail::lineEnd(p, text.end(), lenient);
}

bool ObjScan::unknownToken(const char* keyword, const char* end) {
  if (quiet) return false;
  read_detail::fail(error, model->path, "unknown token \"" + quote(keyword, end) + "\"", &text,
                    keyword, false);
  error.kind = Fail::UnknownToken;
  error.subject = printable(cString(keyword, end));
  return false;
}

// ---- Groups and libraries ---------------------------------------------------

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
  return &s.groups.emplace(std::string_view(copy, name.size()), GroupSlot{group, 0}).first->second;
}

GroupSlot* countGroup(ObjScan& s, const char* keyword, const char*& p) {
  const char* stop = s.lineEnd(p);
  std::string_view name = groupName(p, stop, s.lenient);
  p = stop;
  s.marks.push_back(keyword);
  auto found = s.groups.find(name);
  GroupSlot* group = found != s.groups.end() ? &found->second : newGroup(s, name);
  if (!group) s.failFile("out of memory");
  return group;
}

bool countLibrary(ObjScan& s, const char* keyword, const char*& p) {
  const char* stop = s.lineEnd(p);
  const char* rest = p;
  p = stop;
  s.marks.push_back(keyword);
  if (s.lenient) return readLibraryList(s, keyword, rest, stop);
  std::string_view name = firstWord(rest, stop);
  char* copy = copyName(name);
  if (!copy) return s.failFile("out of memory");
  free(s.model->mtllib);
  s.model->mtllib = copy;
  if (glmReadMTL(s.model, name, s.mtl, s.error, s.libraries)) return true;
  if (!s.mtl.optional || s.error.kind != Fail::OpenMtl) return false;
  // An optional library that cannot be opened: the read goes on with the
  // materials it had.
  missingLibrary(s, keyword, name, s.error.code);
  s.error = Failure{};
  return true;
}

void missingLibrary(ObjScan& s, const char* keyword, std::string_view name, int code) {
  s.missingLibraries.push_back(
      printable(s.model->path) + ":" + std::to_string(lineOf(s.text.data, keyword)) +
      ": can't open material library \"" + printable(name) + "\" (" + strerror(code) + ")");
}

// ---- Statements -------------------------------------------------------------

namespace {

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
                                      const uint64_t next[3], GroupSlot& group, uint64_t& triangles,
                                      uint64_t limit) {
  const char* last = nullptr;
  GLMgroup* g = group.group;
  for (;;) {
    PlainFace face;
    const char* q = simpleFace<false>(p, face);
    if (!q && p[1] == '-') q = simpleFace<true>(p, face);
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
// inlined into the scan loop and keep this state in registers. Storing with
// Grow, the scan is the only one: nothing was counted, the arrays grow as
// they fill, groups and libraries are taken as they come, and whatever the
// one pass cannot settle as two passes would (an index naming an element
// further on, a library after a material statement, ...) fails it, quietly,
// for the two passes to read the text instead.
template <bool Store, bool Grow = false>
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
  GLuint resolved[3][3] = {};    // corner (first, last-but-one, last) x (v, t, n)
  Window window{s.text, Store};  // where runs of plain lines read a mapped file
  // Growing: a material statement was read; the furthest vertex, texture
  // coordinate and normal a face named before the text came to them.
  bool materialUsed = false;
  GLuint ahead[3] = {0, 0, 0};

  explicit ObjPass(ObjScan& scan) : s(scan) {}

  // Runs of like lines stop before the next hand-back, where fewer than
  // kPlainRoom bytes would follow the next keyword, and before a line that
  // starts at the scan's stop.
  GLM_READ_INLINE const char* runStop() const {
    const size_t room = size_t(kPlainRoom) + 4, size = s.text.size;
    const size_t last = size_t(s.stop - s.text.data) - 1;
    return s.text.data + std::min({releaseAt, size > room ? size - room : 0, last});
  }

  // A run of plain lines whose first keyword ends at p: run(from, stop) on
  // the copy of the text in the window, where there is one (stopping where
  // the copy leaves less room than runStop does), else on the text; where
  // the run ends in the text, or null. A run stopped by the window's edge
  // goes on in the next window when the line after it continues it:
  // next(q), at the run's end q in the copy, gives the bytes from there to
  // just after that line's keyword, or 0. So the scan meets the text itself
  // only where a run really ends.
  template <class Run, class Next>
  GLM_READ_INLINE const char* runInWindow(Run run, Next next) {
    const size_t room = size_t(kPlainRoom) + 4;
    const char* const stop = runStop();
    const char* last = nullptr;
    for (const char* at = p;;) {
      const char* from = window.at(at, room);
      if (from == at) {
        const char* q = run(at, stop);
        return q ? q : last;
      }
      const char* edge = window.copyOf(std::min(stop, window.end() - room));
      const char* q = run(from, edge);
      if (!q) return last;
      last = window.textOf(q);
      const size_t skip = q >= edge && last < stop ? next(q) : 0;
      if (!skip) return last;
      at = last + skip;
    }
  }

  // Growing: doubles the room of `array`, `room` elements of `each` bytes
  // after `spare` unused ones (at least `least`, and 64). False when memory
  // runs out or the count would pass what a model holds.
  template <class T>
  GLM_NOINLINE bool grow(T*& array, uint64_t& room, uint64_t least, size_t each, size_t spare = 0) {
    const uint64_t more = std::max<uint64_t>({2 * room, least, 64});
    if (more > UINT32_MAX) return false;
    void* grown = growHugePages(array, (room + spare) * each, (more + spare) * each);
    if (!grown) return false;
    array = static_cast<T*>(grown);
    room = more;
    return true;
  }

  // Stores the triangle (a, b, c) of resolved corners with the fields the
  // form sets, at next triangle.
  GLM_READ_INLINE bool store(Form form, const GLuint* a, const GLuint* b, const GLuint* c) {
    GLMgroup* g = group->group;
    if ((triangles >= s.triangles &&
         !(Grow && grow(m->triangles, s.triangles, s.text.size / 64, sizeof(GLMtriangle)))) ||
        (g->trianglecount >= group->count &&
         !(Grow && grow(g->triangles, group->count, 0, sizeof(GLuint)))))
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
    return resolveCorner(c.v, c.t, c.n, form, next, m, resolved[k]) ||
           (s.lenient && resolveDropping(c, form, k)) || (Grow && resolveAhead(c, form, k));
  }

  // Growing, an index may name an element the text has not come to yet:
  // resolves corner c into resolved[k] so, noting the furthest one named in
  // `ahead`; the read fails at its end when those elements never came.
  GLM_NOINLINE bool resolveAhead(const Corner& c, Form form, int k) {
    const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
    GLMmodel all = *m;
    all.vertexcount = all.texcoordcount = all.normalcount = UINT32_MAX;
    if (!resolveCorner(c.v, c.t, c.n, form, next, &all, resolved[k])) return false;
    for (int i = 0; i < 3; i++) ahead[i] = std::max(ahead[i], resolved[k][i]);
    return true;
  }

  // Read leniently, a corner naming texture coordinates or normals of a
  // file that has none loses those indices: resolves corner c into
  // resolved[k] without them, noting the first face that named them. False
  // when there were none to drop or another index names nothing.
  GLM_NOINLINE bool resolveDropping(Corner c, Form form, int k) {
    const bool texcoord = (form == kVT || form == kVTN) && c.t && !m->texcoordcount;
    const bool normal = (form == kVN || form == kVTN) && c.n && !m->normalcount;
    if (texcoord) c.t = 0;
    if (normal) c.n = 0;
    const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
    if (!(texcoord || normal) || !resolveCorner(c.v, c.t, c.n, form, next, m, resolved[k]))
      return false;
    PassedOver& over = s.passedOver;
    if (texcoord && !over.texcoords) over.texcoords = s.statement;
    if (normal && !over.normals) over.normals = s.statement;
    return true;
  }

  // Where a coordinate or face statement that read up to p ends. Read
  // leniently, whatever else stands on its line belongs to it (vertex
  // colours, a comment) and is skipped; otherwise that is read as more
  // statements.
  GLM_READ_INLINE const char* statementEnd(const char* p) const {
    if (!s.lenient) return p;
    const char* q = p;
    while (q < end && isSpace(*q) && *q != '\n' && *q != '\r') ++q;
    return q == end || *q == '\n' || *q == '\r' ? q : s.lineEnd(q);
  }

  // A coordinate statement ("v", "vn", "vt") whose keyword is at `keyword`.
  GLM_READ_INLINE bool coordinates(const char* keyword) {
    size_t length = size_t(p - keyword);
    int n;
    uint64_t *count, *counted;
    GLfloat** arrayOf;                        // (storing) the kind's array and its counted size
    if (length == 1 || keyword[1] == '\0') {  // "v" alone, as a C string too
      n = 3, count = &vertices, arrayOf = &m->vertices, counted = &s.vertices;
    } else if (keyword[1] == 'n') {
      n = 3, count = &normals, arrayOf = &m->normals, counted = &s.normals;
    } else if (keyword[1] == 't') {
      n = 2, count = &texcoords, arrayOf = &m->texcoords, counted = &s.texcoords;
    } else {
      return s.unknownToken(keyword, p);
    }
    float sink[3];  // the counting pass converts nothing
    float* out = sink;
    // Growing, a face that lost indices of this kind (see resolveDropping,
    // which drops them only while there are none) fails the pass before the
    // first is read.
    const char* dropped = count == &normals     ? s.passedOver.normals
                          : count == &texcoords ? s.passedOver.texcoords
                                                : nullptr;
    if (Store && *count >= *counted &&
        !(Grow && !dropped && grow(*arrayOf, *counted, s.text.size / 128, n * sizeof(GLfloat), 1)))
      return s.disagreeing();
    GLfloat* const array = *arrayOf;
    const uint64_t size = *counted;
    if (Store) out = &array[n * (*count + 1)];
    if (end - p >= kPlainRoom) {
      if (Store) {
        auto run = [&](const char* from, const char* stop) -> const char* {
          if (*count >= size) return nullptr;
          return plainCoordinateRun(from, keyword, length, n, &array[n * (*count + 1)],
                                    size - *count, stop, *count);
        };
        auto next = [&](const char* q) -> size_t {
          const bool same = q[0] == '\n' && length <= 2 && q[1] == keyword[0] &&
                            (length == 1 || q[2] == keyword[1]);
          return same ? 1 + length : 0;
        };
        if (const char* q = runInWindow(run, next)) {
          p = statementEnd(q);
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
    p = statementEnd(readFloats<Store>(p, end, n, out, bad));
    return !bad || s.fail("number out of range");
  }

  // A face statement: plain faces take the shortcuts, the rest is read
  // corner by corner.
  GLM_READ_INLINE bool face() {
    if (Grow) {  // indices name what is read so far
      m->vertexcount = GLuint(vertices);
      m->normalcount = GLuint(normals);
      m->texcoordcount = GLuint(texcoords);
    }
    if (end - p >= kPlainRoom) {
      if (Store) {
        const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
        auto run = [&](const char* from, const char* stop) {
          return plainFaceRun(from, stop, m, next, *group, triangles, s.triangles);
        };
        auto nextFace = [](const char* q) -> size_t { return q[0] == 'f' && isBlank(q[1]); };
        if (const char* q = runInWindow(run, nextFace)) {
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
    p = statementEnd(p);
    return true;
  }

  // Counting a piece: notes the group, library or material statement at
  // `keyword` with the triangles counted since the one before, to be taken
  // once every piece is counted.
  bool note(const char* keyword) {
    s.lineMarks->push_back(LineMark{keyword, group->count});
    group->count = 0;
    p = s.lineEnd(p);
    return true;
  }

  // A group statement: counting creates the group, storing finds it; either
  // way it becomes current.
  bool groupStatement(const char* keyword) {
    if (!Store && s.lineMarks) return note(keyword);
    if (!Store) return (group = countGroup(s, keyword, p)) != nullptr;
    if (Grow) {
      if (!(group = countGroup(s, keyword, p))) return false;
      group->group->material = material;
      return true;
    }
    const char* stop = s.lineEnd(p);
    auto found = s.groups.find(groupName(p, stop, s.lenient));
    p = stop;
    if (!s.takeMark(keyword) || found == s.groups.end()) return s.disagreeing();
    group = &found->second;
    group->group->material = material;
    return true;
  }

  // A library statement: counting reads the library, storing passes it.
  bool library(const char* keyword) {
    // Growing, materials named before are already looked up: a library
    // after them could change what they name.
    if (!Store && s.lineMarks) return note(keyword);
    if (!Store || (Grow && !materialUsed)) return countLibrary(s, keyword, p);
    if (Grow) return false;
    if (!s.takeMark(keyword)) return s.disagreeing();
    p = s.lineEnd(p);
    return true;
  }

  // A material statement: storing gives the current group the material.
  void useMaterial(const char* keyword) {
    if (!Store && s.lineMarks) {
      note(keyword);
      return;
    }
    const char* stop = s.lineEnd(p);
    materialUsed = true;
    if (Store) {
      std::string_view name = firstWord(p, stop);
      material = 0;
      if (!s.findMaterial(name, material)) s.missingMaterials.emplace_back(name);
      group->group->material = material;
    }
    p = stop;
  }

  // The end of the scan: counting hands over its counts, and so does
  // growing, once every element a face named has come; storing checks that
  // everything counted was stored, at the same group and library statements
  // (no group took more triangles than counted, so with the same total each
  // took its count), and leaves the group and material in force.
  bool finish() {
    if (!Store && s.lineMarks) s.lineMarks->push_back(LineMark{nullptr, group->count});
    if (!Store || Grow) {
      s.vertices = vertices;
      s.normals = normals;
      s.texcoords = texcoords;
      s.triangles = triangles;
      if (Grow) s.group = group, s.material = material;
      return !Grow || (ahead[0] <= vertices && ahead[1] <= texcoords && ahead[2] <= normals);
    }
    bool same = vertices == s.vertices && normals == s.normals && texcoords == s.texcoords &&
                triangles == s.triangles && s.nextMark == s.marks.size();
    s.group = group;
    s.material = material;
    return same || s.disagreeing();
  }
};

// What a statement is.
enum class Kind { Coordinates, Face, Group, Library, Use, Skip, Unknown };

// By the first letter of its keyword (the second of a coordinate statement
// is looked at where it is read).
inline Kind kindByFirstLetter(char c) {
  switch (c) {
    case 'v': return Kind::Coordinates;
    case 'f': return Kind::Face;
    case 'g': return Kind::Group;
    case 'm': return Kind::Library;
    case 'u': return Kind::Use;
    default: return Kind::Skip;
  }
}

// By the whole keyword [k, k + n) (lenient reading): the keywords read are
// what their first letters say; object names, smoothing groups, lines,
// points and comments are skipped as by the first letter; every other
// statement is unknown.
inline Kind kindByWord(const char* k, size_t n) {
  const bool letter = n == 1;
  if ((letter && (k[0] == 'v' || k[0] == 'f' || k[0] == 'g')) ||
      (n == 2 && k[0] == 'v' && (k[1] == 'n' || k[1] == 't')) ||
      (n == 6 && (memcmp(k, "mtllib", 6) == 0 || memcmp(k, "usemtl", 6) == 0)))
    return kindByFirstLetter(k[0]);
  const bool skipped = (letter && (k[0] == 'o' || k[0] == 's' || k[0] == 'l' || k[0] == 'p'));
  return skipped || k[0] == '#' ? Kind::Skip : Kind::Unknown;
}

// Statements longer than this (runs of plain lines) hand back the mapped
// pages around their keyword.
constexpr ptrdiff_t kLongRun = ptrdiff_t(64) << 10;

// One scan of the OBJ text: counting (Store false) or storing (Store true).
// The scan loop stays a function of its own: inlined into the read, it
// shares registers with the read's set-up and runs measurably slower.
template <bool Store, bool Grow = false>
GLM_NOINLINE bool scanObj(ObjScan& s) {
  ObjPass<Store, Grow> pass(s);
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
    const size_t length = size_t(pass.p - keyword);
    bool ok = true;
    switch (s.lenient ? kindByWord(keyword, length) : kindByFirstLetter(keyword[0])) {
      case Kind::Coordinates: ok = pass.coordinates(keyword); break;
      case Kind::Face: ok = pass.face(); break;
      case Kind::Group: ok = pass.groupStatement(keyword); break;
      case Kind::Library: ok = pass.library(keyword); break;
      case Kind::Use: pass.useMaterial(keyword); break;
      case Kind::Unknown:
        if (Store) s.passedOver.skipped(std::string_view(keyword, length));
        [[fallthrough]];
      case Kind::Skip: pass.p = s.lineEnd(pass.p); break;
    }
    if (!ok) return false;
    // A run of plain lines read through the window: the scan does not come
    // back to where it read the run's first keyword in the text itself,
    // and what that fault mapped around it is handed back now, not when
    // the scan has passed it (a read in pieces has many such places at
    // once, one in each piece under way).
    if (pass.p - keyword >= kLongRun) s.text.releaseAround(keyword);
  }
}

}  // namespace

// ---- The passes -------------------------------------------------------------

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
    g->triangles = static_cast<GLuint*>(allocHugePages(slot.count * sizeof(GLuint)));
    if (!g->triangles && slot.count) return s.failFile("out of memory");
  }
  return true;
}

bool glmFirstPass(ObjScan& s) {
  s.group = s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup || !(s.byLines ? countLines(s) : scanObj<false>(s))) return false;
  return sizeModel(s);
}

bool glmSecondPass(ObjScan& s) { return scanObj<true>(s); }

bool countStatements(ObjScan& s) {
  GroupSlot segment{nullptr, 0};  // the triangles since the last noted statement
  s.group = &segment;
  const bool ok = scanObj<false>(s);
  s.group = nullptr;
  return ok;
}

namespace {

// Slot 0 of the coordinate arrays is never used; keep it defined all the
// same.
void clearUnusedSlots(GLMmodel* m) {
  for (int i = 0; i < 3; i++) m->vertices[i] = 0;
  if (m->normals) m->normals[0] = m->normals[1] = m->normals[2] = 0;
  if (m->texcoords) m->texcoords[0] = m->texcoords[1] = 0;
}

}  // namespace

bool glmOnePass(ObjScan& s) {
  s.group = s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup || !scanObj<true, true>(s)) return false;
  // The arrays cut to what they hold; those never needed made as the two
  // passes make them.
  GLMmodel* m = s.model;
  m->vertexcount = GLuint(s.vertices);
  m->normalcount = GLuint(s.normals);
  m->texcoordcount = GLuint(s.texcoords);
  m->trianglecount = GLuint(s.triangles);
  auto fit = [](auto*& array, size_t bytes) {
    void* cut = growHugePages(array, bytes, bytes);
    if (cut) array = static_cast<std::remove_reference_t<decltype(array)>>(cut);
    return cut != nullptr;
  };
  bool ok = fit(m->vertices, (size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat));
  if (m->normals) ok &= fit(m->normals, (size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat));
  if (m->texcoords) ok &= fit(m->texcoords, (size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat));
  ok &= fit(m->triangles, size_t(m->trianglecount) * sizeof(GLMtriangle));
  for (GLMgroup* g = m->groups; g; g = g->next)
    ok &= fit(g->triangles, g->trianglecount * sizeof(GLuint));
  if (ok) clearUnusedSlots(m);
  return ok || s.failFile("out of memory");
}

bool allocateArrays(ObjScan& s) {
  GLMmodel* m = s.model;
  m->vertices =
      static_cast<GLfloat*>(allocHugePages((size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->normalcount)
    m->normals =
        static_cast<GLfloat*>(allocHugePages((size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->texcoordcount)
    m->texcoords =
        static_cast<GLfloat*>(allocHugePages((size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat)));
  m->triangles =
      static_cast<GLMtriangle*>(allocHugePages(size_t(m->trianglecount) * sizeof(GLMtriangle)));
  if (!m->vertices || (m->normalcount && !m->normals) || (m->texcoordcount && !m->texcoords) ||
      (m->trianglecount && !m->triangles))
    return s.failFile("out of memory");
  clearUnusedSlots(m);
  return true;
}

GLMmodel* newModel(const char* path, Failure& error) {
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

}  // namespace read_detail
