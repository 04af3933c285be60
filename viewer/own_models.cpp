// Models given on the command line: each read before the window opens,
// made drawable as people export them (normals, a material), unitized, and
// the view that shows its two copies whole.
#include "scene.h"

#include <import.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Normals for a model exported without them. Such models often carry
// vertices no triangle uses, and the library warns once for each of them:
// the first warning of a run is shown, the rest are counted.
static void computeNormals(GLMmodel* m) {
  struct Repeats {
    std::string last;
    unsigned long more = 0;
    void flush() {
      if (more) fprintf(stderr, "(%lu more like it)\n", more);
      more = 0;
    }
  } repeats;
  glmSetMessageHandler(
      [](void* user, const char* message) {
        Repeats& r = *static_cast<Repeats*>(user);
        if (r.last == message) {
          r.more++;
          return;
        }
        r.flush();
        fprintf(stderr, "%s\n", message);
        r.last = message;
      },
      &repeats);
  glmFacetNormals(m);
  glmVertexNormals(m, 90.0f);
  glmSetMessageHandler(nullptr, nullptr);
  repeats.flush();
}

// Where the copies of the unitized model (centred on the origin) go: each
// half its width from the middle, and half the gap.
static void placeCopies(ownModel& own) {
  const GLMmodel* m = own.model;
  float halfWidth = 0.0f;
  for (GLuint i = 1; i <= m->vertexcount; ++i)
    halfWidth = fmaxf(halfWidth, fabsf(m->vertices[3 * i]));
  own.offset = halfWidth + kGap / 2;
}

void readOwnModels(const char* const* files, int count) {
  // All are read and checked before any is changed, so that a bad last
  // file stops the run before the others print anything.
  for (int i = 0; i < count; ++i) {
    char error[512];
    std::string reason;
    GLMmodel* m = importModel(files[i], 0, reason);
    if (!m) refuse(reason.c_str());
    if (m->trianglecount == 0) {
      snprintf(error, sizeof error, "%s: no faces to draw", files[i]);
      refuse(error);
    }
    ownModels[i].file = files[i];
    ownModels[i].model = m;
  }
  for (int i = 0; i < count; ++i) {
    GLMmodel* m = ownModels[i].model;
    if (!hasNormals(m)) computeNormals(m);
    if (!m->materials) giveDefaultMaterial(m);
    glmUnitize(m);
    placeCopies(ownModels[i]);
  }
  ownModelCount = count;
}

float fittedDistance(const ownModel& own, float aspect) {
  // Camera on the z axis looking at the origin, 40 degrees from top to
  // bottom. A vertex at depth z is inside the picture when the eye is far
  // enough from it for its x (moved out by the copy's offset) and its y.
  const float tanHalf = tanf(20.0f * 3.14159265f / 180.0f);
  const float across = 1.0f / (aspect * tanHalf * kFill), up = 1.0f / (tanHalf * kFill);
  const GLMmodel* m = own.model;
  float distance = 0.0f;
  for (GLuint i = 1; i <= m->vertexcount; ++i) {
    const GLfloat* v = &m->vertices[3 * i];
    float x = fabsf(v[0]) + own.offset, y = fabsf(v[1]);
    distance = fmaxf(distance, v[2] + fmaxf(x * across, y * up));
  }
  return distance;
}
