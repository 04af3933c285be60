// The models and shading ramp shipped in data/: they load, give the viewer
// everything its cel pass reads, are closed surfaces of the agreed size with
// the animals' colours, fit the viewer's fixed camera, and the ramp has a
// few clear bands.
#include <gtest/gtest.h>

#include <glm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kAnimals[] = {"cow", "penguin", "rabbit"};

struct Loaded {
  GLMmodel* model = nullptr;
  std::string error;
};

Loaded load(const std::string& name) {
  Loaded l;
  char error[512] = "";
  std::string path = std::string(CELSHADE_DATA_DIR) + "/" + name + ".obj";
  l.model = glmTryReadOBJ(path.c_str(), error, sizeof error);
  l.error = error;
  return l;
}

class BundledModel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    Loaded l = load(GetParam());
    ASSERT_NE(l.model, nullptr) << l.error;
    m = l.model;
  }
  void TearDown() override {
    if (m) glmDelete(m);
  }
  const GLfloat* vertex(GLuint i) const { return &m->vertices[3 * size_t(i)]; }
  GLMmodel* m = nullptr;
};

TEST_P(BundledModel, NamesItsOwnMaterialLibraryAndHasNormalsAndMaterials) {
  ASSERT_NE(m->mtllib, nullptr);
  EXPECT_EQ(std::string(m->mtllib), std::string(GetParam()) + ".mtl");
  ASSERT_NE(m->normals, nullptr);
  ASSERT_NE(m->materials, nullptr);
  EXPECT_GE(m->materialcount, 5u);  // "default" and at least four colours
}

TEST_P(BundledModel, HasBetweenFourAndTwelveThousandTriangles) {
  EXPECT_GE(m->trianglecount, 4000u);
  EXPECT_LE(m->trianglecount, 12000u);
}

TEST_P(BundledModel, EveryCornerNamesAValidVertexAndUnitNormal) {
  for (GLuint t = 0; t < m->trianglecount; t++) {
    const GLMtriangle& tri = m->triangles[t];
    for (int k = 0; k < 3; k++) {
      ASSERT_GE(tri.vertexidx[k], 1u) << "triangle " << t;
      ASSERT_LE(tri.vertexidx[k], m->vertexcount) << "triangle " << t;
      ASSERT_GE(tri.normalidx[k], 1u) << "triangle " << t;
      ASSERT_LE(tri.normalidx[k], m->normalcount) << "triangle " << t;
      const GLfloat* n = &m->normals[3 * size_t(tri.normalidx[k])];
      ASSERT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-4)
          << "triangle " << t;
    }
  }
}

TEST_P(BundledModel, EveryTriangleIsInOneGroupWithAValidMaterial) {
  std::vector<int> seen(m->trianglecount);
  int coloured = 0;
  for (GLMgroup* g = m->groups; g; g = g->next) {
    ASSERT_LT(g->material, m->materialcount) << g->name;
    if (g->trianglecount) {
      EXPECT_NE(g->material, 0u) << g->name << " uses the default material";
      coloured++;
    }
    for (GLuint i = 0; i < g->trianglecount; i++) {
      ASSERT_LT(g->triangles[i], m->trianglecount);
      seen[g->triangles[i]]++;
    }
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
  EXPECT_GE(coloured, 4);
}

// Closed and consistently wound: every edge is used exactly once in each
// direction, so every edge has exactly two triangles and no hole.
TEST_P(BundledModel, IsAClosedConsistentlyWoundSurface) {
  std::map<std::pair<GLuint, GLuint>, int> directed;
  for (GLuint t = 0; t < m->trianglecount; t++)
    for (int k = 0; k < 3; k++) {
      GLuint a = m->triangles[t].vertexidx[k], b = m->triangles[t].vertexidx[(k + 1) % 3];
      ASSERT_NE(a, b) << "degenerate triangle " << t;
      directed[{a, b}]++;
    }
  for (const auto& [edge, count] : directed) {
    ASSERT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second;
    ASSERT_EQ(directed.count({edge.second, edge.first}), 1u)
        << "open edge " << edge.first << "-" << edge.second;
  }
}

// Counter-clockwise seen from outside: the enclosed volume is positive, and
// the normals the cel pass reads point to the side the triangle faces.
TEST_P(BundledModel, FacesAndNormalsPointOutwards) {
  double volume = 0;
  GLuint against = 0;
  for (GLuint t = 0; t < m->trianglecount; t++) {
    const GLMtriangle& tri = m->triangles[t];
    const GLfloat *a = vertex(tri.vertexidx[0]), *b = vertex(tri.vertexidx[1]),
                  *c = vertex(tri.vertexidx[2]);
    double e1[3], e2[3], f[3];
    for (int i = 0; i < 3; i++) {
      e1[i] = b[i] - a[i];
      e2[i] = c[i] - a[i];
    }
    f[0] = e1[1] * e2[2] - e1[2] * e2[1];
    f[1] = e1[2] * e2[0] - e1[0] * e2[2];
    f[2] = e1[0] * e2[1] - e1[1] * e2[0];
    volume += (a[0] * f[0] + a[1] * f[1] + a[2] * f[2]) / 6;
    for (int k = 0; k < 3; k++) {
      const GLfloat* n = &m->normals[3 * size_t(tri.normalidx[k])];
      if (n[0] * f[0] + n[1] * f[1] + n[2] * f[2] <= 0) against++;
    }
  }
  EXPECT_GT(volume, 0.05);
  EXPECT_EQ(against, 0u) << "corners whose normal faces away from their triangle";
}

INSTANTIATE_TEST_SUITE_P(Data, BundledModel, ::testing::ValuesIn(kAnimals),
                         [](const auto& info) { return std::string(info.param); });

// ---- Colours ----------------------------------------------------------------

// Share of the model's triangles drawn in a colour close to (r, g, b).
double share(GLMmodel* m, float r, float g, float b, float tolerance) {
  GLuint n = 0;
  for (GLMgroup* grp = m->groups; grp; grp = grp->next) {
    const GLfloat* d = m->materials[grp->material].diffuse;
    if (std::fabs(d[0] - r) <= tolerance && std::fabs(d[1] - g) <= tolerance &&
        std::fabs(d[2] - b) <= tolerance)
      n += grp->trianglecount;
  }
  return double(n) / m->trianglecount;
}

TEST(BundledColours, CowIsWhiteWithBlackPatchesPinkMuzzleDarkHoovesLightHorns) {
  GLMmodel* m = load("cow").model;
  ASSERT_NE(m, nullptr);
  EXPECT_GT(share(m, 0.95f, 0.95f, 0.92f, 0.06f), 0.3);    // white hide
  EXPECT_GT(share(m, 0.12f, 0.12f, 0.12f, 0.1f), 0.15);    // black patches
  EXPECT_GT(share(m, 0.95f, 0.62f, 0.66f, 0.08f), 0.01);   // pink muzzle, udder
  EXPECT_GT(share(m, 0.30f, 0.24f, 0.20f, 0.08f), 0.01);   // hooves
  EXPECT_GT(share(m, 0.95f, 0.90f, 0.72f, 0.06f), 0.002);  // horns
  glmDelete(m);
}

TEST(BundledColours, PenguinIsBlackAndWhiteWithOrangeBeakAndFeet) {
  GLMmodel* m = load("penguin").model;
  ASSERT_NE(m, nullptr);
  EXPECT_GT(share(m, 0.12f, 0.13f, 0.17f, 0.1f), 0.3);
  EXPECT_GT(share(m, 0.97f, 0.97f, 0.95f, 0.05f), 0.2);
  EXPECT_GT(share(m, 1.0f, 0.55f, 0.10f, 0.1f), 0.02);
  glmDelete(m);
}

TEST(BundledColours, RabbitIsLightWithPinkEarsAndNose) {
  GLMmodel* m = load("rabbit").model;
  ASSERT_NE(m, nullptr);
  EXPECT_GT(share(m, 0.86f, 0.80f, 0.72f, 0.1f), 0.6);
  EXPECT_GT(share(m, 0.97f, 0.62f, 0.70f, 0.08f), 0.03);
  glmDelete(m);
}

// ---- Framing ------------------------------------------------------------------

// Window-pixel extent of both copies of a unitized model as the viewer draws
// it without rotation: 40 degree field of view at aspect 1 stretched over
// 800 x 600, eye on the z axis at `eye`, copies shifted by -offset and
// +offset.
struct Extent {
  double left[2], right[2], bottom, top;  // [0] left copy, [1] right copy
};

Extent project(GLMmodel* m, double eye, double offset) {
  const double f = 1 / std::tan(20 * 3.14159265358979323846 / 180);
  Extent e{{1e9, 1e9}, {-1e9, -1e9}, 1e9, -1e9};
  for (GLuint i = 1; i <= m->vertexcount; i++) {
    const GLfloat* v = &m->vertices[3 * size_t(i)];
    double depth = eye - v[2];
    double y = (f * v[1] / depth + 1) * 300;
    e.bottom = std::min(e.bottom, y);
    e.top = std::max(e.top, y);
    for (int copy = 0; copy < 2; copy++) {
      double x = (f * (v[0] + (copy ? offset : -offset)) / depth + 1) * 400;
      e.left[copy] = std::min(e.left[copy], x);
      e.right[copy] = std::max(e.right[copy], x);
    }
  }
  return e;
}

// The outline is three pixels wide: keep a few pixels clear of it.
const double kClearance = 6;

TEST(BundledFraming, CowCopiesAtStartUpStayApartAndInsideTheSides) {
  GLMmodel* m = load("cow").model;
  ASSERT_NE(m, nullptr);
  glmUnitize(m);
  Extent e = project(m, 4.0, 1.0);
  EXPECT_GT(e.left[0], kClearance);
  EXPECT_LT(e.right[1], 800 - kClearance);
  EXPECT_LT(e.right[0] + kClearance, e.left[1]);
  glmDelete(m);
}

TEST(BundledFraming, PenguinCopiesZoomedOutSevenStepsStayApartAndInsideTheSides) {
  GLMmodel* m = load("penguin").model;
  ASSERT_NE(m, nullptr);
  glmUnitize(m);
  float eye = 3.0f;  // key 2, then s seven times, as the viewer computes it
  for (int i = 0; i < 7; i++) eye = 1.04f * eye - 0.04f * 0.0f;
  Extent e = project(m, eye, 1.0);
  EXPECT_GT(e.left[0], kClearance);
  EXPECT_LT(e.right[1], 800 - kClearance);
  EXPECT_LT(e.right[0] + kClearance, e.left[1]);
  glmDelete(m);
}

TEST(BundledFraming, RabbitCopiesAfterKey3StayApartAndInsideEveryEdge) {
  GLMmodel* m = load("rabbit").model;
  ASSERT_NE(m, nullptr);
  glmUnitize(m);
  Extent e = project(m, 2.0, 0.3);
  EXPECT_GT(e.left[0], kClearance);
  EXPECT_LT(e.right[1], 800 - kClearance);
  EXPECT_LT(e.right[0] + kClearance, e.left[1]);
  EXPECT_GT(e.bottom, kClearance);
  EXPECT_LT(e.top, 600 - kClearance);
  glmDelete(m);
}

// ---- Shading ramp ---------------------------------------------------------------

TEST(BundledRamp, HasThirtyTwoRisingValuesInThreeOrFourBandsFromDarkToFull) {
  std::ifstream in(std::string(CELSHADE_DATA_DIR) + "/Shader.txt");
  ASSERT_TRUE(in);
  std::vector<double> ramp;
  std::string line;
  while (std::getline(in, line)) ramp.push_back(std::stod(line));
  ASSERT_EQ(ramp.size(), 32u);
  EXPECT_GE(ramp.front(), 0.2);  // dark, not black
  EXPECT_LE(ramp.front(), 0.5);
  EXPECT_EQ(ramp.back(), 1.0);
  std::vector<std::pair<double, int>> bands;  // value, texels
  for (double v : ramp) {
    if (!bands.empty()) {
      ASSERT_GE(v, bands.back().first) << "the ramp must not fall";
    }
    if (bands.empty() || v != bands.back().first) bands.push_back({v, 0});
    bands.back().second++;
  }
  ASSERT_GE(bands.size(), 3u);
  ASSERT_LE(bands.size(), 4u);
  for (size_t i = 0; i < bands.size(); i++) {
    EXPECT_GE(bands[i].second, 3) << "band " << i << " is too narrow to see";
    if (i) {
      EXPECT_GE(bands[i].first - bands[i - 1].first, 0.15) << "bands " << i - 1 << "/" << i;
    }
  }
}

}  // namespace
