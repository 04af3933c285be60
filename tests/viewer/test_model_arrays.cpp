// The viewer's per-model arrays and its ramp loop against the frame's
// per-corner formula: every drawable corner, in group order, must reach its
// own position and exactly the ramp coordinate (bit for bit) that
// modelView, normalize and dotProduct give it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model_arrays.h"
#include "support/model_builder.h"

using namespace model_builder;

namespace {

// The frame's formula for one corner's direction n.
float cornerRamp(const matrix& M, const vector& light, const vector& n) {
  vector e;
  modelView(M, n, e);
  normalize(e);
  float s = dotProduct(e, light);
  if (s < 0.0f) s = 0.0f;
  return s;
}

uint32_t bits(float f) {
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  return b;
}

// A model-view matrix as the frame builds it: the camera a few units back,
// a shift, then random turns about x and y (column-major, float products,
// like the GL's own).
matrix randomView(Rng& rng) {
  float a = rng.uniform(-7, 7), b = rng.uniform(-7, 7);
  float ca = cosf(a), sa = sinf(a), cb = cosf(b), sb = sinf(b);
  // Rx(a) * Ry(b), the 3x3 block; translation in m[12..14].
  matrix M = {{cb, sa * sb, -ca * sb, 0, 0, ca, sa, 0, sb, -sa * cb, ca * cb, 0, rng.uniform(-1, 1),
               0, -4, 1}};
  return M;
}

// Directions that test the corners of the arithmetic: random ones, zero,
// ones so short that their squares underflow (length 0, yet not zero), so
// long that they overflow, and ones exactly along the axes.
std::vector<vector> awkwardDirections(Rng& rng, size_t count) {
  std::vector<vector> d;
  const float scales[] = {1, 1, 1, 1e-3f, 1e-22f, 1e-30f, 1e20f, 3e38f};
  for (size_t i = 0; i < count; ++i) {
    switch (rng.below(10)) {
      case 0: d.push_back({0, 0, 0}); break;
      case 1: d.push_back({0, 0, rng.below(2) ? 1.0f : -1.0f}); break;
      default: {
        float s = scales[rng.below(8)];
        d.push_back({s * rng.uniform(-1, 1), s * rng.uniform(-1, 1), s * rng.uniform(-1, 1)});
      }
    }
  }
  return d;
}

TEST(RampCoordinates, EqualTheCornerFormulaBitForBit) {
  Rng rng(20240613);
  // Counts around the loop's width of four, and a long run.
  for (size_t count : {0, 1, 3, 4, 5, 7, 1001, 40000}) {
    std::vector<vector> d = awkwardDirections(rng, count);
    std::vector<GLfloat> nx, ny, nz;
    for (const vector& v : d) nx.push_back(v.x), ny.push_back(v.y), nz.push_back(v.z);
    for (int view = 0; view < 8; ++view) {
      matrix M = randomView(rng);
      // The viewer's light, then an oblique one.
      vector light = view % 2 ? vector{0.6f, -0.48f, 0.64f} : vector{0, 0, 1};
      std::vector<GLfloat> ramp(count + 1, -1.0f);
      rampCoordinates(M, light, nx.data(), ny.data(), nz.data(), count, ramp.data());
      for (size_t i = 0; i < count; ++i)
        ASSERT_EQ(bits(ramp[i]), bits(cornerRamp(M, light, d[i])))
            << "direction " << i << " (" << d[i].x << ", " << d[i].y << ", " << d[i].z << ")";
      EXPECT_EQ(ramp[count], -1.0f) << "written past the end";
    }
  }
}

// Every drawable triangle of m, group after group, must be found in the
// arrays in the same order, its corners at their vertices with the ramp
// coordinate of their own normal (or face direction), for random views.
void expectCornersMatch(const GLMmodel* m, const ModelArrays& a, Rng& rng) {
  size_t groups = 0;
  for (const GLMgroup* g = m->groups; g; g = g->next) ++groups;
  ASSERT_EQ(a.groupFirst.size(), groups);
  ASSERT_EQ(a.groupCount.size(), groups);
  ASSERT_EQ(a.positions.size(), 3 * a.vertexCount());
  for (int view = 0; view < 4; ++view) {
    matrix M = randomView(rng);
    const vector light = {0, 0, 1};
    std::vector<GLfloat> ramp(a.vertexCount());
    rampCoordinates(M, light, a.nx.data(), a.ny.data(), a.nz.data(), a.vertexCount(), ramp.data());
    size_t g = 0, at = 0;
    for (const GLMgroup* group = m->groups; group; group = group->next, ++g) {
      ASSERT_EQ(a.groupFirst[g], at) << "group " << g;
      for (GLuint i = 0; i < group->trianglecount; ++i) {
        GLuint p = group->triangles[i];
        if (!drawableTriangle(m, p)) continue;
        const GLMtriangle& t = m->triangles[p];
        for (int k = 0; k < 3; ++k, ++at) {
          ASSERT_LT(at, a.indices.size());
          GLuint d = a.indices[at];
          ASSERT_LT(d, a.vertexCount());
          const GLfloat* v = &m->vertices[3 * t.vertexidx[k]];
          EXPECT_EQ(0, memcmp(&a.positions[3 * d], v, 3 * sizeof(GLfloat)))
              << "triangle " << p << " corner " << k;
          vector n = hasNormal(m, t, k) ? vector{m->normals[3 * t.normalidx[k]],
                                                 m->normals[3 * t.normalidx[k] + 1],
                                                 m->normals[3 * t.normalidx[k] + 2]}
                                        : faceDirection(m, t);
          EXPECT_EQ(bits(ramp[d]), bits(cornerRamp(M, light, n)))
              << "triangle " << p << " corner " << k;
        }
      }
      ASSERT_EQ(a.groupCount[g], at - a.groupFirst[g]) << "group " << g;
    }
    ASSERT_EQ(at, a.indices.size());
  }
}

TEST(ModelArrays, CornersKeepTheirVerticesNormalsAndFaceDirections) {
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0.5f, 0.5f, 1});
  setNormals(m, {0, 0, 1, 0, 0, -1, 0.6f, 0.8f, 0, 0, 0, 0});
  setTriangles(
      m, {
             triangle(1, 2, 3, 0, 0, 0, 1, 1, 1),  // vertex normals shared with the next
             triangle(2, 4, 3, 0, 0, 0, 1, 3, 1),  // vertex 4 with normal 3
             triangle(4, 2, 5, 0, 0, 0, 2, 0, 9),  // no normal at corner 1, 9 past the end
             triangle(1, 6, 2, 0, 0, 0, 1, 1, 1),  // vertex 6 does not exist: left out
             triangle(5, 5, 1, 0, 0, 0, 0, 0, 4),  // one vertex twice, zero normal at corner 2
             triangle(0, 1, 2, 0, 0, 0, 1, 1, 1),  // vertex index 0: left out
             triangle(3, 4, 5),                    // no normals at all: the face direction
         });
  addGroup(m, "default", {0, 1, 99});  // 99: no such triangle
  addGroup(m, "empty", {});
  addGroup(m, "rest", {2, 3, 4, 5, 6, 0});
  ModelArrays a;
  buildModelArrays(m, a);
  Rng rng(7);
  expectCornersMatch(m, a, rng);
  // Groups in list order (newest first): "rest" has 4 drawable triangles,
  // "empty" none, "default" 2.
  EXPECT_EQ(a.groupCount, (std::vector<GLuint>{12, 0, 6}));
  // Corners with the same vertex and normal share a drawn vertex: triangle
  // 0, drawn last in "rest" and first in "default", twice the same three.
  EXPECT_EQ(0, memcmp(&a.indices[12], &a.indices[9], 3 * sizeof(GLuint)));
  // Drawn vertices: (1,n1) (2,n1) (3,n1) (4,n3) (4,n2) (2,face) (5,face)
  // (5,face) (5,face) (1,n4) (3,face) (4,face) (5,face).
  EXPECT_EQ(a.vertexCount(), 13u);
  glmDelete(m);
}

TEST(ModelArrays, VertexWithManyNormalsAndModelWithoutNormals) {
  // A fan of 60 triangles around vertex 1, each corner at the centre with
  // a normal of its own, drawn twice: past the search limit corners get new
  // drawn vertices, still at the right place with the right coordinate.
  GLMmodel* m = newModel();
  std::vector<float> vertices = {0, 0, 0}, normals;
  std::vector<GLMtriangle> triangles;
  std::vector<GLuint> fan;
  for (int i = 0; i < 60; ++i) {
    float a = float(i) / 60 * 6.2831853f;
    vertices.insert(vertices.end(), {cosf(a), sinf(a), 0});
    normals.insert(normals.end(), {cosf(a) / 2, sinf(a) / 2, 0.8f});
    GLuint next = GLuint(i == 59 ? 2 : i + 3);
    triangles.push_back(triangle(1, GLuint(i + 2), next, 0, 0, 0, GLuint(i + 1), 61, 61));
    fan.push_back(GLuint(i));
  }
  normals.insert(normals.end(), {0, 0, 1});
  setVertices(m, vertices);
  setNormals(m, normals);
  setTriangles(m, triangles);
  std::vector<GLuint> twice = fan;
  twice.insert(twice.end(), fan.begin(), fan.end());
  addGroup(m, "fan", twice);
  ModelArrays a;
  buildModelArrays(m, a);
  Rng rng(11);
  expectCornersMatch(m, a, rng);
  // The rim's corners still share: 60 rim vertices and at most 120 centres.
  EXPECT_LE(a.vertexCount(), 180u);

  // The same fan without a normal array: every corner its face direction.
  free(m->normals);
  m->normals = nullptr;
  buildModelArrays(m, a);
  expectCornersMatch(m, a, rng);
  EXPECT_EQ(a.vertexCount(), 3u * 120);
  glmDelete(m);
}

TEST(ModelArrays, BuiltWithTextureCoordinatesCornersShareOnlyTheSameOne) {
  // A square of two triangles whose shared edge has one texture coordinate
  // on one side and another on the other (a seam), all with one normal.
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  setNormals(m, {0, 0, 1});
  setTexcoords(m, {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 0.5f});
  setTriangles(m, {triangle(1, 2, 3, 1, 2, 3, 1, 1, 1), triangle(1, 3, 4, 5, 3, 4, 1, 1, 1),
                   triangle(4, 1, 3, 0, 9, 3, 1, 1, 1)});  // none and 9: (0, 0)
  addGroup(m, "default", {0, 1, 2});
  ModelArrays plain, textured;
  buildModelArrays(m, plain);
  buildModelArrays(m, textured, true);
  EXPECT_TRUE(plain.texcoords.empty());
  EXPECT_EQ(plain.vertexCount(), 4u);
  // Vertex 1 with texture coordinates 1, 5 and none, vertex 3 with 3
  // (shared), vertex 4 with 4 and none, vertex 2 with 2.
  ASSERT_EQ(textured.vertexCount(), 7u);
  ASSERT_EQ(textured.texcoords.size(), 2 * textured.vertexCount());
  const GLuint* corner = textured.indices.data();
  for (GLuint t = 0; t < 3; ++t)
    for (int k = 0; k < 3; ++k, ++corner) {
      const GLMtriangle& tri = m->triangles[t];
      const GLuint c = tri.texcoordidx[k] >= 1 && tri.texcoordidx[k] <= 5 ? tri.texcoordidx[k] : 0;
      const float u = c ? m->texcoords[2 * c] : 0, v = c ? m->texcoords[2 * c + 1] : 0;
      EXPECT_EQ(textured.texcoords[2 * *corner], u) << t << " " << k;
      EXPECT_EQ(textured.texcoords[2 * *corner + 1], v) << t << " " << k;
      EXPECT_EQ(0, memcmp(&textured.positions[3 * *corner], &m->vertices[3 * tri.vertexidx[k]],
                          3 * sizeof(GLfloat)));
    }
  EXPECT_EQ(textured.indices[2], textured.indices[4]);  // vertex 3, coordinate 3
  EXPECT_NE(textured.indices[0], textured.indices[3]);  // vertex 1, coordinates 1 and 5
  EXPECT_NE(textured.indices[7], textured.indices[0]);  // vertex 1 without one
  EXPECT_NE(textured.indices[7], textured.indices[3]);
  EXPECT_EQ(textured.indices[8], textured.indices[2]);
  glmDelete(m);
}

}  // namespace
