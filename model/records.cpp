// Model records and what every operation leans on: allocation, names and
// paths, the mode check, material look-up, extent and unitizing, and the
// report of a failed assertion.
#include "glm_internal.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Internal helpers ---------------------------------------------------

void assertionFailed(const char* expression, const char* file, unsigned line,
                     const char* function) noexcept {
  fprintf(stderr, "%s: glm.cpp: %s:%u: %s: Assertion `%s' failed.\n",
          program_invocation_short_name, file, line, function, expression);
  abort();
}

GLfloat glmMax(GLfloat a, GLfloat b) { return b > a ? b : a; }

GLfloat glmAbs(GLfloat f) { return f < 0 ? -f : f; }

namespace {

[[noreturn]] void outOfMemory(size_t bytes) {
  fprintf(stderr, "glm: out of memory (%zu bytes)\n", bytes);
  exit(1);
}

}  // namespace

void* allocArray(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) {
    fprintf(stderr, "glm: out of memory (%zu items of %zu bytes)\n", count, size);
    exit(1);
  }
  size_t bytes = count * size;
  void* p = malloc(bytes ? bytes : 1);
  if (!p) outOfMemory(bytes);
  return p;
}

char* copyName(std::string_view name) {
  char* copy = static_cast<char*>(malloc(name.size() + 1));
  if (!copy) return nullptr;
  memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  return copy;
}

char* copyString(const char* s) {
  char* copy = copyName(s);
  if (!copy) outOfMemory(strlen(s) + 1);
  return copy;
}

std::string glmDirName(const char* path) {
  const char* slash = strrchr(path, '/');
  return std::string(path, slash ? size_t(slash - path) + 1 : 0);
}

std::string pathBeside(const char* path, std::string_view name) {
  return glmDirName(path).append(name);
}

GLuint resolveMode(const GLMmodel* model, GLuint mode, const char* who,
                   const char* const warnings[7]) {
  // Each check sees the mode as the checks before it left it.
  auto check = [&](int k, bool fires, GLuint flag) {
    if (!fires) return;
    emitMessage(stdout, "%s() warning: %s", who, warnings[k]);
    mode &= ~flag;
  };
  check(0, (mode & GLM_FLAT) && !model->facetnorms, GLM_FLAT);
  check(1, (mode & GLM_SMOOTH) && !model->normals, GLM_SMOOTH);
  check(2, (mode & GLM_TEXTURE) && !model->texcoords, GLM_TEXTURE);
  check(3, (mode & GLM_FLAT) && (mode & GLM_SMOOTH), GLM_FLAT);
  check(4, (mode & GLM_COLOR) && !model->materials, GLM_COLOR);
  check(5, (mode & GLM_MATERIAL) && !model->materials, GLM_MATERIAL);
  check(6, (mode & GLM_COLOR) && (mode & GLM_MATERIAL), GLM_COLOR);
  return mode;
}

// ---- Records --------------------------------------------------------------

GLvoid glmDelete(GLMmodel* model) {
  GLM_ASSERT(model);
  free(model->path);
  free(model->mtllib);
  free(model->vertices);
  free(model->normals);
  free(model->texcoords);
  free(model->facetnorms);
  free(model->triangles);
  if (model->materials) {
    for (GLuint i = 0; i < model->materialcount; i++) free(model->materials[i].name);
    free(model->materials);
  }
  while (GLMgroup* group = model->groups) {
    model->groups = group->next;
    free(group->name);
    free(group->triangles);
    free(group);
  }
  free(model);
}

GLMgroup* glmFindGroup(GLMmodel* model, const char* name) {
  GLM_ASSERT(model);
  for (GLMgroup* group = model->groups; group; group = group->next)
    if (strcmp(name, group->name) == 0) return group;
  return nullptr;
}

GLMgroup* glmAddGroup(GLMmodel* model, const char* name) {
  if (GLMgroup* found = glmFindGroup(model, name)) return found;
  GLMgroup* group = static_cast<GLMgroup*>(allocArray(1, sizeof(GLMgroup)));
  group->name = copyString(name);
  group->trianglecount = 0;
  group->triangles = nullptr;
  group->material = 0;
  group->next = model->groups;
  model->groups = group;
  model->groupcount++;
  return group;
}

bool findMaterial(const GLMmodel* model, const char* name, GLuint& index) {
  if (model->materials)
    for (GLuint i = 0; i < model->materialcount; i++)
      if (strcmp(model->materials[i].name, name) == 0) return index = i, true;
  return false;
}

void reportMissingMaterial(const char* name) {
  emitMessage(stdout, "glmFindMaterial():  can't find material \"%s\".", name);
}

GLuint glmFindMaterial(GLMmodel* model, const char* name) {
  GLuint index = 0;
  if (!findMaterial(model, name, index)) reportMissingMaterial(name);
  return index;
}

// ---- Extent -----------------------------------------------------------------

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
  for (GLuint i = 1; i <= model->vertexcount; i++)
    for (int c = 0; c < 3; c++) model->vertices[3 * size_t(i) + c] *= scale;
}
