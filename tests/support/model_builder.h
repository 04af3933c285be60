// Models built in memory the way the reader builds them (1-based vector
// arrays with a slot 0 of NaNs, so that a read of it shows; malloc'ed
// records), plus small file helpers, for tests and benchmarks of operations
// that take a model.
#ifndef CELSHADE_MODEL_BUILDER_H
#define CELSHADE_MODEL_BUILDER_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ftw.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include "glm_internal.h"

namespace model_builder {

// A model holding only its path and an empty vertex array.
inline GLMmodel* newModel(const char* path = "built.obj") {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->path = copyString(path);
  m->vertices = static_cast<GLfloat*>(malloc(3 * sizeof(GLfloat)));
  m->vertices[0] = m->vertices[1] = m->vertices[2] = NAN;
  return m;
}

// A new 1-based vector array holding `items` (count * size floats) after a
// slot 0 of NaNs.
inline GLfloat* vectorArray(const std::vector<float>& items, int size = 3) {
  GLfloat* a = static_cast<GLfloat*>(malloc((items.size() + size) * sizeof(GLfloat)));
  for (int c = 0; c < size; c++) a[c] = NAN;
  if (!items.empty()) memcpy(a + size, items.data(), items.size() * sizeof(GLfloat));
  return a;
}

// Replaces a 1-based vector array with `items` (count * size floats). An
// empty list gives null.
inline void setArray(GLfloat** array, GLuint* count, const std::vector<float>& items, int size) {
  free(*array);
  *count = GLuint(items.size() / size);
  *array = items.empty() ? nullptr : vectorArray(items, size);
}

inline void setVertices(GLMmodel* m, const std::vector<float>& xyz) {
  setArray(&m->vertices, &m->vertexcount, xyz, 3);
  if (!m->vertices) {  // the reader always allocates vertices
    m->vertices = static_cast<GLfloat*>(malloc(3 * sizeof(GLfloat)));
    m->vertices[0] = m->vertices[1] = m->vertices[2] = NAN;
  }
}
inline void setNormals(GLMmodel* m, const std::vector<float>& xyz) {
  setArray(&m->normals, &m->normalcount, xyz, 3);
}
inline void setFacetNormals(GLMmodel* m, const std::vector<float>& xyz) {
  setArray(&m->facetnorms, &m->facetnormcount, xyz, 3);
}
inline void setTexcoords(GLMmodel* m, const std::vector<float>& uv) {
  setArray(&m->texcoords, &m->texcoordcount, uv, 2);
}

// A triangle with corners v, texture coordinates t, normals n, facet normal f.
inline GLMtriangle triangle(GLuint v0, GLuint v1, GLuint v2, GLuint t0 = 0, GLuint t1 = 0,
                            GLuint t2 = 0, GLuint n0 = 0, GLuint n1 = 0, GLuint n2 = 0,
                            GLuint f = 0) {
  GLMtriangle t;
  t.vertexidx[0] = v0, t.vertexidx[1] = v1, t.vertexidx[2] = v2;
  t.texcoordidx[0] = t0, t.texcoordidx[1] = t1, t.texcoordidx[2] = t2;
  t.normalidx[0] = n0, t.normalidx[1] = n1, t.normalidx[2] = n2;
  t.facetnormidx = f;
  return t;
}

inline void setTriangles(GLMmodel* m, const std::vector<GLMtriangle>& triangles) {
  free(m->triangles);
  m->trianglecount = GLuint(triangles.size());
  m->triangles = static_cast<GLMtriangle*>(malloc((triangles.size() + 1) * sizeof(GLMtriangle)));
  if (!triangles.empty())
    memcpy(m->triangles, triangles.data(), triangles.size() * sizeof(GLMtriangle));
}

// Appends a triangle.
inline void addTriangle(GLMmodel* m, const GLMtriangle& t) {
  m->triangles = static_cast<GLMtriangle*>(
      realloc(m->triangles, (m->trianglecount + 2) * sizeof(GLMtriangle)));
  m->triangles[m->trianglecount++] = t;
}

// Adds (or finds) a group and gives it the triangle indices and material.
inline GLMgroup* addGroup(GLMmodel* m, const char* name, const std::vector<GLuint>& triangles,
                          GLuint material = 0) {
  GLMgroup* g = glmAddGroup(m, name);
  free(g->triangles);
  g->trianglecount = GLuint(triangles.size());
  g->triangles = static_cast<GLuint*>(malloc((triangles.size() + 1) * sizeof(GLuint)));
  if (!triangles.empty()) memcpy(g->triangles, triangles.data(), triangles.size() * sizeof(GLuint));
  g->material = material;
  return g;
}

// A model of vertices (x, y, z triples) and triangles (1-based vertex index
// triples, no other attributes), all in the one group "default".
inline GLMmodel* build(const std::vector<float>& xyz, const std::vector<GLuint>& corners) {
  GLMmodel* m = newModel();
  setVertices(m, xyz);
  std::vector<GLMtriangle> triangles;
  std::vector<GLuint> all;
  for (size_t i = 0; i + 3 <= corners.size(); i += 3) {
    all.push_back(GLuint(triangles.size()));
    triangles.push_back(triangle(corners[i], corners[i + 1], corners[i + 2]));
  }
  setTriangles(m, triangles);
  addGroup(m, "default", all);
  return m;
}

// A closed cube spanning -1..1: 8 vertices, 12 triangles, counter-clockwise
// from outside, two per face (faces -z, +z, -y, +y, -x, +x in that order).
inline GLMmodel* cube() {
  std::vector<float> v = {-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,
                          -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1};
  std::vector<GLuint> t = {1, 4, 3, 1, 3, 2,   // -z
                           5, 6, 7, 5, 7, 8,   // +z
                           1, 2, 6, 1, 6, 5,   // -y
                           4, 8, 7, 4, 7, 3,   // +y
                           1, 5, 8, 1, 8, 4,   // -x
                           2, 3, 7, 2, 7, 6};  // +x
  return build(v, t);
}

// The bits of a float, for exact comparisons (signed zeros, NaN payloads).
inline uint32_t bits(float f) {
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  return b;
}

// Gives a material its colours and shininess.
inline void setColours(GLMmaterial& mat, const GLfloat (&ambient)[4], const GLfloat (&diffuse)[4],
                       const GLfloat (&specular)[4], GLfloat shininess) {
  memcpy(mat.ambient, ambient, sizeof ambient);
  memcpy(mat.diffuse, diffuse, sizeof diffuse);
  memcpy(mat.specular, specular, sizeof specular);
  mat.shininess = shininess;
}

// Appends a material with the library's defaults; returns it for changes.
inline GLMmaterial& addMaterial(GLMmodel* m, const char* name) {
  // The array grows by doubling, so that tests adding tens of thousands of
  // materials stay linear (under AddressSanitizer every realloc moves).
  const size_t need = (m->materialcount + 1) * sizeof(GLMmaterial);
  if (!m->materials || malloc_usable_size(m->materials) < need)
    m->materials = static_cast<GLMmaterial*>(realloc(m->materials, 2 * need));
  GLMmaterial& mat = m->materials[m->materialcount++];
  mat = GLMmaterial();
  mat.name = copyString(name);
  setColours(mat, {0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.8f, 0.8f, 1}, {0, 0, 0, 1}, 65);
  return mat;
}

inline void setMtllib(GLMmodel* m, const char* name) {
  free(m->mtllib);
  m->mtllib = name ? copyString(name) : nullptr;
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string readFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  std::string s;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline bool fileExists(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f) fclose(f);
  return f != nullptr;
}

// Removes the scratch directories when the process that made them ends
// (never in a death test's child, which shares them).
struct ScratchCleanup {
  pid_t owner = getpid();
  std::vector<std::string> dirs;
  ~ScratchCleanup() {
    if (getpid() != owner) return;
    for (const std::string& dir : dirs)
      nftw(
          dir.c_str(),
          [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
          FTW_DEPTH | FTW_PHYS);
  }
};

// A new empty directory under $TMPDIR (or /tmp), path ending in "/"; it and
// all it holds are removed at exit.
inline std::string scratchDir() {
  static ScratchCleanup cleanup;
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/celshade-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) abort();
  cleanup.dirs.push_back(buf.data());
  return std::string(buf.data()) + "/";
}

// Deterministic 32-bit generator (xorshift) for reproducible random data.
struct Rng {
  uint32_t state;
  explicit Rng(uint32_t seed) : state(seed ? seed : 1) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  // Uniform in [0, n).
  uint32_t below(uint32_t n) { return uint32_t(uint64_t(next()) * n >> 32); }
  // Uniform in [lo, hi).
  float uniform(float lo, float hi) { return lo + (hi - lo) * float(next() >> 8) / 16777216.0f; }
};

// A square of two triangles with every attribute: normals, texture
// coordinates, facet normals, two materials and three groups (one empty, one
// with a name that starts with a blank).
inline GLMmodel* fullSquare() {
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
  setNormals(m, {0, 0, 1, 0, 0, -1});
  setTexcoords(m, {0, 0, 1, 0, 0, 1, 0.25f, 0.75f});
  setFacetNormals(m, {0, 1, 0, 1, 0, 0});
  setTriangles(m, {triangle(1, 2, 3, 1, 2, 3, 1, 1, 1, 1), triangle(2, 4, 3, 2, 4, 3, 1, 2, 1, 2)});
  addGroup(m, "default", {});
  addGroup(m, " body", {0});
  addGroup(m, "arm", {1}, 1);
  addMaterial(m, "default");
  setColours(addMaterial(m, "red"), {0.1f, 0, 0, 0.5f}, {1, 0, 0, 0.25f}, {0.5f, 0.5f, 0.5f, 0},
             64);
  setMtllib(m, "parts.mtl");
  return m;
}

}  // namespace model_builder

#endif  // CELSHADE_MODEL_BUILDER_H
