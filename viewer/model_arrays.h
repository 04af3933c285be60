// What the viewer builds once per model to draw its cel-shaded copy and
// outline from flat arrays, and the per-frame ramp coordinates computed over
// them. Plain CPU work: nothing here calls OpenGL.
#pragma once

#include <glm.h>

#include <cstddef>
#include <vector>

#include "vectors.h"

// The model's drawable triangles as indexed corners. A drawn vertex is a
// model vertex together with the direction its corners take their ramp
// coordinate from: the corner's normal, or its triangle's face direction
// when the corner has no usable normal index; built with texture
// coordinates, also the corner's texture coordinate ((0, 0) for a corner
// without a usable index). Corners that share all of them share one drawn
// vertex.
struct ModelArrays {
  std::vector<GLfloat> positions;   // 3 per drawn vertex
  std::vector<GLfloat> texcoords;   // 2 per drawn vertex when built with them, else none
  std::vector<GLfloat> nx, ny, nz;  // its direction, model space, one array per axis
  std::vector<GLuint> indices;      // 3 per drawable triangle, group after group
  std::vector<GLuint> groupFirst;   // per group in list order: its first index
  std::vector<GLuint> groupCount;   // and its number of indices

  size_t vertexCount() const { return nx.size(); }
  // Bytes held by the arrays.
  size_t bytes() const;
};

// True when triangle index p and its three vertex indices lie inside m's
// arrays, so that the triangle can be drawn without reading past them.
inline bool drawableTriangle(const GLMmodel* m, GLuint p) {
  if (p >= m->trianglecount) return false;
  const GLMtriangle& t = m->triangles[p];
  GLuint n = m->vertexcount;
  return t.vertexidx[0] - 1 < n && t.vertexidx[1] - 1 < n && t.vertexidx[2] - 1 < n;
}

// True when corner k of t names a normal of m.
inline bool hasNormal(const GLMmodel* m, const GLMtriangle& t, int k) {
  return m->normals && t.normalidx[k] - 1 < m->normalcount;
}

// Direction of triangle t's face in model space (unnormalized), for corners
// whose own normal cannot be used.
vector faceDirection(const GLMmodel* m, const GLMtriangle& t);

// Fills `a` from m (whose groups, triangles, vertices and normals it reads,
// and with `texcoords` its texture coordinates); triangles that are not
// drawable are left out.
void buildModelArrays(const GLMmodel* m, ModelArrays& a, bool texcoords = false);

// The ramp coordinate of each of `count` directions (nx[i], ny[i], nz[i]):
// the direction through the upper-left 3x3 block of M, normalized, dotted
// with `light`, negative values raised to 0, with the float roundings of
// modelView, normalize and dotProduct.
void rampCoordinates(const matrix& M, const vector& light, const GLfloat* nx, const GLfloat* ny,
                     const GLfloat* nz, size_t count, GLfloat* ramp);
