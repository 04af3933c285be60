// Generated texture coordinates: planar (linear) and sphere map.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using model_builder::bits;

const GLfloat* uv(const GLMmodel* m, GLuint i) { return m->texcoords + 2 * i; }

// ---- Linear -----------------------------------------------------------------

TEST(LinearTexture, ProjectsOnXZScaledByLargestDimension) {
  GLMmodel* m = model_builder::build({-1, 0, -0.5f, 1, 0.2f, 0.5f, 0, -0.2f, 0}, {1, 2, 3});
  glmLinearTexture(m);  // dimensions 2, 0.4, 1: scale 1
  ASSERT_EQ(m->texcoordcount, 3u);
  const float want[3][2] = {{0, 0.25f}, {1, 0.75f}, {0.5f, 0.5f}};
  for (GLuint i = 1; i <= 3; i++) {
    EXPECT_EQ(uv(m, i)[0], want[i - 1][0]) << i;
    EXPECT_EQ(uv(m, i)[1], want[i - 1][1]) << i;
  }
  glmDelete(m);
}

TEST(LinearTexture, OffOriginModelLeavesTheUnitRange) {
  GLMmodel* m = model_builder::build({1, 0, 0, 3, 0.5f, 0.5f, 2, 0, 0}, {1, 2, 3});
  glmLinearTexture(m);  // width |3| + |1| = 4: scale 0.5
  EXPECT_EQ(uv(m, 1)[0], 0.75f);
  EXPECT_EQ(uv(m, 2)[0], 1.25f);
  EXPECT_EQ(uv(m, 3)[0], 1.0f);
  EXPECT_EQ(uv(m, 2)[1], 0.625f);
  glmDelete(m);
}

TEST(LinearTexture, OneCoordinatePerVertexIndexedLikeVertices) {
  GLMmodel* m =
      model_builder::build({0, 0, 0, 1, 0, 0, 1, 7, 0, 0, 1, 1}, {1, 2, 3, 4, 3, 2, 2, 2, 1});
  GLMtriangle* t = m->triangles;
  t[0].texcoordidx[0] = 99;  // from the file, replaced
  model_builder::setNormals(m, {0, 0, 1});
  glmLinearTexture(m);
  EXPECT_EQ(m->texcoordcount, m->vertexcount);
  for (GLuint i = 0; i < m->trianglecount; i++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(t[i].texcoordidx[c], t[i].vertexidx[c]);
  // Vertices 2 and 3 differ only in y.
  EXPECT_EQ(uv(m, 2)[0], uv(m, 3)[0]);
  EXPECT_EQ(uv(m, 2)[1], uv(m, 3)[1]);
  glmDelete(m);
}

TEST(LinearTexture, OnlyGroupedTrianglesAreReindexedAndBadIndicesGiveNone) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3, 1, 2, 3, 3, 0, 8});
  m->groups->triangles[1] = 2;  // group: triangles 0 and 2, then a bad entry
  m->groups->triangles[2] = 50;
  m->groups->trianglecount = 3;
  m->triangles[1].texcoordidx[0] = 42;
  glmLinearTexture(m);
  EXPECT_EQ(m->triangles[1].texcoordidx[0], 42u);  // in no group
  EXPECT_EQ(m->triangles[2].texcoordidx[0], 3u);
  EXPECT_EQ(m->triangles[2].texcoordidx[1], 0u);  // vertex 0: none
  EXPECT_EQ(m->triangles[2].texcoordidx[2], 0u);  // vertex 8 does not exist
  glmDelete(m);
}

TEST(LinearTexture, DegenerateModelsStayFinite) {
  GLMmodel* origin = model_builder::build({0, 0, 0, 0, 0, 0}, {});
  glmLinearTexture(origin);  // largest dimension 0: scale 1
  for (GLuint i = 1; i <= 2; i++) {
    EXPECT_EQ(uv(origin, i)[0], 0.5f);
    EXPECT_EQ(uv(origin, i)[1], 0.5f);
  }
  glmDelete(origin);

  GLMmodel* tiny = model_builder::build({1e-45f, 0, 0, 0, 0, -1e-45f}, {});
  glmLinearTexture(tiny);  // 2 / 2e-45 overflows: scale 1
  for (GLuint i = 1; i <= 2; i++) {
    EXPECT_TRUE(std::isfinite(uv(tiny, i)[0]));
    EXPECT_TRUE(std::isfinite(uv(tiny, i)[1]));
  }
  glmDelete(tiny);

  GLMmodel* empty = model_builder::build({}, {});
  glmLinearTexture(empty);
  EXPECT_EQ(empty->texcoordcount, 0u);
  EXPECT_NE(empty->texcoords, nullptr);
  glmDelete(empty);
}

// ---- Sphere map -------------------------------------------------------------

struct SphereCase {
  float x, y, z;
  float u, v;
};

TEST(SpheremapTexture, KnownDirectionsGiveTheTabledCoordinates) {
  const SphereCase exact[] = {
      {0, 0, 1, 0.49999994f, 0.5f},
      {0, 0, -1, 0.49999994f, 0.5f},
      {0, 1, 0, 1.0f, 0.5f},
      {1, 0, 0, 0, 0},
      {-1, 0, 0, 0, 0},
      {0, 0, 0, 0, 0},
      {0, 0, 5, 0.49999994f, 0.5f},  // length does not matter
  };
  std::vector<float> xyz;
  for (auto c : exact) xyz.insert(xyz.end(), {c.x, c.y, c.z});
  xyz.insert(xyz.end(), {0, -1, 0, 0.6f, 0, 0.8f, 0, 0.6f, 0.8f});
  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  model_builder::setNormals(m, xyz);
  glmSpheremapTexture(m);
  ASSERT_EQ(m->texcoordcount, m->normalcount);
  GLuint i = 1;
  for (auto c : exact) {
    EXPECT_EQ(bits(uv(m, i)[0]), bits(c.u)) << "normal " << i;
    EXPECT_EQ(bits(uv(m, i)[1]), bits(c.v)) << "normal " << i;
    i++;
  }
  // (0, -1, 0): 1.570796325 lies just below pi/2, so u is a tiny negative.
  EXPECT_LT(uv(m, i)[0], 0.0f);
  EXPECT_NEAR(uv(m, i)[0], -5.7e-10, 0.05e-10);
  EXPECT_EQ(uv(m, i)[1], 0.5f);
  i++;
  EXPECT_EQ(bits(uv(m, i)[0]), bits(0.49999994f));  // (0.6, 0, 0.8)
  EXPECT_NEAR(uv(m, i)[1], 0.2951672, 1e-7);
  i++;
  EXPECT_NEAR(uv(m, i)[0], 0.7048328, 1e-7);  // (0, 0.6, 0.8)
  EXPECT_EQ(uv(m, i)[1], 0.5f);
  glmDelete(m);
}

TEST(SpheremapTexture, ConstantsAreTheFloatsNextToHalfPi) {
  EXPECT_EQ(double(1.5707964f), 1.57079637050628662109375);
  EXPECT_EQ(double(1.5707961f), 1.57079613208770751953125);
  EXPECT_EQ(bits(0.49999994f), 0x3EFFFFFEu);  // two units below 0.5
}

TEST(SpheremapTexture, MirrorInZAndScaleGiveTheSameCoordinates) {
  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  model_builder::setNormals(m, {0.3f, -0.4f, 0.5f, 0.3f, -0.4f, -0.5f, 3, -4, 5});
  glmSpheremapTexture(m);
  for (GLuint i = 2; i <= 3; i++) {
    EXPECT_FLOAT_EQ(uv(m, i)[0], uv(m, 1)[0]) << i;
    EXPECT_FLOAT_EQ(uv(m, i)[1], uv(m, 1)[1]) << i;
  }
  EXPECT_EQ(bits(uv(m, 2)[0]), bits(uv(m, 1)[0]));
  glmDelete(m);
}

TEST(SpheremapTexture, ShortNormalsGiveNoNaN) {
  // y*y rounds down in the subnormal range, so y / r comes out above 1.
  const float y = 4.43e-23f;
  ASSERT_GT(y, float(sqrt(double(y * y))));
  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  model_builder::setNormals(m, {0, y, 0, 0, -y, 0, y, 0, 1e-30f});
  glmSpheremapTexture(m);
  EXPECT_EQ(uv(m, 1)[0], 1.0f);
  EXPECT_LE(uv(m, 2)[0], 0.0f);
  for (GLuint i = 1; i <= 3; i++) {
    EXPECT_FALSE(std::isnan(uv(m, i)[0])) << i;
    EXPECT_FALSE(std::isnan(uv(m, i)[1])) << i;
  }
  glmDelete(m);
}

TEST(SpheremapTexture, NormalsOfAnyLengthMapLikeUnitOnes) {
  // Squares that overflow (1e20, 3e38) or underflow (1e-25) float.
  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  model_builder::setNormals(m, {0, 1,  0, 0,     1e20f,  0, 0,      1e-25f,  0,  //
                                0, -1, 0, 0,     -1e20f, 0, 0,      -1e-25f, 0,  //
                                1, 1,  0, 3e38f, 3e38f,  0, 1e-40f, 1e-40f,  0});
  glmSpheremapTexture(m);
  EXPECT_EQ(uv(m, 1)[0], 1.0f);
  EXPECT_EQ(uv(m, 1)[1], 0.5f);
  for (GLuint i = 1; i <= 9; i += 3)
    for (GLuint k = 1; k <= 2; k++) {
      EXPECT_EQ(bits(uv(m, i + k)[0]), bits(uv(m, i)[0])) << i + k;
      EXPECT_EQ(bits(uv(m, i + k)[1]), bits(uv(m, i)[1])) << i + k;
    }
  glmDelete(m);
}

// A normal scaled by a power of two maps exactly as it did unscaled, across
// float's whole range, except where its squares fall into the subnormals
// before the scale is put right (the gap below).
TEST(SpheremapTexture, PowerOfTwoScalesGiveTheSameBits) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int round = 0; round < 300; round++) {
    float n[3];
    for (float& c : n) c = std::copysign(1e-3f + std::fabs(unit(rng)), unit(rng));
    std::vector<float> xyz(n, n + 3);
    for (int k = -115; k <= 127; k++)
      if (k < -60 || (k >= -40 && k <= 40) || k > 60)
        for (float c : n) xyz.push_back(std::ldexp(c, k));
    GLMmodel* m = model_builder::build({0, 0, 0}, {});
    model_builder::setNormals(m, xyz);
    glmSpheremapTexture(m);
    for (GLuint i = 2; i <= m->normalcount; i++) {
      ASSERT_EQ(bits(uv(m, i)[0]), bits(uv(m, 1)[0])) << round << " " << i;
      ASSERT_EQ(bits(uv(m, i)[1]), bits(uv(m, 1)[1])) << round << " " << i;
    }
    glmDelete(m);
  }
}

TEST(SpheremapTexture, IndexedLikeNormalsAndMissingNormalsGiveNone) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3, 1, 2, 3});
  model_builder::setNormals(m, {0, 0, 1, 0, 1, 0});
  GLMtriangle* t = m->triangles;
  t[0].normalidx[0] = 2, t[0].normalidx[1] = 1, t[0].normalidx[2] = 2;
  t[1].normalidx[0] = 0, t[1].normalidx[1] = 3, t[1].normalidx[2] = 1;  // none, bad, fine
  t[1].texcoordidx[0] = t[1].texcoordidx[1] = 5;
  glmSpheremapTexture(m);
  EXPECT_EQ(m->texcoordcount, 2u);
  for (int c = 0; c < 3; c++) EXPECT_EQ(t[0].texcoordidx[c], t[0].normalidx[c]);
  EXPECT_EQ(t[1].texcoordidx[0], 0u);
  EXPECT_EQ(t[1].texcoordidx[1], 0u);
  EXPECT_EQ(t[1].texcoordidx[2], 1u);
  glmDelete(m);
}

TEST(TextureGenerators, EachCallReplacesTheOther) {
  GLMmodel* m = model_builder::build({0, 0, 0, 2, 0, 0, 0, 0, 2}, {1, 2, 3});
  glmFacetNormals(m);
  glmVertexNormals(m, 90);
  glmLinearTexture(m);
  glmLinearTexture(m);  // same result, old array freed
  EXPECT_EQ(m->texcoordcount, 3u);
  EXPECT_EQ(uv(m, 2)[0], 1.5f);  // width 2: scale 1
  glmSpheremapTexture(m);
  EXPECT_EQ(m->texcoordcount, m->normalcount);
  for (int c = 0; c < 3; c++)
    EXPECT_EQ(m->triangles[0].texcoordidx[c], m->triangles[0].normalidx[c]);
  glmDelete(m);
}

// ---- Caller errors ----------------------------------------------------------

using TextureDeathTest = testing::Test;

TEST_F(TextureDeathTest, CallerErrorsAbortNamingTheExpression) {
  GLMmodel* m = model_builder::build({0, 0, 0}, {});
  EXPECT_DEATH(glmLinearTexture(nullptr), "glm.cpp.*Assertion `model' failed");
  EXPECT_DEATH(glmSpheremapTexture(nullptr), "Assertion `model' failed");
  EXPECT_DEATH(glmSpheremapTexture(m), "Assertion `model->normals' failed");
  free(m->vertices);
  m->vertices = nullptr;
  EXPECT_DEATH(glmLinearTexture(m), "Assertion `model->vertices' failed");
  glmDelete(m);
}

}  // namespace
