// libFuzzer harness for the OBJ/MTL reader. One input holds both texts (see
// fuzz_input.h).
//
// Every model that comes back is checked for consistency and every index it
// holds is followed into its array, so an out-of-range index is caught here
// (and by AddressSanitizer) rather than later by a caller. The text is then
// read again with a comment line of blanks after it: that gives every
// statement room for the reader's whole-line shortcuts, which must read it
// exactly as the statement-by-statement reading does. And it is read once
// more counting statement by statement from the start, instead of counting
// lines first, and once in pieces on several threads: all must end the same
// way, with the same warnings in the same order. The padded read and the
// read in pieces go through a small window of copied text (the way a mapped
// file is read), whose edges the input's size moves. All of that by the
// classic rules and again reading leniently (GLM_READ_LENIENT).
#include <glm.h>
#include <glm_internal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "fuzz_pool.h"
#include "support/model_difference.h"

namespace {

const char* const kPath = kFuzzPath;

// Sum of what we read, kept so the reads are not optimised away.
volatile float sink;

// The warnings of the read under way, one string per line.
std::mutex warningsLock;
std::string warnings;

void keepWarning(void*, const char* line) {
  std::lock_guard<std::mutex> hold(warningsLock);
  warnings += line;
  warnings += '\n';
}

// The warnings given since the last call.
std::string takeWarnings() {
  std::lock_guard<std::mutex> hold(warningsLock);
  std::string taken;
  taken.swap(warnings);
  return taken;
}

// Reads item `index` (count + 1 slots of `width` floats) after checking it.
void touch(const GLfloat* array, GLuint count, GLuint index, int width) {
  FUZZ_CHECK(index <= count);
  FUZZ_CHECK(array != nullptr);
  for (int c = 0; c < width; c++) sink = sink + array[size_t(index) * width + c];
}

void checkModel(GLMmodel* m) {
  FUZZ_CHECK(m->path && strcmp(m->path, kPath) == 0);
  FUZZ_CHECK(m->vertices != nullptr);
  FUZZ_CHECK((m->normals != nullptr) == (m->normalcount != 0));
  FUZZ_CHECK((m->texcoords != nullptr) == (m->texcoordcount != 0));
  FUZZ_CHECK(m->facetnorms == nullptr && m->facetnormcount == 0);
  FUZZ_CHECK(m->trianglecount == 0 || m->triangles != nullptr);
  FUZZ_CHECK((m->materials != nullptr) == (m->materialcount != 0));
  for (GLuint i = 0; i < m->materialcount; i++) FUZZ_CHECK(m->materials[i].name != nullptr);

  // Vector slot 0 is never data: a corner names an element 1..count, or
  // 0 for an attribute it does not have.
  for (GLuint i = 0; i < m->trianglecount; i++) {
    const GLMtriangle& t = m->triangles[i];
    for (int k = 0; k < 3; k++) {
      FUZZ_CHECK(t.vertexidx[k] >= 1);
      touch(m->vertices, m->vertexcount, t.vertexidx[k], 3);
      if (t.normalidx[k]) touch(m->normals, m->normalcount, t.normalidx[k], 3);
      if (t.texcoordidx[k]) touch(m->texcoords, m->texcoordcount, t.texcoordidx[k], 2);
    }
  }

  // Groups: newest first, "default" last, every triangle in exactly one.
  std::vector<char> seen(m->trianglecount, 0);
  GLuint groups = 0;
  size_t grouped = 0;
  const GLMgroup* last = nullptr;
  for (const GLMgroup* g = m->groups; g; g = g->next) {
    FUZZ_CHECK(++groups <= m->groupcount);
    FUZZ_CHECK(g->name != nullptr);
    FUZZ_CHECK(g->trianglecount == 0 || g->triangles != nullptr);
    FUZZ_CHECK(m->materialcount == 0 ? g->material == 0 : g->material < m->materialcount);
    for (GLuint i = 0; i < g->trianglecount; i++) {
      GLuint t = g->triangles[i];
      FUZZ_CHECK(t < m->trianglecount);
      FUZZ_CHECK(!seen[t]);
      seen[t] = 1;
    }
    grouped += g->trianglecount;
    last = g;
  }
  FUZZ_CHECK(groups == m->groupcount);
  FUZZ_CHECK(last && strcmp(last->name, "default") == 0);
  FUZZ_CHECK(grouped == m->trianglecount);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzKeepReport();
  setReadSplit(1, 0);  // one thread unless a read asks for pieces
  setPieceRunner(FuzzPool::run);
  glmSetMessageHandler(keepWarning, nullptr);
  // Anything else printed on standard output: keep it quiet.
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

namespace {

// Reads the input with `flags` by one thread, padded, counting statement by
// statement and in pieces; all must end alike.
void readEveryWay(const FuzzInput& input, size_t size, GLuint flags) {
  const char* obj = input.obj;
  const size_t objLength = input.objLength;
  void* const user = const_cast<FuzzInput*>(&input);

  char error[256];
  memset(error, 'x', sizeof error);
  GLMmodel* model =
      glmReadOBJTextWith(kPath, obj, objLength, FuzzInput::serve, user, flags, error, sizeof error);
  const std::string warned = takeWarnings();
  if (model) {
    checkModel(model);
  } else {
    FUZZ_CHECK(memchr(error, '\0', sizeof error) != nullptr);
    FUZZ_CHECK(error[0] != '\0');
  }

  // The same text, then a line end and a long comment: nothing changes
  // (a last line keeps its meaning when a newline follows it).
  static const char kPadding[] =
      "\n#                                                                "
      "                                                                "
      "                                                                "
      "                                                                "
      "                                                                "
      "                                                                "
      "                                                                "
      "                                                                "
      "\n";
  static_assert(sizeof kPadding > 512, "the padding gives every statement room for the shortcuts");
  std::vector<char> padded(obj, obj + objLength);
  padded.insert(padded.end(), kPadding, kPadding + sizeof kPadding - 1);
  char paddedError[256];
  setReadWindow(768 + size % 512);
  GLMmodel* again = glmReadOBJTextWith(kPath, padded.data(), padded.size(), FuzzInput::serve, user,
                                       flags, paddedError, sizeof paddedError);
  FUZZ_CHECK((model != nullptr) == (again != nullptr));
  FUZZ_CHECK(takeWarnings() == warned);
  char statementsError[256];
  setReadWindow(0);
  GLMmodel* byStatements =
      readObjTextCounting(kPath, obj, objLength, FuzzInput::serve, user, statementsError,
                          sizeof statementsError, GLM_COUNT_STATEMENTS, flags);
  FUZZ_CHECK((model != nullptr) == (byStatements != nullptr));
  FUZZ_CHECK(takeWarnings() == warned);
  // In pieces on several threads, cut anywhere (the piece count follows the
  // input): the same model or the same error.
  setReadSplit(2 + unsigned(size % 5), 1);
  setReadWindow(768 + size % 512);
  char piecesError[256];
  GLMmodel* inPieces = glmReadOBJTextWith(kPath, obj, objLength, FuzzInput::serve, user, flags,
                                          piecesError, sizeof piecesError);
  setReadSplit(1, 0);
  setReadWindow(0);
  FUZZ_CHECK((model != nullptr) == (inPieces != nullptr));
  FUZZ_CHECK(takeWarnings() == warned);
  if (model) {
    FUZZ_CHECK(modelDifference(model, again).empty());
    FUZZ_CHECK(modelDifference(model, byStatements).empty());
    FUZZ_CHECK(modelDifference(model, inPieces).empty());
    glmUnitize(model);
    glmDelete(model);
    glmDelete(again);
    glmDelete(byStatements);
    glmDelete(inPieces);
  } else {
    FUZZ_CHECK(strcmp(error, paddedError) == 0);
    FUZZ_CHECK(strcmp(error, statementsError) == 0);
    FUZZ_CHECK(strcmp(error, piecesError) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  // By the classic rules, and as the viewer and celshade-mesh read.
  readEveryWay(input, size, 0);
  readEveryWay(input, size, GLM_READ_LENIENT | GLM_READ_OPTIONAL_LIBRARIES);
  return 0;
}
