// The writer: a model as an OBJ file and its materials as an MTL library.
//
// Every number goes out exactly as printf's "%f" / "%d" would print it, but
// without stdio's per-number cost: lines are formatted into one large buffer
// that is written in big blocks. Non-finite values print as printf prints
// them ("nan", "-nan", "inf", "-inf"); they do not read back as numbers.
//
// Each file is written beside its target under a temporary name and renamed
// over it once both files are written, so a failure leaves no partial file.
//
// With GLM_FLAT | GLM_TEXTURE the faces are v/t/n with n the triangle's facet
// normal (the "vn" lines then hold the facet normals), so both the texture
// coordinates and the facet normals come back when the file is read.
//
// Reading a written file gives the model back: groups in the same order
// under the same names, the same materials. What the reader makes by itself
// (its "default" group and material) is left for it to make again, not
// written as if the file had named it.
#include "glm_internal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace write_detail {
namespace {

// Output buffers: as large as the text expected, within these bounds (a
// small model's write needs no megabyte).
constexpr size_t kSmallestBuffer = size_t(16) << 10;
constexpr size_t kLargestBuffer = size_t(1) << 20;
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
  int n = 1 + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000) + (v >= 1000000) +
          (v >= 10000000) + (v >= 100000000) + (v >= 1000000000);
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

// Collects output in a large buffer and hands it to the file in big blocks.
// After the first failed write nothing more is written; finish() tells.
class Out {
 public:
  // `expected`: about how many bytes will be written.
  Out(Replacement& file, size_t expected)
      : file_(file),
        size_(std::min(std::max(expected, kSmallestBuffer), kLargestBuffer)),
        buf_(static_cast<char*>(allocArray(size_, 1))) {}
  ~Out() { free(buf_); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  // Writes what is left; false with errno set when any write failed.
  bool finish() {
    flush();
    errno = error_;
    return error_ == 0;
  }

  // Any text, however long.
  void text(const char* s) { text(s, strlen(s)); }
  void text(const char* s, size_t n) {
    if (len_ + n > size_) {
      flush();
      if (n > size_) {
        put(s, n);
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
    if (len_ + kLineRoom > size_) flush();
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
  void flush() {
    put(buf_, len_);
    len_ = 0;
  }
  void put(const char* p, size_t n) {
    if (error_ == 0 && !file_.write(p, n)) error_ = errno ? errno : EIO;
  }

  Replacement& file_;
  const size_t size_;
  char* buf_;
  size_t len_ = 0;
  int error_ = 0;
};

// Records a failure with errno's text; always false.
bool fail(Failure& failure, Fail kind, const std::string& file, const char* what) {
  int code = errno;
  failure.kind = kind;
  failure.subject = file;
  failure.message = file + ": " + what + ": " + strerror(code);
  return false;
}

// Writes out's remaining text and closes the file; false with the failure.
bool finishFile(Out& out, Replacement& file, const std::string& name, Failure& failure) {
  if (!out.finish()) return fail(failure, Fail::Other, name, "can't write");
  if (!file.close()) return fail(failure, Fail::Other, name, "can't close");
  return true;
}

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

// A material's colours and shininess.
void materialValues(Out& out, const GLMmaterial& material) {
  out.floats("Ka", material.ambient, 3);
  out.floats("Kd", material.diffuse, 3);
  out.floats("Ks", material.specular, 3);
  char* p = out.room();
  p = Out::copy(p, "Ns ");
  // Back from OpenGL's 0..128 to the file's 0..1000 scale, in double.
  p = formatDouble(p, double(material.shininess) / 128.0 * 1000.0);
  *p++ = '\n';
  out.commit(p);
}

// True when the colours and shininess are those every material starts with
// when read.
bool startingValues(const GLMmaterial& m) {
  const GLMmaterial start = glmDefaultMaterial();
  const size_t rgb = 3 * sizeof(GLfloat);
  return memcmp(m.ambient, start.ambient, rgb) == 0 && memcmp(m.diffuse, start.diffuse, rgb) == 0 &&
         memcmp(m.specular, start.specular, rgb) == 0 && m.shininess == start.shininess;
}

// A map statement: keyword, options, the image's name.
void mapLine(Out& out, std::string_view keyword, std::string_view options,
             const std::string& image) {
  out.text(keyword.data(), keyword.size());
  out.text(" ");
  if (!options.empty()) {
    out.text(options.data(), options.size());
    out.text(" ");
  }
  out.text(image.data(), image.size());
  out.text("\n");
}

// The library's folder, and whether the statements of a material read from
// another library's folder name their images from elsewhere.
struct LibraryFolder {
  std::string folder;
  bool asked = false;
  std::string lastSource;  // the folder of the last material's library asked about
  bool lastMoved = false;

  bool moved(const char* library) {
    std::string source = glmDirName(library);
    if (!asked || source != lastSource) {
      lastMoved = !sameFolder(source, folder);
      lastSource = std::move(source);
      asked = true;
    }
    return lastMoved;
  }
};

// The statements a material keeps, then its diffuse map. Written into
// another folder than the one their library was read from, map statements
// name their images from there.
void materialStatements(Out& out, const GLMmaterial& material, LibraryFolder& where) {
  if (material.statements) {
    const bool moved = material.library && where.moved(material.library);
    std::string_view rest = material.statements;
    while (!rest.empty()) {
      const size_t stop = rest.find('\n');
      const std::string_view line = rest.substr(0, stop);
      rest.remove_prefix(stop == std::string_view::npos ? rest.size() : stop + 1);
      const std::string_view keyword =
          line.substr(0, std::min(line.find_first_of(" \t"), line.size()));
      std::string_view options;
      std::string image;
      if (moved && isMapKeyword(keyword) &&
          splitMapStatement(line.substr(keyword.size()), options, image)) {
        mapLine(out, keyword, options,
                nameFromFolder(where.folder, resolveMapName(material.library, image)));
        continue;
      }
      out.text(line.data(), line.size());
      out.text("\n");
    }
  }
  if (material.diffusemap)
    mapLine(out, "map_Kd", material.diffusemapoptions ? material.diffusemapoptions : "",
            nameFromFolder(where.folder, material.diffusemap));
}

bool hasStatements(const GLMmaterial& m) { return m.statements || m.diffusemap; }

// Writes the materials as the MTL file `filename` and closes it, not yet
// renamed over its name; false with the failure. Each material is its
// "newmtl" line, its colours and shininess, its statements and an empty
// line. Material 0 named "default" is the one the reader makes for every
// library: it gets no "newmtl" line, and its values, where the library
// changed them, and its statements stand before the first "newmtl", where a
// library gives them.
bool glmWriteMTL(const GLMmodel* model, const std::string& filename, Replacement& file,
                 Failure& failure) {
  if (!file.create(filename.c_str())) return fail(failure, Fail::OpenMtl, filename, "can't open");
  Out out(file, 4096 + 256 * size_t(model->materialcount));
  header(out, "MTL");
  out.text("\n");
  LibraryFolder where;
  where.folder = glmDirName(filename.c_str());
  for (GLuint i = 0; i < model->materialcount; i++) {
    const GLMmaterial& material = model->materials[i];
    if (i == 0 && strcmp(material.name, "default") == 0) {
      const bool values = !startingValues(material);
      if (values) materialValues(out, material);
      materialStatements(out, material, where);
      if (values || hasStatements(material)) out.text("\n");
      continue;
    }
    out.text("newmtl ");
    out.text(material.name);
    out.text("\n");
    materialValues(out, material);
    materialStatements(out, material, where);
    out.text("\n");
  }
  return finishFile(out, file, filename, failure);
}

// The library's name relative to the OBJ file's folder, as the OBJ file
// names it and as it is written. A name that stays inside the folder is
// kept. One with a ".." component, or an absolute one, would let a file's
// text choose where the library is written: it is written beside the OBJ
// file under its last component (under the OBJ file's name with ".mtl" when
// that is no file name), with a warning.
std::string libraryName(const char* mtllib, const char* objfile) {
  const std::string_view name = mtllib;
  bool outside = name.size() && name[0] == '/';
  for (size_t at = 0; !outside && at <= name.size();) {
    size_t end = std::min(name.find('/', at), name.size());
    outside = name.substr(at, end - at) == "..";
    at = end + 1;
  }
  if (!outside) return std::string(name);
  std::string safe(name.substr(name.rfind('/') + 1));  // npos + 1 is 0
  if (safe.empty() || safe == "." || safe == "..") {
    std::string_view obj = objfile;
    obj.remove_prefix(obj.rfind('/') + 1);
    safe.assign(obj.substr(0, std::min(obj.rfind('.'), obj.size()))).append(".mtl");
  }
  emitMessage(stderr,
              "glmWriteOBJ() warning: material library \"%s\" lies outside the folder of "
              "\"%s\": written as \"%s\" beside it",
              mtllib, objfile, safe.c_str());
  return safe;
}

// The "g" line of a group. The reader names a group by the rest of its line,
// the white space after "g" included: a name that is empty or starts with
// white space (as every name read from a file does) follows "g" directly,
// so that it reads back as it is; any other name gets a blank.
void groupLine(Out& out, const char* name) {
  const char c = *name;
  out.text(c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' ? "g" : "g ");
  out.text(name);
  out.text("\n");
}

// Writes the OBJ file and, with materials and a library name, the MTL file
// beside it; renames both over their names only when both were written and
// closed. False with the failure.
bool writeModel(GLMmodel* model, const char* filename, GLuint mode, Failure& failure) {
  GLM_ASSERT(model);
  GLM_ASSERT(filename);
  mode = resolveMode(model, mode, "glmWriteOBJ", kWriteWarnings);
  const bool material = mode & GLM_MATERIAL;
  const bool smooth = mode & GLM_SMOOTH;
  const bool flat = mode & GLM_FLAT;
  const bool texture = mode & GLM_TEXTURE;

  Replacement obj, mtl;
  if (!obj.create(filename)) return fail(failure, Fail::OpenObj, filename, "can't open");
  // About 64 bytes a line of numbers, and a list entry per triangle.
  Out out(obj, 4096 + 64 * (size_t(model->vertexcount) + model->normalcount + model->texcoordcount +
                            model->facetnormcount + 2 * size_t(model->trianglecount)));
  header(out, "OBJ");
  std::string mtlname;
  if (material && model->mtllib) {
    const std::string library = libraryName(model->mtllib, filename);
    out.text("\nmtllib ");
    out.text(library.data(), library.size());
    out.text("\n\n");
    // The library goes in the OBJ file's folder.
    mtlname = pathBeside(filename, library);
    if (!glmWriteMTL(model, mtlname, mtl, failure)) return false;
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

  // Oldest group first, so that reading the file makes the groups in the
  // same order. The oldest group, when named "default", is the reader's own,
  // which takes the faces before the first "g" line: its faces come first,
  // under no "g" line, and when it holds nothing, nothing is written for it.
  std::vector<const GLMgroup*> groups;
  for (const GLMgroup* group = model->groups; group; group = group->next) groups.push_back(group);
  for (size_t g = groups.size(); g-- > 0;) {
    const GLMgroup* group = groups[g];
    const bool readers = g + 1 == groups.size() && strcmp(group->name, "default") == 0;
    const bool usemtl = material && !(readers && group->material == 0);
    if (readers && !group->trianglecount && !usemtl) continue;
    if (!readers) groupLine(out, group->name);
    if (usemtl) {
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
  if (!finishFile(out, obj, filename, failure)) return false;
  if (!mtl.commit()) return fail(failure, Fail::Other, mtlname, "can't replace");
  if (!obj.commit()) return fail(failure, Fail::Other, filename, "can't replace");
  return true;
}

}  // namespace
}  // namespace write_detail

GLvoid glmWriteOBJ(GLMmodel* model, const char* filename, GLuint mode) {
  using namespace write_detail;
  Failure failure;
  if (writeModel(model, filename, mode, failure)) return;
  exitWithFailure(failure, FailingCall::Write);
}

GLboolean glmTryWriteOBJ(GLMmodel* model, const char* filename, GLuint mode, char* error,
                         size_t errorsize) {
  Failure failure;
  if (write_detail::writeModel(model, filename, mode, failure)) return GL_TRUE;
  copyMessage(failure, error, errorsize);
  return GL_FALSE;
}
