// Writing a model and reading the file back gives the same model (groups in
// the same order with the same names, the same materials), and writing that
// again gives the same files byte for byte. A group name the reader cannot
// give (not empty and not starting with white space) comes back with the
// blank that follows "g"; a model without the reader's own "default" group
// or material gets them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "glm_internal.h"
#include "support/model_builder.h"

namespace {

using namespace model_builder;

// The float that reading the text "%f" makes of v prints back as.
float throughText(float v) {
  char text[128];
  snprintf(text, sizeof text, "%f", double(v));
  return strtof(text, nullptr);
}

bool sameBits(float a, float b) { return memcmp(&a, &b, sizeof a) == 0; }

// count items of `size` floats of `got` equal the text-rounded `want`.
void expectRounded(const GLfloat* got, GLuint gotCount, const GLfloat* want, GLuint wantCount,
                   int size, const char* what) {
  ASSERT_EQ(gotCount, wantCount) << what;
  if (wantCount == 0) {
    if (got != nullptr && std::string(what) != "vertices") ADD_FAILURE() << what << " not null";
    return;
  }
  ASSERT_NE(got, nullptr) << what;
  for (size_t i = size; i < size_t(wantCount + 1) * size; i++)
    if (!sameBits(got[i], throughText(want[i]))) {
      ADD_FAILURE() << what << " float " << i << ": read " << got[i] << ", wrote " << want[i];
      return;
    }
}

struct Files {
  std::string obj, mtl, out;
};

// Writes m with `mode` as name in dir; the MTL text when there is one.
Files writeModel(GLMmodel* m, const std::string& dir, const char* name, GLuint mode) {
  testing::internal::CaptureStdout();
  glmWriteOBJ(m, (dir + name).c_str(), mode);
  Files f;
  f.out = testing::internal::GetCapturedStdout();
  f.obj = readFile(dir + name);
  if ((mode & GLM_MATERIAL) && m->mtllib) f.mtl = readFile(dir + m->mtllib);
  return f;
}

GLMmodel* readModel(const std::string& path) {
  char error[512] = "";
  testing::internal::CaptureStdout();
  GLMmodel* r = glmTryReadOBJ(path.c_str(), error, sizeof error);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(r) << error;
  EXPECT_EQ(out, "");
  return r;
}

// The name a group of m reads back as: the reader's own "default" (m's
// oldest group of that name) and names that are empty or start with white
// space as they are, any other with the blank after "g" in front.
std::string readBackName(const GLMgroup* g, bool readers) {
  const char c = g->name[0];
  if (readers || c == '\0' || c == ' ' || c == '\t' || c == '\r') return g->name;
  return " " + std::string(g->name);
}

// m's groups, oldest first.
std::vector<const GLMgroup*> oldestFirst(const GLMmodel* m) {
  std::vector<const GLMgroup*> list;
  for (const GLMgroup* g = m->groups; g; g = g->next) list.insert(list.begin(), g);
  return list;
}

// Writes m with `mode` (a mode the writer keeps as it is), reads it back and
// checks the model and a second write.
void expectRoundTrip(GLMmodel* m, GLuint mode) {
  SCOPED_TRACE("mode " + std::to_string(mode));
  const bool smooth = mode & GLM_SMOOTH, flat = mode & GLM_FLAT, texture = mode & GLM_TEXTURE;
  const bool library = (mode & GLM_MATERIAL) && m->mtllib;
  std::string dir = scratchDir();
  Files first = writeModel(m, dir, "first.obj", mode);
  ASSERT_EQ(first.out, "") << "not a mode the writer keeps";
  GLMmodel* r = readModel(dir + "first.obj");
  ASSERT_TRUE(r);

  // Coordinates as the text rounds them; facet normals come back as normals.
  expectRounded(r->vertices, r->vertexcount, m->vertices, m->vertexcount, 3, "vertices");
  if (smooth)
    expectRounded(r->normals, r->normalcount, m->normals, m->normalcount, 3, "normals");
  else if (flat)
    expectRounded(r->normals, r->normalcount, m->facetnorms, m->facetnormcount, 3, "normals");
  else
    expectRounded(r->normals, r->normalcount, nullptr, 0, 3, "normals");
  if (texture)
    expectRounded(r->texcoords, r->texcoordcount, m->texcoords, m->texcoordcount, 2, "texcoords");
  else
    expectRounded(r->texcoords, r->texcoordcount, nullptr, 0, 2, "texcoords");
  EXPECT_EQ(r->facetnorms, nullptr);

  // Materials: the same ones; the reader's own "default" in front when m
  // has none.
  const bool ownDefault = m->materialcount && strcmp(m->materials[0].name, "default") == 0;
  if (library) {
    EXPECT_STREQ(r->mtllib, m->mtllib);
    const GLuint added = ownDefault ? 0 : 1;
    ASSERT_EQ(r->materialcount, m->materialcount + added);
    EXPECT_STREQ(r->materials[0].name, "default");
    for (GLuint i = 0; i < m->materialcount; i++) {
      const GLMmaterial &a = m->materials[i], &b = r->materials[i + added];
      EXPECT_STREQ(b.name, a.name);
      for (int c = 0; c < 3; c++) {
        EXPECT_TRUE(sameBits(b.ambient[c], throughText(a.ambient[c])));
        EXPECT_TRUE(sameBits(b.diffuse[c], throughText(a.diffuse[c])));
        EXPECT_TRUE(sameBits(b.specular[c], throughText(a.specular[c])));
      }
      EXPECT_EQ(b.ambient[3], 1);
      EXPECT_EQ(b.diffuse[3], 1);
      EXPECT_EQ(b.specular[3], 1);
      EXPECT_EQ(b.shininess, a.shininess);  // whole numbers convert exactly
    }
  } else {
    EXPECT_EQ(r->mtllib, nullptr);
    EXPECT_EQ(r->materials, nullptr);
  }

  // Groups in the same order under the names they read back as (the
  // reader's own "default" last, added when m has none); corners by value.
  EXPECT_EQ(r->trianglecount, m->trianglecount);
  const std::vector<const GLMgroup*> mine = oldestFirst(m), read = oldestFirst(r);
  const bool readers = !mine.empty() && strcmp(mine[0]->name, "default") == 0;
  ASSERT_EQ(read.size(), mine.size() + (readers ? 0 : 1));
  EXPECT_STREQ(read[0]->name, "default");
  for (size_t n = 0; n < mine.size(); n++) {
    const GLMgroup* g = mine[n];
    const GLMgroup* rg = read[n + (readers ? 0 : 1)];
    ASSERT_EQ(rg->name, readBackName(g, readers && n == 0));
    ASSERT_EQ(rg->trianglecount, g->trianglecount) << g->name;
    if (library) {
      EXPECT_STREQ(r->materials[rg->material].name, m->materials[g->material].name);
      testing::internal::CaptureStdout();
      EXPECT_EQ(rg->material, glmFindMaterial(r, m->materials[g->material].name));
      testing::internal::GetCapturedStdout();
    }
    for (GLuint i = 0; i < g->trianglecount; i++) {
      const GLMtriangle& a = m->triangles[g->triangles[i]];
      const GLMtriangle& b = r->triangles[rg->triangles[i]];
      for (int k = 0; k < 3; k++) {
        EXPECT_EQ(b.vertexidx[k], a.vertexidx[k]);
        if (texture) {
          EXPECT_EQ(b.texcoordidx[k], a.texcoordidx[k]);
        }
        if (smooth) {
          EXPECT_EQ(b.normalidx[k], a.normalidx[k]);
        }
        if (flat) {
          EXPECT_EQ(b.normalidx[k], a.facetnormidx);
        }
      }
    }
  }

  // Writing what was read gives the same files (facet normals are now plain
  // normals).
  GLuint again = flat ? (mode & ~GLuint(GLM_FLAT)) | GLM_SMOOTH : mode;
  if ((mode & GLM_MATERIAL) && !library) again &= ~GLuint(GLM_MATERIAL);
  Files second = writeModel(r, dir, "second.obj", again);
  EXPECT_EQ(second.out, "");
  EXPECT_TRUE(second.obj == first.obj) << "second write:\n"
                                       << second.obj.substr(0, 2000) << "\nfirst:\n"
                                       << first.obj.substr(0, 2000);
  EXPECT_EQ(second.mtl, first.mtl);
  // And the same model writes the same bytes every time.
  EXPECT_TRUE(writeModel(m, dir, "third.obj", mode).obj == first.obj);
  glmDelete(r);
}

// Every mode the writer keeps for a model with all arrays.
const GLuint kAllModes[] = {0,
                            GLM_TEXTURE,
                            GLM_SMOOTH,
                            GLM_FLAT,
                            GLM_SMOOTH | GLM_TEXTURE,
                            GLM_FLAT | GLM_TEXTURE,
                            GLM_MATERIAL,
                            GLM_SMOOTH | GLM_TEXTURE | GLM_MATERIAL,
                            GLM_FLAT | GLM_TEXTURE | GLM_MATERIAL,
                            GLM_FLAT | GLM_MATERIAL};

// A random model: every triangle in exactly one group, indices in range,
// odd group names, empty groups, materials with whole-number shininess.
GLMmodel* randomModel(uint32_t seed, bool normals, bool texcoords, bool facets) {
  Rng rng(seed);
  GLMmodel* m = newModel();
  auto coordinate = [&rng]() -> float {
    switch (rng.below(6)) {
      case 0: return rng.uniform(-1, 1);
      case 1: return rng.uniform(-1e4f, 1e4f);
      case 2: return rng.uniform(-1e-5f, 1e-5f);  // rounds to (-)0.000000 or a few millionths
      case 3: return float(int(rng.below(2001)) - 1000) / 8;
      case 4: return rng.below(2) ? -0.0f : 0.0f;
      default: return rng.uniform(-3e9f, 3e9f);
    }
  };
  auto array = [&](GLuint count, int size) {
    std::vector<float> v(size_t(count) * size);
    for (float& x : v) x = coordinate();
    return v;
  };
  GLuint nv = 1 + rng.below(200), nn = normals ? 1 + rng.below(100) : 0,
         nt = texcoords ? 1 + rng.below(100) : 0, ntri = rng.below(300);
  setVertices(m, array(nv, 3));
  setNormals(m, array(nn, 3));
  setTexcoords(m, array(nt, 2));
  if (facets) setFacetNormals(m, array(ntri, 3));
  std::vector<GLMtriangle> triangles;
  for (GLuint i = 0; i < ntri; i++) {
    GLMtriangle t = triangle(1 + rng.below(nv), 1 + rng.below(nv), 1 + rng.below(nv));
    for (int k = 0; k < 3; k++) {
      t.normalidx[k] = nn ? 1 + rng.below(nn) : 0;
      t.texcoordidx[k] = nt ? 1 + rng.below(nt) : 0;
    }
    t.facetnormidx = facets ? i + 1 : 0;
    triangles.push_back(t);
  }
  setTriangles(m, triangles);

  // Material 0 is the reader's "default", which a library may change.
  GLMmaterial& own = addMaterial(m, "default");
  if (rng.below(2)) setColours(own, {0.5f, 0.25f, 0, 1}, {0.125f, 1, 0.75f, 1}, {1, 1, 1, 1}, 12);
  GLuint materials = 1 + rng.below(5);
  for (GLuint i = 1; i < materials; i++) {
    GLMmaterial& mat = addMaterial(m, ("mat_" + std::to_string(i)).c_str());
    for (int c = 0; c < 3; c++) {
      mat.ambient[c] = rng.uniform(0, 1);
      mat.diffuse[c] = rng.uniform(0, 1);
      mat.specular[c] = rng.uniform(0, 1);
    }
    mat.shininess = float(rng.below(129));
  }
  setMtllib(m, "random.mtl");

  const std::string longName(300, 'n');  // longer than a 128-byte line buffer
  // No two read back alike ("body" reads back as " body").
  const char* names[] = {"default", "",           longName.c_str(), " ",        "body",
                         "  body",  "a b",        "trailing  ",     "\tTab",    "#not a comment",
                         "g",       "carriage\r", "caf\xc3\xa9",    "default ", "x/y\\z"};
  const GLuint groupCount = 1 + rng.below(GLuint(sizeof names / sizeof *names));
  std::vector<std::vector<GLuint>> members(groupCount);
  for (GLuint i = 0; i < ntri; i++) members[rng.below(groupCount)].push_back(i);
  for (GLuint g = 0; g < groupCount; g++) {
    // Any order within a group: the writer follows the group's array.
    for (size_t i = members[g].size(); i > 1; i--)
      std::swap(members[g][i - 1], members[g][rng.below(GLuint(i))]);
    addGroup(m, names[g], members[g], rng.below(materials));
  }
  return m;
}

TEST(RoundTrip, SquareWithEveryAttributeInEveryMode) {
  GLMmodel* m = fullSquare();
  for (GLuint mode : kAllModes) expectRoundTrip(m, mode);
  glmDelete(m);
}

TEST(RoundTrip, RandomModelsInEveryMode) {
  for (uint32_t seed = 1; seed <= 40; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    GLMmodel* m = randomModel(seed, true, true, true);
    for (GLuint mode : kAllModes) expectRoundTrip(m, mode);
    glmDelete(m);
    if (HasFailure()) break;
  }
}

TEST(RoundTrip, ModelsWithoutNormalsOrTextureCoordinates) {
  for (uint32_t seed = 100; seed < 110; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    GLMmodel* bare = randomModel(seed, false, false, false);
    for (GLuint mode : {0, GLM_MATERIAL}) expectRoundTrip(bare, mode);
    GLMmodel* textured = randomModel(seed, false, true, false);
    for (GLuint mode : {0, GLM_TEXTURE, GLM_TEXTURE | GLM_MATERIAL})
      expectRoundTrip(textured, mode);
    GLMmodel* lit = randomModel(seed, true, false, false);
    for (GLuint mode : {0, GLM_SMOOTH, GLM_SMOOTH | GLM_MATERIAL}) expectRoundTrip(lit, mode);
    glmDelete(bare);
    glmDelete(textured);
    glmDelete(lit);
  }
}

TEST(RoundTrip, EmptyModel) {
  GLMmodel* m = newModel();
  addGroup(m, "default", {});
  expectRoundTrip(m, 0);
  glmDelete(m);
}

// Materials without a library name: the file names materials no library
// holds, so reading it back maps every group to material 0 with a message.
TEST(RoundTrip, MaterialUsesWithoutLibraryReadBackAsUnknown) {
  GLMmodel* m = randomModel(7, true, true, false);
  setMtllib(m, nullptr);
  std::string dir = scratchDir();
  Files f = writeModel(m, dir, "nolib.obj", GLM_MATERIAL);
  EXPECT_EQ(f.out, "");
  testing::internal::CaptureStdout();
  GLMmodel* r = glmReadOBJ((dir + "nolib.obj").c_str());
  std::string out = testing::internal::GetCapturedStdout();
  // One message per "usemtl" line: every group's, oldest first, but the
  // reader's own group's when it has material 0.
  std::string expected;
  for (const GLMgroup* g : oldestFirst(m))
    if (!(g == oldestFirst(m)[0] && g->material == 0))
      expected += "glmFindMaterial():  can't find material \"" +
                  std::string(m->materials[g->material].name) + "\".\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(r->materials, nullptr);
  for (GLMgroup* g = r->groups; g; g = g->next) EXPECT_EQ(g->material, 0u);
  glmDelete(r);
  glmDelete(m);
}

// A model read from a file, written in every mode it allows and read again.
TEST(RoundTrip, ModelReadFromAFile) {
  GLMmodel* m = glmReadOBJ(CELSHADE_TEST_DATA "/cube.obj");
  ASSERT_NE(m->normals, nullptr);
  ASSERT_NE(m->texcoords, nullptr);
  // Its shininess values (from Ns 250 and Ns 1000) come back exactly: the
  // written Ns text reads back to the float first read.
  for (GLuint mode : {0, GLM_TEXTURE, GLM_SMOOTH, GLM_SMOOTH | GLM_TEXTURE,
                      GLM_SMOOTH | GLM_TEXTURE | GLM_MATERIAL})
    expectRoundTrip(m, mode);
  glmDelete(m);
}

// A model whose faces mix forms: corners without a normal or texture
// coordinate are written with index 0 and read back as none.
TEST(RoundTrip, FacesMixingFormsReadBackWithZeroIndicesAsNone) {
  GLMmodel* m = glmReadOBJ(CELSHADE_TEST_DATA "/mixed.obj");
  ASSERT_NE(m->normals, nullptr);
  ASSERT_NE(m->texcoords, nullptr);
  bool noNormal = false, noTexcoord = false;
  for (GLuint i = 0; i < m->trianglecount; i++) {
    noNormal |= m->triangles[i].normalidx[0] == 0;
    noTexcoord |= m->triangles[i].texcoordidx[0] == 0;
  }
  ASSERT_TRUE(noNormal && noTexcoord) << "the model no longer mixes forms";
  std::string dir = scratchDir();
  Files f = writeModel(m, dir, "mixed.obj", GLM_SMOOTH | GLM_TEXTURE);
  EXPECT_NE(f.obj.find("/0 "), std::string::npos) << f.obj;
  expectRoundTrip(m, GLM_SMOOTH | GLM_TEXTURE);
  setMtllib(m, "mixed.mtl");  // written beside the model, no subdirectory
  expectRoundTrip(m, GLM_SMOOTH | GLM_TEXTURE | GLM_MATERIAL);
  glmDelete(m);
}

}  // namespace
