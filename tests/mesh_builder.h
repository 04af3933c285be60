// Builds models in memory the way the reader leaves them: every array
// malloc'ed with slot 0 allocated (and filled with NaN, so reading it shows),
// all triangles in one group "default".
#ifndef CELSHADE_TESTS_MESH_BUILDER_H
#define CELSHADE_TESTS_MESH_BUILDER_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "glm_internal.h"

namespace mesh {

inline GLfloat* vectorArray(const std::vector<float>& xyz, int size = 3) {
  GLfloat* a = static_cast<GLfloat*>(malloc((xyz.size() + size) * sizeof(GLfloat)));
  for (int i = 0; i < size; i++) a[i] = NAN;
  if (!xyz.empty()) memcpy(a + size, xyz.data(), xyz.size() * sizeof(GLfloat));
  return a;
}

// Vertices as x, y, z triples; triangles as 1-based vertex index triples.
inline GLMmodel* build(const std::vector<float>& xyz, const std::vector<GLuint>& corners) {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->path = copyString("built.obj");
  m->vertexcount = GLuint(xyz.size() / 3);
  m->vertices = vectorArray(xyz);
  m->trianglecount = GLuint(corners.size() / 3);
  m->triangles = static_cast<GLMtriangle*>(calloc(m->trianglecount + 1, sizeof(GLMtriangle)));
  for (GLuint i = 0; i < m->trianglecount; i++)
    for (int c = 0; c < 3; c++) m->triangles[i].vertexidx[c] = corners[3 * i + c];
  GLMgroup* g = glmAddGroup(m, "default");
  g->trianglecount = m->trianglecount;
  g->triangles = static_cast<GLuint*>(malloc((m->trianglecount + 1) * sizeof(GLuint)));
  for (GLuint i = 0; i < m->trianglecount; i++) g->triangles[i] = i;
  return m;
}

// Installs hand-made normals (x, y, z triples) in place of the model's own.
inline void setNormals(GLMmodel* m, const std::vector<float>& xyz) {
  free(m->normals);
  m->normalcount = GLuint(xyz.size() / 3);
  m->normals = vectorArray(xyz);
}

// Installs hand-made facet normals; triangle i keeps its facetnormidx.
inline void setFacetNormals(GLMmodel* m, const std::vector<float>& xyz) {
  free(m->facetnorms);
  m->facetnormcount = GLuint(xyz.size() / 3);
  m->facetnorms = vectorArray(xyz);
}

inline uint32_t bits(float f) {
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  return b;
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

}  // namespace mesh

#endif  // CELSHADE_TESTS_MESH_BUILDER_H
