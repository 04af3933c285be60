// Placing a model given on the command line: the same placed model wherever
// and at whatever size it sits in its file, exact turns of the up axis, unit
// normals, and a framing view that holds the copies whole at any turn.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "placement.h"
#include "support/model_builder.h"

using namespace model_builder;

namespace {

const double kPi = 3.14159265358979323846;

// A lumpy closed shape: the cube's 8 corners pushed out at random, plus an
// unused vertex far away that must not count.
std::vector<float> lumpyCorners(Rng& rng) {
  std::vector<float> v = {-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,
                          -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1};
  for (float& c : v) c *= rng.uniform(0.4f, 1.6f);
  v[1] *= 2.5f;  // taller than wide: y is the largest side
  return v;
}

GLMmodel* lumpyModel(const std::vector<float>& corners, double scale, double shift) {
  GLMmodel* cubeModel = cube();
  std::vector<float> v;
  for (float c : corners) v.push_back(float(c * scale + shift));
  for (int k = 0; k < 3; ++k) v.push_back(float(-5e7 * scale + shift));  // unused
  setVertices(cubeModel, v);
  return cubeModel;
}

std::vector<float> vertices(const GLMmodel* m) {
  return std::vector<float>(m->vertices + 3, m->vertices + 3 * (m->vertexcount + 1));
}

TEST(Placement, GivesTheSameModelWhereverAndAtWhateverSizeItSits) {
  Rng rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<float> corners = lumpyCorners(rng);
    GLMmodel* home = lumpyModel(corners, 1, 0);
    placeModel(home, UpAxis::y);
    // The drawn box is centred, its largest side 2 (the unused vertex is
    // left out of the box).
    float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
    for (GLuint i = 1; i <= 8; ++i)
      for (int k = 0; k < 3; ++k)
        low[k] = std::min(low[k], home->vertices[3 * i + k]),
        high[k] = std::max(high[k], home->vertices[3 * i + k]);
    float largest = 0;
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(low[k] + high[k], 0, 1e-6) << k;
      largest = std::max(largest, high[k] - low[k]);
    }
    EXPECT_NEAR(largest, 2, 1e-6);

    // Moved a million units away and made a thousand times larger, or a
    // hundred thousand away at its own size: the same within float rounding
    // of the file's coordinates.
    for (auto [scale, shift, tolerance] :
         {std::tuple{1000.0, 1e6, 1e-4}, {1.0, 1e5, 2e-2}, {1e-3, -3.0, 1e-3}}) {
      GLMmodel* away = lumpyModel(corners, scale, shift);
      placeModel(away, UpAxis::y);
      std::vector<float> a = vertices(home), b = vertices(away);
      for (size_t i = 0; i < 24; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << scale << " " << shift;
      glmDelete(away);
    }
    glmDelete(home);
  }
}

TEST(Placement, TurnsEachUpAxisExactlyOntoYLikeATwinExportedUpright) {
  Rng rng(11);
  std::vector<float> corners = lumpyCorners(rng);
  std::vector<float> normals = {0.6f, 0.0f, 0.8f, 0.0f, -1.0f, 0.0f};
  // The up axis's twin: where each axis of the upright model goes in a file
  // exported with `up` pointing up (a proper turn, not a mirror).
  struct Twin {
    UpAxis up;
    int axis[3];  // file coordinate k is sign[k] * upright coordinate axis[k]
    float sign[3];
  };
  const Twin twins[] = {{UpAxis::z, {0, 2, 1}, {1, -1, 1}},  // front (+z) to -y, up to +z
                        {UpAxis::minusZ, {0, 2, 1}, {1, 1, -1}},
                        {UpAxis::minusY, {0, 1, 2}, {1, -1, -1}},
                        {UpAxis::x, {1, 0, 2}, {1, -1, 1}},
                        {UpAxis::minusX, {1, 0, 2}, {-1, 1, 1}}};
  GLMmodel* upright = lumpyModel(corners, 1, 0);
  setNormals(upright, normals);
  placeModel(upright, UpAxis::y);
  for (const Twin& twin : twins) {
    std::vector<float> v, n;
    for (size_t i = 0; i < corners.size(); i += 3)
      for (int k = 0; k < 3; ++k) v.push_back(twin.sign[k] * corners[i + twin.axis[k]]);
    for (size_t i = 0; i < normals.size(); i += 3)
      for (int k = 0; k < 3; ++k) n.push_back(twin.sign[k] * normals[i + twin.axis[k]]);
    GLMmodel* file = cube();
    setVertices(file, v);
    setNormals(file, n);
    placeModel(file, twin.up);
    for (GLuint i = 3; i < 3 * 9; ++i)
      EXPECT_EQ(bits(file->vertices[i]), bits(upright->vertices[i])) << int(twin.up) << " " << i;
    for (GLuint i = 3; i < 3 * 3; ++i)
      EXPECT_EQ(bits(file->normals[i]), bits(upright->normals[i])) << int(twin.up) << " " << i;
    glmDelete(file);
  }
  glmDelete(upright);
}

TEST(Placement, ScalesNormalsOfAnyLengthToUnitAndRefusesNormalsWithoutADirection) {
  GLMmodel* m = cube();
  setNormals(m, {0.006f, 0.0f, 0.008f, 0, 300, 400, 1e-30f, 0, 0});
  for (GLuint i = 0; i < m->trianglecount; ++i)
    for (GLuint& n : m->triangles[i].normalidx) n = 1 + i % 3;
  ASSERT_TRUE(makeUnitNormals(m));
  const float unit[] = {0.6f, 0, 0.8f, 0, 0.6f, 0.8f, 1, 0, 0};
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(m->normals[3 + i], unit[i]) << i;

  // A corner without a normal, a normal of length 0 or not finite: the
  // model's normals cannot be used as they are, and stay as they were.
  for (float bad : {0.0f, NAN, INFINITY}) {
    const float other = bad == 0 ? 0.0f : 1.0f;
    setNormals(m, {0.0f, 0.0f, 2.0f, bad, other, other});
    for (GLuint i = 0; i < m->trianglecount; ++i)
      for (GLuint& n : m->triangles[i].normalidx) n = 1 + i % 2;
    EXPECT_FALSE(makeUnitNormals(m)) << bad;
    EXPECT_EQ(m->normals[5], 2.0f);
  }
  m->triangles[0].normalidx[1] = 0;
  setNormals(m, {0, 0, 1});
  EXPECT_FALSE(makeUnitNormals(m));
  glmDelete(m);
}

// Where point p of a copy at x = side * offset, turned by yaw about y and
// then pitch about x, lands in a picture seen from the eye at distance d:
// its x and y as shares of the picture's half-width and half-height.
void project(const float* p, double yaw, double pitch, double side, double offset, double d,
             double aspect, double& sx, double& sy) {
  double cy = std::cos(yaw), sy_ = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
  double x = p[0] * cy + p[2] * sy_, y = p[1], z = -p[0] * sy_ + p[2] * cy;
  double ty = y * cp - z * sp, tz = y * sp + z * cp;
  double t = std::tan(20 * kPi / 180);
  sx = (x + side * offset) / ((d - tz) * t * aspect);
  sy = ty / ((d - tz) * t);
}

TEST(Placement, FittedViewHoldsBothCopiesWholeAtEveryTurnAndFillsThePicture) {
  Rng rng(3);
  for (int round = 0; round < 30; ++round) {
    // A random blob of points placed as a model is.
    std::vector<float> v;
    std::vector<GLuint> t;
    float stretch[3] = {rng.uniform(0.05f, 3), rng.uniform(0.05f, 3), rng.uniform(0.05f, 3)};
    for (int i = 0; i < 300; ++i)
      for (int k = 0; k < 3; ++k) v.push_back(rng.uniform(-1, 1) * stretch[k] + 40);
    for (GLuint i = 1; i + 2 <= 300; i += 3) t.insert(t.end(), {i, i + 1, i + 2});
    GLMmodel* m = build(v, t);
    placeModel(m, UpAxis::y);
    TurnProfile profile = turnProfile(m);
    const float offset = profile.widest() + 0.1f;
    const float aspect = rng.uniform(0.3f, 3), pitch = rng.uniform(-80, 80);
    const float d = fittedDistance(profile, offset, aspect, pitch);
    double reach = 0;  // the farthest any point gets from the middle
    for (int turn = 0; turn < 48; ++turn) {
      double yaw = rng.uniform(0, 2 * kPi);
      for (GLuint i = 1; i <= m->vertexcount; ++i)
        for (double side : {-1.0, 1.0}) {
          double sx, sy;
          project(&m->vertices[3 * i], yaw, pitch * kPi / 180, side, offset, d, aspect, sx, sy);
          ASSERT_LE(std::fabs(sx), 0.85 + 1e-4) << round;
          ASSERT_LE(std::fabs(sy), 0.85 + 1e-4) << round;
          reach = std::max({reach, std::fabs(sx), std::fabs(sy)});
        }
    }
    // Not lost in the picture either: the bands and rims are only a little
    // wider than the points themselves.
    EXPECT_GT(reach, 0.7) << round;
    glmDelete(m);
  }
}

TEST(Placement, ProfileOfAModelWithoutHeightOrWithoutDrawnVerticesIsUsable) {
  GLMmodel* flat = build({-1, 0, -1, 1, 0, -1, 0, 0, 1}, {1, 2, 3});
  TurnProfile p = turnProfile(flat);
  EXPECT_FLOAT_EQ(p.widest(), std::sqrt(2.0f));
  EXPECT_GT(fittedDistance(p, p.widest() + 0.1f, 4.0f / 3, 0), 1);
  glmDelete(flat);
  GLMmodel* none = build({1, 2, 3}, {});
  placeModel(none, UpAxis::z);  // nothing drawn: left as it is
  EXPECT_EQ(none->vertices[3], 1);
  EXPECT_EQ(turnProfile(none).widest(), 0);
  glmDelete(none);
}

}  // namespace
