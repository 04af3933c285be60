// Model records and whole-model operations: groups, materials, extent,
// unitizing, scaling, deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

// A model with the given vertices and nothing else, built the way the reader
// builds one (slot 0 allocated, never read).
GLMmodel* modelWithVertices(const std::vector<float>& xyz) {
  GLMmodel* m = model_builder::newModel("test.obj");
  model_builder::setVertices(m, xyz);
  return m;
}

void addMaterials(GLMmodel* m, std::initializer_list<const char*> names) {
  m->materialcount = GLuint(names.size());
  m->materials = static_cast<GLMmaterial*>(calloc(names.size(), sizeof(GLMmaterial)));
  GLuint i = 0;
  for (const char* n : names) m->materials[i++].name = copyString(n);
}

TEST(Groups, AddCreatesAtHeadAndFindsExistingByExactName) {
  GLMmodel* m = modelWithVertices({});
  GLMgroup* def = glmAddGroup(m, "default");
  GLMgroup* body = glmAddGroup(m, " body");
  EXPECT_EQ(m->groupcount, 2u);
  EXPECT_EQ(m->groups, body);
  EXPECT_EQ(body->next, def);
  EXPECT_EQ(body->trianglecount, 0u);
  EXPECT_EQ(body->triangles, nullptr);
  EXPECT_EQ(body->material, 0u);

  EXPECT_EQ(glmAddGroup(m, " body"), body);
  EXPECT_EQ(m->groupcount, 2u);
  EXPECT_EQ(glmFindGroup(m, "body"), nullptr);  // no trimming
  EXPECT_EQ(glmFindGroup(m, "Default"), nullptr);
  EXPECT_EQ(glmFindGroup(m, "default"), def);
  glmDelete(m);
}

TEST(Materials, FindIsExactAndUnknownNamesGiveZeroWithMessage) {
  GLMmodel* m = modelWithVertices({});
  addMaterials(m, {"default", "red", "blue", "red"});
  EXPECT_EQ(glmFindMaterial(m, "blue"), 2u);
  EXPECT_EQ(glmFindMaterial(m, "red"), 1u);  // first of two equal names

  testing::internal::CaptureStdout();
  EXPECT_EQ(glmFindMaterial(m, "Red"), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "glmFindMaterial():  can't find material \"Red\".\n");

  GLMmodel* bare = modelWithVertices({});
  testing::internal::CaptureStdout();
  EXPECT_EQ(glmFindMaterial(bare, "red"), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "glmFindMaterial():  can't find material \"red\".\n");
  glmDelete(m);
  glmDelete(bare);
}

TEST(Extent, DimensionsAddAbsoluteBoundsNotExtent) {
  GLMmodel* m = modelWithVertices({1, -1, 0, 3, 2, 0, 2, 0, -5});
  GLfloat d[3];
  glmDimensions(m, d);
  EXPECT_FLOAT_EQ(d[0], 4);  // spans 1..3, reported |3| + |1|
  EXPECT_FLOAT_EQ(d[1], 3);
  EXPECT_FLOAT_EQ(d[2], 5);
  glmDelete(m);
}

TEST(Extent, UnitizeCentresAndScalesLargestDimensionToTwo) {
  GLMmodel* cube = modelWithVertices({-2, -2, -2, 2, 2, 2});
  EXPECT_FLOAT_EQ(glmUnitize(cube), 0.5f);
  EXPECT_FLOAT_EQ(cube->vertices[3], -1);
  EXPECT_FLOAT_EQ(cube->vertices[8], 1);
  glmDelete(cube);

  GLMmodel* box = modelWithVertices({0, 0, 0, 4, 1, 1});
  EXPECT_FLOAT_EQ(glmUnitize(box), 0.5f);
  const float want[] = {-1, -0.25f, -0.25f, 1, 0.25f, 0.25f};
  for (int i = 0; i < 6; i++) EXPECT_FLOAT_EQ(box->vertices[3 + i], want[i]) << i;
  glmDelete(box);
}

TEST(Extent, DegenerateModelsStayFinite) {
  GLMmodel* origin = modelWithVertices({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(glmUnitize(origin), 1.0f);
  for (int i = 3; i < 9; i++) EXPECT_EQ(origin->vertices[i], 0.0f);
  glmDelete(origin);

  // An extent beyond float: left as it is, not collapsed to 0.
  GLMmodel* wide = modelWithVertices({-3e38f, 0, 0, 3e38f, 0, 0});
  EXPECT_EQ(glmUnitize(wide), 1.0f);
  EXPECT_EQ(wide->vertices[3], -3e38f);
  EXPECT_EQ(wide->vertices[6], 3e38f);
  glmDelete(wide);

  GLMmodel* empty = modelWithVertices({});
  EXPECT_EQ(glmUnitize(empty), 1.0f);
  GLfloat d[3] = {7, 7, 7};
  glmDimensions(empty, d);
  EXPECT_EQ(d[0], 0.0f);
  EXPECT_EQ(d[1], 0.0f);
  EXPECT_EQ(d[2], 0.0f);
  glmDelete(empty);
}

TEST(Extent, ScaleMultipliesVerticesOnly) {
  GLMmodel* m = modelWithVertices({1, 2, 3});
  glmScale(m, -2);
  EXPECT_EQ(m->vertices[3], -2);
  EXPECT_EQ(m->vertices[4], -4);
  EXPECT_EQ(m->vertices[5], -6);
  glmDelete(m);
}

TEST(Helpers, LargeArraysSpanWholeHugePagesAndSizesNeverWrap) {
  // A size that would wrap when rounded up to whole 2 MiB steps is refused,
  // not given a few bytes; a large array starts on a 2 MiB step and every
  // byte of it can be written.
  EXPECT_EQ(allocHugePages(SIZE_MAX - 100), nullptr);
  for (size_t bytes : {size_t(1) << 20, (size_t(3) << 20) + 1}) {
    char* p = static_cast<char*>(allocHugePages(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (size_t(2) << 20), 0u);
    memset(p, 7, bytes);
    EXPECT_EQ(p[bytes - 1], 7);
    free(p);
  }
}

TEST(Helpers, GrownArraysKeepTheirBytes) {
  // Grown from a few bytes past several 2 MiB steps and cut back, an array
  // keeps every byte it held, and all of its new size can be written; a
  // size that cannot be had leaves it as it was.
  size_t held = 100;
  unsigned char* p = static_cast<unsigned char*>(growHugePages(nullptr, 0, held));
  ASSERT_NE(p, nullptr);
  for (size_t i = 0; i < held; i++) p[i] = static_cast<unsigned char>(i * 7);
  const size_t huge = size_t(2) << 20;
  for (size_t bytes : {size_t(4000), 3 * huge / 2, 9 * huge + 5, 20 * huge, 45 * huge, huge / 2}) {
    p = static_cast<unsigned char*>(growHugePages(p, std::min(held, bytes), bytes));
    ASSERT_NE(p, nullptr);
    // Grown into huge pages, up to the size it is copied at, it starts on one.
    if (bytes > held && held <= 16 * huge && bytes >= huge / 2) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % huge, 0u) << bytes << " bytes";
    }
    const size_t kept = std::min(held, bytes);
    size_t wrong = 0;
    for (size_t i = 0; i < kept; i++) wrong += p[i] != static_cast<unsigned char>(i * 7);
    EXPECT_EQ(wrong, 0u) << bytes << " bytes";
    for (size_t i = kept; i < bytes; i++) p[i] = static_cast<unsigned char>(i * 7);
    held = bytes;
  }
  EXPECT_EQ(growHugePages(p, held, SIZE_MAX - 100), nullptr);
  EXPECT_EQ(p[held - 1], static_cast<unsigned char>((held - 1) * 7));
  free(p);
}

TEST(Helpers, WindowsGivenBackAreKeptUpToAMegabyte) {
  // The first test here to map pages, so nothing is kept before it. What is
  // kept comes back with its bytes; a fresh mapping comes back zeroed.
  constexpr size_t kWindow = size_t(256) << 10;
  std::vector<char*> windows;
  for (int i = 0; i < 8; i++) windows.push_back(static_cast<char*>(mapPages(kWindow)));
  for (char* p : windows) {
    ASSERT_NE(p, nullptr);
    p[kWindow - 1] = 1;
    unmapPages(p, kWindow);
  }
  int kept = 0;
  for (char*& p : windows) {
    p = static_cast<char*>(mapPages(kWindow));
    ASSERT_NE(p, nullptr);
    kept += p[kWindow - 1];
  }
  EXPECT_EQ(kept, 4);
  for (char* p : windows) unmapPages(p, kWindow);
}

TEST(Helpers, KeptPagesComeBackOnlyForWhatTheyHold) {
  // Mappings given back are handed out again, each once and only for a
  // request they hold whole: every byte of what comes back can be written.
  auto mapEach = [](std::initializer_list<size_t> sizes, int each) {
    std::vector<std::pair<char*, size_t>> maps;
    for (size_t bytes : sizes)
      for (int i = 0; i < each; i++) maps.emplace_back(static_cast<char*>(mapPages(bytes)), bytes);
    return maps;
  };
  for (auto [p, bytes] : mapEach({100, 4096, 5000, 40000, 1 << 20}, 20)) unmapPages(p, bytes);
  auto again = mapEach({8192, 3000, 65536, 40000}, 8);
  std::vector<char*> seen;
  for (auto [p, bytes] : again) {
    ASSERT_NE(p, nullptr);
    memset(p, 1, bytes);
    seen.push_back(p);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
  for (auto [p, bytes] : again) unmapPages(p, bytes);
}

TEST(Helpers, AbsMaxAndPathBeside) {
  EXPECT_EQ(glmAbs(-2.5f), 2.5f);
  EXPECT_EQ(glmMax(1, 2), 2);
  EXPECT_TRUE(std::signbit(glmMax(-0.0f, 0.0f)));  // ties give the first
  struct {
    const char* in;
    const char* out;
  } cases[] = {{"models/cow.obj", "models/"}, {"cow.obj", ""}, {"a/b/", "a/b/"}, {"/x", "/"}};
  for (auto c : cases) {
    EXPECT_EQ(glmDirName(c.in), c.out) << c.in;
    EXPECT_EQ(pathBeside(c.in, "x.mtl"), std::string(c.out) + "x.mtl") << c.in;
  }
}

using RecordsDeathTest = testing::Test;

TEST_F(RecordsDeathTest, CallerErrorsAbortNamingExpressionAndSource) {
  GLMmodel* bare = modelWithVertices({});
  free(bare->vertices);
  bare->vertices = nullptr;
  GLfloat d[3];
  EXPECT_DEATH(glmDelete(nullptr), "glm.cpp.*Assertion `model' failed");
  EXPECT_DEATH(glmFindGroup(nullptr, "x"), "Assertion `model' failed");
  EXPECT_DEATH(glmAddGroup(nullptr, "x"), "Assertion `model' failed");
  EXPECT_DEATH(glmDimensions(bare, d), "Assertion `model->vertices' failed");
  EXPECT_DEATH(glmUnitize(nullptr), "Assertion `model' failed");
  EXPECT_DEATH(glmUnitize(bare), "Assertion `model->vertices' failed");
  EXPECT_DEATH(glmScale(nullptr, 2), "Assertion `model' failed");
  EXPECT_DEATH(glmFindMaterial(nullptr, "x"), "Assertion `model' failed");
  GLMmodel* m = modelWithVertices({1, 1, 1});
  EXPECT_DEATH(glmDimensions(m, nullptr), "Assertion `dimensions' failed");
  glmDelete(m);
  glmDelete(bare);
}

}  // namespace
