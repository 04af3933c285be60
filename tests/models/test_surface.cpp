// The generator's implicit surfaces: shape distances, the smooth blend, the
// noise, and the polygonizer's promise of a closed, outward-wound soup that
// welds into a watertight mesh.
#include <gtest/gtest.h>

#include <glm.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "surface.h"

namespace {

using modelgen::Vec3;

TEST(Shapes, DistancesAreZeroOnTheSurfaceAndNegativeInside) {
  modelgen::Shape e = modelgen::ellipsoid({1, 2, 3}, {0.5, 0.25, 2}, 0, 0);
  EXPECT_NEAR(modelgen::distance(e, {1.5, 2, 3}), 0, 1e-12);
  EXPECT_NEAR(modelgen::distance(e, {1, 1.75, 3}), 0, 1e-12);
  EXPECT_NEAR(modelgen::distance(e, {1, 2, 5}), 0, 1e-12);
  EXPECT_LT(modelgen::distance(e, {1, 2, 3}), 0);
  EXPECT_GT(modelgen::distance(e, {2, 2, 3}), 0);

  // A rotated ellipsoid: its long axis along (1, 1, 0).
  modelgen::Shape r = modelgen::ellipsoid({0, 0, 0}, {1, 1, 0}, {0, 0, 1}, {2, 0.5, 0.5}, 0, 0);
  EXPECT_NEAR(modelgen::distance(r, {std::sqrt(2.0), std::sqrt(2.0), 0}), 0, 1e-12);
  EXPECT_NEAR(modelgen::distance(r, {0, 0, 0.5}), 0, 1e-12);
  EXPECT_GT(modelgen::distance(r, {1.5, -1.5, 0}), 0);

  // A tapered capsule: radius 0.5 at one end, 0.25 at the other.
  modelgen::Shape c = modelgen::capsule({0, 0, 0}, {0, 2, 0}, 0.5, 0.25, 0, 0);
  EXPECT_NEAR(modelgen::distance(c, {0.5, 0, 0}), 0, 1e-12);
  EXPECT_NEAR(modelgen::distance(c, {0, 2.25, 0}), 0, 1e-12);
  EXPECT_NEAR(modelgen::distance(c, {0, -1, 0}), 0.5, 1e-12);
}

TEST(Shapes, SmoothMinimumRoundsOnlyNearTheCrease) {
  EXPECT_EQ(modelgen::smoothMin(0.1, 0.5, 0.2), 0.1);  // far apart: plain min
  EXPECT_EQ(modelgen::smoothMin(0.1, 0.5, 0), 0.1);
  EXPECT_NEAR(modelgen::smoothMin(0.3, 0.3, 0.2), 0.3 - 0.05, 1e-15);  // deepest at a tie
  EXPECT_LT(modelgen::smoothMin(0.3, 0.35, 0.2), 0.3);
}

TEST(Noise, IsRepeatableBoundedAndContinuous) {
  double lo = 1, hi = -1;
  for (int i = 0; i < 2000; i++) {
    Vec3 p{i * 0.137, i * 0.071 - 40, 13 - i * 0.029};
    double n = modelgen::valueNoise(p, 7);
    EXPECT_EQ(n, modelgen::valueNoise(p, 7));
    EXPECT_LE(std::fabs(n), 1.0);
    EXPECT_NEAR(n, modelgen::valueNoise({p.x + 1e-6, p.y, p.z}, 7), 1e-4);
    lo = std::min(lo, n);
    hi = std::max(hi, n);
  }
  EXPECT_LT(lo, -0.3);  // it varies, it is not a constant
  EXPECT_GT(hi, 0.3);
  EXPECT_NE(modelgen::valueNoise({0.5, 0.5, 0.5}, 7), modelgen::valueNoise({0.5, 0.5, 0.5}, 8));
}

// Builds a model from a soup (three private corners per triangle) and welds
// it as the generator does.
GLMmodel* weldedModel(const modelgen::Soup& soup) {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->vertexcount = GLuint(soup.corners.size());
  m->vertices = static_cast<GLfloat*>(malloc((soup.corners.size() + 1) * 3 * sizeof(GLfloat)));
  for (size_t i = 0; i < soup.corners.size(); i++) {
    m->vertices[3 * (i + 1) + 0] = GLfloat(soup.corners[i].x);
    m->vertices[3 * (i + 1) + 1] = GLfloat(soup.corners[i].y);
    m->vertices[3 * (i + 1) + 2] = GLfloat(soup.corners[i].z);
  }
  m->trianglecount = GLuint(soup.triangleCount());
  m->triangles = static_cast<GLMtriangle*>(calloc(m->trianglecount, sizeof(GLMtriangle)));
  for (GLuint t = 0; t < m->trianglecount; t++)
    for (int k = 0; k < 3; k++) m->triangles[t].vertexidx[k] = 3 * t + k + 1;
  glmWeld(m, 1e-5f);
  return m;
}

// Every edge used once in each direction: closed and consistently wound.
::testing::AssertionResult closedAndConsistent(const GLMmodel* m) {
  std::map<std::pair<GLuint, GLuint>, int> directed;
  for (GLuint t = 0; t < m->trianglecount; t++)
    for (int k = 0; k < 3; k++) {
      GLuint a = m->triangles[t].vertexidx[k], b = m->triangles[t].vertexidx[(k + 1) % 3];
      if (a == b) return ::testing::AssertionFailure() << "collapsed triangle " << t;
      directed[{a, b}]++;
    }
  for (const auto& [edge, count] : directed)
    if (count != 1 || !directed.count({edge.second, edge.first}))
      return ::testing::AssertionFailure() << "edge " << edge.first << "-" << edge.second
                                           << " is not shared by exactly two triangles";
  return ::testing::AssertionSuccess();
}

TEST(Polygonizer, SphereBecomesAClosedOutwardMeshOnItsSurface) {
  const Vec3 c{0.1, -0.2, 0.3};
  auto sphere = [c](Vec3 p) { return modelgen::length(p - c) - 0.5; };
  modelgen::Soup soup = modelgen::polygonize(sphere, {-0.6, -0.8, -0.4}, {0.8, 0.4, 1.0}, 0.05);
  ASSERT_GT(soup.triangleCount(), 500u);
  GLMmodel* m = weldedModel(soup);
  EXPECT_TRUE(closedAndConsistent(m));
  // Shared corners weld, so a sphere has about half as many vertices as
  // triangles (Euler: V = T / 2 + 2).
  EXPECT_EQ(m->vertexcount, m->trianglecount / 2 + 2);
  for (GLuint i = 1; i <= m->vertexcount; i++) {
    Vec3 p{m->vertices[3 * i], m->vertices[3 * i + 1], m->vertices[3 * i + 2]};
    ASSERT_NEAR(modelgen::length(p - c), 0.5, 0.01) << "vertex " << i;
  }
  glmFacetNormals(m);
  for (GLuint t = 0; t < m->trianglecount; t++) {
    const GLfloat* n = &m->facetnorms[3 * (t + 1)];
    const GLfloat* v = &m->vertices[3 * m->triangles[t].vertexidx[0]];
    Vec3 out = Vec3{v[0], v[1], v[2]} - c;
    ASSERT_GT(n[0] * out.x + n[1] * out.y + n[2] * out.z, 0) << "triangle " << t << " faces in";
  }
  glmDelete(m);
}

// Noise surfaces are full of saddles, where a grid face has its inside
// corners on one diagonal and its outside corners on the other: both cubes
// that share such a face must trace it the same way.
TEST(Polygonizer, SaddleRichSurfaceIsClosedAndWelds) {
  auto blobs = [](Vec3 p) {
    double box = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}) - 0.9;
    return std::max(box, modelgen::valueNoise(p * 4.0, 3) - 0.05);
  };
  modelgen::Soup soup = modelgen::polygonize(blobs, {-1, -1, -1}, {1, 1, 1}, 0.07);
  ASSERT_GT(soup.triangleCount(), 2000u);
  GLMmodel* m = weldedModel(soup);
  EXPECT_TRUE(closedAndConsistent(m));
  glmDelete(m);
}

TEST(Polygonizer, SameFieldGivesTheSameSoupBitForBit) {
  modelgen::Body body;
  body.shapes.push_back(modelgen::ellipsoid({0, 0, 0}, {0.4, 0.3, 0.5}, 0, 0));
  body.shapes.push_back(modelgen::capsule({0.2, 0, 0}, {0.6, 0.3, 0.1}, 0.1, 0.05, 0.1, 1));
  auto field = [&body](Vec3 p) { return body.field(p); };
  Vec3 lo, hi;
  body.bounds(0.1, lo, hi);
  modelgen::Soup a = modelgen::polygonize(field, lo, hi, 0.04);
  modelgen::Soup b = modelgen::polygonize(field, lo, hi, 0.04);
  ASSERT_EQ(a.corners.size(), b.corners.size());
  for (size_t i = 0; i < a.corners.size(); i++) {
    ASSERT_EQ(a.corners[i].x, b.corners[i].x);
    ASSERT_EQ(a.corners[i].y, b.corners[i].y);
    ASSERT_EQ(a.corners[i].z, b.corners[i].z);
  }
  EXPECT_EQ(body.nearest({0.7, 0.35, 0.1}), 1);
  EXPECT_EQ(body.nearest({-0.5, 0, 0}), 0);
}

// Labels by half-space: the boundary x = 0.13 cuts straight through the
// sphere's triangles, and the third label (a cap at y > 0.3 on the right)
// meets both of the others.
int halves(Vec3 p) { return p.y > 0.3 && p.x > 0.13 ? 2 : p.x > 0.13; }

TEST(LabelSplit, CutsTrianglesAlongTheBoundaryAndKeepsTheSurfaceClosed) {
  auto sphere = [](Vec3 p) { return modelgen::length(p) - 0.5; };
  modelgen::Soup soup = modelgen::polygonize(sphere, {-0.6, -0.6, -0.6}, {0.6, 0.6, 0.6}, 0.06);
  std::vector<int> labels;
  modelgen::Soup split = modelgen::splitAlongLabels(soup, halves, labels);
  ASSERT_EQ(labels.size(), split.triangleCount());
  EXPECT_GT(split.triangleCount(), soup.triangleCount());          // some were cut
  EXPECT_LT(split.triangleCount(), soup.triangleCount() * 3 / 2);  // only those

  // Corners that were corners before keep their own label, and the
  // triangles cut around them carry it. Cuts are held away from corners, so
  // a few thin pieces lean over the boundary, but hardly any area does.
  std::set<std::tuple<double, double, double>> original;
  for (Vec3 p : soup.corners) original.insert({p.x, p.y, p.z});
  double area = 0, leaning = 0;
  for (size_t t = 0; t < split.triangleCount(); t++) {
    const Vec3* p = &split.corners[3 * t];
    for (int k = 0; k < 3; k++)
      if (original.count({p[k].x, p[k].y, p[k].z})) {
        ASSERT_EQ(halves(p[k]), labels[t]) << "triangle " << t;
      }
    double a = modelgen::length(modelgen::cross(p[1] - p[0], p[2] - p[0])) / 2;
    area += a;
    if (halves((p[0] + p[1] + p[2]) * (1.0 / 3)) != labels[t]) leaning += a;
  }
  EXPECT_LT(leaning, 0.01 * area);
  GLMmodel* m = weldedModel(split);
  EXPECT_TRUE(closedAndConsistent(m));
  glmDelete(m);
}

}  // namespace
