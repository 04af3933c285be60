// libFuzzer harness for the operations on a model: every model the reader
// makes of the input (see fuzz_input.h) goes through facet and vertex
// normals, both texture generators and welding, which must give no NaN
// from its finite coordinates (normals unit or zero), and is then written
// and read back, which must give the same model as the text rounds it.
#include <glm.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"

namespace {

std::string dir;  // where the model is written, a fresh folder
std::string objPath;

void removeFiles() {
  unlink(objPath.c_str());
  rmdir(dir.c_str());
}

bool finite(const GLfloat* a, size_t floats) {
  for (size_t i = 0; i < floats; i++)
    if (!std::isfinite(a[i])) return false;
  return true;
}

// Vectors 1..count of a normal array: each of unit length or zero.
void checkNormals(const GLfloat* a, GLuint count) {
  FUZZ_CHECK(a != nullptr);
  for (size_t i = 1; i <= count; i++) {
    const GLfloat* n = a + 3 * i;
    FUZZ_CHECK(finite(n, 3));
    double length = sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
    FUZZ_CHECK(length == 0 || std::fabs(length - 1) < 1e-6);
  }
}

// The float that the text "%f" of v reads back as.
float throughText(float v) {
  char text[64];
  snprintf(text, sizeof text, "%f", double(v));
  return strtof(text, nullptr);
}

void checkRounded(const GLfloat* got, const GLfloat* wrote, GLuint count, int size) {
  for (size_t i = size; i < size_t(count + 1) * size; i++) {
    const float want = throughText(wrote[i]);
    FUZZ_CHECK(memcmp(&got[i], &want, sizeof want) == 0);
  }
}

// The model read back from what was written with GLM_SMOOTH | GLM_TEXTURE:
// the same numbers as the text rounds them, the same groups in the same
// order under the same names, the same corners in every group.
void checkReadBack(const GLMmodel* m, const GLMmodel* r) {
  FUZZ_CHECK(r->vertexcount == m->vertexcount && r->normalcount == m->normalcount &&
             r->texcoordcount == m->texcoordcount && r->trianglecount == m->trianglecount &&
             r->groupcount == m->groupcount);
  checkRounded(r->vertices, m->vertices, m->vertexcount, 3);
  if (m->normalcount) checkRounded(r->normals, m->normals, m->normalcount, 3);
  if (m->texcoordcount) checkRounded(r->texcoords, m->texcoords, m->texcoordcount, 2);
  const GLMgroup* rg = r->groups;
  for (const GLMgroup* g = m->groups; g; g = g->next, rg = rg->next) {
    FUZZ_CHECK(rg && strcmp(rg->name, g->name) == 0 && rg->trianglecount == g->trianglecount);
    for (GLuint i = 0; i < g->trianglecount; i++) {
      const GLMtriangle& a = m->triangles[g->triangles[i]];
      const GLMtriangle& b = r->triangles[rg->triangles[i]];
      FUZZ_CHECK(memcmp(a.vertexidx, b.vertexidx, sizeof a.vertexidx) == 0);
      FUZZ_CHECK(memcmp(a.normalidx, b.normalidx, sizeof a.normalidx) == 0);
      FUZZ_CHECK(memcmp(a.texcoordidx, b.texcoordidx, sizeof a.texcoordidx) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzKeepReport();
  // Unknown materials and unused vertices are reported on standard output
  // and standard error: keep the first quiet (libFuzzer silences both).
  if (!freopen("/dev/null", "w", stdout)) abort();
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  char name[64];
  snprintf(name, sizeof name, "%s/celshade-fuzz-XXXXXX", base);
  FUZZ_CHECK(mkdtemp(name) != nullptr);
  dir = name;
  objPath = dir + "/out.obj";
  atexit(removeFiles);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  char error[256];
  GLMmodel* m = glmReadOBJText(kFuzzPath, input.obj, input.objLength, FuzzInput::serve, &input,
                               error, sizeof error);
  if (!m) return 0;
  // The reader refuses numbers beyond float: what follows starts finite.
  FUZZ_CHECK(finite(m->vertices + 3, 3 * size_t(m->vertexcount)));

  glmFacetNormals(m);
  checkNormals(m->facetnorms, m->facetnormcount);
  const GLfloat angles[4] = {0, 45, 90, 180};
  glmVertexNormals(m, angles[size % 4]);
  checkNormals(m->normals, m->normalcount);

  glmLinearTexture(m);
  FUZZ_CHECK(finite(m->texcoords + 2, 2 * size_t(m->texcoordcount)));
  glmSpheremapTexture(m);
  FUZZ_CHECK(finite(m->texcoords + 2, 2 * size_t(m->texcoordcount)));

  const GLfloat epsilons[4] = {0, 1e-6f, 0.01f, 1};
  const GLuint before = m->vertexcount;
  glmWeld(m, epsilons[(size / 4) % 4]);
  FUZZ_CHECK(m->vertexcount <= before);
  FUZZ_CHECK(finite(m->vertices + 3, 3 * size_t(m->vertexcount)));
  for (GLuint i = 0; i < m->trianglecount; i++)
    for (GLuint v : m->triangles[i].vertexidx) FUZZ_CHECK(v >= 1 && v <= m->vertexcount);

  glmWriteOBJ(m, objPath.c_str(), GLM_SMOOTH | GLM_TEXTURE);
  // Read back from memory: the same reading as from the file, without
  // mapping it anew for every input.
  std::string text;
  FILE* written = fopen(objPath.c_str(), "rb");
  FUZZ_CHECK(written != nullptr);
  char block[65536];
  for (size_t n; (n = fread(block, 1, sizeof block, written)) > 0;) text.append(block, n);
  fclose(written);
  GLMmodel* r = glmReadOBJText(objPath.c_str(), text.data(), text.size(), nullptr, nullptr, error,
                               sizeof error);
  if (!r) fprintf(fuzzReport(), "read-back failed: %s\n", error);
  FUZZ_CHECK(r != nullptr);
  checkReadBack(m, r);
  glmDelete(r);
  glmDelete(m);
  return 0;
}
