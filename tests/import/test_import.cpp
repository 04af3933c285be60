// importModel on small files the tests write: ASCII STL and PLY, a glTF
// with its buffer, OBJ text under another name; the reader chosen by the
// name, the model's shape, the node transforms, materials and the errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "import.h"
#include "support/model_builder.h"
#include "support/scene_files.h"

namespace {

using namespace model_builder;
using namespace scene_files;

// Reads `path`, failing the test with the message when it cannot.
GLMmodel* read(const std::string& path, GLuint flags = 0) {
  std::string error;
  GLMmodel* m = importModel(path.c_str(), flags, error);
  EXPECT_NE(m, nullptr) << error;
  EXPECT_EQ(error, "");
  return m;
}

// The message of a read that must fail.
std::string failure(const std::string& path, GLuint flags = 0) {
  std::string error;
  GLMmodel* m = importModel(path.c_str(), flags, error);
  EXPECT_EQ(m, nullptr) << path;
  if (m) glmDelete(m);
  return error;
}

TEST(ImportByName, DotObjInAnyCaseGoesToTheProjectsReaderWithItsFlags) {
  std::string dir = scratchDir();
  writeFile(dir + "BAD.OBJ", "v 0 0 0\nv 1 0 0\nf 1 2 9\n");
  EXPECT_EQ(failure(dir + "BAD.OBJ"), dir + "BAD.OBJ:3: face index out of range: `f 1 2 9`");
  writeFile(dir + "lost.Obj", "mtllib none.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  EXPECT_EQ(failure(dir + "lost.Obj"), dir + "none.mtl: can't open material file");
  testing::internal::CaptureStderr();  // the optional library's warning
  GLMmodel* m = read(dir + "lost.Obj", GLM_READ_OPTIONAL_LIBRARIES);
  testing::internal::GetCapturedStderr();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->trianglecount, 1u);
  glmDelete(m);
}

#if !CELSHADE_ASSIMP

TEST(ImportByName, WithoutAssimpOtherFilesAreRefused) {
  std::string dir = scratchDir();
  writeFile(dir + "part.stl", "solid part\nendsolid part\n");
  EXPECT_EQ(failure(dir + "part.stl"),
            dir + "part.stl: only OBJ files can be read (this celshade was built without assimp)");
}

#else

// Checks what every model must hold: "default" last in a list of
// groupcount uniquely named groups, every triangle in exactly one group,
// every index in range, and materials named where groups use them.
void expectWellFormed(const GLMmodel* m) {
  ASSERT_NE(m->vertices, nullptr);
  std::vector<int> owners(m->trianglecount, 0);
  std::set<std::string> names;
  GLuint groups = 0;
  const GLMgroup* last = nullptr;
  for (const GLMgroup* g = m->groups; g; g = g->next, groups++) {
    last = g;
    EXPECT_TRUE(names.insert(g->name).second) << "two groups named " << g->name;
    EXPECT_NE(g->name[0], '\0');
    EXPECT_TRUE(m->materials ? g->material < m->materialcount : g->material == 0) << g->name;
    for (GLuint i = 0; i < g->trianglecount; i++) {
      ASSERT_LT(g->triangles[i], m->trianglecount);
      owners[g->triangles[i]]++;
    }
  }
  EXPECT_EQ(groups, m->groupcount);
  ASSERT_NE(last, nullptr);
  EXPECT_STREQ(last->name, "default");
  for (GLuint t = 0; t < m->trianglecount; t++) {
    EXPECT_EQ(owners[t], 1) << "triangle " << t;
    const GLMtriangle& tri = m->triangles[t];
    for (int k = 0; k < 3; k++) {
      EXPECT_GE(tri.vertexidx[k], 1u);
      EXPECT_LE(tri.vertexidx[k], m->vertexcount);
      // A model with normals (texture coordinates) gives one to every corner.
      const GLuint n = tri.normalidx[k], t = tri.texcoordidx[k];
      EXPECT_TRUE(m->normals ? n >= 1 && n <= m->normalcount : n == 0) << "normal " << n;
      EXPECT_TRUE(m->texcoords ? t >= 1 && t <= m->texcoordcount : t == 0) << "texcoord " << t;
    }
  }
  std::set<std::string> materials;
  for (GLuint i = 0; i < m->materialcount; i++)
    EXPECT_TRUE(materials.insert(m->materials[i].name).second) << m->materials[i].name;
  if (m->materials) {
    EXPECT_STREQ(m->materials[0].name, "default");
  }
}

// Reads `path` and checks the model's invariants; null when it cannot be read.
GLMmodel* readWellFormed(const std::string& path) {
  GLMmodel* m = read(path);
  if (m) expectWellFormed(m);
  return m;
}

// The group names from newest to "default".
std::vector<std::string> groupNames(const GLMmodel* m) {
  std::vector<std::string> names;
  for (const GLMgroup* g = m->groups; g; g = g->next) names.push_back(g->name);
  return names;
}

const GLMgroup* group(const GLMmodel* m, const char* name) {
  for (const GLMgroup* g = m->groups; g; g = g->next)
    if (strcmp(g->name, name) == 0) return g;
  ADD_FAILURE() << "no group " << name;
  return nullptr;
}

const GLfloat* vertexOf(const GLMmodel* m, const GLMtriangle& t, int k) {
  return &m->vertices[3 * t.vertexidx[k]];
}

void expectVector(const GLfloat* v, float x, float y, float z) {
  EXPECT_NEAR(v[0], x, 1e-6f);
  EXPECT_NEAR(v[1], y, 1e-6f);
  EXPECT_NEAR(v[2], z, 1e-6f);
}

TEST(ImportStl, FacetsBecomeOneGroupWithTheirNormals) {
  std::string dir = scratchDir();
  writeFile(dir + "bracket.stl", kBracketStl);
  GLMmodel* m = readWellFormed(dir + "bracket.stl");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertexcount, 6u);
  EXPECT_EQ(m->trianglecount, 2u);
  EXPECT_EQ(groupNames(m), (std::vector<std::string>{"bracket", "default"}));
  EXPECT_EQ(m->texcoords, nullptr);
  EXPECT_EQ(m->facetnorms, nullptr);
  EXPECT_EQ(m->mtllib, nullptr);
  EXPECT_STREQ(m->path, (dir + "bracket.stl").c_str());
  ASSERT_NE(m->normals, nullptr);
  const GLMtriangle& down = m->triangles[1];
  expectVector(vertexOf(m, down, 1), 0, 1, 1);
  for (int k = 0; k < 3; k++) expectVector(&m->normals[3 * down.normalidx[k]], 0, 0, -1);
  // A file without materials is drawn in the library's colours, not in the
  // white of assimp's stand-in.
  const GLMmaterial& drawn = m->materials[m->groups->material];
  EXPECT_EQ(drawn.diffuse[0], 0.8f);
  EXPECT_EQ(drawn.specular[0], 0.0f);
  glmDelete(m);
}

TEST(ImportPly, PolygonsAreTriangulatedAndTextureCoordinatesKept) {
  std::string dir = scratchDir();
  writeFile(dir + "tile.ply",
            "ply\nformat ascii 1.0\nelement vertex 5\n"
            "property float x\nproperty float y\nproperty float z\n"
            "property float s\nproperty float t\n"
            "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
            "0 0 0 0 0\n2 0 0 1 0\n2 2 0 1 1\n0 2 0 0 1\n1 3 0 0.5 0.25\n"
            "4 0 1 2 3\n3 3 2 4\n");
  GLMmodel* m = readWellFormed(dir + "tile.ply");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertexcount, 5u);
  EXPECT_EQ(m->trianglecount, 3u);  // the quad in two
  EXPECT_EQ(m->normals, nullptr);   // given by the viewer as for a bare OBJ
  ASSERT_NE(m->texcoords, nullptr);
  EXPECT_EQ(m->texcoordcount, 5u);
  // Each corner's texture coordinate is its own vertex's.
  for (GLuint t = 0; t < m->trianglecount; t++)
    for (int k = 0; k < 3; k++) {
      const GLfloat* v = vertexOf(m, m->triangles[t], k);
      const GLfloat* uv = &m->texcoords[2 * m->triangles[t].texcoordidx[k]];
      if (v[0] == 1 && v[1] == 3) {
        EXPECT_EQ(uv[0], 0.5f);
      } else {
        EXPECT_EQ(uv[0], v[0] / 2);
      }
    }
  EXPECT_EQ(m->materials[m->groups->material].diffuse[1], 0.8f);
  glmDelete(m);
}

TEST(ImportGltf, EveryPlacedMeshIsAGroupWhereItsNodesPutIt) {
  std::string dir = scratchDir();
  writeGltf(dir, true);
  GLMmodel* m = readWellFormed(dir + "parts.gltf");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertexcount, 12u);
  EXPECT_EQ(m->trianglecount, 4u);
  // Depth first, newest first; the unnamed mesh is named by assimp.
  std::vector<std::string> names = groupNames(m);
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.end()),
            (std::vector<std::string>{"Wing.3", "Wing.2", "Wing", "default"}));

  const GLMgroup* left = group(m, "Wing");
  const GLMgroup* mirror = group(m, "Wing.2");
  const GLMgroup* stretched = group(m, "Wing.3");
  const GLMgroup* tail = group(m, names[0].c_str());
  ASSERT_TRUE(left && mirror && stretched && tail);
  const GLMtriangle& moved = m->triangles[left->triangles[0]];
  expectVector(vertexOf(m, moved, 1), 11, 0, 0);
  // The mirror image keeps its front face counter-clockwise: corners 1 and
  // 2 trade places, and its normal is mirrored too.
  const GLMtriangle& mirrored = m->triangles[mirror->triangles[0]];
  expectVector(vertexOf(m, mirrored, 0), 0, 0, 0);
  expectVector(vertexOf(m, mirrored, 1), 0, 1, 0);
  expectVector(vertexOf(m, mirrored, 2), -1, 0, 0);
  expectVector(&m->normals[3 * mirrored.normalidx[0]], -0.6f, 0.8f, 0);
  // Stretching x by 2 turns the normal by the inverse transpose, (0.3, 0.8,
  // 0), made unit length.
  const GLMtriangle& wide = m->triangles[stretched->triangles[0]];
  expectVector(vertexOf(m, wide, 1), 2, 0, 0);
  const float length = std::sqrt(0.3f * 0.3f + 0.8f * 0.8f);
  expectVector(&m->normals[3 * wide.normalidx[2]], 0.3f / length, 0.8f / length, 0);
  // The child node: moved by (1, 5, 0), then stretched with its parent.
  const GLMtriangle& up = m->triangles[tail->triangles[0]];
  expectVector(vertexOf(m, up, 1), 4, 5, 0);
  expectVector(vertexOf(m, up, 2), 2, 6, 0);

  // glTF's v runs down the picture: assimp turns it to OpenGL's (1 - v).
  const GLfloat* uv = &m->texcoords[2 * moved.texcoordidx[2]];
  EXPECT_EQ(uv[0], 0.0f);
  EXPECT_EQ(uv[1], 0.0f);
  // The tail mesh has no texture coordinates: its corners share one (0, 0).
  EXPECT_EQ(m->texcoordcount, 10u);
  for (int k = 0; k < 3; k++) EXPECT_EQ(up.texcoordidx[k], 10u);
  EXPECT_EQ(m->texcoords[20], 0.0f);
  EXPECT_EQ(m->texcoords[21], 0.0f);

  // Materials: "default", then the scene's, blanks as '_'.
  ASSERT_GE(m->materialcount, 3u);
  ASSERT_EQ(left->material, 1u);
  const GLMmaterial& red = m->materials[1];
  EXPECT_STREQ(red.name, "red_paint");
  EXPECT_EQ(red.diffuse[0], 1.0f);
  EXPECT_EQ(red.diffuse[1], 0.0f);
  EXPECT_EQ(red.diffuse[3], 1.0f);
  ASSERT_EQ(tail->material, 2u);
  const GLMmaterial& glossy = m->materials[2];
  EXPECT_STREQ(glossy.name, "material2");  // unnamed in the file
  EXPECT_EQ(glossy.diffuse[1], 1.0f);
  EXPECT_EQ(glossy.specular[0], 0.5f);
  EXPECT_EQ(glossy.shininess, 64.0f);  // glossiness 0.5: assimp's 500 of 1000
  EXPECT_EQ(glossy.ambient[0], 0.2f);  // glTF says nothing of ambient
  glmDelete(m);
}

TEST(ImportGltf, NormalsOnlyWhenEveryMeshHasThem) {
  std::string dir = scratchDir();
  writeGltf(dir, false);
  GLMmodel* m = readWellFormed(dir + "parts.gltf");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->normals, nullptr);
  EXPECT_EQ(m->normalcount, 0u);
  EXPECT_EQ(m->trianglecount, 4u);
  glmDelete(m);
}

TEST(ImportMaterials, ObjTextUnderAnotherNameGoesToAssimpWithTheSameColours) {
  std::string dir = scratchDir();
  const std::string obj =
      "mtllib box.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
      "usemtl shiny\nf 1 2 3\nusemtl default\nf 2 4 3\n";
  writeFile(dir + "box.obj", obj);
  writeFile(dir + "box.txt", obj);
  writeFile(dir + "box.mtl",
            "newmtl shiny\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nNs 250\n"
            "newmtl default\nKd 0 0 1\n");
  GLMmodel* own = read(dir + "box.obj");
  GLMmodel* other = read(dir + "box.txt");
  ASSERT_TRUE(own && other);
  expectWellFormed(other);
  EXPECT_EQ(other->trianglecount, 2u);
  GLuint shiny = 0, taken = 0;
  for (GLuint i = 0; i < other->materialcount; i++) {
    if (strcmp(other->materials[i].name, "shiny") == 0) shiny = i;
    if (strcmp(other->materials[i].name, "default.2") == 0) taken = i;
  }
  ASSERT_NE(shiny, 0u);
  ASSERT_NE(taken, 0u);  // "default" is the model's own material 0
  EXPECT_EQ(other->materials[taken].diffuse[2], 1.0f);
  const GLMmaterial& a = own->materials[glmFindMaterial(own, "shiny")];
  const GLMmaterial& b = other->materials[shiny];
  EXPECT_EQ(0, memcmp(a.ambient, b.ambient, sizeof a.ambient));
  EXPECT_EQ(0, memcmp(a.diffuse, b.diffuse, sizeof a.diffuse));
  EXPECT_EQ(0, memcmp(a.specular, b.specular, sizeof a.specular));
  EXPECT_EQ(a.shininess, b.shininess);
  EXPECT_EQ(b.shininess, 32.0f);
  glmDelete(own);
  glmDelete(other);
}

TEST(ImportErrors, UnreadableFilesGiveAssimpsReasonAndFacelessOnesSaySo) {
  std::string dir = scratchDir();
  writeFile(dir + "noise.xyz", "nothing a reader knows\n");
  std::string error = failure(dir + "noise.xyz");
  EXPECT_EQ(error.rfind(dir + "noise.xyz: ", 0), 0u) << error;
  EXPECT_GT(error.size(), dir.size() + 11) << "no reason: " << error;

  // A name of control and stray bytes comes back escaped in the file and in
  // assimp's reason; whole UTF-8 characters stay as they are.
  const std::string odd = dir + "n\x01o\xff-\xc3\xa9.ply";
  const std::string shown = dir + "n\\x01o\\xff-\xc3\xa9.ply";
  error = failure(odd);
  EXPECT_EQ(error.rfind(shown + ": ", 0), 0u) << error;
  EXPECT_NE(error.find(shown, shown.size()), std::string::npos) << error;
  for (char c : error) EXPECT_FALSE((unsigned char)c < 0x20 || c == 0x7f) << error;

  writeFile(dir + "cloud.ply",
            "ply\nformat ascii 1.0\nelement vertex 3\n"
            "property float x\nproperty float y\nproperty float z\nend_header\n"
            "0 0 0\n1 0 0\n0 1 0\n");
  EXPECT_EQ(failure(dir + "cloud.ply"), dir + "cloud.ply: no faces to draw");
  writeFile(dir + "empty.stl", "solid nothing\nendsolid nothing\n");
  EXPECT_EQ(failure(dir + "empty.stl"), dir + "empty.stl: no faces to draw");
}

#endif

}  // namespace
