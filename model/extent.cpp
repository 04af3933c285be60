// The extent of a model: its dimensions, unitizing and scaling.
#include "glm_internal.h"

#include <cmath>

GLfloat glmMax(GLfloat a, GLfloat b) { return b > a ? b : a; }

GLfloat glmAbs(GLfloat f) { return f < 0 ? -f : f; }

namespace {

struct Box {
  GLfloat max[3], min[3];
};

// The box starts at vertex 1; a coordinate replaces a bound only when it is
// strictly beyond it. Needs at least one vertex.
Box boundingBox(const GLMmodel* model) {
  Box box;
  for (int c = 0; c < 3; c++) box.max[c] = box.min[c] = model->vertices[3 + c];
  for (GLuint i = 1; i <= model->vertexcount; i++) {
    for (int c = 0; c < 3; c++) {
      GLfloat v = model->vertices[3 * size_t(i) + c];
      if (v > box.max[c]) box.max[c] = v;
      if (v < box.min[c]) box.min[c] = v;
    }
  }
  return box;
}

}  // namespace

GLvoid glmDimensions(GLMmodel* model, GLfloat* dimensions) {
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  GLM_ASSERT(dimensions);
  if (model->vertexcount == 0) {
    dimensions[0] = dimensions[1] = dimensions[2] = 0;
    return;
  }
  Box box = boundingBox(model);
  for (int c = 0; c < 3; c++) dimensions[c] = glmAbs(box.max[c]) + glmAbs(box.min[c]);
}

GLfloat glmUnitize(GLMmodel* model) {
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  if (model->vertexcount == 0) return 1;
  Box box = boundingBox(model);
  GLfloat w = glmAbs(box.max[0]) + glmAbs(box.min[0]);
  GLfloat h = glmAbs(box.max[1]) + glmAbs(box.min[1]);
  GLfloat d = glmAbs(box.max[2]) + glmAbs(box.min[2]);
  GLfloat centre[3];
  for (int c = 0; c < 3; c++) centre[c] = (box.max[c] + box.min[c]) / 2;
  const GLfloat largest = glmMax(glmMax(w, h), d);
  GLfloat scale = 2 / largest;
  // Every vertex at the origin has no finite scale, and a box too large for
  // float arithmetic (an extent or centre beyond float) no meaningful one:
  // leave the vertices alone rather than fill them with infinities, NaNs or
  // zeros.
  if (!std::isfinite(largest) || !std::isfinite(scale) || !std::isfinite(centre[0]) ||
      !std::isfinite(centre[1]) || !std::isfinite(centre[2]))
    return 1;
  for (GLuint i = 1; i <= model->vertexcount; i++) {
    GLfloat* v = &model->vertices[3 * size_t(i)];
    for (int c = 0; c < 3; c++) {
      v[c] -= centre[c];
      v[c] *= scale;
    }
  }
  return scale;
}

GLvoid glmScale(GLMmodel* model, GLfloat scale) {
  GLM_ASSERT(model);
  for (GLuint i = 1; i <= model->vertexcount; i++)
    for (int c = 0; c < 3; c++) model->vertices[3 * size_t(i) + c] *= scale;
}
