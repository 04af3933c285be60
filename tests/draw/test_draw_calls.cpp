// glmDraw and glmList, checked call by call against a recording libGL: the
// mode checks and their warnings, the colour-material switch, per-group
// material or colour, batches, corner order, pointers into the model, lists,
// and indices that lead outside their arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using Calls = std::vector<std::string>;

const char* const kFlatNoFacets =
    "glmDraw() warning: flat render mode requested with no facet normals defined.\n";
const char* const kSmoothNoNormals =
    "glmDraw() warning: smooth render mode requested with no normals defined.\n";
const char* const kTextureNoCoords =
    "glmDraw() warning: texture render mode requested with no texture coordinates defined.\n";
const char* const kFlatAndSmooth =
    "glmDraw() warning: flat render mode requested and smooth render mode requested (using "
    "smooth).\n";
const char* const kColorNoMaterials =
    "glmDraw() warning: color render mode requested with no materials defined.\n";
const char* const kMaterialNoMaterials =
    "glmDraw() warning: material render mode requested with no materials defined.\n";
const char* const kColorAndMaterial =
    "glmDraw() warning: color and material render mode requested using only material mode.\n";

// ---- Models built in memory, laid out as the reader lays them out --------

using namespace model_builder;

// A material of colour (r, g, b): ambient a quarter of it, a grey highlight.
void addColoured(GLMmodel* m, const char* name, float r, float g, float b, float shininess) {
  setColours(addMaterial(m, name), {r / 4, g / 4, b / 4, 1}, {r, g, b, 1}, {0.5f, 0.5f, 0.5f, 1},
             shininess);
}

// Two triangles of a unit square with every attribute. Each attribute uses
// its own indices so a swapped or misplaced attribute shows. Groups in list
// order: "blue" (triangle 1, material 2), "red" (triangle 0, material 1),
// "default" (no triangles, material 0).
GLMmodel* squareModel() {
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  setNormals(m, {0, 0, 1, 0, 0.6f, 0.8f, 0.6f, 0, 0.8f, 0, -0.6f, 0.8f});
  setTexcoords(m, {0, 0, 1, 0, 1, 1, 0, 1});
  setFacetNormals(m, {0, 0, 1, 0, 0, -1});
  setTriangles(m, {triangle(1, 2, 3, 4, 1, 2, 2, 3, 4, 2), triangle(1, 3, 4, 3, 4, 1, 1, 4, 3, 1)});
  addColoured(m, "default", 0.8f, 0.8f, 0.8f, 65);
  addColoured(m, "red", 1, 0, 0, 10);
  addColoured(m, "blue", 0, 0, 1, 20);
  addGroup(m, "default", {}, 0);
  addGroup(m, "red", {0}, 1);
  addGroup(m, "blue", {1}, 2);
  return m;
}

// The square stripped of the arrays not wanted; an array set to null is freed.
GLMmodel* squareWithout(bool normals, bool facetnorms, bool texcoords, bool materials) {
  GLMmodel* m = squareModel();
  auto drop = [](GLfloat*& array, GLuint& count) {
    free(array);
    array = nullptr;
    count = 0;
  };
  if (!normals) drop(m->normals, m->normalcount);
  if (!facetnorms) drop(m->facetnorms, m->facetnormcount);
  if (!texcoords) drop(m->texcoords, m->texcoordcount);
  if (!materials) {
    for (GLuint i = 0; i < m->materialcount; i++) free(m->materials[i].name);
    free(m->materials);
    m->materials = nullptr;
    m->materialcount = 0;
  }
  return m;
}

// ---- Naming the recorded calls -------------------------------------------

// "vertices[2]", "materials[1].diffuse", ... for a pointer into the model;
// the floats read at call time must equal those there now (the model does
// not change while drawing), else "(stale)" is added. A pointer elsewhere is
// "<foreign>": a copy or a stray address.
std::string pointerName(const GLMmodel* m, const GLCall& call) {
  auto matches = [&](const GLfloat* p) {
    return memcmp(p, call.values.data(), call.values.size() * sizeof(GLfloat)) == 0 ? ""
                                                                                    : " (stale)";
  };
  struct Array {
    const char* name;
    const GLfloat* base;
    GLuint count;
    size_t size;
  } arrays[] = {{"vertices", m->vertices, m->vertexcount, 3},
                {"normals", m->normals, m->normalcount, 3},
                {"texcoords", m->texcoords, m->texcoordcount, 2},
                {"facetnorms", m->facetnorms, m->facetnormcount, 3}};
  for (const Array& a : arrays) {
    if (!a.base || call.pointer < a.base) continue;
    size_t offset = size_t(call.pointer - a.base), length = (a.count + 1) * a.size;
    if (offset >= length) continue;
    if (offset % a.size || offset + call.values.size() > length) return "<misaligned>";
    return std::string(a.name) + "[" + std::to_string(offset / a.size) + "]" +
           matches(call.pointer);
  }
  for (GLuint j = 0; m->materials && j < m->materialcount; j++) {
    const GLMmaterial& mat = m->materials[j];
    std::string base = "materials[" + std::to_string(j) + "].";
    if (call.pointer == mat.ambient) return base + "ambient" + matches(call.pointer);
    if (call.pointer == mat.diffuse) return base + "diffuse" + matches(call.pointer);
    if (call.pointer == mat.specular) return base + "specular" + matches(call.pointer);
  }
  return "<foreign>";
}

Calls describe(const GLMmodel* m, const std::vector<GLCall>& calls) {
  Calls out;
  for (const GLCall& c : calls) {
    std::string args = c.args;
    if (c.pointer) args += (args.empty() ? "" : ", ") + pointerName(m, c);
    out.push_back(c.name + "(" + args + ")");
  }
  return out;
}

// The calls glmDraw(m, mode) makes, and what it printed.
Calls draw(GLMmodel* m, GLuint mode, std::string* printed = nullptr) {
  glRecorderReset();
  testing::internal::CaptureStdout();
  glmDraw(m, mode);
  std::string out = testing::internal::GetCapturedStdout();
  if (printed) *printed = out;
  return describe(m, glRecorderCalls());
}

std::string V(int k) { return "glVertex3fv(vertices[" + std::to_string(k) + "])"; }
std::string N(int k) { return "glNormal3fv(normals[" + std::to_string(k) + "])"; }
std::string F(int k) { return "glNormal3fv(facetnorms[" + std::to_string(k) + "])"; }
std::string T(int k) { return "glTexCoord2fv(texcoords[" + std::to_string(k) + "])"; }
std::string C(int j) { return "glColor3fv(materials[" + std::to_string(j) + "].diffuse)"; }
const std::string kBegin = "glBegin(GL_TRIANGLES)", kEnd = "glEnd()";

Calls materialOf(int j, const char* shininess) {
  std::string m = "materials[" + std::to_string(j) + "].";
  return {"glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, " + m + "ambient)",
          "glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, " + m + "diffuse)",
          "glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, " + m + "specular)",
          std::string("glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, ") + shininess + ")"};
}

Calls join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// ---- Mode 0 and normals ----------------------------------------------------

TEST(DrawModes, ZeroSendsOnlyVerticesOneBatchPerGroupInListOrder) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, 0, &printed), (Calls{kBegin, V(1), V(3), V(4), kEnd,  // blue
                                         kBegin, V(1), V(2), V(3), kEnd,  // red
                                         kBegin, kEnd}));                 // default, empty
  EXPECT_EQ(printed, "");
  glmDelete(m);
}

TEST(DrawModes, BitsBeyondTheFlagsAreIgnored) {
  GLMmodel* m = squareModel();
  EXPECT_EQ(draw(m, 0xffffffe0u | GLM_SMOOTH), draw(m, GLM_SMOOTH));
  EXPECT_EQ(draw(m, 0xffffffe0u), draw(m, 0));
  glmDelete(m);
}

TEST(DrawModes, FlatSendsFacetNormalOncePerTriangleBeforeItsFirstCorner) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_FLAT, &printed), (Calls{kBegin, F(1), V(1), V(3), V(4), kEnd, kBegin, F(2),
                                                V(1), V(2), V(3), kEnd, kBegin, kEnd}));
  EXPECT_EQ(printed, "");
  glmDelete(m);
}

TEST(DrawModes, SmoothSendsEachCornerNormalBeforeItsVertex) {
  GLMmodel* m = squareModel();
  EXPECT_EQ(draw(m, GLM_SMOOTH), (Calls{kBegin, N(1), V(1), N(4), V(3), N(3), V(4), kEnd, kBegin,
                                        N(2), V(1), N(3), V(2), N(4), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawModes, TextureGoesBetweenNormalAndVertex) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_SMOOTH | GLM_TEXTURE, &printed),
            (Calls{kBegin, N(1), T(3), V(1), N(4), T(4), V(3), N(3), T(1), V(4), kEnd,   kBegin,
                   N(2),   T(4), V(1), N(3), T(1), V(2), N(4), T(2), V(3), kEnd, kBegin, kEnd}));
  EXPECT_EQ(printed, "");
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_TEXTURE),
            (Calls{kBegin, F(1), T(3), V(1), T(4), V(3), T(1), V(4), kEnd,   kBegin,
                   F(2),   T(4), V(1), T(1), V(2), T(2), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawModes, TextureWithoutCoordinatesWarnsAndIsDropped) {
  GLMmodel* m = squareWithout(true, true, false, true);
  std::string printed;
  EXPECT_EQ(draw(m, GLM_TEXTURE, &printed), draw(m, 0));
  EXPECT_EQ(printed, kTextureNoCoords);
  glmDelete(m);
}

// ---- Flat against smooth ---------------------------------------------------

TEST(DrawFlatSmooth, BothArraysWarnOnceAndUseCornerNormals) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_SMOOTH, &printed), draw(m, GLM_SMOOTH));
  EXPECT_EQ(printed, kFlatAndSmooth);
  glmDelete(m);
}

TEST(DrawFlatSmooth, FacetNormalsOnlyWarnNoNormalsAndUseFacetNormals) {
  GLMmodel* m = squareWithout(false, true, true, true);
  std::string printed;
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_SMOOTH, &printed),
            (Calls{kBegin, F(1), V(1), V(3), V(4), kEnd, kBegin, F(2), V(1), V(2), V(3), kEnd,
                   kBegin, kEnd}));
  EXPECT_EQ(printed, kSmoothNoNormals);
  glmDelete(m);
}

TEST(DrawFlatSmooth, NormalsOnlyWarnNoFacetNormalsAndUseCornerNormals) {
  GLMmodel* m = squareWithout(true, false, true, true);
  std::string printed;
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_SMOOTH, &printed),
            (Calls{kBegin, N(1), V(1), N(4), V(3), N(3), V(4), kEnd, kBegin, N(2), V(1), N(3), V(2),
                   N(4), V(3), kEnd, kBegin, kEnd}));
  EXPECT_EQ(printed, kFlatNoFacets);
  glmDelete(m);
}

TEST(DrawFlatSmooth, NeitherArrayWarnsTwiceInOrderAndSendsNoNormals) {
  GLMmodel* m = squareWithout(false, false, true, true);
  std::string printed;
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_SMOOTH, &printed), draw(m, 0));
  EXPECT_EQ(printed, std::string(kFlatNoFacets) + kSmoothNoNormals);
  glmDelete(m);
}

// ---- Colour against material -------------------------------------------------

TEST(DrawColorMaterial, BothWithoutMaterialsWarnTwiceAndLeaveSwitchAlone) {
  GLMmodel* m = squareWithout(true, true, true, false);
  std::string printed;
  EXPECT_EQ(draw(m, GLM_COLOR | GLM_MATERIAL, &printed), draw(m, 0));
  EXPECT_EQ(printed, std::string(kColorNoMaterials) + kMaterialNoMaterials);
  EXPECT_EQ(draw(m, GLM_COLOR, &printed), draw(m, 0));
  EXPECT_EQ(printed, kColorNoMaterials);
  EXPECT_EQ(draw(m, GLM_MATERIAL, &printed), draw(m, 0));
  EXPECT_EQ(printed, kMaterialNoMaterials);
  glmDelete(m);
}

TEST(DrawColorMaterial, BothWithMaterialsWarnAndSendFullMaterialOnly) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_COLOR | GLM_MATERIAL, &printed), join({{"glDisable(GL_COLOR_MATERIAL)"},
                                                               materialOf(2, "20"),
                                                               {kBegin, V(1), V(3), V(4), kEnd},
                                                               materialOf(1, "10"),
                                                               {kBegin, V(1), V(2), V(3), kEnd},
                                                               materialOf(0, "65"),
                                                               {kBegin, kEnd}}));
  EXPECT_EQ(printed, kColorAndMaterial);
  glmDelete(m);
}

TEST(DrawColorMaterial, ColorAloneEnablesOnceAndSendsEachGroupsDiffuse) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_COLOR, &printed),
            (Calls{"glEnable(GL_COLOR_MATERIAL)", C(2), kBegin, V(1), V(3), V(4), kEnd, C(1),
                   kBegin, V(1), V(2), V(3), kEnd, C(0), kBegin, kEnd}));
  EXPECT_EQ(printed, "");
  // Red, green and blue of the diffuse colour only: alpha is not sent.
  glRecorderReset();
  glmDraw(m, GLM_COLOR);
  const GLCall& blue = glRecorderCalls()[1];
  EXPECT_EQ(blue.values, (std::vector<GLfloat>{0, 0, 1}));
  glmDelete(m);
}

TEST(DrawColorMaterial, ViewerModeSmoothMaterialPrintsNothing) {
  GLMmodel* m = squareModel();
  std::string printed;
  EXPECT_EQ(draw(m, GLM_SMOOTH | GLM_MATERIAL, &printed),
            join({{"glDisable(GL_COLOR_MATERIAL)"},
                  materialOf(2, "20"),
                  {kBegin, N(1), V(1), N(4), V(3), N(3), V(4), kEnd},
                  materialOf(1, "10"),
                  {kBegin, N(2), V(1), N(3), V(2), N(4), V(3), kEnd},
                  materialOf(0, "65"),
                  {kBegin, kEnd}}));
  EXPECT_EQ(printed, "");
  glmDelete(m);
}

TEST(DrawColorMaterial, MaterialValuesAreTheGroupsOwn) {
  GLMmodel* m = squareModel();
  glRecorderReset();
  glmDraw(m, GLM_MATERIAL);
  const auto& calls = glRecorderCalls();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(calls[1].values, (std::vector<GLfloat>{0, 0, 0.25f, 1}));  // blue ambient
  EXPECT_EQ(calls[2].values, (std::vector<GLfloat>{0, 0, 1, 1}));      // blue diffuse
  EXPECT_EQ(calls[3].values, (std::vector<GLfloat>{0.5f, 0.5f, 0.5f, 1}));
  EXPECT_EQ(calls[4].args, "GL_FRONT_AND_BACK, GL_SHININESS, 20");
  glmDelete(m);
}

// ---- Groups and repetition -------------------------------------------------

TEST(DrawGroups, EmptyGroupsGetTheirMaterialAndAnEmptyBatch) {
  GLMmodel* m = newModel();
  setVertices(m, {0, 0, 0});
  addColoured(m, "default", 0.8f, 0.8f, 0.8f, 65);
  addColoured(m, "green", 0, 1, 0, 5);
  addGroup(m, "default", {}, 0);
  addGroup(m, "green", {}, 1);
  EXPECT_EQ(draw(m, GLM_COLOR),
            (Calls{"glEnable(GL_COLOR_MATERIAL)", C(1), kBegin, kEnd, C(0), kBegin, kEnd}));
  EXPECT_EQ(draw(m, GLM_MATERIAL), join({{"glDisable(GL_COLOR_MATERIAL)"},
                                         materialOf(1, "5"),
                                         {kBegin, kEnd},
                                         materialOf(0, "65"),
                                         {kBegin, kEnd}}));
  glmDelete(m);
}

TEST(DrawGroups, ModelWithoutGroupsSendsOnlyTheSwitch) {
  GLMmodel* m = squareModel();
  GLMgroup* groups = m->groups;
  m->groups = nullptr;
  EXPECT_EQ(draw(m, GLM_SMOOTH | GLM_MATERIAL), (Calls{"glDisable(GL_COLOR_MATERIAL)"}));
  EXPECT_EQ(draw(m, GLM_SMOOTH), Calls{});
  m->groups = groups;
  glmDelete(m);
}

TEST(DrawGroups, RepeatedCallsRepeatCallsAndWarnings) {
  GLMmodel* m = squareWithout(true, false, true, true);
  const GLuint mode = GLM_FLAT | GLM_SMOOTH | GLM_TEXTURE | GLM_COLOR | GLM_MATERIAL;
  std::string first, second;
  Calls a = draw(m, mode, &first), b = draw(m, mode, &second);
  EXPECT_EQ(a, b);
  EXPECT_EQ(first, std::string(kFlatNoFacets) + kColorAndMaterial);
  EXPECT_EQ(second, first);
  glmDelete(m);
}

TEST(DrawGroups, ModelIsLeftUnchanged) {
  GLMmodel* m = squareModel();
  GLMtriangle before[2];
  memcpy(before, m->triangles, sizeof before);
  std::vector<GLfloat> normals(m->normals + 3, m->normals + 15);
  draw(m, GLM_FLAT | GLM_TEXTURE | GLM_MATERIAL);
  draw(m, GLM_SMOOTH | GLM_COLOR);
  EXPECT_EQ(memcmp(before, m->triangles, sizeof before), 0);
  EXPECT_EQ(normals, std::vector<GLfloat>(m->normals + 3, m->normals + 15));
  EXPECT_EQ(m->groups->material, 2u);
  glmDelete(m);
}

// ---- Display lists ---------------------------------------------------------

TEST(DrawList, CompilesOneDrawBetweenNewListAndEndList) {
  GLMmodel* m = squareModel();
  Calls drawn = draw(m, GLM_SMOOTH | GLM_MATERIAL);
  glRecorderReset(7);
  testing::internal::CaptureStdout();
  EXPECT_EQ(glmList(m, GLM_SMOOTH | GLM_MATERIAL), 7u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  Calls want = join({{"glGenLists(1)", "glNewList(7, GL_COMPILE)"}, drawn, {"glEndList()"}});
  EXPECT_EQ(describe(m, glRecorderCalls()), want);
  glmDelete(m);
}

TEST(DrawList, ReturnsTheNameUncheckedEvenZero) {
  GLMmodel* m = squareModel();
  glRecorderReset(0);
  EXPECT_EQ(glmList(m, 0), 0u);
  Calls calls = describe(m, glRecorderCalls());
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[1], "glNewList(0, GL_COMPILE)");
  EXPECT_EQ(calls.back(), "glEndList()");
  glRecorderReset(4000000000u);
  EXPECT_EQ(glmList(m, 0), 4000000000u);
  glmDelete(m);
}

TEST(DrawList, WarningsArePrintedOnceWhileCompiling) {
  GLMmodel* m = squareWithout(false, false, false, false);
  glRecorderReset(3);
  testing::internal::CaptureStdout();
  glmList(m, GLM_FLAT | GLM_SMOOTH | GLM_TEXTURE | GLM_COLOR | GLM_MATERIAL);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kFlatNoFacets) + kSmoothNoNormals +
                                                        kTextureNoCoords + kColorNoMaterials +
                                                        kMaterialNoMaterials);
  EXPECT_EQ(describe(m, glRecorderCalls()),
            (Calls{"glGenLists(1)", "glNewList(3, GL_COMPILE)", kBegin, V(1), V(3), V(4), kEnd,
                   kBegin, V(1), V(2), V(3), kEnd, kBegin, kEnd, "glEndList()"}));
  glmDelete(m);
}

TEST(DrawList, WarningsGoToTheMessageHandlerWhenThereIsOne) {
  GLMmodel* m = squareWithout(false, true, false, true);
  std::vector<std::string> got;
  glmSetMessageHandler(
      [](void* user, const char* message) {
        static_cast<std::vector<std::string>*>(user)->push_back(message);
      },
      &got);
  glRecorderReset(3);
  testing::internal::CaptureStdout();
  glmList(m, GLM_SMOOTH | GLM_TEXTURE);
  glmSetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::string joined;
  for (const std::string& line : got) joined += line + "\n";
  EXPECT_EQ(joined, std::string(kSmoothNoNormals) + kTextureNoCoords);
  glmDelete(m);
}

// ---- Indices that lead outside their arrays --------------------------------

TEST(DrawBadIndices, MissingCornerNormalIsNotSentOthersAre) {
  GLMmodel* m = squareModel();
  m->triangles[1].normalidx[1] = 0;  // a face read without normals on this corner
  m->triangles[1].normalidx[2] = 5;  // one beyond normalcount
  std::string printed;
  EXPECT_EQ(draw(m, GLM_SMOOTH, &printed),
            (Calls{kBegin, N(1), V(1), V(3), V(4), kEnd, kBegin, N(2), V(1), N(3), V(2), N(4), V(3),
                   kEnd, kBegin, kEnd}));
  EXPECT_EQ(printed, "");
  glmDelete(m);
}

TEST(DrawBadIndices, MissingTextureCoordinateIsNotSent) {
  GLMmodel* m = squareModel();
  m->triangles[0].texcoordidx[0] = 0;
  m->triangles[0].texcoordidx[2] = 0xffffffffu;
  EXPECT_EQ(draw(m, GLM_TEXTURE), (Calls{kBegin, T(3), V(1), T(4), V(3), T(1), V(4), kEnd, kBegin,
                                         V(1), T(1), V(2), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawBadIndices, UnsetFacetNormalIsNotSent) {
  GLMmodel* m = squareModel();
  m->triangles[1].facetnormidx = 0;  // facet normals made before this triangle was added
  m->triangles[0].facetnormidx = 3;
  EXPECT_EQ(draw(m, GLM_FLAT),
            (Calls{kBegin, V(1), V(3), V(4), kEnd, kBegin, V(1), V(2), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawBadIndices, TriangleWithBadVertexIsLeftOutWhole) {
  GLMmodel* m = squareModel();
  addTriangle(m, triangle(2, 0, 3, 1, 1, 1, 1, 1, 1, 1));
  addTriangle(m, triangle(2, 3, 5, 1, 1, 1, 1, 1, 1, 1));
  GLMgroup* blue = m->groups;
  blue->triangles = static_cast<GLuint*>(realloc(blue->triangles, 3 * sizeof(GLuint)));
  blue->triangles[0] = 2;
  blue->triangles[1] = 1;
  blue->triangles[2] = 3;
  blue->trianglecount = 3;
  EXPECT_EQ(draw(m, GLM_FLAT | GLM_TEXTURE),
            (Calls{kBegin, F(1), T(3), V(1), T(4), V(3), T(1), V(4), kEnd,   kBegin,
                   F(2),   T(4), V(1), T(1), V(2), T(2), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawBadIndices, GroupEntryBeyondTrianglesIsSkipped) {
  GLMmodel* m = squareModel();
  m->groups->next->triangles[0] = 2;  // "red" points one past the triangle array
  EXPECT_EQ(draw(m, 0), (Calls{kBegin, V(1), V(3), V(4), kEnd, kBegin, kEnd, kBegin, kEnd}));
  // A group claiming triangles without an index array, and a model claiming
  // triangles without a triangle array, draw empty batches.
  GLMgroup* blue = m->groups;
  GLuint* entries = blue->triangles;
  blue->triangles = nullptr;
  EXPECT_EQ(draw(m, 0), (Calls{kBegin, kEnd, kBegin, kEnd, kBegin, kEnd}));
  blue->triangles = entries;
  GLMtriangle* triangles = m->triangles;
  m->triangles = nullptr;
  EXPECT_EQ(draw(m, 0), (Calls{kBegin, kEnd, kBegin, kEnd, kBegin, kEnd}));
  m->triangles = triangles;
  glmDelete(m);
}

TEST(DrawBadIndices, GroupMaterialBeyondArrayFallsBackToMaterialZero) {
  GLMmodel* m = squareModel();
  m->groups->material = 3;  // "blue"
  EXPECT_EQ(draw(m, GLM_MATERIAL), join({{"glDisable(GL_COLOR_MATERIAL)"},
                                         materialOf(0, "65"),
                                         {kBegin, V(1), V(3), V(4), kEnd},
                                         materialOf(1, "10"),
                                         {kBegin, V(1), V(2), V(3), kEnd},
                                         materialOf(0, "65"),
                                         {kBegin, kEnd}}));
  EXPECT_EQ(draw(m, GLM_COLOR),
            (Calls{"glEnable(GL_COLOR_MATERIAL)", C(0), kBegin, V(1), V(3), V(4), kEnd, C(1),
                   kBegin, V(1), V(2), V(3), kEnd, C(0), kBegin, kEnd}));
  glmDelete(m);
}

TEST(DrawBadIndices, EmptyMaterialArraySendsNoMaterialButDraws) {
  GLMmodel* m = squareWithout(true, true, true, false);
  m->materials = static_cast<GLMmaterial*>(malloc(1));  // present, zero materials
  std::string printed;
  EXPECT_EQ(draw(m, GLM_MATERIAL, &printed),
            (Calls{"glDisable(GL_COLOR_MATERIAL)", kBegin, V(1), V(3), V(4), kEnd, kBegin, V(1),
                   V(2), V(3), kEnd, kBegin, kEnd}));
  EXPECT_EQ(printed, "");
  glmDelete(m);
}

TEST(DrawBadIndices, ZeroCountsFollowNothing) {
  GLMmodel* m = squareModel();
  m->vertexcount = 0;  // every vertex index is now beyond the array
  m->normalcount = 0;
  EXPECT_EQ(draw(m, GLM_SMOOTH | GLM_MATERIAL), join({{"glDisable(GL_COLOR_MATERIAL)"},
                                                      materialOf(2, "20"),
                                                      {kBegin, kEnd},
                                                      materialOf(1, "10"),
                                                      {kBegin, kEnd},
                                                      materialOf(0, "65"),
                                                      {kBegin, kEnd}}));
  m->vertexcount = 4;
  EXPECT_EQ(draw(m, GLM_SMOOTH),
            (Calls{kBegin, V(1), V(3), V(4), kEnd, kBegin, V(1), V(2), V(3), kEnd, kBegin, kEnd}));
  glmDelete(m);
}

// ---- Caller errors -----------------------------------------------------------

using DrawDeathTest = testing::Test;

TEST_F(DrawDeathTest, NullModelOrVerticesAbortNamingTheExpression) {
  GLMmodel* m = squareModel();
  GLfloat* vertices = m->vertices;
  EXPECT_DEATH(glmDraw(nullptr, 0), "glm.cpp.*Assertion `model' failed");
  EXPECT_DEATH(glmList(nullptr, 0), "glm.cpp.*Assertion `model' failed");
  m->vertices = nullptr;
  EXPECT_DEATH(glmDraw(m, GLM_SMOOTH), "glm.cpp.*Assertion `model->vertices' failed");
  EXPECT_DEATH(glmList(m, GLM_SMOOTH), "glm.cpp.*Assertion `model->vertices' failed");
  m->vertices = vertices;
  glmDelete(m);
}

}  // namespace
