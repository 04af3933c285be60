// Facet normals, smoothed vertex normals, winding reversal and the vector
// helpers beneath them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using model_builder::bits;

const GLfloat* facetOf(const GLMmodel* m, GLuint triangle) {
  return m->facetnorms + 3 * m->triangles[triangle].facetnormidx;
}
const GLfloat* normalOf(const GLMmodel* m, GLuint triangle, int corner) {
  return m->normals + 3 * m->triangles[triangle].normalidx[corner];
}

bool anyNaN(const GLfloat* a, size_t floats) {
  for (size_t i = 0; i < floats; i++)
    if (std::isnan(a[i])) return true;
  return false;
}

// ---- Vector helpers ---------------------------------------------------------

TEST(VectorHelpers, DotAddsInOrderXYZInFloat) {
  GLfloat u[3] = {1e8f, 1, -1e8f}, v[3] = {1, 1, 1};
  EXPECT_EQ(glmDot(u, v), 0.0f);  // (1e8 + 1) rounds back to 1e8 before z cancels it
  GLfloat a[3] = {1, 2, 3}, b[3] = {4, -5, 6};
  EXPECT_EQ(glmDot(a, b), 12.0f);
}

TEST(VectorHelpers, CrossFollowsRightHandRule) {
  GLfloat x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, n[3];
  glmCross(x, y, n);
  EXPECT_EQ(n[0], 0.0f);
  EXPECT_EQ(n[1], 0.0f);
  EXPECT_EQ(n[2], 1.0f);
  glmCross(y, x, n);
  EXPECT_EQ(n[2], -1.0f);
  GLfloat u[3] = {2, 3, 4}, v[3] = {5, 6, 7};
  glmCross(u, v, n);
  EXPECT_EQ(n[0], -3.0f);
  EXPECT_EQ(n[1], 6.0f);
  EXPECT_EQ(n[2], -3.0f);
}

TEST(VectorHelpers, NormalizeDividesByFloatLengthAtAnyMagnitude) {
  GLfloat v[3] = {3, 0, -4};
  glmNormalize(v);
  EXPECT_EQ(v[0], 3.0f / 5.0f);
  EXPECT_EQ(v[1], 0.0f);
  EXPECT_EQ(v[2], -4.0f / 5.0f);
  // Squares that overflow or underflow float: the length is taken in double.
  GLfloat big[3] = {0, 1e20f, 0};
  glmNormalize(big);
  EXPECT_EQ(big[1], 1.0f);
  GLfloat tiny[3] = {3e-30f, 0, -4e-30f};
  glmNormalize(tiny);
  EXPECT_FLOAT_EQ(tiny[0], 0.6f);
  EXPECT_FLOAT_EQ(tiny[2], -0.8f);
  GLfloat huge[3] = {3e38f, 3e38f, 0};
  glmNormalize(huge);
  EXPECT_FLOAT_EQ(huge[0], float(M_SQRT1_2));
  EXPECT_EQ(huge[0], huge[1]);
}

TEST(VectorHelpers, NormalizeLeavesZeroAndNonFiniteVectorsAlone) {
  GLfloat zero[3] = {0, -0.0f, 0};
  glmNormalize(zero);
  EXPECT_EQ(bits(zero[0]), bits(0.0f));
  EXPECT_EQ(bits(zero[1]), bits(-0.0f));
  EXPECT_EQ(bits(zero[2]), bits(0.0f));
  const float inf = std::numeric_limits<float>::infinity();
  GLfloat infinite[3] = {inf, 1, 0};
  glmNormalize(infinite);
  EXPECT_EQ(infinite[0], inf);
  EXPECT_EQ(infinite[1], 1.0f);
}

// ---- Facet normals ----------------------------------------------------------

TEST(FacetNormals, UnitRightHandNormalPerTriangle) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5}, {1, 2, 3, 1, 4, 2});
  glmFacetNormals(m);
  ASSERT_EQ(m->facetnormcount, 2u);
  EXPECT_EQ(m->triangles[0].facetnormidx, 1u);
  EXPECT_EQ(m->triangles[1].facetnormidx, 2u);
  const GLfloat* n = facetOf(m, 0);
  EXPECT_EQ(n[0], 0.0f);
  EXPECT_EQ(n[1], 0.0f);
  EXPECT_EQ(n[2], 1.0f);
  n = facetOf(m, 1);  // corners (0,0,0) (0,0,5) (1,0,0): counter-clockwise seen from +y
  EXPECT_EQ(n[0], 0.0f);
  EXPECT_EQ(n[1], 1.0f);
  EXPECT_EQ(n[2], 0.0f);
  glmDelete(m);
}

TEST(FacetNormals, RecomputingReplacesTheArrayAndRenumbers) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3});
  model_builder::setFacetNormals(m, {9, 9, 9, 8, 8, 8});
  m->triangles[0].facetnormidx = 2;
  glmFacetNormals(m);  // the old array is freed (leak check under ASan)
  EXPECT_EQ(m->facetnormcount, 1u);
  EXPECT_EQ(m->triangles[0].facetnormidx, 1u);
  EXPECT_EQ(facetOf(m, 0)[2], 1.0f);
  glmDelete(m);
}

TEST(FacetNormals, DegenerateOrBrokenTrianglesGetZeroNotNaN) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0, 0},
                                     {1, 2, 3,    // on one line
                                      1, 1, 4,    // two corners on one vertex
                                      1, 4, 9,    // vertex index past the array
                                      0, 1, 4});  // vertex index 0
  glmFacetNormals(m);
  ASSERT_EQ(m->facetnormcount, 4u);
  for (GLuint t = 0; t < 4; t++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(facetOf(m, t)[c], 0.0f) << t;
  glmDelete(m);
}

TEST(FacetNormals, ModelWithoutTrianglesGetsNone) {
  GLMmodel* m = model_builder::build({1, 2, 3}, {});
  glmFacetNormals(m);
  EXPECT_EQ(m->facetnormcount, 0u);
  EXPECT_NE(m->facetnorms, nullptr);
  glmDelete(m);
}

// ---- Vertex normals: a plain transcription of the list-based algorithm -----

TEST(FacetNormals, FiniteCornersGiveAUnitNormalAtAnyMagnitude) {
  // Edges of 1e20 (squares overflow: NaN once), 1e10 (the squared length
  // overflows: zero once), 1e-20 (products underflow: zero once), corners
  // near 3e38 (edges overflow: NaN once).
  for (float s : {1e20f, 1e10f, 1e-20f, 1e-30f}) {
    GLMmodel* m = model_builder::build({0, 0, 0, s, 0, 0, 0, s, 0}, {1, 2, 3});
    glmFacetNormals(m);
    EXPECT_EQ(facetOf(m, 0)[0], 0.0f) << s;
    EXPECT_EQ(facetOf(m, 0)[1], 0.0f) << s;
    EXPECT_EQ(facetOf(m, 0)[2], 1.0f) << s;
    glmDelete(m);
  }
  GLMmodel* m = model_builder::build({-3e38f, -3e38f, 0, 3e38f, -3e38f, 0, 3e38f, 3e38f, 0,  //
                                      -3e38f, 3e38f, 0},
                                     {1, 2, 3, 1, 3, 4});
  glmFacetNormals(m);
  glmVertexNormals(m, 45);
  ASSERT_EQ(m->normalcount, 4u);
  for (GLuint i = 1; i <= 2 + m->normalcount; i++) {
    const GLfloat* n = i <= 2 ? m->facetnorms + 3 * i : m->normals + 3 * (i - 2);
    EXPECT_EQ(n[0], 0.0f) << i;
    EXPECT_EQ(n[1], 0.0f) << i;
    EXPECT_EQ(n[2], 1.0f) << i;
  }
  glmDelete(m);
}

TEST(FacetNormals, DegenerateOrNonFiniteStaysZeroAtAnyMagnitude) {
  const float inf = std::numeric_limits<float>::infinity();
  GLMmodel* m = model_builder::build(
      {0,      0,      0,      1e20f,  1e20f,  1e20f,  2e20f, 2e20f, 2e20f,  // on one line
       1e-30f, 1e-30f, 1e-30f, 2e-30f, 2e-30f, 2e-30f,                       //
       3e38f,  1,      2,      -3e38f, 1,      2,      0,     1,     2,      // along x
       inf,    0,      0,      0,      1,      0},
      {1, 2, 3, 1, 4, 5, 6, 7, 8, 1, 9, 10});
  glmFacetNormals(m);
  for (GLuint t = 0; t < 4; t++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(facetOf(m, t)[c], 0.0f) << t;
  glmDelete(m);
}

// The facet normal exactly as glmFacetNormals computed it in float alone.
// Only an oracle for the results that were right that way.
void floatFacet(const float* p0, const float* p1, const float* p2, float* n) {
  float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
  float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
  n[0] = e1[1] * e2[2] - e1[2] * e2[1];
  n[1] = e1[2] * e2[0] - e1[0] * e2[2];
  n[2] = e1[0] * e2[1] - e1[1] * e2[0];
  float l = float(sqrt(double(n[0] * n[0] + n[1] * n[1] + n[2] * n[2])));
  if (l == 0) return;
  for (int c = 0; c < 3; c++) n[c] /= l;
}

// The same float way for a vertex normal's sum.
void floatNormalize(float* v) {
  float l = float(sqrt(double(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])));
  if (l == 0) return;
  for (int c = 0; c < 3; c++) v[c] /= l;
}

bool isUnit(const float* n) {
  double l = sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
  return std::isfinite(l) && std::fabs(l - 1) < 1e-6;
}

bool isZero(const float* n) { return n[0] == 0 && n[1] == 0 && n[2] == 0; }

bool sameBits(const float* a, const float* b) {
  return bits(a[0]) == bits(b[0]) && bits(a[1]) == bits(b[1]) && bits(a[2]) == bits(b[2]);
}

// Random quads (two triangles sharing corners 1 and 3) whose coordinates
// span 1e-30 to 1e30 and beyond: all at one magnitude, every coordinate at
// its own, a small triangle far from the origin, corners near float's
// limit; every fifth quad has a degenerate first triangle.
TEST(FacetNormals, UnitOrZeroAtAnyMagnitudeAndUnchangedWhereFloatWasRight) {
  std::mt19937 rng(20240615);
  std::uniform_real_distribution<double> unit(-1, 1), exponent(-30, 30);
  const int quads = 5000;
  std::vector<float> xyz;
  std::vector<GLuint> corners;
  std::vector<bool> degenerate;
  for (int q = 0; q < quads; q++) {
    const int mode = q % 4;
    const double scale = std::pow(10.0, exponent(rng));
    float p[4][3];
    for (auto& point : p)
      for (float& x : point) {
        switch (mode) {
          case 0: x = float(scale * unit(rng)); break;
          case 1: x = float((unit(rng) < 0 ? -1 : 1) * std::pow(10.0, exponent(rng))); break;
          case 2: x = float(scale * (1 + 1e-3 * unit(rng))); break;
          default: x = float(3.4e38 * unit(rng)); break;
        }
      }
    const bool flat = q % 5 == 4;
    if (flat) {
      // Corner 2 at half corner 1, corner 0 at the origin: exactly on one line.
      for (int c = 0; c < 3; c++) p[0][c] = 0, p[2][c] = p[1][c] / 2;
    }
    for (auto& point : p) xyz.insert(xyz.end(), point, point + 3);
    const GLuint base = GLuint(4 * q);
    corners.insert(corners.end(), {base + 1, base + 2, base + 3, base + 1, base + 3, base + 4});
    degenerate.push_back(flat);
    degenerate.push_back(false);
  }
  GLMmodel* m = model_builder::build(xyz, corners);
  glmFacetNormals(m);
  int kept = 0, mended = 0;
  for (GLuint t = 0; t < m->trianglecount; t++) {
    SCOPED_TRACE(testing::Message() << "triangle " << t);
    const GLfloat* n = facetOf(m, t);
    const GLuint* v = m->triangles[t].vertexidx;
    float before[3];
    floatFacet(&xyz[3 * (v[0] - 1)], &xyz[3 * (v[1] - 1)], &xyz[3 * (v[2] - 1)], before);
    if (degenerate[t]) {
      EXPECT_TRUE(isZero(n));
    } else {
      ASSERT_TRUE(isUnit(n)) << n[0] << " " << n[1] << " " << n[2];
    }
    if (isUnit(before)) {
      ASSERT_TRUE(sameBits(n, before));
      kept++;
    } else if (!degenerate[t]) {
      mended++;
    }
  }
  // Both kinds occur in numbers.
  EXPECT_GT(kept, 1000);
  EXPECT_GT(mended, 1000);

  // Vertex normals: corners 1 and 3 of each quad share the sum of both
  // facets (angle 180), the others have their facet's.
  glmVertexNormals(m, 180);
  int sharedKept = 0;
  for (GLuint i = 1; i <= m->normalcount; i++)
    ASSERT_TRUE(isUnit(m->normals + 3 * i) || isZero(m->normals + 3 * i)) << i;
  for (int q = 0; q < quads; q++) {
    const GLfloat *f0 = facetOf(m, 2 * q), *f1 = facetOf(m, 2 * q + 1);
    const GLfloat* shared = normalOf(m, 2 * q + 1, 0);
    if (glmDot(const_cast<GLfloat*>(f0), const_cast<GLfloat*>(f1)) <= -1) continue;  // opposite
    EXPECT_EQ(m->triangles[2 * q].normalidx[0], m->triangles[2 * q + 1].normalidx[0]);
    float sum[3] = {0, 0, 0};  // summed from zero, reference first
    for (int c = 0; c < 3; c++) sum[c] = (sum[c] + f1[c]) + f0[c];
    float before[3] = {sum[0], sum[1], sum[2]};
    floatNormalize(before);
    if (isUnit(before)) {
      ASSERT_TRUE(sameBits(shared, before)) << q;
      sharedKept++;
    } else if (!isZero(sum)) {
      ASSERT_TRUE(isUnit(shared)) << q;
    }
  }
  EXPECT_GT(sharedKept, 1000);
  glmDelete(m);
}

// Vertex normals as the per-vertex linked lists give them: entries pushed at
// the front, triangle by triangle and corner by corner; the head is the
// reference. `first[t * 3 + c]` gets the index for the first corner of each
// triangle that names the vertex; other corners stay 0.
struct ListResult {
  std::vector<float> normals;  // 1-based: normal k at 3k
  std::vector<GLuint> first;
  int unused = 0;
};

ListResult listVertexNormals(const GLMmodel* m, float angle) {
  const float t = float(cos(angle * 3.141592653589793 / 180.0));
  std::vector<std::vector<GLuint>> lists(m->vertexcount + 1);
  for (GLuint i = 0; i < m->trianglecount; i++)
    for (int c = 0; c < 3; c++) {
      auto& list = lists[m->triangles[i].vertexidx[c]];
      list.insert(list.begin(), i);
    }
  ListResult r;
  r.normals.assign(3, 0);
  r.first.assign(3 * m->trianglecount, 0);
  for (GLuint w = 1; w <= m->vertexcount; w++) {
    const auto& list = lists[w];
    if (list.empty()) {
      r.unused++;
      continue;
    }
    const float* ref = facetOf(m, list[0]);
    float s[3] = {0, 0, 0};
    std::vector<bool> marked;
    for (GLuint tri : list) {
      const float* f = facetOf(m, tri);
      float d = f[0] * ref[0] + f[1] * ref[1] + f[2] * ref[2];
      marked.push_back(d > t);
      if (d > t)
        for (int c = 0; c < 3; c++) s[c] = s[c] + f[c];
    }
    GLuint shared = 0;
    if (std::find(marked.begin(), marked.end(), true) != marked.end()) {
      float l = float(sqrt(double(s[0] * s[0] + s[1] * s[1] + s[2] * s[2])));
      for (int c = 0; c < 3; c++) r.normals.push_back(s[c] / l);
      shared = GLuint(r.normals.size() / 3 - 1);
    }
    for (size_t e = 0; e < list.size(); e++) {
      GLuint index = shared;
      if (!marked[e]) {
        const float* f = facetOf(m, list[e]);
        r.normals.insert(r.normals.end(), f, f + 3);
        index = GLuint(r.normals.size() / 3 - 1);
      }
      const GLMtriangle& tri = m->triangles[list[e]];
      int c = tri.vertexidx[0] == w ? 0 : tri.vertexidx[1] == w ? 1 : 2;
      r.first[3 * list[e] + c] = index;
    }
  }
  return r;
}

// Checks glmVertexNormals against the list transcription: the same normals
// bit for bit, the same index at every first corner, and at every later
// corner of a triangle naming one vertex twice an index of the new array
// naming the same vector as the first corner.
void expectSameAsLists(GLMmodel* m, float angle) {
  ListResult want = listVertexNormals(m, angle);
  testing::internal::CaptureStderr();
  glmVertexNormals(m, angle);
  std::string err = testing::internal::GetCapturedStderr();
  std::string lines;
  for (int i = 0; i < want.unused; i++) lines += "glmVertexNormals(): vertex w/o a triangle\n";
  EXPECT_EQ(err, lines);

  ASSERT_EQ(m->normalcount, want.normals.size() / 3 - 1) << "angle " << angle;
  for (size_t i = 3; i < want.normals.size(); i++)
    ASSERT_EQ(bits(m->normals[i]), bits(want.normals[i])) << "float " << i << " angle " << angle;
  for (GLuint t = 0; t < m->trianglecount; t++) {
    const GLMtriangle& tri = m->triangles[t];
    for (int c = 0; c < 3; c++) {
      int firstCorner = tri.vertexidx[0] == tri.vertexidx[c]   ? 0
                        : tri.vertexidx[1] == tri.vertexidx[c] ? 1
                                                               : 2;
      if (firstCorner == c) {
        EXPECT_EQ(tri.normalidx[c], want.first[3 * t + c]) << t << "/" << c;
      } else {
        ASSERT_GE(tri.normalidx[c], 1u);
        ASSERT_LE(tri.normalidx[c], m->normalcount);
        for (int k = 0; k < 3; k++)
          EXPECT_EQ(bits(normalOf(m, t, c)[k]), bits(normalOf(m, t, firstCorner)[k]));
      }
    }
  }
}

TEST(VertexNormals, FlatSquareSharesOneNormalPerVertex) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, 2, 3, 1, 3, 4});
  glmFacetNormals(m);
  glmVertexNormals(m, 45);
  ASSERT_EQ(m->normalcount, 4u);
  const GLuint want[2][3] = {{1, 2, 3}, {1, 3, 4}};
  for (int t = 0; t < 2; t++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(m->triangles[t].normalidx[c], want[t][c]);
  for (GLuint k = 1; k <= 4; k++) {
    EXPECT_EQ(m->normals[3 * k + 0], 0.0f);
    EXPECT_EQ(m->normals[3 * k + 1], 0.0f);
    EXPECT_EQ(m->normals[3 * k + 2], 1.0f);
  }
  glmDelete(m);
}

TEST(VertexNormals, CubeAt45SharesOnlyTheReferenceFace) {
  GLMmodel* m = model_builder::cube();
  glmFacetNormals(m);
  glmVertexNormals(m, 45);
  // Per vertex: one shared normal plus one private per triangle outside the
  // face of its highest-numbered triangle: 5 + 3 + 4 + 4 + 4 + 4 + 5 + 3.
  EXPECT_EQ(m->normalcount, 32u);
  // Vertex 1: triangles 9, 8 (-x, shared) then 5, 4 (-y) and 1, 0 (-z), each
  // private even where two lie in one face.
  const GLuint v1[][2] = {{9, 1}, {8, 1}, {5, 2}, {4, 3}, {1, 4}, {0, 5}};
  for (auto e : v1) EXPECT_EQ(m->triangles[e[0]].normalidx[0], e[1]) << "triangle " << e[0];
  // Vertex 2: 11, 10 (+x, shared), then 4 at its corner 1, 1 at its corner 2.
  EXPECT_EQ(m->triangles[11].normalidx[0], 6u);
  EXPECT_EQ(m->triangles[10].normalidx[0], 6u);
  EXPECT_EQ(m->triangles[4].normalidx[1], 7u);
  EXPECT_EQ(m->triangles[1].normalidx[2], 8u);
  // Every corner's normal is its face's normal.
  for (GLuint t = 0; t < 12; t++)
    for (int c = 0; c < 3; c++)
      for (int k = 0; k < 3; k++) EXPECT_NEAR(normalOf(m, t, c)[k], facetOf(m, t)[k], 1e-6);
  glmDelete(m);
  m = model_builder::cube();
  glmFacetNormals(m);
  expectSameAsLists(m, 45);
  glmDelete(m);
}

// Two triangles at vertex 1: the first in the x-y plane (normal +z), the
// second tilted about the x axis so that its unit normal is `tilted`.
GLMmodel* hinge(std::vector<float> tilted) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 2, 3, 1, 2, 4});
  model_builder::setFacetNormals(m, {0, 0, 1, tilted[0], tilted[1], tilted[2]});
  m->triangles[0].facetnormidx = 1;
  m->triangles[1].facetnormidx = 2;
  return m;
}

// Number of normals vertex 1 gets: 1 when the two triangles are smoothed
// together there, 2 when not.
GLuint normalsAtVertex1(std::vector<float> tilted, float angle) {
  GLMmodel* m = hinge(tilted);
  glmVertexNormals(m, angle);
  GLuint n = m->triangles[0].normalidx[0] == m->triangles[1].normalidx[0] ? 1 : 2;
  glmDelete(m);
  return n;
}

TEST(VertexNormals, ThresholdIsStrict) {
  const std::vector<float> perpendicular = {0, -1, 0};
  EXPECT_EQ(normalsAtVertex1(perpendicular, 90), 2u);  // 0 > 6.1e-17 fails
  EXPECT_EQ(normalsAtVertex1(perpendicular, 90.01f), 1u);
  const std::vector<float> sixty = {0, -0.8660254f, 0.5f};  // dot with +z exactly 0.5
  EXPECT_EQ(normalsAtVertex1(sixty, 60), 2u);               // threshold rounds to exactly 0.5
  EXPECT_EQ(normalsAtVertex1(sixty, 60.01f), 1u);
  EXPECT_EQ(normalsAtVertex1(sixty, 59.99f), 2u);
  const std::vector<float> opposite = {0, 0, -1};
  EXPECT_EQ(normalsAtVertex1(opposite, 180), 2u);  // -1 > -1 fails
  EXPECT_EQ(normalsAtVertex1({0, -0.6f, -0.8f}, 180), 1u);
  EXPECT_EQ(normalsAtVertex1({0, 0, 1}, 0), 2u);  // even equal facets need d > 1
}

TEST(VertexNormals, Angle180JoinsAllButTheExactOpposite) {
  // Vertex 1 in four triangles; the reference (highest) faces +z.
  GLMmodel* m =
      model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3});
  model_builder::setFacetNormals(m, {0, -1, 0, 0, 0, -1, 1, 0, 0, 0, 0, 1});
  for (GLuint t = 0; t < 4; t++) m->triangles[t].facetnormidx = t + 1;
  expectSameAsLists(m, 180);
  GLuint shared = m->triangles[3].normalidx[0];
  EXPECT_EQ(m->triangles[2].normalidx[0], shared);
  EXPECT_EQ(m->triangles[0].normalidx[0], shared);
  EXPECT_NE(m->triangles[1].normalidx[0], shared);  // exactly opposite
  glmDelete(m);
}

TEST(VertexNormals, UnusedVertexGetsOneMessageAndNoNormal) {
  GLMmodel* m = model_builder::build({0, 0, 0, 5, 5, 5, 1, 0, 0, 0, 1, 0, 6, 6, 6}, {1, 3, 4});
  glmFacetNormals(m);
  testing::internal::CaptureStderr();
  glmVertexNormals(m, 90);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "glmVertexNormals(): vertex w/o a triangle\n"
            "glmVertexNormals(): vertex w/o a triangle\n");
  EXPECT_EQ(m->normalcount, 3u);
  EXPECT_EQ(m->triangles[0].normalidx[0], 1u);
  EXPECT_EQ(m->triangles[0].normalidx[1], 2u);
  EXPECT_EQ(m->triangles[0].normalidx[2], 3u);
  glmDelete(m);
}

TEST(VertexNormals, ModelWithoutTrianglesReportsEveryVertex) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 1, 1}, {});
  model_builder::setNormals(m, {0, 0, 1});  // read from the file, discarded
  glmFacetNormals(m);
  testing::internal::CaptureStderr();
  glmVertexNormals(m, 90);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "glmVertexNormals(): vertex w/o a triangle\n"
            "glmVertexNormals(): vertex w/o a triangle\n");
  EXPECT_EQ(m->normalcount, 0u);
  EXPECT_NE(m->normals, nullptr);
  glmDelete(m);
}

TEST(VertexNormals, MatchesListAlgorithmOnRandomMeshes) {
  std::mt19937 rng(1234);
  // Facet normals from a small set of directions, so that equal, opposite
  // and perpendicular facets meet at the same vertices.
  const float dirs[][3] = {{0, 0, 1},
                           {0, 0, -1},
                           {1, 0, 0},
                           {0, -1, 0},
                           {0.6f, 0.8f, 0},
                           {0, 0.6f, -0.8f},
                           {0.48f, 0.6f, 0.64f},
                           {-0.5f, 0.5f, 0.70710677f},
                           {0.70710677f, 0.70710677f, 0}};
  const float angles[] = {0, 30, 45, 60, 89.99f, 90, 90.01f, 120, 179.9f, 180};
  for (int round = 0; round < 200; round++) {
    GLuint vertices = 1 + rng() % 12, triangles = rng() % 40, facets = 1 + rng() % 10;
    std::vector<float> xyz(3 * vertices, 0);
    std::vector<GLuint> corners;
    for (GLuint i = 0; i < 3 * triangles; i++) corners.push_back(1 + rng() % vertices);
    GLMmodel* m = model_builder::build(xyz, corners);
    std::vector<float> fn;
    for (GLuint f = 0; f < facets; f++) {
      const float* d = dirs[rng() % 9];
      float sign = rng() % 4 ? 1 : -1;
      for (int c = 0; c < 3; c++) fn.push_back(sign * d[c]);
    }
    model_builder::setFacetNormals(m, fn);
    for (GLuint t = 0; t < triangles; t++) m->triangles[t].facetnormidx = 1 + rng() % facets;
    float angle = angles[round % 10];
    expectSameAsLists(m, angle);
    glmDelete(m);
    if (HasFailure()) break;
  }
}

TEST(VertexNormals, MatchesListAlgorithmOnComputedFacets) {
  // A bumpy 6 x 6 height field: real facet normals of every direction.
  std::vector<float> xyz;
  std::vector<GLuint> corners;
  for (int j = 0; j < 7; j++)
    for (int i = 0; i < 7; i++) {
      xyz.push_back(float(i));
      xyz.push_back(float(j));
      xyz.push_back(float((i * 7 + j * 3) % 5) * 0.4f);
    }
  for (GLuint j = 0; j < 6; j++)
    for (GLuint i = 0; i < 6; i++) {
      GLuint a = 1 + j * 7 + i, b = a + 1, c = a + 8, d = a + 7;
      corners.insert(corners.end(), {a, b, c, a, c, d});
    }
  for (float angle : {0.0f, 20.0f, 45.0f, 90.0f, 180.0f}) {
    GLMmodel* m = model_builder::build(xyz, corners);
    glmFacetNormals(m);
    expectSameAsLists(m, angle);
    glmDelete(m);
  }
}

// ---- Vertex normals: faults the list algorithm leaves open ------------------

TEST(VertexNormals, DegenerateReferenceDoesNotSpoilItsNeighbours) {
  // Vertex 1 is in two flat triangles and, highest-numbered, a degenerate one.
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0},
                                     {1, 2, 3, 1, 3, 4, 1, 2, 5});
  glmFacetNormals(m);
  glmVertexNormals(m, 45);
  EXPECT_FALSE(anyNaN(m->normals + 3, 3 * size_t(m->normalcount)));
  // The flat pair still shares one normal, +z.
  GLuint shared = m->triangles[0].normalidx[0];
  EXPECT_EQ(m->triangles[1].normalidx[0], shared);
  EXPECT_EQ(normalOf(m, 0, 0)[2], 1.0f);
  // The degenerate triangle keeps its zero facet normal, privately.
  EXPECT_NE(m->triangles[2].normalidx[0], shared);
  for (int c = 0; c < 3; c++) EXPECT_EQ(normalOf(m, 2, 0)[c], 0.0f);
  glmDelete(m);
}

TEST(VertexNormals, ZeroSharedSumTakesTheReferenceFacet) {
  // Three facets 120 degrees apart around z meet at vertex 1 and sum to zero.
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3, 1, 2, 3, 1, 2, 3});
  model_builder::setFacetNormals(m, {-0.5f, 0.8660254f, 0, -0.5f, -0.8660254f, 0, 1, 0, 0});
  for (GLuint t = 0; t < 3; t++) m->triangles[t].facetnormidx = t + 1;
  glmVertexNormals(m, 150);
  GLuint shared = m->triangles[2].normalidx[0];
  EXPECT_EQ(m->triangles[1].normalidx[0], shared);
  EXPECT_EQ(m->triangles[0].normalidx[0], shared);
  const GLfloat* n = normalOf(m, 2, 0);
  EXPECT_EQ(n[0], 1.0f);
  EXPECT_EQ(n[1], 0.0f);
  EXPECT_EQ(n[2], 0.0f);
  EXPECT_FALSE(anyNaN(m->normals + 3, 3 * size_t(m->normalcount)));
  glmDelete(m);
}

TEST(VertexNormals, RepeatedCornerGetsAValidNormal) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 1, 2, 2, 2, 1, 2, 3});
  model_builder::setFacetNormals(m, {0, 0, 1, 0, 1, 0, 1, 0, 0});
  for (GLuint t = 0; t < 3; t++) m->triangles[t].facetnormidx = t + 1;
  for (GLuint t = 0; t < 3; t++)
    for (int c = 0; c < 3; c++) m->triangles[t].normalidx[c] = 77;  // stale
  expectSameAsLists(m, 100);  // perpendicular facets smoothed together
  expectSameAsLists(m, 10);   // nothing smoothed: every corner keeps its facet
  {
    for (GLuint t = 0; t < 3; t++)
      for (int c = 0; c < 3; c++)
        for (int k = 0; k < 3; k++)
          EXPECT_EQ(normalOf(m, t, c)[k], facetOf(m, t)[k]) << t << "/" << c;
  }
  glmDelete(m);
}

TEST(VertexNormals, OutOfRangeIndicesAreNotFollowed) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3, 1, 9, 0, 1, 3, 2});
  model_builder::setFacetNormals(m, {0, 0, 1, 0, 0, 1});
  m->triangles[0].facetnormidx = 1;
  m->triangles[1].facetnormidx = 2;
  m->triangles[2].facetnormidx = 5;  // no such facet normal: counts as degenerate
  for (int c = 0; c < 3; c++) m->triangles[1].normalidx[c] = 77;
  glmVertexNormals(m, 45);
  EXPECT_EQ(m->triangles[1].normalidx[1], 0u);  // vertex 9 does not exist
  EXPECT_EQ(m->triangles[1].normalidx[2], 0u);
  EXPECT_GE(m->triangles[1].normalidx[0], 1u);
  for (GLuint t = 0; t < 3; t++)
    for (int c = 0; c < 3; c++) EXPECT_LE(m->triangles[t].normalidx[c], m->normalcount);
  EXPECT_FALSE(anyNaN(m->normals + 3, 3 * size_t(m->normalcount)));
  glmDelete(m);
}

// ---- Winding ----------------------------------------------------------------

TEST(Winding, ReversedTriangleFacesTheOtherWay) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3});
  glmFacetNormals(m);
  glmReverseWinding(m);
  const GLMtriangle& t = m->triangles[0];
  EXPECT_EQ(t.vertexidx[0], 3u);
  EXPECT_EQ(t.vertexidx[1], 2u);
  EXPECT_EQ(t.vertexidx[2], 1u);
  const GLfloat* n = facetOf(m, 0);
  EXPECT_EQ(bits(n[0]), bits(-0.0f));
  EXPECT_EQ(bits(n[1]), bits(-0.0f));
  EXPECT_EQ(n[2], -1.0f);
  // The reversed triangle's own facet normal agrees.
  glmFacetNormals(m);
  EXPECT_EQ(facetOf(m, 0)[2], -1.0f);
  glmDelete(m);
}

TEST(Winding, IndicesSwapOnlyWhereTheArraysExist) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3});
  GLMtriangle& t = m->triangles[0];
  t.normalidx[0] = 4, t.normalidx[2] = 6;
  t.texcoordidx[0] = 7, t.texcoordidx[2] = 9;
  glmReverseWinding(m);  // normalcount and texcoordcount are 0
  EXPECT_EQ(t.normalidx[0], 4u);
  EXPECT_EQ(t.texcoordidx[0], 7u);
  m->texcoordcount = 1;
  glmReverseWinding(m);
  EXPECT_EQ(t.normalidx[0], 4u);
  EXPECT_EQ(t.texcoordidx[0], 9u);
  EXPECT_EQ(t.texcoordidx[2], 7u);
  glmDelete(m);
}

TEST(Winding, TwiceRestoresEverythingBitForBit) {
  GLMmodel* m = model_builder::cube();
  glmFacetNormals(m);
  glmVertexNormals(m, 45);
  m->normals[3] = -0.0f;
  m->normals[4] = std::numeric_limits<float>::denorm_min();
  m->texcoordcount = 1;
  for (GLuint i = 0; i < m->trianglecount; i++)
    for (int c = 0; c < 3; c++) m->triangles[i].texcoordidx[c] = 10 * i + c;
  std::vector<GLMtriangle> triangles(m->triangles, m->triangles + m->trianglecount);
  std::vector<float> normals(m->normals + 3, m->normals + 3 * (m->normalcount + 1));
  std::vector<float> facets(m->facetnorms + 3, m->facetnorms + 3 * (m->facetnormcount + 1));

  glmReverseWinding(m);
  EXPECT_EQ(bits(m->normals[3]), bits(0.0f));  // each shared normal negated once
  EXPECT_EQ(m->normals[5], -normals[2]);
  glmReverseWinding(m);
  EXPECT_EQ(memcmp(m->triangles, triangles.data(), triangles.size() * sizeof(GLMtriangle)), 0);
  EXPECT_EQ(memcmp(m->normals + 3, normals.data(), normals.size() * sizeof(float)), 0);
  EXPECT_EQ(memcmp(m->facetnorms + 3, facets.data(), facets.size() * sizeof(float)), 0);
  glmDelete(m);
}

// ---- Caller errors ----------------------------------------------------------

using NormalsDeathTest = testing::Test;

TEST_F(NormalsDeathTest, CallerErrorsAbortNamingTheExpression) {
  GLfloat v[3] = {1, 2, 3}, n[3];
  EXPECT_DEATH(glmDot(nullptr, nullptr), "glm.cpp.*Assertion `u' failed");
  EXPECT_DEATH(glmDot(v, nullptr), "Assertion `v' failed");
  EXPECT_DEATH(glmCross(nullptr, nullptr, nullptr), "Assertion `u' failed");
  EXPECT_DEATH(glmCross(v, nullptr, nullptr), "Assertion `v' failed");
  EXPECT_DEATH(glmCross(v, v, nullptr), "Assertion `n' failed");
  EXPECT_DEATH(glmNormalize(nullptr), "Assertion `v' failed");
  (void)n;

  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  EXPECT_DEATH(glmFacetNormals(nullptr), "Assertion `model' failed");
  EXPECT_DEATH(glmVertexNormals(nullptr, 90), "Assertion `model' failed");
  EXPECT_DEATH(glmVertexNormals(m, 90), "Assertion `model->facetnorms' failed");
  EXPECT_DEATH(glmReverseWinding(nullptr), "Assertion `model' failed");
  free(m->vertices);
  m->vertices = nullptr;
  EXPECT_DEATH(glmFacetNormals(m), "Assertion `model->vertices' failed");
  glmDelete(m);
}

}  // namespace
