// celshade model library (prefix glm): the model records and every operation
// on them, in the order of the public header: records, reading OBJ/MTL,
// drawing, normals and winding, texture coordinates, writing OBJ/MTL,
// welding, PPM images. Helpers of one section live in a namespace of their
// own (read_detail, draw_detail, ...); glm_internal.h holds what sections
// share.
#include "glm_internal.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- Internal helpers ---------------------------------------------------

GLfloat glmMax(GLfloat a, GLfloat b) { return b > a ? b : a; }

GLfloat glmAbs(GLfloat f) { return f < 0 ? -f : f; }

void* glmAlloc(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) {
    fprintf(stderr, "glm: out of memory (%zu items of %zu bytes)\n", count, size);
    exit(1);
  }
  size_t bytes = count * size;
  void* p = malloc(bytes ? bytes : 1);
  if (!p) {
    fprintf(stderr, "glm: out of memory (%zu bytes)\n", bytes);
    exit(1);
  }
  return p;
}

char* glmStrdup(const char* s) {
  size_t n = strlen(s) + 1;
  char* copy = static_cast<char*>(glmAlloc(n, 1));
  memcpy(copy, s, n);
  return copy;
}

char* glmDirName(const char* path) {
  const char* slash = strrchr(path, '/');
  size_t n = slash ? size_t(slash - path) + 1 : 0;
  char* dir = static_cast<char*>(glmAlloc(n + 1, 1));
  memcpy(dir, path, n);
  dir[n] = '\0';
  return dir;
}

GLuint glmResolveMode(const GLMmodel* model, GLuint mode, const char* who,
                      const char* const warnings[7]) {
  // Each check sees the mode as the checks before it left it.
  auto check = [&](int k, bool fires, GLuint flag) {
    if (!fires) return;
    printf("%s() warning: %s\n", who, warnings[k]);
    mode &= ~flag;
  };
  check(0, (mode & GLM_FLAT) && !model->facetnorms, GLM_FLAT);
  check(1, (mode & GLM_SMOOTH) && !model->normals, GLM_SMOOTH);
  check(2, (mode & GLM_TEXTURE) && !model->texcoords, GLM_TEXTURE);
  check(3, (mode & GLM_FLAT) && (mode & GLM_SMOOTH), GLM_FLAT);
  check(4, (mode & GLM_COLOR) && !model->materials, GLM_COLOR);
  check(5, (mode & GLM_MATERIAL) && !model->materials, GLM_MATERIAL);
  check(6, (mode & GLM_COLOR) && (mode & GLM_MATERIAL), GLM_COLOR);
  return mode;
}

// ---- Records --------------------------------------------------------------

GLvoid glmDelete(GLMmodel* model) {
  GLM_ASSERT(model);
  free(model->path);
  free(model->mtllib);
  free(model->vertices);
  free(model->normals);
  free(model->texcoords);
  free(model->facetnorms);
  free(model->triangles);
  if (model->materials) {
    for (GLuint i = 0; i < model->materialcount; i++) free(model->materials[i].name);
    free(model->materials);
  }
  while (GLMgroup* group = model->groups) {
    model->groups = group->next;
    free(group->name);
    free(group->triangles);
    free(group);
  }
  free(model);
}

GLMgroup* glmFindGroup(GLMmodel* model, const char* name) {
  GLM_ASSERT(model);
  for (GLMgroup* group = model->groups; group; group = group->next)
    if (strcmp(name, group->name) == 0) return group;
  return nullptr;
}

GLMgroup* glmAddGroup(GLMmodel* model, const char* name) {
  if (GLMgroup* found = glmFindGroup(model, name)) return found;
  GLMgroup* group = static_cast<GLMgroup*>(glmAlloc(1, sizeof(GLMgroup)));
  group->name = glmStrdup(name);
  group->trianglecount = 0;
  group->triangles = nullptr;
  group->material = 0;
  group->next = model->groups;
  model->groups = group;
  model->groupcount++;
  return group;
}

namespace {

// Index of the first material named `name`, when there is one.
bool findMaterial(const GLMmodel* model, const char* name, GLuint& index) {
  if (model->materials)
    for (GLuint i = 0; i < model->materialcount; i++)
      if (strcmp(model->materials[i].name, name) == 0) return index = i, true;
  return false;
}

void reportMissingMaterial(const char* name) {
  printf("glmFindMaterial():  can't find material \"%s\".\n", name);
}

}  // namespace

GLuint glmFindMaterial(GLMmodel* model, const char* name) {
  GLuint index = 0;
  if (!findMaterial(model, name, index)) reportMissingMaterial(name);
  return index;
}

// ---- Extent -----------------------------------------------------------------

namespace {

struct Box {
  GLfloat max[3], min[3];
};

// The box starts at vertex 1; a coordinate replaces a bound only when it is
// strictly beyond it. Needs at least one vertex.
Box boundingBox(const GLMmodel* model) {
  Box box;
  for (int c = 0; c < 3; c++) box.max[c] = box.min[c] = model->vertices[3 + c];
  for (GLuint i = 1; i <= model->vertexcount; i++) {
    for (int c = 0; c < 3; c++) {
      GLfloat v = model->vertices[3 * size_t(i) + c];
      if (v > box.max[c]) box.max[c] = v;
      if (v < box.min[c]) box.min[c] = v;
    }
  }
  return box;
}

}  // namespace

GLvoid glmDimensions(GLMmodel* model, GLfloat* dimensions) {
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  GLM_ASSERT(dimensions);
  if (model->vertexcount == 0) {
    dimensions[0] = dimensions[1] = dimensions[2] = 0;
    return;
  }
  Box box = boundingBox(model);
  for (int c = 0; c < 3; c++) dimensions[c] = glmAbs(box.max[c]) + glmAbs(box.min[c]);
}

GLfloat glmUnitize(GLMmodel* model) {
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  if (model->vertexcount == 0) return 1;
  Box box = boundingBox(model);
  GLfloat w = glmAbs(box.max[0]) + glmAbs(box.min[0]);
  GLfloat h = glmAbs(box.max[1]) + glmAbs(box.min[1]);
  GLfloat d = glmAbs(box.max[2]) + glmAbs(box.min[2]);
  GLfloat centre[3];
  for (int c = 0; c < 3; c++) centre[c] = (box.max[c] + box.min[c]) / 2;
  const GLfloat largest = glmMax(glmMax(w, h), d);
  GLfloat scale = 2 / largest;
  // Every vertex at the origin has no finite scale, and a box too large for
  // float arithmetic (an extent or centre beyond float) no meaningful one:
  // leave the vertices alone rather than fill them with infinities, NaNs or
  // zeros.
  if (!std::isfinite(largest) || !std::isfinite(scale) || !std::isfinite(centre[0]) ||
      !std::isfinite(centre[1]) || !std::isfinite(centre[2]))
    return 1;
  for (GLuint i = 1; i <= model->vertexcount; i++) {
    GLfloat* v = &model->vertices[3 * size_t(i)];
    for (int c = 0; c < 3; c++) {
      v[c] -= centre[c];
      v[c] *= scale;
    }
  }
  return scale;
}

GLvoid glmScale(GLMmodel* model, GLfloat scale) {
  for (GLuint i = 1; i <= model->vertexcount; i++)
    for (int c = 0; c < 3; c++) model->vertices[3 * size_t(i) + c] *= scale;
}

// ============================================================================
// The OBJ/MTL reader.
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
// ============================================================================

namespace read_detail {
namespace {

// ---- Text -------------------------------------------------------------------

// Mapped pages behind the scan position are handed back in steps of this
// size, so a large file never stays resident as a whole.
constexpr size_t kReleaseStep = size_t(16) << 20;

// A byte span to scan: a read-only file mapping, a heap copy (pipes and
// other unmappable files) or a borrowed buffer. Never NUL-terminated.
struct Text {
  const char* data = nullptr;
  size_t size = 0;
  void* map = nullptr;
  size_t mapped = 0;  // bytes of the mapping, which starts at or before data
  char* heap = nullptr;
  size_t released = 0;  // mapped bytes before this offset were handed back
  // Which text this is, when that can be told without reading it: device,
  // inode, size and modification time of a regular file; address and
  // length of a caller's buffer. All zero when unknown (a pipe).
  uint64_t identity[4] = {0, 0, 0, 0};

  Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() {
    if (map) munmap(map, mapped);
    free(heap);
  }
  const char* end() const { return data + size; }

  // Hands back whole steps of mapped pages before p.
  void release(const char* p) {
    if (!map) return;
    while (size_t(p - static_cast<const char*>(map)) - released >= kReleaseStep) {
      madvise(static_cast<char*>(map) + released, kReleaseStep, MADV_DONTNEED);
      released += kReleaseStep;
    }
  }
  // Hands back every mapped page; the next pass faults them in again.
  void releaseAll() {
    if (map) madvise(map, mapped, MADV_DONTNEED);
    released = 0;
  }
};

// Asks for huge pages under the whole 2 MiB steps of a large array: the
// storing pass then takes a few dozen page faults instead of tens of
// thousands. Only advice; nothing depends on it.
void adviseHugePages(void* array, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t huge = uintptr_t(2) << 20;
  uintptr_t first = (uintptr_t(array) + huge - 1) & ~(huge - 1);
  uintptr_t last = (uintptr_t(array) + bytes) & ~(huge - 1);
  if (array && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)array, (void)bytes;
#endif
}

enum class Load { Ok, CantOpen, NoMemory };

// A regular file's identity: device, inode, size and modification time.
void identify(const struct stat& st, uint64_t identity[4]) {
  identity[0] = uint64_t(st.st_dev);
  identity[1] = uint64_t(st.st_ino);
  identity[2] = uint64_t(st.st_size);
  identity[3] = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
}

// Maps a regular file, or reads anything else (a pipe) into the heap.
Load loadFile(const char* name, Text& text) {
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Load::CantOpen;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return Load::CantOpen;
  }
  if (S_ISREG(st.st_mode)) {
    identify(st, text.identity);
    if (st.st_size == 0) {
      close(fd);
      return Load::Ok;
    }
    void* map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      close(fd);
      text.map = map;
      text.mapped = size_t(st.st_size);
      text.data = static_cast<const char*>(map);
      text.size = size_t(st.st_size);
      return Load::Ok;
    }
  }
  size_t capacity = 0;
  for (;;) {
    if (text.size == capacity) {
      capacity = capacity ? capacity * 2 : size_t(64) << 10;
      char* grown = static_cast<char*>(realloc(text.heap, capacity));
      if (!grown) {
        close(fd);
        return Load::NoMemory;
      }
      text.heap = grown;
    }
    ssize_t n = read(fd, text.heap + text.size, capacity - text.size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return Load::CantOpen;  // a directory, for one
    }
    text.size += size_t(n);
  }
  close(fd);
  text.data = text.heap;
  return Load::Ok;
}

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

// The message for a file refused as UTF-16 text.
std::string utf16Message(const std::string& file) {
  return file + ": UTF-16 text, which is not read (save the file as UTF-8)";
}

// Where material libraries come from: files, or the caller's callback.
struct MtlSource {
  GLMmtlsource callback = nullptr;  // null: read files
  void* user = nullptr;

  Load load(const char* name, Text& text) const {
    if (!callback) return loadFile(name, text);
    size_t length = 0;
    const char* data = callback(user, name, &length);
    if (!data) return Load::CantOpen;
    text.data = data;
    text.size = length;
    bufferIdentity(data, length, text.identity);
    return Load::Ok;
  }
  // The identity of what load would give, without loading it; false when
  // it has none (no such file, a pipe).
  bool identify(const char* name, uint64_t identity[4]) const {
    if (!callback) {
      struct stat st;
      if (stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return false;
      read_detail::identify(st, identity);
      return true;
    }
    size_t length = 0;
    const char* data = callback(user, name, &length);
    if (data) bufferIdentity(data, length, identity);
    return data != nullptr;
  }

 private:
  // A caller's buffer is known by its address and length (never all zero).
  static void bufferIdentity(const char* data, size_t length, uint64_t identity[4]) {
    identity[0] = uintptr_t(data);
    identity[1] = length;
    identity[2] = 1;
    identity[3] = 0;
  }
};

// ---- Errors -----------------------------------------------------------------

enum class Fail { OpenObj, OpenMtl, UnknownToken, Other };

struct Error {
  Fail kind = Fail::Other;
  std::string subject;  // file name or keyword of the three classic messages
  std::string message;  // "file:line: what went wrong"
};

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

// ---- Lexing -----------------------------------------------------------------

// Blank, tab, newline, vertical tab, form feed, carriage return.
inline bool isSpace(char c) { return c == ' ' || unsigned(c - '\t') <= unsigned('\r' - '\t'); }
inline bool isDigit(char c) { return unsigned(c - '0') < 10; }

inline const char* skipSpace(const char* p, const char* end) {
  while (p < end && isSpace(*p)) ++p;
  return p;
}
inline const char* skipWord(const char* p, const char* end) {
  while (p < end && !isSpace(*p)) ++p;
  return p;
}
// End of the line at p: just past its newline, or end.
inline const char* lineEnd(const char* p, const char* end) {
  const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
  return nl ? nl + 1 : end;
}
// A name is cut at an embedded NUL, as a C string holding it would be.
inline std::string_view cString(const char* p, const char* q) {
  const char* nul = static_cast<const char*>(memchr(p, '\0', size_t(q - p)));
  return std::string_view(p, size_t((nul ? nul : q) - p));
}
// The first word of the line rest [p, line end).
inline std::string_view firstWord(const char* p, const char* lineStop) {
  while (p < lineStop && isSpace(*p)) ++p;
  const char* q = p;
  while (q < lineStop && !isSpace(*q)) ++q;
  return cString(p, q);
}
// A malloc'ed C string holding `name`; null when out of memory.
inline char* copyName(std::string_view name) {
  char* copy = static_cast<char*>(malloc(name.size() + 1));
  if (!copy) return nullptr;
  memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  return copy;
}

// True when the lexed number [p, q) is below 1 in magnitude (so that a
// range error means underflow, not overflow).
bool belowOne(const char* p, const char* q) {
  if (*p == '+' || *p == '-') ++p;
  long lead = 0;  // decimal exponent of the leading digit, plus 1
  bool found = false;
  const char* d = p;
  while (d < q && isDigit(*d)) {
    if (!found && *d != '0') {
      found = true;
      lead = 1;
    } else if (found) {
      lead++;
    }
    ++d;
  }
  if (d < q && *d == '.') {
    ++d;
    for (; d < q && isDigit(*d) && !found; ++d) {
      if (*d != '0') found = true;
      else lead--;
    }
    while (d < q && isDigit(*d)) ++d;
  }
  if (!found) return true;
  long exponent = 0;
  if (d < q) {  // [eE][+-]?digits
    ++d;
    bool negative = *d == '-';
    if (*d == '+' || *d == '-') ++d;
    for (; d < q; ++d) exponent = exponent < 100000 ? exponent * 10 + (*d - '0') : exponent;
    if (negative) exponent = -exponent;
  }
  return lead + exponent <= 0;
}

// Converts the lexed number [p, q), correctly rounded; underflow gives a
// signed zero. False when it overflows a float.
inline bool toFloat(const char* p, const char* q, float& out) {
  if (*p == '+') ++p;
  auto [ptr, ec] = std::from_chars(p, q, out);
  if (ec == std::errc() && ptr == q) return true;
  if (ec == std::errc::result_out_of_range && belowOne(p, q)) {
    out = *p == '-' ? -0.0f : 0.0f;
    return true;
  }
  return false;
}

// Digit runs are measured eight bytes at a time: no branch per digit, so
// numbers of varying length cost no mispredictions.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the digit scan assumes little-endian");

inline uint64_t load8(const char* p) {
  uint64_t x;
  memcpy(&x, p, sizeof x);
  return x;
}

// Number of leading digit bytes among the eight bytes of x (memory order).
inline int leadingDigits(uint64_t x) {
  const uint64_t high = 0x8080808080808080ull;
  uint64_t low = x & 0x7F7F7F7F7F7F7F7Full;
  uint64_t atLeast0 = low + 0x5050505050505050ull;  // bit 7: byte >= '0'
  uint64_t above9 = low + 0x4646464646464646ull;    // bit 7: byte > '9'
  uint64_t other = ~(atLeast0 & ~above9 & ~x) & high;
  return other ? __builtin_ctzll(other) >> 3 : 8;
}

// End of the run of digits at p.
inline const char* skipDigits(const char* p, const char* end) {
  while (end - p >= 8) {
    int n = leadingDigits(load8(p));
    p += n;
    if (n < 8) return p;
  }
  while (p < end && isDigit(*p)) ++p;
  return p;
}

// Value of the first n digit bytes of x (0 <= n <= 8, memory order),
// without a branch on n.
inline uint64_t swarDigits(uint64_t x, int n) {
  x -= 0x3030303030303030ull;
  x = n ? x << (8 * (8 - n)) : 0;
  // Digits to the high bytes (leading zeros below), then pairs, quads, eights.
  x = (x * 10) + (x >> 8);
  return (((x & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((x >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}
// Value of the n digits at p (0 <= n <= 8, eight bytes readable).
inline uint64_t swarValue(const char* p, int n) { return swarDigits(load8(p), n); }

// Value of the n digits at p (n <= 19).
inline uint64_t digitValue(const char* p, int n, const char* end) {
  if (n <= 8 && end - p >= 8) return swarValue(p, n);
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = v * 10 + unsigned(p[i] - '0');
  return v;
}

constexpr uint64_t kPow10Int[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000};
constexpr double kPow10Negative[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                     1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

// Reads the decimal number at p: [+-]? (digits [. digits*] | . digits),
// then [eE][+-]?digits only when the exponent has digits. Returns its end,
// or null when there is none. With Convert, stores it correctly rounded in
// out (underflow gives a signed zero) or sets bad when it overflows a float.
template <bool Convert>
inline const char* readFloat(const char* p, const char* end, float& out, bool& bad) {
  const char* q = p;
  bool negative = q < end && *q == '-';
  q += q < end && (*q == '-' || *q == '+');
  const char* whole = q;
  q = skipDigits(q, end);
  int wholeDigits = int(q - whole);
  const char* fraction = q;
  int fractionDigits = 0;
  if (q < end && *q == '.') {
    fraction = ++q;
    q = skipDigits(q, end);
    fractionDigits = int(q - fraction);
  }
  if (wholeDigits + fractionDigits == 0) return nullptr;
  bool exponent = false;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* x = q + 1;
    x += x < end && (*x == '+' || *x == '-');
    if (x < end && isDigit(*x)) {
      q = skipDigits(x, end);
      exponent = true;
    }
  }
  if (!Convert) return q;
  // Fast path: up to 15 digits and no exponent. The mantissa is exact in
  // double and the product with the power of ten is within two units of
  // the last double place; rounding that to float is exact unless it lies
  // that close to a float half-way point (or outside the normal range).
  if (!exponent && wholeDigits + fractionDigits <= 15) {
    uint64_t mantissa = digitValue(whole, wholeDigits, end);
    mantissa = mantissa * kPow10Int[fractionDigits] + digitValue(fraction, fractionDigits, end);
    double v = double(mantissa) * kPow10Negative[fractionDigits];
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    uint32_t belowFloat = uint32_t(bits & 0x1FFFFFFF);  // the bits float drops
    if (v == 0 || (v >= 1.1754943508222875e-38 && v <= 3.4028234663852886e38 &&
                   belowFloat - (0x10000000u - 4) > 8)) {
      out = negative ? -float(v) : float(v);
      return q;
    }
  }
  if (!toFloat(p, q, out)) bad = true;
  return q;
}

// Reads a signed 32-bit decimal integer at p ([+-]?digits); returns its end,
// or null when there is none. With Convert, stores it in out, or sets bad
// when it does not fit.
template <bool Convert>
inline const char* readInt(const char* p, const char* end, int32_t& out, bool& bad) {
  const char* q = p;
  bool negative = q < end && *q == '-';
  q += q < end && (*q == '-' || *q == '+');
  const char* digits = q;
  q = skipDigits(q, end);
  if (q == digits) return nullptr;
  if (Convert) {
    int n = int(q - digits);
    uint64_t v;
    if (n <= 8) {
      v = digitValue(digits, n, end);
    } else {
      v = 0;  // long runs, leading zeros included: saturate past the limit
      for (const char* d = digits; d < q; ++d) v = v > 2147483648u ? v : v * 10 + unsigned(*d - '0');
    }
    if (v > (negative ? 2147483648u : 2147483647u)) {
      bad = true;
      v = 0;
    }
    out = negative ? int32_t(-int64_t(v)) : int32_t(v);
  }
  return q;
}

// ---- Faces ------------------------------------------------------------------

enum Form { kV, kVT, kVTN, kVN };  // v, v/t, v/t/n, v//n

inline int numbersPerCorner(Form form) { return form == kVTN ? 3 : form == kV ? 1 : 2; }

// Index values of the corner read last, as written (relative ones unresolved).
struct Corner {
  int32_t v, t, n;
};

// Reads one corner at p with the form's pattern ("%d", "%d/%d", "%d/%d/%d",
// "%d//%d") the way scanf does: each number skips white space first, each
// '/' must be the very next byte, and the read stops at the first mismatch
// having consumed what matched. Returns the count of numbers read; fields
// not read keep their values.
template <bool Convert>
inline int readCorner(const char*& p, const char* end, Form form, Corner& c, bool& bad) {
  const char* q = skipSpace(p, end);
  const char* r = readInt<Convert>(q, end, c.v, bad);
  if (!r) {
    p = q;
    return 0;
  }
  q = r;
  int count = 1;
  if (form != kV && q < end && *q == '/') {
    ++q;
    if (form == kVN) {
      if (q < end && *q == '/') {
        q = skipSpace(q + 1, end);
        if ((r = readInt<Convert>(q, end, c.n, bad))) q = r, count = 2;
      }
    } else {
      q = skipSpace(q, end);
      if ((r = readInt<Convert>(q, end, c.t, bad))) {
        q = r, count = 2;
        if (form == kVTN && q < end && *q == '/') {
          q = skipSpace(q + 1, end);
          if ((r = readInt<Convert>(q, end, c.n, bad))) q = r, count = 3;
        }
      }
    }
  }
  p = q;
  return count;
}

// True when [p, q) holds "//".
inline bool hasDoubleSlash(const char* p, const char* q) {
  for (const char* s = p; s + 1 < q; ++s)
    if (s[0] == '/' && s[1] == '/') return true;
  return false;
}

// ---- Whole lines ------------------------------------------------------------

// The line readers below run once or more per statement; keep them inlined
// in the scan loop.
#if defined(__GNUC__)
#define GLM_READ_INLINE inline __attribute__((always_inline))
#define GLM_NOINLINE __attribute__((noinline))
#else
#define GLM_READ_INLINE inline
#define GLM_NOINLINE
#endif

// Counting by lines counts mask bits all the time, and x86-64's baseline
// has no popcnt instruction. It is compiled twice, and the loader picks the
// popcnt copy on processors that have it (the compiler turns bitCount into
// popcnt there).
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(__POPCNT__)
#define GLM_SCAN_CLONES __attribute__((target_clones("default", "popcnt")))
#else
#define GLM_SCAN_CLONES
#endif

// Most lines of a large model are plain: a coordinate statement's numbers or
// a face's corners, split by blanks. A line's bytes are classified sixteen at
// a time into bit masks (bit i: byte i after the keyword). The masks show
// whether the line is plain and how many words it has, so the counting pass
// can count it without reading its numbers.

using Mask = unsigned __int128;

enum class Shape { Face, Coordinates };

struct Line {
  Mask word = 0;   // coordinates: 0-9 . + - e E; faces: 0-9 + - /
  Mask digit = 0;  // faces: 0-9
  Mask slash = 0;  // faces: /
  int length = 0;  // bytes before the newline; those outside `word` are blanks, tabs, CRs

  Mask within() const { return (Mask(1) << length) - 1; }
  Mask newline() const { return Mask(1) << length; }
};

inline Mask runStarts(Mask set) { return set & ~(set << 1); }
inline Mask runEnds(Mask set) { return set & ~(set >> 1); }
inline Mask lowest(Mask set) { return set & (~set + 1); }
// Bit count without a library call (x86-64's baseline has no popcnt; the
// compiler recognises this form and uses popcnt in GLM_SCAN_CLONES copies).
inline int bitCount(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ull;
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int((x * 0x0101010101010101ull) >> 56);
}
inline int bitCount(Mask set) { return bitCount(uint64_t(set)) + bitCount(uint64_t(set >> 64)); }
// For every bit of `from` (a subset of `events`), the first bit of events
// or of the newline above it: the carry that each bit of from adds runs
// through the bits between.
inline Mask nextEvent(const Line& line, Mask from, Mask events) {
  return ((from << 1) + (line.within() & ~events)) & (events | line.newline());
}

// The shortcuts below read only within this many bytes after a keyword, so
// they need no end checks; nearer the end of the text every statement is
// read the general way.
constexpr ptrdiff_t kPlainRoom = 512;
constexpr int kPlainLine = 128;  // longer lines are read the general way

// Classifies the sixteen bytes at p + offset into `line`; false when one
// before the newline is outside the shape's set. Sets `done` at the newline.
template <Shape kind, int offset>
GLM_READ_INLINE bool classifyChunk(const char* p, Line& line, bool& done) {
#if defined(__SSE2__)
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset));
  auto is = [&](char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); };
  auto bits = [](__m128i m) { return unsigned(_mm_movemask_epi8(m)); };
  __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
  __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  __m128i numeric = _mm_or_si128(digit, _mm_or_si128(is('+'), is('-')));
  __m128i slash = is('/');
  if (kind == Shape::Face) {
    numeric = _mm_or_si128(numeric, slash);
  } else {
    __m128i e = _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(0x20)), _mm_set1_epi8('e'));
    numeric = _mm_or_si128(numeric, _mm_or_si128(is('.'), e));
  }
  unsigned word = bits(numeric);
  unsigned blank = bits(_mm_or_si128(_mm_or_si128(is(' '), is('\t')), is('\r')));
  unsigned newline = bits(is('\n'));
  unsigned keep = newline ? (1u << __builtin_ctz(newline)) - 1 : 0xFFFF;
  if (((word | blank) & keep) != keep) return false;
  line.word |= Mask(word & keep) << offset;
  if (kind == Shape::Face) {
    line.digit |= Mask(bits(digit) & keep) << offset;
    line.slash |= Mask(bits(slash) & keep) << offset;
  }
  if (newline) {
    line.length = offset + __builtin_ctz(newline);
    done = true;
  }
  return true;
#else
  (void)p, (void)line, (void)done;
  return false;
#endif
}

template <Shape kind, int... chunk>
GLM_READ_INLINE bool classifyChunks(const char* p, Line& line,
                                    std::integer_sequence<int, chunk...>) {
  bool done = false;  // chunk by chunk, up to the one with the newline
  (void)((classifyChunk<kind, 16 * chunk>(p, line, done) && !done) && ...);
  return done;
}

// Classifies the line rest at p (kPlainRoom bytes readable). False when it
// is kPlainLine bytes or longer, or holds a byte other than blanks, tabs,
// carriage returns, digits, signs and, for faces, slashes or, for
// coordinates, points and exponent letters.
template <Shape kind>
GLM_READ_INLINE bool classifyLine(const char* p, Line& line) {
  return classifyChunks<kind>(p, line, std::make_integer_sequence<int, kPlainLine / 16>());
}

// ---- Plain statements -------------------------------------------------------

// Up to eight digits at p, at most 99999999 (p + 8 readable); false when
// there are more.
GLM_READ_INLINE bool plainDigits(const char* p, uint32_t& out) {
  int n = leadingDigits(load8(p));
  out = uint32_t(swarValue(p, n));
  return n < 8 || !isDigit(p[8]);
}

// A plain face: at least three corners, all of the first corner's shape
// (v, v/t, v/t/n or v//n, numbers with optional signs), split by blanks,
// tabs or carriage returns, then the line end and a byte that can start
// neither a corner nor white space. Reading it corner by corner gives these
// corners and ends just past that line end.
constexpr int kPlainCorners = kPlainLine / 2;

struct PlainFace {
  Form form;
  int corners;
  int32_t number[3 * kPlainCorners];  // corner i: number[numbersPerCorner(form) * i + field]
};

// Recognises a plain face whose keyword ends at p (kPlainRoom bytes
// readable); its end, or null. The verdict depends on the text alone, so
// both passes take the shortcut on the same faces. With Convert, fills in
// the numbers, and gives null when one has more than eight digits (the
// general reading then takes the face, with the same corners).
template <bool Convert>
const char* plainFace(const char* p, PlainFace& f) {
  Line line;
  if (!classifyLine<Shape::Face>(p, line)) return nullptr;
  const char* stop = p + line.length;  // the newline
  char next = stop[1];
  if (isSpace(next) || isDigit(next) || next == '+' || next == '-') return nullptr;
  const Mask word = line.word, digit = line.digit, slash = line.slash;
  const Mask sign = word & ~(digit | slash);
  const Mask first = runStarts(word), last = runEnds(word);
  // Every word ends with a digit, and every sign stands at the start of a
  // word or after a slash, before a digit.
  if ((last & ~digit) || (sign & ~(first | slash << 1)) || ((sign << 1) & ~digit)) return nullptr;
  const int corners = bitCount(first);
  if (corners < 3) return nullptr;
  // The first word decides the form: "//" in it, or its count of slashes.
  const Mask firstWord = (lowest(last) << 1) - 1;
  const Mask pairs = slash & (slash >> 1);  // first slashes of "//"
  Form form;
  if (pairs & firstWord) {
    // v//n: slashes only in pairs, each between digits (or a sign), and
    // each word's first pair is its only one.
    if (slash != (pairs | pairs << 1) || (pairs & pairs >> 1) || (pairs & ~(digit << 1)) ||
        ((pairs << 2) & ~(digit | sign)) || nextEvent(line, first, first | pairs) != pairs)
      return nullptr;
    form = kVN;
  } else {
    // Single slashes between digits (or a sign); each word has as many as
    // the first: every slash is the first or the second after its word's start.
    if ((slash & ~(digit << 1)) || ((slash << 1) & ~(digit | sign))) return nullptr;
    const Mask inFirst = slash & firstWord, events = first | slash;
    if (!inFirst) {
      if (slash) return nullptr;
      form = kV;
    } else if (!(inFirst & (inFirst - 1))) {
      if (nextEvent(line, first, events) != slash) return nullptr;
      form = kVT;
    } else {
      Mask one = nextEvent(line, first, events);
      if ((one | nextEvent(line, one, events)) != slash) return nullptr;
      form = kVTN;
    }
  }
  f.form = form;
  f.corners = corners;
  if (Convert) {
    // Each word holds exactly numbersPerCorner(form) digit runs, each a
    // number whose sign, if any, is the byte before it.
    int i = 0;
    bool fits = true;
    auto take = [&](uint64_t bits, int base) {
      for (; bits; bits &= bits - 1) {
        const char* d = p + base + __builtin_ctzll(bits);
        uint32_t v;
        fits &= plainDigits(d, v);
        f.number[i++] = d[-1] == '-' ? -int32_t(v) : int32_t(v);
      }
    };
    const Mask numbers = runStarts(digit);
    take(uint64_t(numbers), 0);
    take(uint64_t(numbers >> 64), 64);
    if (!fits) return nullptr;
  }
  return stop + 1;
}

// A simple face whose keyword ends at p (kPlainRoom bytes readable): at
// least three corners of unsigned numbers of up to eight digits, all in the
// first corner's form (v, v/t or v/t/n), each after one blank and starting
// within kPlainLine bytes, the line end right after the last, then a byte
// that can start neither a corner nor white space. Most faces are simple,
// and read number after number they cost less than classifying their
// lines. Fills in `f` (its corners are those reading corner by corner
// gives) and gives the face's end, just past the line end; or null.
GLM_READ_INLINE const char* simpleFace(const char* p, PlainFace& f) {
  const char* q = p;
  int k = 0, stride = 0;
  // The number at q, of its first eight digits at most (a ninth then fails
  // the separator checks); false when there is none.
  auto number = [&] {
    const uint64_t x = load8(q);
    const int n = leadingDigits(x);
    if (n == 0) return false;
    f.number[k++] = int32_t(swarDigits(x, n));
    q += n;
    return true;
  };
  if (*q++ != ' ') return nullptr;
  for (;;) {  // the first corner decides the form
    if (!number()) return nullptr;
    if (++stride == 3 || *q != '/') break;
    ++q;
  }
  while (*q == ' ') {
    if (++q - p >= kPlainLine || !number()) return nullptr;
    for (int i = 1; i < stride; i++)
      if (*q++ != '/' || !number()) return nullptr;
  }
  const char next = q[1];
  if (*q != '\n' || k < 3 * stride || isSpace(next) || isDigit(next) || next == '+' || next == '-')
    return nullptr;
  f.form = stride == 1 ? kV : stride == 2 ? kVT : kVTN;
  f.corners = k / stride;
  return q + 1;
}

// A coordinate statement whose keyword ends at p (kPlainRoom bytes
// readable), on a plain line with at least n words: its numbers all stand
// on the line, and whatever follows them there starts with a digit, sign,
// point or exponent letter, so is a statement skipped to the line end. The
// counting pass skips the line: the line end, or null.
inline const char* plainCoordinateLine(const char* p, int n) {
  Line line;
  if (!classifyLine<Shape::Coordinates>(p, line)) return nullptr;
  Mask starts = runStarts(line.word);
  for (int i = 0; i < n; i++, starts &= starts - 1)
    if (!starts) return nullptr;
  return p + line.length + 1;
}

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Skips at most 16 blanks and tabs at p; null when there are more.
GLM_READ_INLINE const char* skipBlanks(const char* p) {
  for (int i = 0; isBlank(*p); ++p)
    if (++i > 16) return nullptr;
  return p;
}

// Reads a plain decimal [+-]?digits[.digits*] with at most seven digits on
// each side of the point at p, not followed by a point or exponent letter
// (kPlainRoom bytes readable), into out exactly as readFloat would; its end,
// or null. The number's extent comes from one sixteen-byte classification,
// so the scan reaches the next number a few cycles after this one starts;
// the value is worked out beside that walk, not on it.
GLM_READ_INLINE const char* plainFloat(const char* p, float& out) {
#if defined(__SSE2__)
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
  __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  unsigned point = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('.'))));
  unsigned sign = *p == '-' || *p == '+';
  unsigned span = unsigned(_mm_movemask_epi8(digit)) | point | sign;
  int end = __builtin_ctz(~span);  // 16 when the number fills all sixteen bytes
  point &= (1u << end) - 1;
  int at = point ? __builtin_ctz(point) : end;
  int whole = at - int(sign), fraction = point ? end - at - 1 : 0;
  char next = p[end];
  if (end == 16 || (point & (point - 1)) || whole < 1 || whole > 7 || fraction > 7 ||
      next == 'e' || next == 'E')
    return nullptr;
  uint64_t mantissa;
  if (whole + fraction <= 8) {
    // Close the point's gap: the whole digits from one load, the fraction
    // digits from a load one byte further on, then one digit conversion.
    const char* digits = p + sign;
    uint64_t before = (uint64_t(1) << (8 * whole)) - 1;
    mantissa = swarDigits((load8(digits) & before) | (load8(digits + 1) & ~before),
                          whole + fraction);
  } else {
    mantissa = swarValue(p + sign, whole) * kPow10Int[fraction] + swarValue(p + at + 1, fraction);
  }
  // The mantissa is exact in double and the power of ten within half a unit
  // of its last place, so the product is within two units of the decimal's
  // value; rounding it to float is exact unless it lies that close to a
  // float half-way point (values here are far from the float range's ends).
  double v = double(mantissa) * kPow10Negative[fraction];
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  if (uint32_t(bits & 0x1FFFFFFF) - (0x10000000u - 4) <= 8) return nullptr;
  // The sign goes in as a bit: a branch on it would often be mispredicted.
  float magnitude = float(v);
  uint32_t f;
  memcpy(&f, &magnitude, sizeof f);
  f |= uint32_t(*p == '-') << 31;
  memcpy(&out, &f, sizeof out);
  return p + end;
#else
  (void)p, (void)out;
  return nullptr;
#endif
}

// Reads the n numbers of a coordinate statement whose keyword ends at p
// when each is a plain decimal after blanks or tabs (kPlainRoom bytes
// readable); where they end (just after the last, as reading number by
// number would), or null (out may then hold some of them).
inline const char* plainFloats(const char* p, int n, float* out) {
  for (int i = 0; i < n; i++) {
    if (!isBlank(*p)) return nullptr;
    // Usually one blank: a predicted branch past it keeps the load of the
    // next byte off the chain from one number to the next.
    if (isBlank(*++p) && !(p = skipBlanks(p))) return nullptr;
    if (!(p = plainFloat(p, out[i]))) return nullptr;
  }
  return p;
}

// Stores a run of plain coordinate statements of one kind, n numbers each,
// from `out` on: the first one's numbers at p (its keyword, the `length`
// bytes at `keyword`, just read), then, when the keyword is "v", "vn" or
// "vt", those of the lines below with the same keyword; at most `room`
// (> 0) statements, none starting at or after `stop`. Adds the number
// stored to `count`. Gives where the last one ends, or null when the first
// is not plain.
GLM_NOINLINE const char* plainCoordinateRun(const char* p, const char* keyword, size_t length,
                                            int n, float* out, uint64_t room, const char* stop,
                                            uint64_t& count) {
  // Counted in a local: the compiler must assume that the text's bytes may
  // alias `count`, and updating it line by line measured slower.
  const char* last = nullptr;
  uint64_t k = 0;
  for (const char* q; (q = plainFloats(p, n, out));) {
    last = q;
    out += n;
    if (++k == room || q >= stop || q[0] != '\n' || length > 2 || q[1] != keyword[0] ||
        (length == 2 && q[2] != keyword[1]))
      break;
    p = q + 1 + length;
  }
  count += k;
  return last;
}

// ---- The OBJ scan -----------------------------------------------------------

struct GroupSlot {
  GLMgroup* group;
  uint64_t count;  // triangles counted by the first pass
};

struct ObjScan {
  GLMmodel* model;
  Text& text;
  const MtlSource& mtl;
  Error& error;
  std::unordered_map<std::string_view, GroupSlot> groups;
  GroupSlot* defaultGroup = nullptr;
  const char* statement = nullptr;  // keyword of the statement being read
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
  bool byLines = false;  // the counting pass counts lines, not statements
  // Keywords of the group and library statements the counting pass took, in
  // order; the storing pass must meet exactly these.
  std::vector<const char*> marks;
  size_t nextMark = 0;
  std::vector<std::string> missingMaterials;  // reported once the read is done
  // Material libraries read so far whose text has an identity, so that a
  // library named again is not read again. The model owns the materials it
  // holds; the scan owns the others until it ends.
  struct Library {
    uint64_t identity[4];
    GLMmaterial* materials;
    GLuint count;
  };
  std::vector<Library> libraries;
  // First index of each material name, for the materials it was built for:
  // open addressing over a power-of-two table, each slot the name's hash in
  // its high half and index + 1 in its low half (0: empty). One allocation,
  // and mostly one cache miss per look-up besides the name itself.
  std::vector<uint64_t> materialSlots;
  const GLMmaterial* indexed = nullptr;

  ObjScan(GLMmodel* m, Text& t, const MtlSource& source, Error& e)
      : model(m), text(t), mtl(source), error(e) {}
  ObjScan(const ObjScan&) = delete;
  ObjScan& operator=(const ObjScan&) = delete;
  ~ObjScan();

  // Fails with "file:line: what: `statement`".
  bool fail(const char* what) {
    error.kind = Fail::Other;
    error.message = std::string(model->path) + ":" +
                    std::to_string(lineOf(text.data, statement)) + ": " + what + ": `" +
                    quote(statement, text.end()) + "`";
    return false;
  }
  // Fails with "file: what", for the file as a whole.
  bool failFile(const char* what) {
    error.kind = Fail::Other;
    error.message = std::string(model->path) + ": " + what;
    return false;
  }
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

// Reads up to n numbers into out (converting only with Convert), stopping
// at the first missing one; returns where reading stopped. Sets bad when
// one overflows.
template <bool Convert>
inline const char* readFloats(const char* p, const char* end, int n, float* out, bool& bad) {
  for (int i = 0; i < n; i++) {
    p = skipSpace(p, end);
    const char* r = readFloat<Convert>(p, end, out[i], bad);
    if (!r) break;
    p = r;
  }
  return p;
}

bool glmReadMTL(ObjScan& s, std::string_view name);

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
  return glmReadMTL(s, name);
}

// One scan of the OBJ text: counting (Store false) or storing (Store true).
// Skips the white space before the next keyword (end of text when there is
// none), handing mapped pages back on the way: `releaseAt` is the offset of
// the next hand-back.
inline const char* nextKeyword(Text& text, const char* p, size_t& releaseAt) {
  p = skipSpace(p, text.end());
  if (size_t(p - text.data) >= releaseAt) {
    text.release(p);
    releaseAt = size_t(p - text.data) + kReleaseStep;
  }
  return p;
}

// Stores a run of plain faces: the first one's corners at p (its keyword
// just read), then those of the lines below that start with "f" and a
// blank, none starting at or after `stop`. `next` holds the numbers the next
// vertex, texture coordinate and normal would take. Each face's corners are
// resolved (fields its form lacks are 0), and its fan around the first
// corner stored in one go. Stops before a face that is not plain, does not
// fit the arrays or has an index naming nothing: the general reading takes
// that one. Gives where the last face stored ends, or null when none is.
GLM_NOINLINE const char* plainFaceRun(const char* p, const char* stop, GLMmodel* m,
                                      const uint64_t next[3], GroupSlot& group,
                                      uint64_t& triangles) {
  const char* last = nullptr;
  GLMgroup* g = group.group;
  for (;;) {
    PlainFace face;
    const char* q = simpleFace(p, face);
    if (!q) q = plainFace<true>(p, face);
    if (!q) return last;
    const GLuint fan = GLuint(face.corners - 2);
    if (m->trianglecount - triangles < fan || group.count - g->trianglecount < fan) return last;
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

// The scan loop stays a function of its own: inlined into the read, it
// shares registers with the read's set-up and runs measurably slower.
template <bool Store>
GLM_NOINLINE bool scanObj(ObjScan& s) {
  GLMmodel* m = s.model;
  const char* p = s.text.data;
  const char* const end = s.text.end();
  GroupSlot* group = s.defaultGroup;
  GLuint material = 0;
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
  size_t releaseAt = kReleaseStep;  // offset of the next page hand-back
  // Runs of like lines stop before the next hand-back, and where fewer than
  // kPlainRoom bytes would follow the next keyword.
  auto runStop = [&] {
    const size_t room = size_t(kPlainRoom) + 4, size = s.text.size;
    return s.text.data + std::min(releaseAt, size > room ? size - room : 0);
  };

  // Stores the triangle (a, b, c) of resolved corners with the fields the
  // form sets, at next triangle.
  GLuint resolved[3][3] = {};  // corner (first, last-but-one, last) x (v, t, n)
  auto store = [&](Form form, const GLuint* a, const GLuint* b, const GLuint* c) -> bool {
    if (triangles >= m->trianglecount || group->group->trianglecount >= group->count)
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
  };
  // Resolves corner c into resolved[k]; false when an index names nothing.
  auto resolveInto = [&](const Corner& c, Form form, int k) -> bool {
    const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
    return resolveCorner(c.v, c.t, c.n, form, next, m, resolved[k]);
  };

  for (;;) {
    p = nextKeyword(s.text, p, releaseAt);
    if (p == end) break;
    const char* keyword = p;
    p = skipWord(p, end);
    s.statement = keyword;
    switch (keyword[0]) {
      case 'v': {
        size_t length = size_t(p - keyword);
        int n;
        uint64_t* count;
        GLfloat* array;  // (storing) the kind's array and its counted size
        uint64_t size;
        if (length == 1 || keyword[1] == '\0') {  // "v" alone, as a C string too
          n = 3, count = &vertices, array = m->vertices, size = m->vertexcount;
        } else if (keyword[1] == 'n') {
          n = 3, count = &normals, array = m->normals, size = m->normalcount;
        } else if (keyword[1] == 't') {
          n = 2, count = &texcoords, array = m->texcoords, size = m->texcoordcount;
        } else {
          s.error.kind = Fail::UnknownToken;
          s.error.subject = std::string(cString(keyword, p));
          s.error.message = std::string(m->path) + ":" +
                            std::to_string(lineOf(s.text.data, keyword)) +
                            ": unknown token \"" + quote(keyword, p) + "\"";
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
            if (const char* q = plainCoordinateRun(p, keyword, length, n, out, size - *count,
                                                   runStop(), *count)) {
              p = q;
              break;
            }
          } else if (const char* q = plainCoordinateLine(p, n)) {
            ++*count;
            p = q;
            break;
          }
        }
        ++*count;
        if (Store)
          for (int i = 0; i < n; i++) out[i] = 0;  // a missing number reads as 0
        bool bad = false;
        p = readFloats<Store>(p, end, n, out, bad);
        if (bad) return s.fail("number out of range");
        break;
      }
      case 'f': {
        if (end - p >= kPlainRoom) {
          if (Store) {
            const uint64_t next[3] = {vertices + 1, texcoords + 1, normals + 1};
            if (const char* q = plainFaceRun(p, runStop(), m, next, *group, triangles)) {
              p = q;
              break;
            }
          } else {
            PlainFace face;
            if (const char* q = plainFace<false>(p, face)) {
              p = q;
              triangles += face.corners - 2;
              group->count += face.corners - 2;
              break;
            }
          }
        }
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
        break;
      }
      case 'g': {
        if (!Store) {
          if (!(group = countGroup(s, keyword, p))) return false;
          break;
        }
        const char* stop = lineEnd(p, end);
        auto found = s.groups.find(groupName(p, stop));
        p = stop;
        if (!s.takeMark(keyword) || found == s.groups.end()) return s.disagreeing();
        group = &found->second;
        group->group->material = material;
        break;
      }
      case 'm': {
        if (!Store) {
          if (!countLibrary(s, keyword, p)) return false;
          break;
        }
        if (!s.takeMark(keyword)) return s.disagreeing();
        p = lineEnd(p, end);
        break;
      }
      case 'u': {
        const char* stop = lineEnd(p, end);
        if (Store) {
          std::string_view name = firstWord(p, stop);
          material = 0;
          if (!s.findMaterial(name, material)) s.missingMaterials.emplace_back(name);
          group->group->material = material;
        }
        p = stop;
        break;
      }
      default:
        p = lineEnd(p, end);
        break;
    }
  }
  if (!Store) {
    s.vertices = vertices;
    s.normals = normals;
    s.texcoords = texcoords;
    s.triangles = triangles;
    return true;
  }
  // Everything counted was stored, at the same group and library statements
  // (no group took more triangles than counted, so with the same total each
  // took its count).
  bool same = vertices == m->vertexcount && normals == m->normalcount &&
              texcoords == m->texcoordcount && triangles == m->trianglecount &&
              s.nextMark == s.marks.size();
  return same || s.disagreeing();
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
// coordinates). Group and library lines are statements to read; lines
// whose keyword is unknown or comes after white space are unsure.
inline LineStart countLineStart(const char* q, char next, uint64_t* counts) {
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
    case '\n':
      return LineStart::Counted;
    case '\r':
      return next == '\n' ? LineStart::Counted : LineStart::Unsure;
    default:
      return static_cast<unsigned char>(*q) <= ' ' ? LineStart::Unsure : LineStart::Counted;
  }
}

// The counting pass by lines; false when the text does not look like one
// statement per line (nothing is reported: the read starts over) or a group
// or library statement fails.
GLM_SCAN_CLONES bool countLines(ObjScan& s) {
  const char* p = s.text.data;
  const char* const end = s.text.end();
  GroupSlot* group = s.defaultGroup;
  uint64_t counts[3] = {0, 0, 0}, triangles = 0;
  uint64_t faces = 0, words = 0;  // face lines and their words since the last group
  size_t releaseAt = kReleaseStep;
  // State between blocks: the next byte starts a line, follows white space,
  // is within a face line.
  bool lineStart = true, blankBefore = true, inFace = false;
  // Adds the faces counted so far to the current group: a face of k words
  // (keyword included) has k - 3 triangles.
  auto flush = [&] {
    if (words < 3 * faces) return false;
    triangles += words - 3 * faces;
    group->count += words - 3 * faces;
    faces = words = 0;
    return true;
  };
  // Takes the group or library statement at q; p goes past its line.
  auto statement = [&](const char* q) {
    if (!flush()) return false;
    const char* keyword = q;
    p = skipWord(q, end);
    lineStart = blankBefore = true, inFace = false;
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
      LineStart kind = countLineStart(p + i, p[i + 1], counts);
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
      LineStart kind = countLineStart(q, q + 1 < end ? q[1] : '\n', counts);
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
  s.vertices = counts[0];
  s.normals = counts[1];
  s.texcoords = counts[2];
  s.triangles = triangles;
  return true;
}

// Counts everything, creates the groups, reads the material libraries, and
// gives every group its index array.
bool glmFirstPass(ObjScan& s) {
  s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup || !(s.byLines ? countLines(s) : scanObj<false>(s))) return false;
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

// Stores everything into the arrays sized by the first pass.
bool glmSecondPass(ObjScan& s) { return scanObj<true>(s); }

// ---- Material libraries -----------------------------------------------------

struct MtlScan {
  const char* name;  // composed file name
  Text& text;
  Error& error;
  GLMmaterial* materials = nullptr;  // null while counting
  uint64_t count = 1;

  bool fail(const char* what, const char* at) {
    error.kind = Fail::Other;
    error.message = std::string(name) + ":" + std::to_string(lineOf(text.data, at)) + ": " +
                    what + ": `" + quote(at, text.end()) + "`";
    return false;
  }
};

// One scan of the library: counting the materials (Store false) or storing
// them (Store true). Colours and shininess lex their numbers in both scans,
// so the scans agree on which keywords define materials.
template <bool Store>
bool scanMtl(MtlScan& s) {
  const char* p = s.text.data;
  const char* const end = s.text.end();
  size_t releaseAt = kReleaseStep;  // offset of the next page hand-back
  uint64_t current = 0;
  for (;;) {
    p = nextKeyword(s.text, p, releaseAt);
    if (p == end) break;
    const char* keyword = p;
    p = skipWord(p, end);
    GLMmaterial* mat = Store ? &s.materials[current] : nullptr;
    switch (keyword[0]) {
      case 'n': {
        const char* stop = lineEnd(p, end);
        if (Store) {
          if (++current >= s.count) return s.fail("internal error: the passes disagree", keyword);
          char* copy = copyName(firstWord(p, stop));
          if (!copy) return s.fail("out of memory", keyword);
          s.materials[current].name = copy;
        } else {
          s.count++;
        }
        p = stop;
        break;
      }
      case 'N': {
        float value = Store ? mat->shininess : 0;
        bool bad = false;
        p = readFloats<Store>(p, end, 1, &value, bad);
        if (bad) return s.fail("number out of range", keyword);
        if (Store) {
          // From the file's 0..1000 to OpenGL's 0..128, each step rounded to float.
          value = value / 1000.0f;
          mat->shininess = value * 128.0f;
        }
        break;
      }
      case 'K':
        if (p - keyword >= 2 && (keyword[1] == 'd' || keyword[1] == 'a' || keyword[1] == 's')) {
          float sink[3];
          float* colour = !Store               ? sink
                          : keyword[1] == 'd' ? mat->diffuse
                          : keyword[1] == 'a' ? mat->ambient
                                              : mat->specular;
          bool bad = false;
          p = readFloats<Store>(p, end, 3, colour, bad);
          if (bad) return s.fail("number out of range", keyword);
          break;
        }
        p = lineEnd(p, end);
        break;
      default:
        p = lineEnd(p, end);
        break;
    }
  }
  return true;
}

void freeMaterials(GLMmaterial* materials, GLuint count) {
  if (!materials) return;
  for (GLuint i = 0; i < count; i++) free(materials[i].name);
  free(materials);
}

ObjScan::~ObjScan() {
  for (const Library& library : libraries)
    if (library.materials != model->materials) freeMaterials(library.materials, library.count);
}

// Gives the model the materials of a library, keeping the ones it held
// when they belong to a library the scan remembers.
void installMaterials(ObjScan& s, GLMmaterial* materials, GLuint count) {
  GLMmodel* m = s.model;
  bool remembered = false;
  for (const ObjScan::Library& library : s.libraries)
    remembered |= library.materials == m->materials;
  if (!remembered) freeMaterials(m->materials, m->materialcount);
  m->materials = materials;
  m->materialcount = count;
}

// Reads the library `name` (relative to the model's directory) into the
// model's materials, replacing those of an earlier library.
bool glmReadMTL(ObjScan& s, std::string_view name) {
  char* dir = glmDirName(s.model->path);
  std::string file = std::string(dir) + std::string(name);
  free(dir);
  // A library read before (the same file, or the same buffer of the
  // caller's) gives the same materials: take those without loading it.
  uint64_t identity[4];
  if (s.mtl.identify(file.c_str(), identity))
    for (const ObjScan::Library& library : s.libraries)
      if (memcmp(library.identity, identity, sizeof identity) == 0) {
        installMaterials(s, library.materials, library.count);
        return true;
      }
  Text text;
  Load load = s.mtl.load(file.c_str(), text);
  if (load != Load::Ok) {
    s.error.kind = load == Load::CantOpen ? Fail::OpenMtl : Fail::Other;
    s.error.subject = file;
    s.error.message =
        file + (load == Load::CantOpen ? ": can't open material file" : ": out of memory");
    return false;
  }
  if (!skipByteOrderMark(text)) {
    s.error.kind = Fail::Other;
    s.error.message = utf16Message(file);
    return false;
  }
  const bool known = text.identity[0] | text.identity[1] | text.identity[2] | text.identity[3];
  MtlScan scan{file.c_str(), text, s.error};
  scanMtl<false>(scan);
  if (scan.count > UINT32_MAX) return scan.fail("more than 4294967295 materials", text.data);
  text.releaseAll();

  GLMmaterial* materials = static_cast<GLMmaterial*>(malloc(scan.count * sizeof(GLMmaterial)));
  char* defaultName = static_cast<char*>(malloc(sizeof "default"));
  if (!materials || !defaultName) {
    free(materials);
    free(defaultName);
    return s.failFile("out of memory");
  }
  for (uint64_t i = 0; i < scan.count; i++)
    materials[i] = GLMmaterial{nullptr,          {0.8f, 0.8f, 0.8f, 1.0f},
                               {0.2f, 0.2f, 0.2f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},
                               65.0f};
  memcpy(defaultName, "default", sizeof "default");
  materials[0].name = defaultName;
  scan.materials = materials;
  if (!scanMtl<true>(scan)) {
    freeMaterials(materials, GLuint(scan.count));
    return false;
  }
  installMaterials(s, materials, GLuint(scan.count));
  if (known) {
    s.libraries.push_back(ObjScan::Library{{}, materials, GLuint(scan.count)});
    memcpy(s.libraries.back().identity, text.identity, sizeof text.identity);
  }
  return true;
}

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

// One read of the model from `text`, its first pass counting by lines or
// statement by statement; null (with `error` filled) on any error. The
// names of materials not found are left in `missing`.
GLMmodel* readOnce(const char* path, Text& text, const MtlSource& mtl, Error& error, bool byLines,
                   std::vector<std::string>& missing) {
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  char* pathCopy = copyName(path);
  if (!model || !pathCopy) {
    free(model);
    free(pathCopy);
    error.message = std::string(path) + ": out of memory";
    return nullptr;
  }
  model->path = pathCopy;
  bool ok = false;
  try {
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    scan.byLines = byLines;
    ok = glmFirstPass(scan);
    text.releaseAll();
    ok = ok && allocateArrays(scan) && glmSecondPass(scan);
    text.releaseAll();
    missing = std::move(scan.missingMaterials);
  } catch (const std::bad_alloc&) {
    error.kind = Fail::Other;
    error.message = std::string(path) + ": out of memory";
    ok = false;
  }
  if (ok) return model;
  glmDelete(model);
  return nullptr;
}

// Reads the model from `text`; null (with `error` filled) on any error.
// Counts by lines first (unless told to count statements only); when that
// count turns out wrong, or the read fails, reads again counting statement
// by statement, which alone decides the outcome and the messages.
GLMmodel* readModel(const char* path, Text& text, const MtlSource& mtl, Error& error,
                    int counting = GLM_COUNT_LINES_FIRST) {
  if (!skipByteOrderMark(text)) {
    error.message = utf16Message(path);
    return nullptr;
  }
  std::vector<std::string> missing;
  if (counting != GLM_COUNT_STATEMENTS) {
    GLMmodel* model = readOnce(path, text, mtl, error, true, missing);
    if (model) {
      for (const std::string& name : missing) reportMissingMaterial(name.c_str());
      return model;
    }
    if (counting == GLM_COUNT_LINES_ONLY) {
      if (error.message.empty()) error.message = std::string(path) + ": lines miscounted";
      return nullptr;
    }
    error = Error{};
    missing.clear();
  }
  GLMmodel* model = readOnce(path, text, mtl, error, false, missing);
  for (const std::string& name : missing) reportMissingMaterial(name.c_str());
  return model;
}

// Copies the message into the caller's buffer, cut to fit.
void report(const Error& error, char* buffer, size_t size) {
  if (buffer && size) snprintf(buffer, size, "%s", error.message.c_str());
}

GLMmodel* readFile(const char* filename, Error& error) {
  Text text;
  Load load = loadFile(filename, text);
  if (load != Load::Ok) {
    error.kind = load == Load::CantOpen ? Fail::OpenObj : Fail::Other;
    error.subject = filename;
    error.message = std::string(filename) +
                    (load == Load::CantOpen ? ": can't open data file" : ": out of memory");
    return nullptr;
  }
  return readModel(filename, text, MtlSource{}, error);
}

}  // namespace
}  // namespace read_detail

#undef GLM_READ_INLINE

GLMmodel* glmReadOBJ(const char* filename) {
  GLM_ASSERT(filename);
  read_detail::Error error;
  GLMmodel* model = read_detail::readFile(filename, error);
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
  GLM_ASSERT(filename);
  read_detail::Error failure;
  GLMmodel* model = read_detail::readFile(filename, failure);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}

namespace {

GLMmodel* readText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                   void* user, char* error, size_t errorsize, int counting) {
  GLM_ASSERT(path);
  GLM_ASSERT(text || length == 0);
  read_detail::Text span;
  span.data = text;
  span.size = length;
  read_detail::Error failure;
  read_detail::MtlSource source;
  source.callback = mtl;
  source.user = user;
  if (!mtl) source.callback = [](void*, const char*, size_t*) -> const char* { return nullptr; };
  GLMmodel* model = read_detail::readModel(path, span, source, failure, counting);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}

}  // namespace

GLMmodel* glmReadOBJText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                         void* user, char* error, size_t errorsize) {
  return readText(path, text, length, mtl, user, error, errorsize, GLM_COUNT_LINES_FIRST);
}

GLMmodel* glmReadOBJTextCounting(const char* path, const char* text, size_t length,
                                 GLMmtlsource mtl, void* user, char* error, size_t errorsize,
                                 int counting) {
  GLM_ASSERT(counting >= GLM_COUNT_LINES_FIRST && counting <= GLM_COUNT_LINES_ONLY);
  return readText(path, text, length, mtl, user, error, errorsize, counting);
}

// ============================================================================
// Immediate-mode drawing and display lists.
// ============================================================================

namespace draw_detail {
namespace {

// The warnings of glmDraw's mode checks, in the order they are made.
const char* const kDrawWarnings[7] = {
    "flat render mode requested with no facet normals defined.",
    "smooth render mode requested with no normals defined.",
    "texture render mode requested with no texture coordinates defined.",
    "flat render mode requested and smooth render mode requested (using smooth).",
    "color render mode requested with no materials defined.",
    "material render mode requested with no materials defined.",
    "color and material render mode requested using only material mode.",
};

// A 1-based vector array of `count` items of `size` floats, read from the
// model once per draw (the model does not change while it is drawn).
struct Items {
  const GLfloat* array;
  GLuint count;
  size_t size;

  // Item `index`, or null when the index is 0 ("none") or beyond the count:
  // such an index must never be followed, and slot 0 holds nothing. One
  // compare: index 0 wraps around to the largest unsigned value.
  const GLfloat* operator[](GLuint index) const {
    return GLuint(index - 1) < count ? array + size * index : nullptr;
  }
};

// The material a group is drawn with. A material index beyond the array
// (only a hand-built model has one) falls back to material 0, which is
// where the reader sends names it cannot find; null when there is none.
GLMmaterial* groupMaterial(const GLMmodel* model, const GLMgroup* group) {
  if (group->material < model->materialcount) return &model->materials[group->material];
  return model->materialcount ? &model->materials[0] : nullptr;
}

}  // namespace
}  // namespace draw_detail

// Sends the model group by group, one GL_TRIANGLES batch each, with the
// attributes the resolved mode selects; per corner: normal, texture
// coordinate, vertex, each a pointer into the model's own arrays.
// Indices that lead outside their array are not followed: a missing normal
// or texture coordinate is not sent (the previous current value applies),
// and a triangle with a bad vertex index, or a group entry beyond the
// triangle array, is left out whole so the batch stays in threes.
GLvoid glmDraw(GLMmodel* model, GLuint mode) {
  using namespace draw_detail;
  // Walking state; it outlives a call but each call starts it afresh.
  static GLMgroup* group;
  static GLMmaterial* material;
  static GLMtriangle* triangle;
  static GLuint i;

  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);

  mode = glmResolveMode(model, mode, "glmDraw", kDrawWarnings);
  if (mode & GLM_COLOR)
    glEnable(GL_COLOR_MATERIAL);
  else if (mode & GLM_MATERIAL)
    glDisable(GL_COLOR_MATERIAL);

  const Items vertices{model->vertices, model->vertexcount, 3};
  const Items normals{model->normals, model->normalcount, 3};
  const Items texcoords{model->texcoords, model->texcoordcount, 2};
  const Items facetnorms{model->facetnorms, model->facetnormcount, 3};
  GLMtriangle* const triangles = model->triangles;
  const GLuint trianglecount = triangles ? model->trianglecount : 0;
  for (group = model->groups; group; group = group->next) {
    material = (mode & (GLM_MATERIAL | GLM_COLOR)) ? groupMaterial(model, group) : nullptr;
    if (material && (mode & GLM_MATERIAL)) {
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material->ambient);
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material->diffuse);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material->specular);
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
    }
    if (material && (mode & GLM_COLOR)) glColor3fv(material->diffuse);

    glBegin(GL_TRIANGLES);
    const GLuint* const entries = group->triangles;
    const GLuint count = entries ? group->trianglecount : 0;
    for (i = 0; i < count; i++) {
      if (entries[i] >= trianglecount) continue;
      triangle = &triangles[entries[i]];
      const GLfloat* v[3] = {vertices[triangle->vertexidx[0]], vertices[triangle->vertexidx[1]],
                             vertices[triangle->vertexidx[2]]};
      if (!v[0] || !v[1] || !v[2]) continue;

      if (mode & GLM_FLAT) {
        if (const GLfloat* n = facetnorms[triangle->facetnormidx]) glNormal3fv(n);
      }
      for (int k = 0; k < 3; k++) {
        if (mode & GLM_SMOOTH) {
          if (const GLfloat* n = normals[triangle->normalidx[k]]) glNormal3fv(n);
        }
        if (mode & GLM_TEXTURE) {
          if (const GLfloat* t = texcoords[triangle->texcoordidx[k]]) glTexCoord2fv(t);
        }
        glVertex3fv(v[k]);
      }
    }
    glEnd();
  }
}

// Compiles (does not execute) glmDraw(model, mode) into a new display list
// and returns its name exactly as glGenLists gave it, 0 included.
GLuint glmList(GLMmodel* model, GLuint mode) {
  // Checked before a list is opened so a caller error never leaves one open.
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  GLuint name = glGenLists(1);
  glNewList(name, GL_COMPILE);
  glmDraw(model, mode);
  glEndList();
  return name;
}

// ============================================================================
// Facet normals, smoothed vertex normals, winding.
// ============================================================================

// ---- Vector helpers ---------------------------------------------------------

// u . v in float, summed x, y, z in that order.
GLfloat glmDot(GLfloat* u, GLfloat* v) {
  GLM_ASSERT(u);
  GLM_ASSERT(v);
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

// n = u x v, written n[0] first; n must not overlap u or v.
GLvoid glmCross(GLfloat* u, GLfloat* v, GLfloat* n) {
  GLM_ASSERT(u);
  GLM_ASSERT(v);
  GLM_ASSERT(n);
  n[0] = u[1] * v[2] - u[2] * v[1];
  n[1] = u[2] * v[0] - u[0] * v[2];
  n[2] = u[0] * v[1] - u[1] * v[0];
}

namespace normals_detail {
namespace {

const GLfloat zeroVector[3] = {0, 0, 0};

inline bool inRange(GLuint index, GLuint count) { return GLuint(index - 1) < count; }

inline bool isZero(const GLfloat* v) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }

// The facet normal index a triangle names, or 0 when it names none (0, or
// past the array): such a triangle counts as degenerate.
inline GLuint facetIndex(const GLMmodel* model, const GLMtriangle& t) {
  return inRange(t.facetnormidx, model->facetnormcount) ? t.facetnormidx : 0;
}

// Facet normal `index`, the zero vector for index 0.
inline GLfloat* facetAt(const GLMmodel* model, GLuint index) {
  return index ? model->facetnorms + 3 * size_t(index) : const_cast<GLfloat*>(zeroVector);
}

inline void copy3(GLfloat* dst, const GLfloat* src) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
}

// v / |v| the float way: squares summed in float, the root taken in double
// and rounded to float. True when that gives a finite vector of unit length
// (to 1e-6), which is then in out. A sum of squares in float's normal range
// always does; outside it (squares that overflow or underflow) the result is
// checked.
inline bool floatUnit(const GLfloat* v, GLfloat* out) {
  GLfloat s = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  GLfloat l = GLfloat(sqrt(double(s)));
  if (l == 0) return false;
  for (int c = 0; c < 3; c++) out[c] = v[c] / l;
  if (s >= FLT_MIN && s <= FLT_MAX) return true;
  double length = sqrt(double(out[0]) * out[0] + double(out[1]) * out[1] + double(out[2]) * out[2]);
  return std::isfinite(length) && std::fabs(length - 1) < 1e-6;
}

// v / |v| computed in double and rounded to float, which has room for the
// squares of any float; false (out untouched) for a zero or non-finite v.
inline bool doubleUnit(const double* v, GLfloat* out) {
  double l = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (l == 0 || !std::isfinite(l)) return false;
  for (int c = 0; c < 3; c++) out[c] = GLfloat(v[c] / l);
  return true;
}

}  // namespace
}  // namespace normals_detail

// Divides v by its length: the float sum of squares, square-rooted in double
// and rounded to float. Where that is not a finite unit vector (squares that
// overflow or underflow float) the length is taken in double instead, so the
// result does not depend on the vector's magnitude. A zero vector is left as
// it is, so a degenerate triangle keeps a zero normal instead of turning into
// NaN; so is a vector with an infinite or NaN component.
GLvoid glmNormalize(GLfloat* v) {
  using namespace normals_detail;
  GLM_ASSERT(v);
  GLfloat unit[3];
  const double wide[3] = {v[0], v[1], v[2]};
  if (floatUnit(v, unit) || doubleUnit(wide, unit))
    for (int c = 0; c < 3; c++) v[c] = unit[c];
}

// ---- Facet normals ----------------------------------------------------------

// One unit normal per triangle by the right-hand rule over corners 0, 1, 2:
// triangle i gets facet normal i + 1. The float computation is kept wherever
// it gives a finite unit normal; elsewhere (magnitudes whose products leave
// float's range) the cross product is taken in double. A degenerate triangle
// (corners on one point or line), one with a vertex index outside
// 1..vertexcount or one with a non-finite corner gets the zero vector.
GLvoid glmFacetNormals(GLMmodel* model) {
  using namespace normals_detail;
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);

  free(model->facetnorms);
  model->facetnormcount = model->trianglecount;
  model->facetnorms =
      static_cast<GLfloat*>(glmAlloc(size_t(model->facetnormcount) + 1, 3 * sizeof(GLfloat)));

  for (GLuint i = 0; i < model->trianglecount; i++) {
    GLMtriangle& t = model->triangles[i];
    t.facetnormidx = i + 1;
    GLfloat* n = model->facetnorms + 3 * (size_t(i) + 1);
    if (!inRange(t.vertexidx[0], model->vertexcount) ||
        !inRange(t.vertexidx[1], model->vertexcount) ||
        !inRange(t.vertexidx[2], model->vertexcount)) {
      copy3(n, zeroVector);
      continue;
    }
    const GLfloat* p0 = model->vertices + 3 * size_t(t.vertexidx[0]);
    const GLfloat* p1 = model->vertices + 3 * size_t(t.vertexidx[1]);
    const GLfloat* p2 = model->vertices + 3 * size_t(t.vertexidx[2]);
    GLfloat e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    GLfloat e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    GLfloat cross[3];
    glmCross(e1, e2, cross);
    if (floatUnit(cross, n)) continue;
    // Edges or products beyond float's range (corners near 3e38, edges of
    // 1e20 or 1e-20): the cross product in double, which holds them all. It
    // is taken at the corner opposite the longest edge, whose two edges meet
    // at the triangle's widest angle: corners of very different magnitudes
    // then cannot round the edges into one line. Zero only for a triangle
    // degenerate to double precision.
    const GLfloat* p[3] = {p0, p1, p2};
    double edge[3][3];  // edge[k]: from corner k to corner k + 1
    double longest = -1;
    int k = 0;
    for (int e = 0; e < 3; e++) {
      for (int c = 0; c < 3; c++) edge[e][c] = double(p[(e + 1) % 3][c]) - p[e][c];
      const double squared =
          edge[e][0] * edge[e][0] + edge[e][1] * edge[e][1] + edge[e][2] * edge[e][2];
      if (squared > longest) longest = squared, k = (e + 2) % 3;
    }
    // At corner k the edges run to k + 1 and, backwards, to k + 2.
    const double* a = edge[k];
    const double* b = edge[(k + 2) % 3];  // from k + 2 to k: -(k + 2 - k)
    const double wide[3] = {b[1] * a[2] - b[2] * a[1], b[2] * a[0] - b[0] * a[2],
                            b[0] * a[1] - b[1] * a[0]};
    if (!doubleUnit(wide, n)) copy3(n, zeroVector);
  }
}

// ---- Vertex normals ---------------------------------------------------------

// Per-corner normals smoothed within `angle` degrees. Around each vertex the
// triangles are taken highest-numbered first; the first one is the reference,
// and every triangle whose facet normal has a dot product with the
// reference's strictly above cos(angle) joins one shared normal (the
// normalised plain sum of their facet normals). Every other triangle gets a
// private copy of its facet normal. Numbering: vertex by vertex, the shared
// normal first, then the private ones in the same triangle order.
//
// Instead of linked lists the corners are bucketed by vertex with a counting
// sort, each bucket holding its corners from the highest (triangle, corner)
// down, which is the order the lists would have.
//
// Faults mended here, none of which changes a finite unit result for a
// model whose facet normals are all non-zero:
//  - A degenerate triangle (zero facet normal) is passed over as the
//    reference while the vertex has a non-degenerate one.
//  - A shared sum of zero takes the reference's facet normal; a sum too
//    short (or long) for its squares in float is still scaled to unit
//    length (see glmNormalize).
//  - Each corner that names the vertex gets the index of its own entry, so a
//    triangle naming one vertex at two or three corners has a valid normal
//    at each; the first such corner gets what it always got.
//  - A corner whose vertex index is outside 1..vertexcount gets normal
//    index 0 ("none"); a facet index outside 1..facetnormcount reads as the
//    zero vector.
GLvoid glmVertexNormals(GLMmodel* model, GLfloat angle) {
  using namespace normals_detail;
  GLM_ASSERT(model);
  GLM_ASSERT(model->facetnorms);

  const GLfloat threshold = GLfloat(cos(angle * 3.141592653589793 / 180.0));
  const GLuint vertexcount = model->vertexcount;
  const GLuint trianglecount = model->trianglecount;
  GLMtriangle* triangles = model->triangles;

  free(model->normals);
  model->normals = nullptr;
  model->normalcount = 0;

  // Bucket bounds: after the fill below, vertex w's corners are
  // entries[first[w] .. first[w + 1]).
  size_t* first = static_cast<size_t*>(glmAlloc(size_t(vertexcount) + 2, sizeof(size_t)));
  memset(first, 0, (size_t(vertexcount) + 2) * sizeof(size_t));
  for (GLuint i = 0; i < trianglecount; i++)
    for (int c = 0; c < 3; c++) {
      GLuint w = triangles[i].vertexidx[c];
      if (inRange(w, vertexcount))
        first[w]++;
      else
        triangles[i].normalidx[c] = 0;
    }
  size_t total = 0;
  for (size_t w = 1; w <= size_t(vertexcount) + 1; w++) {
    total += first[w];
    first[w] = total;  // one past the bucket's end, moved down by the fill
  }

  // Each entry is a triangle, its facet normal index (kept here so that
  // comparing facets needs no trip to the triangle) and a corner; the corner
  // byte's bit 2 carries the mark "joins the shared normal".
  GLuint* entryTriangle = static_cast<GLuint*>(glmAlloc(total, sizeof(GLuint)));
  GLuint* entryFacet = static_cast<GLuint*>(glmAlloc(total, sizeof(GLuint)));
  uint8_t* entryCorner = static_cast<uint8_t*>(glmAlloc(total, 1));
  for (GLuint i = 0; i < trianglecount; i++) {
    const GLuint facet = facetIndex(model, triangles[i]);
    for (int c = 0; c < 3; c++) {
      GLuint w = triangles[i].vertexidx[c];
      if (!inRange(w, vertexcount)) continue;
      size_t e = --first[w];  // ascending fill from the top: bucket runs descending
      entryTriangle[e] = i;
      entryFacet[e] = facet;
      entryCorner[e] = uint8_t(c);
    }
  }

  // Worst case: three private normals per triangle.
  GLfloat* normals = static_cast<GLfloat*>(glmAlloc(total + 1, 3 * sizeof(GLfloat)));
  size_t k = 1;
  const uint8_t marked = 4;

  for (size_t w = 1; w <= vertexcount; w++) {
    const size_t begin = first[w], end = first[w + 1];
    if (begin == end) {
      fputs("glmVertexNormals(): vertex w/o a triangle\n", stderr);
      continue;
    }

    GLfloat* reference = facetAt(model, entryFacet[begin]);
    for (size_t e = begin; e < end && isZero(reference); e++)
      reference = facetAt(model, entryFacet[e]);

    GLfloat sum[3] = {0, 0, 0};
    bool shared = false;
    for (size_t e = begin; e < end; e++) {
      GLfloat* facet = facetAt(model, entryFacet[e]);
      GLfloat d = glmDot(facet, reference);
      if (d > threshold) {
        entryCorner[e] |= marked;
        sum[0] += facet[0];
        sum[1] += facet[1];
        sum[2] += facet[2];
        shared = true;
      }
    }

    size_t sharedIndex = 0;
    if (shared) {
      GLfloat* n = normals + 3 * k;
      if (isZero(sum)) {
        copy3(n, reference);
      } else {
        glmNormalize(sum);
        copy3(n, sum);
      }
      sharedIndex = k++;
    }

    for (size_t e = begin; e < end; e++) {
      size_t index;
      if (entryCorner[e] & marked) {
        index = sharedIndex;
      } else {
        copy3(normals + 3 * k, facetAt(model, entryFacet[e]));
        index = k++;
      }
      triangles[entryTriangle[e]].normalidx[entryCorner[e] & 3] = GLuint(index);
    }
  }

  free(entryCorner);
  free(entryFacet);
  free(entryTriangle);
  free(first);

  model->normalcount = GLuint(k - 1);
  model->normals = static_cast<GLfloat*>(glmAlloc(k, 3 * sizeof(GLfloat)));
  memcpy(model->normals + 3, normals + 3, (k - 1) * 3 * sizeof(GLfloat));
  free(normals);
}

// ---- Winding ----------------------------------------------------------------

// Swaps corners 0 and 2 of every triangle (normal and texture indices too,
// when the model has any) and negates every facet normal and normal once.
// Applying it twice restores the model bit for bit.
GLvoid glmReverseWinding(GLMmodel* model) {
  GLM_ASSERT(model);
  for (GLuint i = 0; i < model->trianglecount; i++) {
    GLMtriangle& t = model->triangles[i];
    std::swap(t.vertexidx[0], t.vertexidx[2]);
    if (model->normalcount) std::swap(t.normalidx[0], t.normalidx[2]);
    if (model->texcoordcount) std::swap(t.texcoordidx[0], t.texcoordidx[2]);
  }
  if (model->facetnorms)
    for (size_t i = 3; i < 3 * (size_t(model->facetnormcount) + 1); i++)
      model->facetnorms[i] = -model->facetnorms[i];
  if (model->normals)
    for (size_t i = 3; i < 3 * (size_t(model->normalcount) + 1); i++)
      model->normals[i] = -model->normals[i];
}

// ============================================================================
// Generated texture coordinates (planar, sphere map).
// ============================================================================

namespace texture_detail {
namespace {

// Replaces the model's texture coordinates with `count` fresh, unwritten
// pairs (slot 0 included, never written).
GLfloat* replaceTexcoords(GLMmodel* model, GLuint count) {
  free(model->texcoords);
  model->texcoordcount = count;
  model->texcoords = static_cast<GLfloat*>(glmAlloc(size_t(count) + 1, 2 * sizeof(GLfloat)));
  return model->texcoords;
}

// Points the texture indices of every grouped triangle at the coordinate
// made for its corner's vertex (`useNormals` false) or normal (true). An
// index with nothing behind it (0 or past its array) gives texture index 0,
// "none", which nothing follows. Group entries past the triangle array are
// skipped.
void indexGroupedTriangles(GLMmodel* model, bool useNormals) {
  const GLuint count = model->texcoordcount;
  const GLuint triangles = model->triangles ? model->trianglecount : 0;
  for (GLMgroup* group = model->groups; group; group = group->next) {
    if (!group->triangles) continue;
    for (GLuint i = 0; i < group->trianglecount; i++) {
      if (group->triangles[i] >= triangles) continue;
      GLMtriangle& t = model->triangles[group->triangles[i]];
      for (int c = 0; c < 3; c++) {
        GLuint index = useNormals ? t.normalidx[c] : t.vertexidx[c];
        t.texcoordidx[c] = GLuint(index - 1) < count ? index : 0;
      }
    }
  }
}

// The normal n scaled by a power of two (which keeps the ratios of its
// components exact) so that its largest component lies in [0.5, 1) when it
// lies outside [2^-60, 2^60], where squares summed in float would overflow
// or underflow. Others, zero and non-finite ones, are taken as they are.
inline void inSquaresRange(const GLfloat* n, GLfloat& x, GLfloat& y, GLfloat& z) {
  x = n[0], y = n[1], z = n[2];
  const GLfloat largest = std::max(std::fabs(x), std::max(std::fabs(y), std::fabs(z)));
  if (largest == 0 || !std::isfinite(largest) ||
      (largest >= 0x1p-60f && largest <= 0x1p60f))
    return;
  int exponent;
  std::frexp(largest, &exponent);
  x = std::ldexp(x, -exponent), y = std::ldexp(y, -exponent), z = std::ldexp(z, -exponent);
}

// An argument of acos or asin pulled back into [-1, 1]; only a normal so
// short that its squares lose precision strays outside. NaN stays NaN.
inline double unitClamp(double a) { return a > 1 ? 1 : a < -1 ? -1 : a; }

}  // namespace
}  // namespace texture_detail

// Planar coordinates from x and z: u = x / D + 1/2, v = z / D + 1/2 with D
// the largest dimension glmDimensions reports. One pair per vertex. A model
// whose largest dimension is 0 (every vertex at the origin, or no vertex)
// or too small for 2 / D to be finite uses scale 1, so every vertex at the
// origin maps to (0.5, 0.5).
GLvoid glmLinearTexture(GLMmodel* model) {
  using namespace texture_detail;
  GLM_ASSERT(model);
  GLfloat* texcoords = replaceTexcoords(model, model->vertexcount);

  GLfloat dimensions[3];
  glmDimensions(model, dimensions);
  GLfloat scale = 2 / glmAbs(glmMax(glmMax(dimensions[0], dimensions[1]), dimensions[2]));
  if (!std::isfinite(scale)) scale = 1;

  for (size_t i = 1; i <= model->vertexcount; i++) {
    const GLfloat* v = model->vertices + 3 * i;
    GLfloat x = v[0] * scale;
    GLfloat z = v[2] * scale;
    texcoords[2 * i + 0] = GLfloat((double(x) + 1) / 2);
    texcoords[2 * i + 1] = GLfloat((double(z) + 1) / 2);
  }
  indexGroupedTriangles(model, false);
}

// Sphere-map coordinates from each normal's direction: v = angle to +x / pi,
// u = direction in the y-z plane (0 at -y, pi at +y) / pi. One pair per
// normal. Lengths do not matter, however large or small (vn 0 1e20 0 maps
// like vn 0 1 0); a normal along x or of zero length gives (0, 0).
GLvoid glmSpheremapTexture(GLMmodel* model) {
  using namespace texture_detail;
  GLM_ASSERT(model);
  GLM_ASSERT(model->normals);
  GLfloat* texcoords = replaceTexcoords(model, model->normalcount);

  for (size_t i = 1; i <= model->normalcount; i++) {
    GLfloat x, y, z;
    inSquaresRange(model->normals + 3 * i, x, y, z);
    const GLfloat r = GLfloat(sqrt(double(z * z + y * y)));
    const GLfloat rho = GLfloat(sqrt(double(r * r + x * x)));
    GLfloat theta = 0, phi = 0;
    if (r != 0) {
      // acos(0) in float; the theta constant is two units in the last place
      // below it, so a normal with y = 0 gets u = 0.49999994.
      phi = x == 0 ? 1.5707964f : GLfloat(acos(unitClamp(double(x / rho))));
      theta = y == 0 ? 1.5707961f : GLfloat(asin(unitClamp(double(y / r))) + 1.570796325);
    }
    texcoords[2 * i + 0] = GLfloat(double(theta) / 3.14159265);
    texcoords[2 * i + 1] = GLfloat(double(phi) / 3.14159265);
  }
  indexGroupedTriangles(model, true);
}

// ============================================================================
// Writing a model as an OBJ file and its MTL library.
//
// Every number goes out exactly as printf's "%f" / "%d" would print it, but
// without stdio's per-number cost: lines are formatted into one large buffer
// that is handed to fwrite in big blocks. Non-finite values print as printf
// prints them ("nan", "-nan", "inf", "-inf"); they do not read back as
// numbers.
//
// With GLM_FLAT | GLM_TEXTURE the faces are v/t/n with n the triangle's facet
// normal (the "vn" lines then hold the facet normals), so both the texture
// coordinates and the facet normals come back when the file is read.
// ============================================================================

namespace write_detail {
namespace {

constexpr size_t kBufferSize = size_t(1) << 20;
// Room for any line made of numbers: a face line is at most 9 indices of 11
// characters, a "v" line at most 3 numbers of 47 characters ("%f" of
// -FLT_MAX), an "Ns" line one number of at most 48.
constexpr size_t kLineRoom = 512;

const char* const kHeaderTail =
    "#  \n"
    "#  GLM library\n"
    "#  Brisendel\n"
    "#  celshade@example.org\n"
    "#  https://example.org/celshade\n"
    "#  \n";

// "00" "01" ... "99": two decimal digits per lookup.
const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes v in decimal, most significant digit first.
char* putUnsigned(char* p, uint32_t v) {
  int n = 1 + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000) +
          (v >= 1000000) + (v >= 10000000) + (v >= 100000000) + (v >= 1000000000);
  char* end = p + n;
  while (v >= 100) {
    end -= 2;
    memcpy(end, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10)
    memcpy(end - 2, kDigitPairs + 2 * v, 2);
  else
    end[-1] = char('0' + v);
  return p + n;
}

// Writes `value` as "%d" prints it: the unsigned field reinterpreted as int.
char* putInt(char* p, GLuint value) {
  if (value >> 31) {
    *p++ = '-';
    value = 0u - value;  // magnitude, 2^31 included
  }
  return putUnsigned(p, value);
}

// Writes the six-digit fraction of n (n < 10^6), zero padded.
char* putFraction(char* p, uint32_t n) {
  memcpy(p, kDigitPairs + 2 * (n / 10000), 2);
  memcpy(p + 2, kDigitPairs + 2 * (n / 100 % 100), 2);
  memcpy(p + 4, kDigitPairs + 2 * (n % 100), 2);
  return p + 6;
}

// "%f" of a double: fixed notation, six decimals, round half to even on the
// exact binary value, "nan"/"-nan"/"inf"/"-inf" as glibc prints them. p must
// have room for the digits (at most 48 for a float widened to double, or a
// float's shininess scaled to the file's range).
char* formatDouble(char* p, double value) {
  return std::to_chars(p, p + 64, value, std::chars_format::fixed, 6).ptr;
}

// "%f" of a float widened to double. A float is m * 2^e with m below 2^24, so
// value * 10^6 is m * 10^6 (below 2^44) shifted by e: for |value| below 2^32
// the correctly rounded result is exact 64-bit integer arithmetic. Larger
// values and non-finite ones take the general path.
char* formatFloat(char* p, GLfloat value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  uint32_t biased = (bits >> 23) & 0xff;
  uint64_t m = bits & 0x7fffff;
  int e = -149;  // denormals
  if (biased != 0) {
    m |= 0x800000;
    e = int(biased) - 150;
  }
  if (biased == 0xff || e > 8) return formatDouble(p, double(value));

  uint64_t scaled = m * 1000000;
  uint64_t n;
  if (e >= 0) {
    n = scaled << e;
  } else if (-e >= 46) {
    n = 0;  // below 2^44 / 2^46: rounds to zero
  } else {
    int s = -e;
    n = scaled >> s;
    uint64_t rest = scaled & ((uint64_t(1) << s) - 1);
    uint64_t half = uint64_t(1) << (s - 1);
    if (rest > half || (rest == half && (n & 1))) n++;
  }
  if (bits >> 31) *p++ = '-';
  p = putUnsigned(p, uint32_t(n / 1000000));  // below 2^32 as the value is
  *p++ = '.';
  return putFraction(p, uint32_t(n % 1000000));
}

// Collects output in a large buffer and hands it to the stream in big
// blocks. Write results are not examined. Everything collected reaches the
// stream when the Out goes out of scope.
class Out {
 public:
  explicit Out(FILE* file) : file_(file), buf_(static_cast<char*>(glmAlloc(kBufferSize, 1))) {}
  ~Out() {
    flush();
    free(buf_);
  }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  // Hands everything collected so far to the stream.
  void flush() {
    fwrite(buf_, 1, len_, file_);
    len_ = 0;
  }

  // Any text, however long.
  void text(const char* s) { text(s, strlen(s)); }
  void text(const char* s, size_t n) {
    if (len_ + n > kBufferSize) {
      flush();
      if (n > kBufferSize) {
        fwrite(s, 1, n, file_);
        return;
      }
    }
    memcpy(buf_ + len_, s, n);
    len_ += n;
  }

  // keyword, then each of the n floats after a blank, then a newline.
  void floats(const char* keyword, const GLfloat* v, int n) {
    char* p = room();
    p = copy(p, keyword);
    for (int i = 0; i < n; i++) {
      *p++ = ' ';
      p = formatFloat(p, v[i]);
    }
    *p++ = '\n';
    commit(p);
  }

  // before, "%d" of count, after.
  void count(const char* before, GLuint n, const char* after) {
    char* p = room();
    p = copy(p, before);
    p = putInt(p, n);
    commit(p);
    text(after);
  }

  // Start a line of at most kLineRoom bytes; finish it with commit.
  char* room() {
    if (len_ + kLineRoom > kBufferSize) flush();
    return buf_ + len_;
  }
  void commit(char* end) { len_ = size_t(end - buf_); }

  // Copies a short constant string into a started line.
  static char* copy(char* p, const char* s) {
    size_t n = strlen(s);
    memcpy(p, s, n);
    return p + n;
  }

 private:
  FILE* file_;
  char* buf_;
  size_t len_ = 0;
};

// The eight comment lines both files start with; `kind` is "OBJ" or "MTL".
void header(Out& out, const char* kind) {
  out.text("#  \n#  Wavefront ");
  out.text(kind);
  out.text(" generated by GLM library\n");
  out.text(kHeaderTail);
}

// The warnings of glmWriteOBJ's mode checks, in the order they are made.
const char* const kWriteWarnings[7] = {
    "flat normal output requested with no facet normals defined.",
    "smooth normal output requested with no normals defined.",
    "texture coordinate output requested with no texture coordinates defined.",
    "flat normal output requested and smooth normal output requested (using smooth).",
    "color output requested with no colors (materials) defined.",
    "material output requested with no materials defined.",
    "color and material output requested outputting only materials.",
};

// 1-based vector array items 1..count, each as "keyword x y [z]".
void vectors(Out& out, const char* keyword, const GLfloat* v, GLuint count, int size) {
  for (GLuint k = 1; k <= count; k++) out.floats(keyword, v + size_t(k) * size, size);
}

// One face line. With texture coordinates a corner is v/t or v/t/n, without
// them v or v//n; flat faces name the facet normal at every corner.
void face(Out& out, const GLMtriangle& t, bool texture, bool normal, bool flat) {
  char* p = out.room();
  *p++ = 'f';
  for (int k = 0; k < 3; k++) {
    *p++ = ' ';
    p = putInt(p, t.vertexidx[k]);
    if (texture) {
      *p++ = '/';
      p = putInt(p, t.texcoordidx[k]);
    } else if (normal) {
      *p++ = '/';
    }
    if (normal) {
      *p++ = '/';
      p = putInt(p, flat ? t.facetnormidx : t.normalidx[k]);
    }
  }
  *p++ = '\n';
  out.commit(p);
}

}  // namespace
}  // namespace write_detail

GLvoid glmWriteMTL(GLMmodel* model, const char* modelpath, const char* mtllibname) {
  using namespace write_detail;
  char* dir = glmDirName(modelpath);
  size_t dirlen = strlen(dir), namelen = strlen(mtllibname);
  char* filename = static_cast<char*>(glmAlloc(dirlen + namelen + 1, 1));
  memcpy(filename, dir, dirlen);
  memcpy(filename + dirlen, mtllibname, namelen + 1);
  free(dir);

  FILE* file = fopen(filename, "w");
  if (!file) {
    fprintf(stderr, "glmWriteMTL() failed: can't open file \"%s\".\n", filename);
    exit(1);
  }
  free(filename);
  {
    Out out(file);
    header(out, "MTL");
    out.text("\n");
    for (GLuint i = 0; i < model->materialcount; i++) {
      const GLMmaterial& material = model->materials[i];
      out.text("newmtl ");
      out.text(material.name);
      out.text("\n");
      out.floats("Ka", material.ambient, 3);
      out.floats("Kd", material.diffuse, 3);
      out.floats("Ks", material.specular, 3);
      char* p = out.room();
      p = Out::copy(p, "Ns ");
      // Back from OpenGL's 0..128 to the file's 0..1000 scale, in double.
      p = formatDouble(p, double(material.shininess) / 128.0 * 1000.0);
      p = Out::copy(p, "\n\n");
      out.commit(p);
    }
  }
  fclose(file);
}

GLvoid glmWriteOBJ(GLMmodel* model, const char* filename, GLuint mode) {
  using namespace write_detail;
  GLM_ASSERT(model);
  GLM_ASSERT(filename);
  mode = glmResolveMode(model, mode, "glmWriteOBJ", kWriteWarnings);
  const bool material = mode & GLM_MATERIAL;
  const bool smooth = mode & GLM_SMOOTH;
  const bool flat = mode & GLM_FLAT;
  const bool texture = mode & GLM_TEXTURE;

  FILE* file = fopen(filename, "w");
  if (!file) {
    fprintf(stderr, "glmWriteOBJ() failed: can't open file \"%s\" to write.\n", filename);
    exit(1);
  }
  {
    Out out(file);
    header(out, "OBJ");
    if (material && model->mtllib) {
      out.text("\nmtllib ");
      out.text(model->mtllib);
      out.text("\n\n");
      // The header must reach the stream first: a library that cannot be
      // opened ends the process, which then flushes only the stream.
      out.flush();
      glmWriteMTL(model, filename, model->mtllib);
    }
    out.text("\n");

    out.count("# ", model->vertexcount, " vertices\n");
    if (model->vertexcount) GLM_ASSERT(model->vertices);
    vectors(out, "v", model->vertices, model->vertexcount, 3);
    if (smooth) {
      out.count("\n# ", model->normalcount, " normals\n");
      vectors(out, "vn", model->normals, model->normalcount, 3);
    } else if (flat) {
      out.count("\n# ", model->facetnormcount, " normals\n");
      vectors(out, "vn", model->facetnorms, model->facetnormcount, 3);
    }
    if (texture) {
      out.count("\n# ", model->texcoordcount, " texcoords\n");
      vectors(out, "vt", model->texcoords, model->texcoordcount, 2);
    }
    out.count("\n# ", model->groupcount, " groups\n");
    out.count("# ", model->trianglecount, " faces (triangles)\n\n");

    for (const GLMgroup* group = model->groups; group; group = group->next) {
      out.text("g ");
      out.text(group->name);
      out.text("\n");
      if (material) {
        GLM_ASSERT(group->material < model->materialcount);
        out.text("usemtl ");
        out.text(model->materials[group->material].name);
        out.text("\n");
      }
      if (group->trianglecount) GLM_ASSERT(group->triangles);
      for (GLuint i = 0; i < group->trianglecount; i++) {
        GLuint t = group->triangles[i];
        GLM_ASSERT(t < model->trianglecount);
        face(out, model->triangles[t], texture, smooth || flat, flat);
      }
      out.text("\n");
    }
  }
  fclose(file);
}

// ============================================================================
// Welding vectors that lie within a tolerance.
// ============================================================================

// True when |u - v|, taken as a float, is below epsilon in x, then y, then
// z. NaN, or an epsilon of 0 or below, never compares equal.
GLboolean glmEqual(GLfloat* u, GLfloat* v, GLfloat epsilon) {
  return glmAbs(u[0] - v[0]) < epsilon && glmAbs(u[1] - v[1]) < epsilon &&
         glmAbs(u[2] - v[2]) < epsilon;
}

namespace weld_detail {
namespace {

// Room for a table that is probed at random: on 2 MiB pages where the
// system grants them, which spares most address-translation misses.
void* allocTable(size_t count, size_t size) {
  const size_t hugePage = size_t(2) << 20;
  void* p = nullptr;
  if (count > hugePage / size && count <= SIZE_MAX / size &&
      posix_memalign(&p, hugePage, count * size) == 0) {
    madvise(p, count * size, MADV_HUGEPAGE);
    return p;
  }
  return glmAlloc(count, size);
}

// Welding gives exactly what a scan of the distinct vectors in slot order
// gives (the first, i.e. lowest, slot that glmEqual accepts), but looks only
// at the distinct vectors in the cells around the input.
//
// Why no match is missed: glmEqual(p, q) implies that the exact difference
// |p - q| is below `reach` on every axis (reach = epsilon, since rounding is
// monotonic and epsilon is a float; for an infinite epsilon 2^128, as a
// float difference is finite only below that). Cells have a power-of-two
// size h >= reach, so p / h is exact in double and a match lies in the cell
// of p or in the next one down or up, on each axis. The neighbour on a side
// is searched only when p lies within reach of that side, tested with
// rounding that can only widen the search. Past 2^53 cells from the origin
// a float's neighbours are more than 2^28 epsilon away, so only an equal
// coordinate (same cell) can match there.
//
// Vectors with a NaN or infinite coordinate never match anything (the
// difference is NaN or infinite), so they take a new slot without a search
// and stay out of the grid.
//
// Distinct vectors are at least about epsilon apart on some axis, so a
// neighbourhood holds a bounded number of them and the expected time is
// linear in the number of inputs.
class Grid {
 public:
  Grid(const GLfloat* unique, GLuint count, GLfloat epsilon) : unique_(unique) {
    double reach = std::isinf(epsilon) ? ldexp(1.0, 128) : double(epsilon);
    int e;
    double m = frexp(reach, &e);  // reach = m * 2^e, 0.5 <= m < 1
    if (m == 0.5) e--;            // 2^e: the smallest power of two >= reach
    e += kCellShift;
    inverse_ = ldexp(1.0, -e);
    reach_ = reach * inverse_;  // in cells, at most 2^-kCellShift
    next_ = static_cast<GLuint*>(glmAlloc(size_t(count) + 1, sizeof(GLuint)));
    tail_ = static_cast<GLuint*>(glmAlloc(size_t(count) + 1, sizeof(GLuint)));
    // Room for one cell per input from the start (grown if ever fuller
    // than half): no rehashing while the table fills.
    size_t capacity = 1024;
    while (capacity < count) capacity *= 2;
    resize(capacity);
  }
  ~Grid() {
    free(next_);
    free(tail_);
    free(slots_);
  }
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;

  // Lowest slot among the distinct vectors that glmEqual(p, ., epsilon)
  // accepts, or 0 when there is none. p has finite coordinates.
  GLuint find(GLfloat* p, GLfloat epsilon) const {
    double around[3][3];
    int sides[3];
    for (int c = 0; c < 3; c++) {
      double a = double(p[c]) * inverse_;
      double k = std::floor(a) + 0.0;  // + 0.0: -0 and +0 share a cell
      int n = 0;
      around[c][n++] = k;
      double lower = k - 1, upper = k + 1;
      if (a - reach_ <= k && lower != k) around[c][n++] = lower;
      if (a + reach_ >= upper && upper != k) around[c][n++] = upper;
      sides[c] = n;
    }
    // Hash every neighbour first and fetch their table lines together.
    double keys[27][3];
    size_t homes[27];
    int cells = 0;
    for (int x = 0; x < sides[0]; x++)
      for (int y = 0; y < sides[1]; y++)
        for (int z = 0; z < sides[2]; z++, cells++) {
          keys[cells][0] = around[0][x];
          keys[cells][1] = around[1][y];
          keys[cells][2] = around[2][z];
          homes[cells] = home(keys[cells]);
          __builtin_prefetch(&slots_[homes[cells]]);
        }
    GLuint best = 0;
    for (int i = 0; i < cells; i++) {
      const Slot* cell = lookup(keys[i], homes[i]);
      if (!cell) continue;
      // A cell's list runs in ascending slot order: its first match is its
      // lowest, and nothing past the best so far can win. The head is
      // compared with its copy in the table slot, already at hand.
      GLfloat* v = const_cast<GLfloat*>(cell->first);
      for (GLuint j = cell->head; j && (!best || j < best); j = next_[j]) {
        if (glmEqual(p, v, epsilon)) {
          best = j;
          break;
        }
        v = const_cast<GLfloat*>(unique_ + 3 * size_t(next_[j]));
      }
    }
    return best;
  }

  // Files distinct vector `slot` (already in the unique array, finite) at
  // the end of its cell's list; slots arrive in ascending order.
  void add(GLuint slot) {
    const GLfloat* v = unique_ + 3 * size_t(slot);
    double key[3];
    cellOf(v, key);
    size_t at = home(key);
    next_[slot] = 0;
    if (const Slot* cell = lookup(key, at)) {
      next_[tail_[cell->head]] = slot;
      tail_[cell->head] = slot;
      return;
    }
    if (2 * (used_ + 1) > mask_ + 1) {
      resize(2 * (mask_ + 1));
      at = home(key);
    }
    slots_[probeEmpty(at)] = Slot{{v[0], v[1], v[2]}, slot};
    tail_[slot] = slot;
    used_++;
  }

 private:
  // Cells are 2^kCellShift times the smallest power of two >= reach, so
  // that on most axes the neighbourhood of an input covers one cell only.
  static const int kCellShift = 1;

  // One cell: the coordinates of its first (lowest) distinct vector, which
  // also tell which cell it is, and that vector's slot.
  struct Slot {
    GLfloat first[3];
    GLuint head;  // 0: empty table slot
  };

  void cellOf(const GLfloat* v, double key[3]) const {
    for (int c = 0; c < 3; c++) key[c] = std::floor(double(v[c]) * inverse_) + 0.0;
  }

  static uint64_t bitsOf(double d) {
    uint64_t b;
    memcpy(&b, &d, sizeof b);
    return b;
  }

  // The table position a cell's probing starts at: the top bits of a hash
  // of its key.
  size_t home(const double key[3]) const {
    uint64_t h = bitsOf(key[0]) * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 29) ^ bitsOf(key[1])) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 32) ^ bitsOf(key[2])) * 0x94D049BB133111EBull;
    return size_t((h ^ (h >> 31)) >> shift_);
  }

  // The table slot of the cell `key`, or null when the cell holds nothing.
  const Slot* lookup(const double key[3], size_t at) const {
    for (;; at = (at + 1) & mask_) {
      const Slot& s = slots_[at];
      if (!s.head) return nullptr;
      double other[3];
      cellOf(s.first, other);
      if (other[0] == key[0] && other[1] == key[1] && other[2] == key[2]) return &s;
    }
  }

  size_t probeEmpty(size_t at) const {
    while (slots_[at].head) at = (at + 1) & mask_;
    return at;
  }

  // Grows the open-addressing table to `capacity` (a power of two) slots.
  void resize(size_t capacity) {
    Slot* old = slots_;
    size_t oldCapacity = old ? mask_ + 1 : 0;
    slots_ = static_cast<Slot*>(allocTable(capacity, sizeof(Slot)));
    memset(slots_, 0, capacity * sizeof(Slot));
    mask_ = capacity - 1;
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) shift_--;
    for (size_t i = 0; i < oldCapacity; i++)
      if (old[i].head) {
        double key[3];
        cellOf(old[i].first, key);
        slots_[probeEmpty(home(key))] = old[i];
      }
    free(old);
  }

  const GLfloat* unique_;
  double inverse_ = 1, reach_ = 1;
  GLuint* next_ = nullptr;  // next distinct vector in the same cell, 0 at the end
  GLuint* tail_ = nullptr;  // for a cell's head: the last vector of its list
  Slot* slots_ = nullptr;
  size_t mask_ = 0, used_ = 0;
  int shift_ = 64;
};

inline bool isFinite(const GLfloat* v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Collects the distinct vectors of vectors[1..count] into unique[1..] (the
// caller's array of count + 1 vectors) and reports every input's slot
// through store(i, slot) right after input i was read. Returns the number
// of distinct vectors.
template <typename Store>
GLuint weld(const GLfloat* vectors, GLuint count, GLfloat epsilon, GLfloat* unique, Store store) {
  GLuint distinct = 0;
  auto keep = [&](const GLfloat* v) {
    memcpy(unique + 3 * (size_t(distinct) + 1), v, 3 * sizeof(GLfloat));
    return ++distinct;
  };
  if (!(epsilon > 0)) {  // nothing merges, NaN epsilon included
    for (size_t i = 1; i <= count; i++) store(i, keep(vectors + 3 * i));
    return distinct;
  }
  Grid grid(unique, count, epsilon);
  for (size_t i = 1; i <= count; i++) {
    GLfloat p[3];
    memcpy(p, vectors + 3 * i, sizeof p);
    GLuint slot = 0;
    if (isFinite(p)) {
      slot = grid.find(p, epsilon);
      if (!slot) grid.add(slot = keep(p));
    } else {
      slot = keep(p);
    }
    store(i, slot);
  }
  return distinct;
}

}  // namespace
}  // namespace weld_detail

// Distinct vectors of vectors[1..*numvectors] in order of first occurrence,
// each input merged into the lowest-numbered distinct vector within epsilon
// (glmEqual). Returns a new array of the input's size (caller frees), sets
// *numvectors to the number of distinct vectors and replaces the x of every
// input by its slot as a float. Slots above 2^24 are rounded to the nearest
// float there (the unique array and the count stay exact); glmWeld does not
// rely on this channel.
GLfloat* glmWeldVectors(GLfloat* vectors, GLuint* numvectors, GLfloat epsilon) {
  const GLuint count = *numvectors;
  GLfloat* unique = static_cast<GLfloat*>(glmAlloc(size_t(count) + 1, 3 * sizeof(GLfloat)));
  *numvectors = weld_detail::weld(vectors, count, epsilon, unique,
                                  [&](size_t i, GLuint slot) { vectors[3 * i] = GLfloat(slot); });
  return unique;
}

// Welds the model's vertices within epsilon and renumbers the corners, with
// exact slot numbers at any size. Corners whose vertex index lies outside
// 1..vertexcount are left as they are (still outside the new range). The
// vertex array is replaced by one of exactly vertexcount + 1 vectors.
GLvoid glmWeld(GLMmodel* model, GLfloat epsilon) {
  const GLuint count = model->vertexcount;
  GLfloat* unique = static_cast<GLfloat*>(glmAlloc(size_t(count) + 1, 3 * sizeof(GLfloat)));
  GLuint* slots = static_cast<GLuint*>(glmAlloc(size_t(count) + 1, sizeof(GLuint)));
  const GLuint distinct = weld_detail::weld(model->vertices, count, epsilon, unique,
                                            [&](size_t i, GLuint slot) { slots[i] = slot; });

  for (GLuint i = 0; i < model->trianglecount; i++)
    for (GLuint& v : model->triangles[i].vertexidx)
      if (GLuint(v - 1) < count) v = slots[v];
  free(slots);

  free(model->vertices);
  model->vertexcount = distinct;
  model->vertices = static_cast<GLfloat*>(glmAlloc(size_t(distinct) + 1, 3 * sizeof(GLfloat)));
  memcpy(model->vertices + 3, unique + 3, size_t(distinct) * 3 * sizeof(GLfloat));
  free(unique);
}

// ============================================================================
// Reading raw (P6) PPM images.
//
// The header is read as the format has it: the magic, then width, height and
// maximum value separated by any white space and '#' comments (to the end of
// their line), then one white-space byte before the pixels. Words where a
// value should be are passed over to the end of their line, as before.
//
// Besides a missing file and a wrong magic, the reader refuses, with one
// line on standard error and a null result, a header that ends before its
// third value, a width or height below 1, a pixel byte count beyond int, a
// file with fewer pixel bytes than the header promises, and a failed
// allocation. It never allocates for pixels that are not there.
// ============================================================================

namespace ppm_detail {
namespace {

// Without a known file size the pixel block is read in growing chunks, so a
// header that promises gigabytes costs no more memory than the data present.
constexpr size_t kFirstChunk = size_t(1) << 20;

inline bool isWhite(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDecimal(int c) { return c >= '0' && c <= '9'; }

// Skips the rest of the line, its newline included.
void skipLine(FILE* file) {
  int c;
  while ((c = getc(file)) != EOF && c != '\n') {
  }
}

// Reads the next header value: white space and comments ('#' to the end of
// the line) before it are skipped, and so is, to the end of its line, text
// that is not a number (as a line of words or the "x3" of "2x3"). A value
// may carry a sign. Up to 18 digits it is exact; longer ones stop growing
// there, so that the caller can reject it. Leaves the byte after the digits
// unread; false at the end of the file.
bool readValue(FILE* file, long long& out) {
  for (;;) {
    int c = getc(file);
    if (c == EOF) return false;
    if (isWhite(c)) continue;
    if (c == '#') {
      skipLine(file);
      continue;
    }
    bool negative = c == '-';
    if (c == '-' || c == '+') {
      c = getc(file);
      if (!isDecimal(c)) {
        if (c != EOF && c != '\n') skipLine(file);
        continue;
      }
    }
    if (!isDecimal(c)) {
      skipLine(file);
      continue;
    }
    long long value = 0;
    for (; isDecimal(c); c = getc(file))
      if (value < 100000000000000000LL) value = value * 10 + (c - '0');
    if (c != EOF) ungetc(c, file);
    out = negative ? -value : value;
    return true;
  }
}

// Reads exactly `bytes` bytes (> 0) into a new malloc'ed buffer, or returns
// null with *truncated set (too little data) or clear (no memory). A regular
// file's remaining size is checked before anything is allocated.
GLubyte* readPixels(FILE* file, size_t bytes, bool* truncated) {
  *truncated = true;
  size_t capacity = bytes;
  struct stat st;
  if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
    long at = ftell(file);
    if (at >= 0 && (st.st_size < at || size_t(st.st_size - at) < bytes)) return nullptr;
  } else if (capacity > kFirstChunk) {
    capacity = kFirstChunk;
  }
  GLubyte* pixels = static_cast<GLubyte*>(malloc(capacity));
  size_t got = 0;
  while (pixels) {
    got += fread(pixels + got, 1, capacity - got, file);
    if (got == bytes) return pixels;
    if (got < capacity) break;  // end of file or a read error
    capacity = capacity > bytes / 2 ? bytes : capacity * 2;
    GLubyte* grown = static_cast<GLubyte*>(realloc(pixels, capacity));
    if (!grown) {
      free(pixels);
      pixels = nullptr;
    } else {
      pixels = grown;
    }
  }
  if (pixels) {
    free(pixels);
    return nullptr;
  }
  *truncated = false;
  return nullptr;
}

}  // namespace
}  // namespace ppm_detail

GLubyte* glmReadPPM(const char* filename, int* width, int* height) {
  using namespace ppm_detail;
  GLM_ASSERT(filename);
  GLM_ASSERT(width);
  GLM_ASSERT(height);
  FILE* file = fopen(filename, "rb");
  if (!file) {
    perror(filename);
    return nullptr;
  }
  if (getc(file) != 'P' || getc(file) != '6') {
    fprintf(stderr, "%s: Not a raw PPM file\n", filename);
    fclose(file);
    return nullptr;
  }
  // A magic run on into other text ("P6x") is not followed by values: the
  // rest of its line is passed over.
  int next = getc(file);
  if (next != EOF && !isWhite(next) && next != '#') skipLine(file);
  else if (next != EOF) ungetc(next, file);

  // Width, height and maximum value, wherever they stand after the magic.
  long long values[3];
  for (long long& value : values) {
    if (!readValue(file, value)) {
      fprintf(stderr, "%s: truncated PPM header\n", filename);
      fclose(file);
      return nullptr;
    }
  }
  // One white-space byte ends the header. What else follows the maximum
  // value on its line (a comment, a word) is header too, up to the newline.
  int after = getc(file);
  if (after != EOF && !isWhite(after)) skipLine(file);
  // The maximum value is not used: every sample is one byte.
  long long w = values[0], h = values[1];
  if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX || w * h > INT_MAX / 3) {
    fprintf(stderr, "%s: bad PPM size %lld x %lld\n", filename, w, h);
    fclose(file);
    return nullptr;
  }

  bool truncated;
  GLubyte* pixels = readPixels(file, size_t(w * h * 3), &truncated);
  fclose(file);
  if (!pixels) {
    if (truncated)
      fprintf(stderr, "%s: PPM pixel data truncated\n", filename);
    else
      fprintf(stderr, "%s: out of memory for %lld x %lld PPM pixels\n", filename, w, h);
    return nullptr;
  }
  *width = int(w);
  *height = int(h);
  return pixels;
}
