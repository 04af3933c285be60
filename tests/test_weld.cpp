// Welding: the tolerance test, glmWeldVectors against a plain scan of the
// distinct vectors, and glmWeld on models.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using model_builder::bits;

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- Tolerance test ---------------------------------------------------------

bool equal(std::vector<float> u, std::vector<float> v, float epsilon) {
  return glmEqual(u.data(), v.data(), epsilon);
}

TEST(WeldEqual, StrictlyWithinEpsilonOnEveryAxis) {
  EXPECT_TRUE(equal({0, 0, 0}, {0.5f, -0.5f, 0.25f}, 0.75f));
  EXPECT_FALSE(equal({0, 0, 0}, {0.5f, -0.5f, 0.75f}, 0.75f));  // exactly epsilon
  EXPECT_FALSE(equal({0, 0, 0}, {0, 1, 0}, 0.75f));
  EXPECT_TRUE(equal({0, -0.0f, 0}, {-0.0f, 0, 0}, 1e-45f));
  EXPECT_FALSE(equal({1, 2, 3}, {1, 2, 3}, 0));  // epsilon 0: never
  EXPECT_FALSE(equal({1, 2, 3}, {1, 2, 3}, -1));
  EXPECT_FALSE(equal({1, 2, 3}, {1, 2, 3}, kNaN));
  EXPECT_FALSE(equal({kNaN, 2, 3}, {kNaN, 2, 3}, 10));
  EXPECT_FALSE(equal({1, 2, kInf}, {1, 2, kInf}, kInf));  // inf - inf is NaN
  EXPECT_TRUE(equal({FLT_MAX, 0, 0}, {0, 0, 0}, kInf));
  EXPECT_FALSE(equal({FLT_MAX, 0, 0}, {-FLT_MAX, 0, 0}, kInf));  // difference overflows
}

// ---- A plain scan of the distinct vectors -----------------------------------

struct Welded {
  GLuint count;
  std::vector<float> unique;  // 1-based
  std::vector<float> slots;   // x channel of every input, 1-based
};

bool scanEqual(const float* u, const float* v, float epsilon) {
  for (int c = 0; c < 3; c++) {
    float d = u[c] - v[c];
    if (!((d < 0 ? -d : d) < epsilon)) return false;
  }
  return true;
}

// First match in slot order among the distinct vectors collected so far.
Welded scanWeld(const std::vector<float>& xyz, float epsilon) {
  Welded w{0, std::vector<float>(3), {0}};
  GLuint n = GLuint(xyz.size() / 3);
  for (GLuint i = 0; i < n; i++) {
    const float* p = &xyz[3 * i];
    GLuint j = 1;
    while (j <= w.count && !scanEqual(p, &w.unique[3 * j], epsilon)) j++;
    if (j > w.count) {
      w.unique.insert(w.unique.end(), p, p + 3);
      w.count++;
    }
    w.slots.push_back(float(j));
  }
  return w;
}

Welded fastWeld(const std::vector<float>& xyz, float epsilon) {
  GLfloat* in = model_builder::vectorArray(xyz);
  GLuint n = GLuint(xyz.size() / 3);
  GLfloat* unique = glmWeldVectors(in, &n, epsilon);
  Welded w{n, std::vector<float>(unique, unique + 3 * (size_t(n) + 1)), {0}};
  for (size_t i = 1; i <= xyz.size() / 3; i++) {
    w.slots.push_back(in[3 * i]);
    EXPECT_EQ(bits(in[3 * i + 1]), bits(xyz[3 * i - 2]));  // y and z untouched
    EXPECT_EQ(bits(in[3 * i + 2]), bits(xyz[3 * i - 1]));
  }
  free(unique);
  free(in);
  return w;
}

// Asserts the same count, the same distinct vectors bit for bit and the
// same slot for every input.
void expectSameAsScan(const std::vector<float>& xyz, float epsilon, const char* what) {
  Welded want = scanWeld(xyz, epsilon);
  Welded got = fastWeld(xyz, epsilon);
  ASSERT_EQ(got.count, want.count) << what << " epsilon " << epsilon;
  for (size_t i = 3; i < 3 * (size_t(want.count) + 1); i++)
    ASSERT_EQ(bits(got.unique[i]), bits(want.unique[i])) << what << " float " << i;
  for (size_t i = 1; i < want.slots.size(); i++)
    ASSERT_EQ(bits(got.slots[i]), bits(want.slots[i])) << what << " input " << i;
}

// ---- Cases ------------------------------------------------------------------

TEST(WeldVectors, NearDuplicateMergesIntoFirst) {
  std::vector<float> v = {1, 2, 3, 1.0004f, 1.9996f, 3.0009f, 5, 5, 5};
  Welded w = fastWeld(v, 0.001f);
  ASSERT_EQ(w.count, 2u);
  const float want[] = {1, 2, 3, 5, 5, 5};
  for (int i = 0; i < 6; i++) EXPECT_EQ(w.unique[3 + i], want[i]);
  EXPECT_EQ(w.slots[1], 1.0f);
  EXPECT_EQ(w.slots[2], 1.0f);
  EXPECT_EQ(w.slots[3], 2.0f);
}

TEST(WeldVectors, ChainsDoNotMergeTransitively) {
  Welded w = fastWeld({0, 0, 0, 0.6f, 0, 0, 1.2f, 0, 0}, 1);
  EXPECT_EQ(w.count, 2u);
  EXPECT_EQ(w.slots[2], 1.0f);
  EXPECT_EQ(w.slots[3], 2.0f);
  EXPECT_EQ(w.unique[6], 1.2f);
}

TEST(WeldVectors, TiesGoToTheLowerSlotNotTheNearer) {
  Welded w = fastWeld({0, 0, 0, 1.5f, 0, 0, 0.9f, 0, 0}, 1);
  ASSERT_EQ(w.count, 2u);
  EXPECT_EQ(w.slots[3], 1.0f);  // within 1 of both; nearer to slot 2
}

TEST(WeldVectors, DifferenceOfExactlyEpsilonKeepsApart) {
  Welded w = fastWeld({0, 0, 0, 0, 0.5f, 0}, 0.5f);
  EXPECT_EQ(w.count, 2u);
}

TEST(WeldVectors, EpsilonZeroOrNaNMergesNothing) {
  std::vector<float> v = {1, 1, 1, 1, 1, 1, 2, 2, 2};
  for (float eps : {0.0f, -0.0f, -1.0f, kNaN}) {
    Welded w = fastWeld(v, eps);
    EXPECT_EQ(w.count, 3u);
    for (GLuint i = 1; i <= 3; i++) EXPECT_EQ(w.slots[i], float(i));
  }
}

TEST(WeldVectors, NaNAndInfinityNeverMerge) {
  Welded w = fastWeld({kNaN, 0, 0, kNaN, 0, 0, 0, kInf, 0, 0, kInf, 0, 0, 0, 0}, kInf);
  EXPECT_EQ(w.count, 5u);
  EXPECT_TRUE(std::isnan(w.unique[3]));
}

TEST(WeldVectors, EmptyInputGivesNothing) {
  GLuint n = 0;
  GLfloat* unique = glmWeldVectors(nullptr, &n, 1);
  EXPECT_EQ(n, 0u);
  EXPECT_NE(unique, nullptr);
  free(unique);
}

// ---- Against the scan: inputs built to catch a grid that misses ------------

// The power of two at or above epsilon: the width of a cell the grid might use.
float cellFor(float epsilon) {
  if (!(epsilon > 0) || std::isinf(epsilon)) return 1;
  int e;
  float m = std::frexp(epsilon, &e);
  return m == 0.5f ? epsilon : std::ldexp(1.0f, e);
}

struct Generator {
  std::mt19937 rng;
  float epsilon, cell;

  float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
  int pick(int n) { return int(rng() % unsigned(n)); }

  // A coordinate on or next to a cell border, or epsilon away from one.
  float nearBorder() {
    float base = float(pick(9) - 4) * cell;
    switch (pick(7)) {
      case 0: return base;
      case 1: return std::nextafter(base, kInf);
      case 2: return std::nextafter(base, -kInf);
      case 3: return base + epsilon;
      case 4: return base - epsilon;
      case 5: return base + std::nextafter(epsilon, 0.0f);
      default: return base + uniform(-1, 1) * epsilon;
    }
  }

  std::vector<float> make(int kind, int n) {
    std::vector<float> v;
    while (int(v.size()) < 3 * n) {
      int earlier = int(v.size() / 3);
      switch (kind) {
        case 0:  // around cell borders
          for (int c = 0; c < 3; c++) v.push_back(nearBorder());
          break;
        case 1:  // an earlier vector moved by exactly epsilon, or just under, on one axis
          if (earlier == 0) {
            v.insert(v.end(), {uniform(-3, 3) * cell, 0, 0});
          } else {
            size_t e = 3 * size_t(pick(earlier));
            float p[3] = {v[e], v[e + 1], v[e + 2]};
            float step = pick(2) ? epsilon : std::nextafter(epsilon, 0.0f);
            p[pick(3)] += pick(2) ? step : -step;
            v.insert(v.end(), p, p + 3);
          }
          break;
        case 2: {  // chains along an axis in steps a little over half epsilon
          float step = epsilon * uniform(0.5f, 0.7f);
          int axis = pick(3);
          float p[3] = {uniform(-2, 2) * cell, uniform(-2, 2) * cell, uniform(-2, 2) * cell};
          for (int k = 0; k < 6 && int(v.size()) < 3 * n; k++) {
            v.insert(v.end(), p, p + 3);
            p[axis] += step;
          }
          break;
        }
        case 3:  // a dense cloud a few epsilon across: many candidates, ties
          for (int c = 0; c < 3; c++) v.push_back(uniform(-2, 2) * epsilon);
          break;
        case 4: {  // duplicates, signed zeros, NaN and infinities among ordinary points
          int what = pick(8);
          if (what == 0 && earlier) {
            size_t e = 3 * size_t(pick(earlier));
            v.insert(v.end(), {v[e], v[e + 1], v[e + 2]});
          } else if (what == 1) {
            v.insert(v.end(), {pick(2) ? 0.0f : -0.0f, pick(2) ? 0.0f : -0.0f, 0});
          } else if (what == 2) {
            v.insert(v.end(), {kNaN, 0, 0});
          } else if (what == 3) {
            v.insert(v.end(), {0, pick(2) ? kInf : -kInf, 0});
          } else {
            for (int c = 0; c < 3; c++) v.push_back(nearBorder());
          }
          break;
        }
        case 5:  // large coordinates, differences that round or overflow
          for (int c = 0; c < 3; c++) {
            float big[] = {FLT_MAX, -FLT_MAX, 3e38f, -3e38f, 1e30f, 0, 1.7e38f, -1.7e38f};
            float x = big[pick(8)];
            v.push_back(pick(2) ? x : std::nextafter(x, 0.0f));
          }
          break;
      }
    }
    v.resize(3 * size_t(n));
    return v;
  }
};

TEST(WeldVectors, MatchesPlainScanOnHardInputs) {
  const float epsilons[] = {0.001f, 0.1f,   0.5f,   1.0f,  0.75f, 1.0f / 1024, 3.0f,
                            1e-38f, 1e-45f, 3e-44f, 1e30f, 3e38f, FLT_MAX,     kInf};
  const char* kinds[] = {"borders", "exact epsilon", "chains", "cloud", "specials", "large"};
  Generator gen{std::mt19937(20261207), 0, 0};
  int rounds = 0;
  for (float eps : epsilons)
    for (int kind = 0; kind < 6; kind++)
      for (int r = 0; r < 25; r++) {
        gen.epsilon = eps;
        gen.cell = cellFor(eps);
        if (std::isinf(gen.cell) || gen.cell > 1e37f) gen.cell = 1e37f;
        int n = 1 + gen.pick(r < 20 ? 60 : 600);
        std::vector<float> v = gen.make(kind, n);
        expectSameAsScan(v, eps, kinds[kind]);
        if (HasFatalFailure()) return;
        rounds++;
      }
  EXPECT_EQ(rounds, 14 * 6 * 25);
}

TEST(WeldVectors, MatchesPlainScanOnNearDuplicateClouds) {
  // The benchmark's kind of input at test size: points and near copies.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> box(-1, 1), jitter(-0.0009f, 0.0009f);
  std::vector<float> v;
  for (int i = 0; i < 3000; i++) {
    if (i % 2 && i > 10) {
      size_t e = 3 * (rng() % (v.size() / 3));
      for (int c = 0; c < 3; c++) v.push_back(v[e + c] + jitter(rng));
    } else {
      for (int c = 0; c < 3; c++) v.push_back(box(rng) * 0.05f);
    }
  }
  for (float eps : {0.001f, 0.002f, 0.0005f}) expectSameAsScan(v, eps, "cloud");
}

TEST(WeldVectors, LargeInputKeepsTheSameRules) {
  // 150,000 lattice points, each followed by a near copy of an earlier one:
  // enough for the cell table to leave the small-allocation path.
  const GLuint bases = 150000;
  std::vector<float> v;
  auto lattice = [](GLuint k, GLuint step) { return float((k / step) % 60) - 30; };
  for (GLuint i = 0; i < bases; i++) {
    v.insert(v.end(), {lattice(i, 1), lattice(i, 60), lattice(i, 3600)});
    GLuint e = i / 2;
    v.insert(v.end(), {lattice(e, 1) + 0.2f, lattice(e, 60) - 0.2f, lattice(e, 3600) + 0.1f});
  }
  Welded w = fastWeld(v, 0.25f);
  ASSERT_EQ(w.count, bases);
  for (GLuint i = 0; i < bases; i++) {
    ASSERT_EQ(w.slots[2 * i + 1], float(i + 1)) << i;
    ASSERT_EQ(w.slots[2 * i + 2], float(i / 2 + 1)) << i;
  }
  // All distinct: the table fills past half and grows while in use.
  v.resize(3 * 5000);
  for (GLuint i = 0; i < 5000; i++) {
    v[3 * i] = lattice(i, 1), v[3 * i + 1] = lattice(i, 60), v[3 * i + 2] = lattice(i, 3600);
  }
  v.insert(v.end(), {lattice(4999, 1), lattice(4999, 60) + 0.1f, lattice(4999, 3600)});
  w = fastWeld(v, 0.25f);
  ASSERT_EQ(w.count, 5000u);
  for (GLuint i = 1; i <= 5000; i++) ASSERT_EQ(w.slots[i], float(i));
  EXPECT_EQ(w.slots[5001], 5000.0f);
}

// ---- Models -----------------------------------------------------------------

TEST(Weld, SquareOfSixCornersBecomesFourVertices) {
  GLMmodel* m = model_builder::build({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0},
                                     {1, 2, 3, 4, 5, 6});
  glmWeld(m, 0.001f);
  ASSERT_EQ(m->vertexcount, 4u);
  const float want[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  for (int i = 0; i < 12; i++) EXPECT_EQ(m->vertices[3 + i], want[i]);
  const GLuint corners[2][3] = {{1, 2, 3}, {1, 3, 4}};
  for (int t = 0; t < 2; t++)
    for (int c = 0; c < 3; c++) EXPECT_EQ(m->triangles[t].vertexidx[c], corners[t][c]);
  glmDelete(m);
}

TEST(Weld, CollapsedTriangleKeepsItsCorners) {
  GLMmodel* m = model_builder::build({0, 0, 0, 0, 0, 0.0001f, 0.0001f, 0, 0}, {1, 2, 3});
  glmWeld(m, 0.001f);
  EXPECT_EQ(m->vertexcount, 1u);
  EXPECT_EQ(m->trianglecount, 1u);
  for (int c = 0; c < 3; c++) EXPECT_EQ(m->triangles[0].vertexidx[c], 1u);
  glmDelete(m);
}

TEST(Weld, OutOfRangeCornersStayOutOfRange) {
  GLMmodel* m = model_builder::build({0, 0, 0, 0, 0, 0, 1, 0, 0}, {1, 2, 3, 0, 4, 3});
  glmWeld(m, 0.5f);
  EXPECT_EQ(m->vertexcount, 2u);
  EXPECT_EQ(m->triangles[0].vertexidx[1], 1u);
  EXPECT_EQ(m->triangles[0].vertexidx[2], 2u);
  EXPECT_EQ(m->triangles[1].vertexidx[0], 0u);
  EXPECT_EQ(m->triangles[1].vertexidx[1], 4u);
  EXPECT_EQ(m->triangles[1].vertexidx[2], 2u);
  glmDelete(m);
}

TEST(Weld, ModelWithoutVerticesStaysEmpty) {
  GLMmodel* m = model_builder::build({}, {});
  free(m->vertices);
  m->vertices = nullptr;
  glmWeld(m, 1);
  EXPECT_EQ(m->vertexcount, 0u);
  EXPECT_NE(m->vertices, nullptr);
  glmDelete(m);
}

TEST(Weld, VertexNumbersPast2To24StayExact) {
  // A float carries whole numbers exactly only up to 2^24; glmWeld does not
  // go through one. Epsilon 0 keeps every one of the 2^24 + 3 vertices.
  const GLuint n = (1u << 24) + 3;
  GLMmodel* m = model_builder::build({}, {n, n - 1, (1u << 24) + 1});
  free(m->vertices);
  m->vertices = static_cast<GLfloat*>(calloc(size_t(n) + 1, 3 * sizeof(GLfloat)));
  m->vertexcount = n;
  glmWeld(m, 0);
  EXPECT_EQ(m->vertexcount, n);
  EXPECT_EQ(m->triangles[0].vertexidx[0], n);
  EXPECT_EQ(m->triangles[0].vertexidx[1], n - 1);
  EXPECT_EQ(m->triangles[0].vertexidx[2], (1u << 24) + 1);
  glmDelete(m);
}

TEST(Weld, RenumbersLikeTheScanAndKeepsOtherArrays) {
  std::mt19937 rng(99);
  Generator gen{std::mt19937(5), 0.25f, 0.25f};
  std::vector<float> xyz = gen.make(0, 400);
  std::vector<GLuint> corners;
  for (int i = 0; i < 900; i++) corners.push_back(1 + rng() % 400);
  GLMmodel* m = model_builder::build(xyz, corners);
  model_builder::setNormals(m, {0, 0, 1});
  m->triangles[0].normalidx[0] = 1;
  Welded want = scanWeld(xyz, 0.25f);
  glmWeld(m, 0.25f);
  ASSERT_EQ(m->vertexcount, want.count);
  EXPECT_EQ(memcmp(m->vertices + 3, want.unique.data() + 3, 3 * size_t(want.count) * 4), 0);
  for (GLuint t = 0; t < 300; t++)
    for (int c = 0; c < 3; c++)
      ASSERT_EQ(m->triangles[t].vertexidx[c], GLuint(want.slots[corners[3 * t + c]]));
  EXPECT_EQ(m->normalcount, 1u);
  EXPECT_EQ(m->triangles[0].normalidx[0], 1u);
  glmDelete(m);
}

using WeldDeathTest = testing::Test;

TEST_F(WeldDeathTest, CallerErrorsAbortNamingTheExpression) {
  GLfloat v[6] = {0, 0, 0, 1, 2, 3};
  GLuint n = 1;
  EXPECT_DEATH(glmWeld(nullptr, 0), "glm\\.cpp.*Assertion `model' failed");
  EXPECT_DEATH(glmWeldVectors(nullptr, &n, 0),
               "Assertion `vectors \\|\\| \\*numvectors == 0' failed");
  EXPECT_DEATH(glmWeldVectors(v, nullptr, 0), "Assertion `numvectors' failed");
}

}  // namespace
