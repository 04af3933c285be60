// Generated texture coordinates: planar from the vertices' x and z, or a
// sphere map from the normals' directions.
#include "glm_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace texture_detail {
namespace {

// Replaces the model's texture coordinates with `count` fresh, unwritten
// pairs (slot 0 included, never written).
GLfloat* replaceTexcoords(GLMmodel* model, GLuint count) {
  free(model->texcoords);
  model->texcoordcount = count;
  model->texcoords = static_cast<GLfloat*>(allocArray(size_t(count) + 1, 2 * sizeof(GLfloat)));
  return model->texcoords;
}

// Points the texture indices of every grouped triangle at the coordinate
// made for its corner's vertex (`useNormals` false) or normal (true). An
// index with nothing behind it (0 or past its array) gives texture index 0,
// "none", which nothing follows. Group entries past the triangle array are
// skipped.
void indexGroupedTriangles(GLMmodel* model, bool useNormals) {
  const GLuint count = model->texcoordcount;
  const GLuint triangles = model->triangles ? model->trianglecount : 0;
  for (GLMgroup* group = model->groups; group; group = group->next) {
    if (!group->triangles) continue;
    for (GLuint i = 0; i < group->trianglecount; i++) {
      if (group->triangles[i] >= triangles) continue;
      GLMtriangle& t = model->triangles[group->triangles[i]];
      for (int c = 0; c < 3; c++) {
        GLuint index = useNormals ? t.normalidx[c] : t.vertexidx[c];
        t.texcoordidx[c] = GLuint(index - 1) < count ? index : 0;
      }
    }
  }
}

// The normal n scaled by a power of two (which keeps the ratios of its
// components exact) so that its largest component lies in [0.5, 1) when it
// lies outside [2^-60, 2^60], where squares summed in float would overflow
// or underflow. Others, zero and non-finite ones, are taken as they are.
inline void inSquaresRange(const GLfloat* n, GLfloat& x, GLfloat& y, GLfloat& z) {
  x = n[0], y = n[1], z = n[2];
  const GLfloat largest = std::max(std::fabs(x), std::max(std::fabs(y), std::fabs(z)));
  if (largest == 0 || !std::isfinite(largest) || (largest >= 0x1p-60f && largest <= 0x1p60f))
    return;
  int exponent;
  std::frexp(largest, &exponent);
  x = std::ldexp(x, -exponent), y = std::ldexp(y, -exponent), z = std::ldexp(z, -exponent);
}

// An argument of acos or asin pulled back into [-1, 1]; only a normal so
// short that its squares lose precision strays outside. NaN stays NaN.
inline double unitClamp(double a) { return a > 1 ? 1 : a < -1 ? -1 : a; }

}  // namespace
}  // namespace texture_detail

// Planar coordinates from x and z: u = x / D + 1/2, v = z / D + 1/2 with D
// the largest dimension glmDimensions reports. One pair per vertex. A model
// whose largest dimension is 0 (every vertex at the origin, or no vertex)
// or too small for 2 / D to be finite uses scale 1, so every vertex at the
// origin maps to (0.5, 0.5).
GLvoid glmLinearTexture(GLMmodel* model) {
  using namespace texture_detail;
  GLM_ASSERT(model);
  GLfloat* texcoords = replaceTexcoords(model, model->vertexcount);

  GLfloat dimensions[3];
  glmDimensions(model, dimensions);
  GLfloat scale = 2 / glmAbs(glmMax(glmMax(dimensions[0], dimensions[1]), dimensions[2]));
  if (!std::isfinite(scale)) scale = 1;

  for (size_t i = 1; i <= model->vertexcount; i++) {
    const GLfloat* v = model->vertices + 3 * i;
    GLfloat x = v[0] * scale;
    GLfloat z = v[2] * scale;
    texcoords[2 * i + 0] = GLfloat((double(x) + 1) / 2);
    texcoords[2 * i + 1] = GLfloat((double(z) + 1) / 2);
  }
  indexGroupedTriangles(model, false);
}

// Sphere-map coordinates from each normal's direction: v = angle to +x / pi,
// u = direction in the y-z plane (0 at -y, pi at +y) / pi. One pair per
// normal. Lengths do not matter, however large or small (vn 0 1e20 0 maps
// like vn 0 1 0); a normal along x or of zero length gives (0, 0).
GLvoid glmSpheremapTexture(GLMmodel* model) {
  using namespace texture_detail;
  GLM_ASSERT(model);
  GLM_ASSERT(model->normals);
  GLfloat* texcoords = replaceTexcoords(model, model->normalcount);

  for (size_t i = 1; i <= model->normalcount; i++) {
    GLfloat x, y, z;
    inSquaresRange(model->normals + 3 * i, x, y, z);
    const GLfloat r = GLfloat(sqrt(double(z * z + y * y)));
    const GLfloat rho = GLfloat(sqrt(double(r * r + x * x)));
    GLfloat theta = 0, phi = 0;
    if (r != 0) {
      // acos(0) in float; the theta constant is two units in the last place
      // below it, so a normal with y = 0 gets u = 0.49999994.
      phi = x == 0 ? 1.5707964f : GLfloat(acos(unitClamp(double(x / rho))));
      theta = y == 0 ? 1.5707961f : GLfloat(asin(unitClamp(double(y / r))) + 1.570796325);
    }
    texcoords[2 * i + 0] = GLfloat(double(theta) / 3.14159265);
    texcoords[2 * i + 1] = GLfloat(double(phi) / 3.14159265);
  }
  indexGroupedTriangles(model, true);
}
