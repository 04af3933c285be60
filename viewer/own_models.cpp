// Models given on the command line: each read before the window opens,
// made drawable as people export them (normals, a material), unitized, and
// the view that shows its two copies whole.
#include "scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Share of the picture's half-width and half-height the copies may fill:
// the rest is the margin all round.
static const float kFill = 0.85f;
// Space between the two copies, in the units of a unitized model (whose
// largest side is 2).
static const float kGap = 0.2f;

// One line on standard error, exit status 1: nothing else is printed and no
// window opens.
[[noreturn]] static void refuse(const char* message) {
  fprintf(stderr, "%s\n", message);
  exit(1);
}

// True when every corner of every triangle names one of the model's normals.
static bool hasNormals(const GLMmodel* m) {
  if (!m->normals) return false;
  for (GLuint i = 0; i < m->trianglecount; ++i)
    for (int k = 0; k < 3; ++k)
      if (m->triangles[i].normalidx[k] - 1 >= m->normalcount) return false;
  return true;
}

// A model without a material library gets the one material it would have
// had with an empty library: "default", with the library's default colours.
static void giveDefaultMaterial(GLMmodel* m) {
  GLMmaterial* material = (GLMmaterial*)malloc(sizeof(GLMmaterial));
  const GLMmaterial defaults = {strdup("default"),
                                {0.8f, 0.8f, 0.8f, 1.0f},
                                {0.2f, 0.2f, 0.2f, 1.0f},
                                {0.0f, 0.0f, 0.0f, 1.0f},
                                65.0f};
  *material = defaults;
  m->materials = material;
  m->materialcount = 1;
  for (GLMgroup* group = m->groups; group; group = group->next) group->material = 0;
}

// Half the bounding box of the unitized model on each axis (it is centred on
// the origin), and where its copies go.
static void measure(ownModel& own) {
  const GLMmodel* m = own.model;
  float half[3] = {0.0f, 0.0f, 0.0f};
  for (GLuint i = 1; i <= m->vertexcount; ++i)
    for (int axis = 0; axis < 3; ++axis)
      half[axis] = fmaxf(half[axis], fabsf(m->vertices[3 * i + axis]));
  own.halfWidth = half[0];
  own.halfHeight = half[1];
  own.halfDepth = half[2];
  own.offset = own.halfWidth + kGap / 2;
}

void readOwnModels(const char* const* files, int count) {
  for (int i = 0; i < count; ++i) {
    char error[512];
    GLMmodel* m = glmTryReadOBJ(files[i], error, sizeof error);
    if (!m) refuse(error);
    if (m->trianglecount == 0) {
      snprintf(error, sizeof error, "%s: no faces to draw", files[i]);
      refuse(error);
    }
    if (!hasNormals(m)) {
      glmFacetNormals(m);
      glmVertexNormals(m, 90.0f);
    }
    if (!m->materials) giveDefaultMaterial(m);
    glmUnitize(m);
    ownModels[i].file = files[i];
    ownModels[i].model = m;
    measure(ownModels[i]);
  }
  ownModelCount = count;
}

float fittedDistance(const ownModel& m, float aspect) {
  // Camera on the z axis looking at the origin, 40 degrees from top to
  // bottom. The box's near face (z = halfDepth) looks largest, so it decides:
  // both copies span x = -(offset + halfWidth) .. offset + halfWidth.
  const float tanHalf = tanf(20.0f * 3.14159265f / 180.0f);
  float across = (m.offset + m.halfWidth) / (aspect * tanHalf * kFill);
  float up = m.halfHeight / (tanHalf * kFill);
  return m.halfDepth + fmaxf(across, up);
}
