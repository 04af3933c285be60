// The reader's entry points (glmReadOBJ, glmTryReadOBJ, glmReadOBJText and
// their flagged forms) and the way a text is read: in pieces on several
// threads where it can be, else by one thread in one pass where that
// settles it, else counting lines first, and statement by statement where
// that count proves wrong.
#include "read_scan.h"

#include <new>
#include <string>

namespace read_detail {
namespace {

// How one read by a single thread goes: in one pass, the arrays growing;
// counting by lines first; counting statement by statement first.
enum class Passes { One, Lines, Statements };

// One read of the model from `text`; null (with `error` filled) on any
// error. In one pass it fails quietly, for a read in two to tell why. The
// libraries and materials not found are left in `missing`.
GLMmodel* readOnce(const char* path, Text& text, const MtlSource& mtl, Failure& error,
                   Passes passes, Unfound& missing) {
  GLMmodel* model = newModel(path, error);
  if (!model) return nullptr;
  bool ok = false;
  try {
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    scan.byLines = passes == Passes::Lines;
    scan.quiet = passes == Passes::One;
    if (passes == Passes::One) {
      ok = glmOnePass(scan);
    } else {
      ok = glmFirstPass(scan);
      text.releaseAll();
      ok = ok && allocateArrays(scan) && glmSecondPass(scan);
    }
    text.releaseAll();
    missing.materials.assign(scan.missingMaterials.begin(), scan.missingMaterials.end());
    missing.libraries = std::move(scan.missingLibraries);
    scan.passedOver.describe(path, text, missing.passedOver);
  } catch (const std::bad_alloc&) {
    ok = fail(error, path, "out of memory");
  }
  if (ok) return model;
  glmDelete(model);
  return nullptr;
}

// Reads the model from `text`; null (with `error` filled) on any error.
// A large text is read in pieces on several threads where it can be;
// otherwise by one thread in one pass where one pass settles it (unless
// the process runs under a memory limit); otherwise
// in two, counting by lines first (unless told to count statements only);
// when that count turns out wrong, or the read fails, reads again counting
// statement by statement, which alone decides the outcome and the messages.
GLMmodel* readModel(const char* path, Text& text, const MtlSource& mtl, Failure& error,
                    int counting = GLM_COUNT_LINES_FIRST) {
  if (!startText(text, error, path)) return nullptr;
  Unfound missing;
  if (counting == GLM_COUNT_LINES_FIRST || counting == GLM_ONE_PASS_ONLY ||
      counting == GLM_PIECES_ONLY) {
    const Split split = splitFor(text.size);
    GLMmodel* model = split.pieces > 1 && counting != GLM_ONE_PASS_ONLY
                          ? readPieces(path, text, mtl, split, missing)
                          : nullptr;
    if (!model && counting == GLM_PIECES_ONLY) {
      fail(error, path, "not read in pieces");
      return nullptr;
    }
    // One pass holds more than the arrays while they grow: under a memory
    // limit, two passes read what one pass might not.
    if (!model && (counting == GLM_ONE_PASS_ONLY || !memoryLimited())) {
      Failure quiet;
      model = readOnce(path, text, mtl, quiet, Passes::One, missing);
    }
    if (model) {
      missing.report();
      return model;
    }
    if (counting == GLM_ONE_PASS_ONLY) {
      fail(error, path, "not read in one pass");
      return nullptr;
    }
    missing = Unfound{};
  }
  if (counting != GLM_COUNT_STATEMENTS) {
    GLMmodel* model = readOnce(path, text, mtl, error, Passes::Lines, missing);
    if (model) {
      missing.report();
      return model;
    }
    if (counting == GLM_COUNT_LINES_ONLY) {
      if (error.message.empty()) fail(error, path, "lines miscounted");
      return nullptr;
    }
    error = Failure{};
    missing = Unfound{};
  }
  GLMmodel* model = readOnce(path, text, mtl, error, Passes::Statements, missing);
  missing.report();
  return model;
}

GLMmodel* readFile(const char* filename, GLuint flags, Failure& error) {
  Text text;
  Load load = loadFile(filename, text);
  if (load != Load::Ok) {
    failLoad(error, load, filename, Fail::OpenObj, "can't open data file");
    return nullptr;
  }
  MtlSource source;
  source.optional = flags & GLM_READ_OPTIONAL_LIBRARIES;
  source.lenient = flags & GLM_READ_LENIENT;
  return readModel(filename, text, source, error);
}

}  // namespace
}  // namespace read_detail

GLMmodel* glmReadOBJ(const char* filename) {
  GLM_ASSERT(filename);
  Failure error;
  GLMmodel* model = read_detail::readFile(filename, 0, error);
  if (model) return model;
  exitWithFailure(error, FailingCall::Read);
}

GLMmodel* glmTryReadOBJ(const char* filename, char* error, size_t errorsize) {
  return glmTryReadOBJWith(filename, 0, error, errorsize);
}

GLMmodel* glmTryReadOBJWith(const char* filename, GLuint flags, char* error, size_t errorsize) {
  GLM_ASSERT(filename);
  Failure failure;
  GLMmodel* model = read_detail::readFile(filename, flags, failure);
  if (!model) copyMessage(failure, error, errorsize);
  return model;
}

namespace {

GLMmodel* readText(const char* path, const char* text, size_t length, GLMmtlsource mtl, void* user,
                   GLuint flags, char* error, size_t errorsize, int counting) {
  GLM_ASSERT(path);
  GLM_ASSERT(text || length == 0);
  read_detail::Text span;
  span.data = text;
  span.size = length;
  Failure failure;
  read_detail::MtlSource source;
  source.callback = mtl;
  source.user = user;
  source.optional = flags & GLM_READ_OPTIONAL_LIBRARIES;
  source.lenient = flags & GLM_READ_LENIENT;
  if (!mtl) source.callback = [](void*, const char*, size_t*) -> const char* { return nullptr; };
  GLMmodel* model = read_detail::readModel(path, span, source, failure, counting);
  if (!model) copyMessage(failure, error, errorsize);
  return model;
}

}  // namespace

GLMmodel* glmReadOBJText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                         void* user, char* error, size_t errorsize) {
  return readText(path, text, length, mtl, user, 0, error, errorsize, GLM_COUNT_LINES_FIRST);
}

GLMmodel* glmReadOBJTextWith(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                             void* user, GLuint flags, char* error, size_t errorsize) {
  return readText(path, text, length, mtl, user, flags, error, errorsize, GLM_COUNT_LINES_FIRST);
}

GLMmodel* readObjTextCounting(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                              void* user, char* error, size_t errorsize, int counting,
                              GLuint flags) {
  GLM_ASSERT(counting >= GLM_COUNT_LINES_FIRST && counting <= GLM_PIECES_ONLY);
  return readText(path, text, length, mtl, user, flags, error, errorsize, counting);
}
