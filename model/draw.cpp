// Drawing: a model sent to OpenGL in immediate mode, group by group, or
// compiled into a display list.
#include "glm_internal.h"

#include <cstddef>

namespace draw_detail {
namespace {

// The warnings of glmDraw's mode checks, in the order they are made.
const char* const kDrawWarnings[7] = {
    "flat render mode requested with no facet normals defined.",
    "smooth render mode requested with no normals defined.",
    "texture render mode requested with no texture coordinates defined.",
    "flat render mode requested and smooth render mode requested (using smooth).",
    "color render mode requested with no materials defined.",
    "material render mode requested with no materials defined.",
    "color and material render mode requested using only material mode.",
};

// A 1-based vector array of `count` items of `size` floats, read from the
// model once per draw (the model does not change while it is drawn).
struct Items {
  const GLfloat* array;
  GLuint count;
  size_t size;

  // Item `index`, or null when the index is 0 ("none") or beyond the count:
  // such an index must never be followed, and slot 0 holds nothing. One
  // compare: index 0 wraps around to the largest unsigned value.
  const GLfloat* operator[](GLuint index) const {
    return GLuint(index - 1) < count ? array + size * index : nullptr;
  }
};

// The material a group is drawn with. A material index beyond the array
// (only a hand-built model has one) falls back to material 0, which is
// where the reader sends names it cannot find; null when there is none.
GLMmaterial* groupMaterial(const GLMmodel* model, const GLMgroup* group) {
  if (group->material < model->materialcount) return &model->materials[group->material];
  return model->materialcount ? &model->materials[0] : nullptr;
}

}  // namespace
}  // namespace draw_detail

// Sends the model group by group, one GL_TRIANGLES batch each, with the
// attributes the resolved mode selects; per corner: normal, texture
// coordinate, vertex, each a pointer into the model's own arrays.
// Indices that lead outside their array are not followed: a missing normal
// or texture coordinate is not sent (the previous current value applies),
// and a triangle with a bad vertex index, or a group entry beyond the
// triangle array, is left out whole so the batch stays in threes.
GLvoid glmDraw(GLMmodel* model, GLuint mode) {
  using namespace draw_detail;
  // Walking state; it outlives a call but each call starts it afresh.
  static GLMgroup* group;
  static GLMmaterial* material;
  static GLMtriangle* triangle;
  static GLuint i;

  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);

  mode = resolveMode(model, mode, "glmDraw", kDrawWarnings);
  if (mode & GLM_COLOR)
    glEnable(GL_COLOR_MATERIAL);
  else if (mode & GLM_MATERIAL)
    glDisable(GL_COLOR_MATERIAL);

  const Items vertices{model->vertices, model->vertexcount, 3};
  const Items normals{model->normals, model->normalcount, 3};
  const Items texcoords{model->texcoords, model->texcoordcount, 2};
  const Items facetnorms{model->facetnorms, model->facetnormcount, 3};
  GLMtriangle* const triangles = model->triangles;
  const GLuint trianglecount = triangles ? model->trianglecount : 0;
  for (group = model->groups; group; group = group->next) {
    material = (mode & (GLM_MATERIAL | GLM_COLOR)) ? groupMaterial(model, group) : nullptr;
    if (material && (mode & GLM_MATERIAL)) {
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material->ambient);
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material->diffuse);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material->specular);
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
    }
    if (material && (mode & GLM_COLOR)) glColor3fv(material->diffuse);

    glBegin(GL_TRIANGLES);
    const GLuint* const entries = group->triangles;
    const GLuint count = entries ? group->trianglecount : 0;
    for (i = 0; i < count; i++) {
      if (entries[i] >= trianglecount) continue;
      triangle = &triangles[entries[i]];
      const GLfloat* v[3] = {vertices[triangle->vertexidx[0]], vertices[triangle->vertexidx[1]],
                             vertices[triangle->vertexidx[2]]};
      if (!v[0] || !v[1] || !v[2]) continue;

      if (mode & GLM_FLAT) {
        if (const GLfloat* n = facetnorms[triangle->facetnormidx]) glNormal3fv(n);
      }
      for (int k = 0; k < 3; k++) {
        if (mode & GLM_SMOOTH) {
          if (const GLfloat* n = normals[triangle->normalidx[k]]) glNormal3fv(n);
        }
        if (mode & GLM_TEXTURE) {
          if (const GLfloat* t = texcoords[triangle->texcoordidx[k]]) glTexCoord2fv(t);
        }
        glVertex3fv(v[k]);
      }
    }
    glEnd();
  }
}

// Compiles (does not execute) glmDraw(model, mode) into a new display list
// and returns its name exactly as glGenLists gave it, 0 included.
GLuint glmList(GLMmodel* model, GLuint mode) {
  // Checked before a list is opened so a caller error never leaves one open.
  GLM_ASSERT(model);
  GLM_ASSERT(model->vertices);
  GLuint name = glGenLists(1);
  glNewList(name, GL_COMPILE);
  glmDraw(model, mode);
  glEndList();
  return name;
}
