// Normals and winding: facet normals, vertex normals smoothed within an
// angle, and reversing the corner order; with the vector helpers they use.
#include "glm_internal.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

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

// Every corner of the model that names a vertex in range, bucketed by vertex
// with a counting sort: vertex w's corners are entries first[w] ..
// first[w + 1], from the highest (triangle, corner) down. Each entry is a
// triangle, its facet normal index (kept here so that comparing facets needs
// no trip to the triangle) and a corner, whose byte's bit 2 carries the mark
// "joins the shared normal".
struct Corners {
  size_t* first;
  GLuint* triangle;
  GLuint* facet;
  uint8_t* corner;
  size_t total;
};

const uint8_t kJoinsShared = 4;

// Sorts the corners; a corner whose vertex is out of range gets normal 0.
Corners sortCorners(GLMmodel* model) {
  const GLuint vertexcount = model->vertexcount;
  const GLuint trianglecount = model->trianglecount;
  GLMtriangle* triangles = model->triangles;
  Corners c;
  c.first = static_cast<size_t*>(allocArray(size_t(vertexcount) + 2, sizeof(size_t)));
  memset(c.first, 0, (size_t(vertexcount) + 2) * sizeof(size_t));
  size_t* first = c.first;
  for (GLuint i = 0; i < trianglecount; i++)
    for (int k = 0; k < 3; k++) {
      GLuint w = triangles[i].vertexidx[k];
      if (inRange(w, vertexcount))
        first[w]++;
      else
        triangles[i].normalidx[k] = 0;
    }
  size_t total = 0;
  for (size_t w = 1; w <= size_t(vertexcount) + 1; w++) {
    total += first[w];
    first[w] = total;  // one past the bucket's end, moved down by the fill
  }
  c.total = total;
  GLuint* triangle = c.triangle = static_cast<GLuint*>(allocArray(total, sizeof(GLuint)));
  GLuint* facet = c.facet = static_cast<GLuint*>(allocArray(total, sizeof(GLuint)));
  uint8_t* corner = c.corner = static_cast<uint8_t*>(allocArray(total, 1));
  for (GLuint i = 0; i < trianglecount; i++) {
    const GLuint f = facetIndex(model, triangles[i]);
    for (int k = 0; k < 3; k++) {
      GLuint w = triangles[i].vertexidx[k];
      if (!inRange(w, vertexcount)) continue;
      size_t e = --first[w];  // ascending fill from the top: bucket runs descending
      triangle[e] = i;
      facet[e] = f;
      corner[e] = uint8_t(k);
    }
  }
  return c;
}

void freeCorners(Corners& c) {
  free(c.corner);
  free(c.facet);
  free(c.triangle);
  free(c.first);
}

// Gives the corners of one vertex, entries begin .. end, their normals from
// normals[k] on: the shared normal first, then the private ones. Returns the
// next free k.
inline size_t smoothVertex(const GLMmodel* model, const Corners& c, size_t begin, size_t end,
                           GLfloat threshold, GLfloat* normals, size_t k) {
  const GLuint* facet = c.facet;
  uint8_t* corner = c.corner;
  GLfloat* reference = facetAt(model, facet[begin]);
  for (size_t e = begin; e < end && isZero(reference); e++) reference = facetAt(model, facet[e]);

  GLfloat sum[3] = {0, 0, 0};
  bool shared = false;
  for (size_t e = begin; e < end; e++) {
    GLfloat* f = facetAt(model, facet[e]);
    if (glmDot(f, reference) > threshold) {
      corner[e] |= kJoinsShared;
      sum[0] += f[0];
      sum[1] += f[1];
      sum[2] += f[2];
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

  GLMtriangle* triangles = model->triangles;
  for (size_t e = begin; e < end; e++) {
    size_t index;
    if (corner[e] & kJoinsShared) {
      index = sharedIndex;
    } else {
      copy3(normals + 3 * k, facetAt(model, facet[e]));
      index = k++;
    }
    triangles[c.triangle[e]].normalidx[corner[e] & 3] = GLuint(index);
  }
  return k;
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
      static_cast<GLfloat*>(allocArray(size_t(model->facetnormcount) + 1, 3 * sizeof(GLfloat)));

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
  free(model->normals);
  model->normals = nullptr;
  model->normalcount = 0;

  Corners corners = sortCorners(model);
  // Worst case: three private normals per triangle.
  GLfloat* normals = static_cast<GLfloat*>(allocArray(corners.total + 1, 3 * sizeof(GLfloat)));
  size_t k = 1;
  const size_t* first = corners.first;
  for (size_t w = 1; w <= model->vertexcount; w++) {
    if (first[w] == first[w + 1])
      emitMessage(stderr, "glmVertexNormals(): vertex w/o a triangle");
    else
      k = smoothVertex(model, corners, first[w], first[w + 1], threshold, normals, k);
  }
  freeCorners(corners);

  model->normalcount = GLuint(k - 1);
  model->normals = static_cast<GLfloat*>(allocArray(k, 3 * sizeof(GLfloat)));
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
