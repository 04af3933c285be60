// The geometry operations one after another on a model read from OBJ text:
// weld a cube stored face by face, give it normals, texture coordinates,
// turn it inside out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "glm_internal.h"

namespace {

// A cube spanning -1..1 whose six quads each carry their own four corners
// (24 vertices), counter-clockwise from outside; the first face names a
// normal from the file.
std::string faceByFaceCube() {
  const int faces[6][4][3] = {
      {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},  // -z
      {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},      // +z
      {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},  // -y
      {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},      // +y
      {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},  // -x
      {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},      // +x
  };
  std::string text = "vn 0 0 -1\n";
  for (auto& face : faces)
    for (auto& p : face)
      text += "v " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " +
              std::to_string(p[2]) + "\n";
  text += "f 1//1 2//1 3//1 4//1\n";
  for (int f = 1; f < 6; f++) {
    text += "f";
    for (int c = 1; c <= 4; c++) text += " " + std::to_string(4 * f + c);
    text += "\n";
  }
  return text;
}

GLMmodel* readCube() {
  std::string text = faceByFaceCube();
  char error[256] = "";
  GLMmodel* m =
      glmReadOBJText("cube.obj", text.data(), text.size(), nullptr, nullptr, error, sizeof error);
  EXPECT_NE(m, nullptr) << error;
  return m;
}

const GLfloat* at(const GLfloat* array, GLuint index) { return array + 3 * index; }

TEST(GeometryPipeline, WeldedCubeSmoothsIntoEightOutwardNormals) {
  GLMmodel* m = readCube();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->vertexcount, 24u);
  ASSERT_EQ(m->trianglecount, 12u);

  glmWeld(m, 1e-4f);
  ASSERT_EQ(m->vertexcount, 8u);
  glmFacetNormals(m);
  for (GLuint t = 0; t < 12; t++) {
    const GLfloat* n = at(m->facetnorms, m->triangles[t].facetnormidx);
    EXPECT_EQ(std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]), 1.0f) << t;  // an axis
  }

  // Beyond 90 degrees the three faces at every corner join: one unit normal
  // per vertex, pointing away from the centre on every axis (not along the
  // diagonal: a face whose two triangles meet at the corner counts twice).
  glmVertexNormals(m, 100);
  ASSERT_EQ(m->normalcount, 8u);
  for (GLuint t = 0; t < 12; t++)
    for (int c = 0; c < 3; c++) {
      const GLfloat* v = at(m->vertices, m->triangles[t].vertexidx[c]);
      const GLfloat* n = at(m->normals, m->triangles[t].normalidx[c]);
      EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1, 1e-6);
      for (int k = 0; k < 3; k++) EXPECT_GT(n[k] * v[k], 0.3f) << t;
    }

  // At 90 degrees nothing joins across an edge: every corner's normal is its face's.
  glmVertexNormals(m, 90);
  EXPECT_GT(m->normalcount, 8u);
  for (GLuint t = 0; t < 12; t++)
    for (int c = 0; c < 3; c++) {
      const GLfloat* f = at(m->facetnorms, m->triangles[t].facetnormidx);
      const GLfloat* n = at(m->normals, m->triangles[t].normalidx[c]);
      for (int k = 0; k < 3; k++) EXPECT_NEAR(n[k], f[k], 1e-6);
    }

  glmSpheremapTexture(m);
  EXPECT_EQ(m->texcoordcount, m->normalcount);
  for (GLuint t = 0; t < 12; t++)
    for (int c = 0; c < 3; c++)
      EXPECT_EQ(m->triangles[t].texcoordidx[c], m->triangles[t].normalidx[c]);

  glmLinearTexture(m);  // the cube is centred: u and v cover 0..1
  EXPECT_EQ(m->texcoordcount, 8u);
  for (GLuint i = 1; i <= 8; i++)
    for (int k = 0; k < 2; k++) {
      GLfloat u = m->texcoords[2 * i + k];
      EXPECT_TRUE(u == 0.0f || u == 1.0f) << i;
    }
  glmDelete(m);
}

TEST(GeometryPipeline, FaceWithoutFileNormalsGetsNoTextureIndex) {
  GLMmodel* m = readCube();
  ASSERT_NE(m, nullptr);
  // Only the first face named a normal; the others' normal indices are 0.
  EXPECT_EQ(m->normalcount, 1u);
  glmSpheremapTexture(m);
  for (GLuint t = 0; t < 12; t++)
    for (int c = 0; c < 3; c++) {
      GLuint n = m->triangles[t].normalidx[c];
      EXPECT_EQ(m->triangles[t].texcoordidx[c], n <= 1 ? n : 0u);
    }
  glmDelete(m);
}

TEST(GeometryPipeline, ReversedCubeFacesInward) {
  GLMmodel* m = readCube();
  ASSERT_NE(m, nullptr);
  glmWeld(m, 1e-4f);
  glmFacetNormals(m);
  glmReverseWinding(m);
  std::string flipped(reinterpret_cast<char*>(m->facetnorms + 3), 12 * 3 * sizeof(GLfloat));
  glmFacetNormals(m);  // computed from the reversed corners
  for (GLuint i = 1; i <= 12; i++)
    for (int k = 0; k < 3; k++) {
      const GLfloat* f = at(m->facetnorms, i);
      EXPECT_EQ(f[k], reinterpret_cast<const GLfloat*>(flipped.data())[3 * (i - 1) + k]);
      const GLfloat* p = at(m->vertices, m->triangles[i - 1].vertexidx[0]);
      if (f[k] != 0) {
        EXPECT_LT(f[k] * p[k], 0) << "triangle " << i - 1 << " faces outward";
      }
    }
  glmDelete(m);
}

}  // namespace
