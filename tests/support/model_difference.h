// Compares two models' contents: what the reader fills in from a file.
// Shared by the reader benchmark (which checks glmReadOBJ against its stdio
// baseline) and the OBJ fuzz harness (which checks the whole-line shortcuts
// against statement-by-statement reading).
#ifndef CELSHADE_TESTS_MODEL_DIFFERENCE_H
#define CELSHADE_TESTS_MODEL_DIFFERENCE_H

#include <glm.h>

#include <cstring>
#include <string>

// First difference between the two models' contents, or "" when they agree.
// Floats compare bit for bit. Slot 0 of the vector arrays and facetnormidx
// are not compared: neither holds anything read from a file.
inline std::string modelDifference(const GLMmodel* a, const GLMmodel* b) {
  auto sameFloats = [](const GLfloat* x, const GLfloat* y, size_t n) {
    return (!x && !y) || (x && y && memcmp(x, y, n * sizeof(GLfloat)) == 0);
  };
  auto sameText = [](const char* x, const char* y) {
    return (!x && !y) || (x && y && !strcmp(x, y));
  };
  if (a->vertexcount != b->vertexcount || a->normalcount != b->normalcount ||
      a->texcoordcount != b->texcoordcount || a->trianglecount != b->trianglecount ||
      a->groupcount != b->groupcount || a->materialcount != b->materialcount)
    return "counts differ";
  if (!sameFloats(a->vertices + 3, b->vertices + 3, 3 * size_t(a->vertexcount)))
    return "vertices differ";
  if (!sameFloats(a->normalcount ? a->normals + 3 : nullptr,
                  b->normalcount ? b->normals + 3 : nullptr, 3 * size_t(a->normalcount)))
    return "normals differ";
  if (!sameFloats(a->texcoordcount ? a->texcoords + 2 : nullptr,
                  b->texcoordcount ? b->texcoords + 2 : nullptr, 2 * size_t(a->texcoordcount)))
    return "texture coordinates differ";
  for (GLuint i = 0; i < a->trianglecount; i++) {
    const GLMtriangle &s = a->triangles[i], &t = b->triangles[i];
    if (memcmp(s.vertexidx, t.vertexidx, sizeof s.vertexidx) ||
        memcmp(s.normalidx, t.normalidx, sizeof s.normalidx) ||
        memcmp(s.texcoordidx, t.texcoordidx, sizeof s.texcoordidx))
      return "triangle " + std::to_string(i) + " differs";
  }
  for (const GLMgroup *g = a->groups, *h = b->groups; g; g = g->next, h = h->next) {
    if (!sameText(g->name, h->name) || g->trianglecount != h->trianglecount ||
        g->material != h->material ||
        (g->trianglecount && memcmp(g->triangles, h->triangles, g->trianglecount * sizeof(GLuint))))
      return std::string("group \"") + (g->name ? g->name : "") + "\" differs";
  }
  if (!sameText(a->mtllib, b->mtllib)) return "library names differ";
  for (GLuint i = 0; i < a->materialcount; i++) {
    const GLMmaterial &m = a->materials[i], &n = b->materials[i];
    if (!sameText(m.name, n.name) || memcmp(m.diffuse, n.diffuse, sizeof m.diffuse) ||
        memcmp(m.ambient, n.ambient, sizeof m.ambient) ||
        memcmp(m.specular, n.specular, sizeof m.specular) ||
        memcmp(&m.shininess, &n.shininess, sizeof m.shininess))
      return std::string("material \"") + (m.name ? m.name : "") + "\" differs";
  }
  return "";
}

#endif  // CELSHADE_TESTS_MODEL_DIFFERENCE_H
