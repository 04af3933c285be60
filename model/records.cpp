// Model records: releasing a model, the default material, finding and adding
// groups, finding materials.
#include "glm_internal.h"

#include <cstdlib>
#include <cstring>

GLMmaterial glmDefaultMaterial(void) {
  return GLMmaterial{nullptr,
                     {0.8f, 0.8f, 0.8f, 1.0f},
                     {0.2f, 0.2f, 0.2f, 1.0f},
                     {0.0f, 0.0f, 0.0f, 1.0f},
                     65.0f,
                     nullptr,
                     nullptr,
                     nullptr,
                     nullptr,
                     0};
}

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
    for (GLuint i = 0; i < model->materialcount; i++) freeMaterialStrings(model->materials[i]);
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

void freeMaterialStrings(GLMmaterial& material) {
  free(material.name);
  free(material.diffusemap);
  free(material.diffusemapoptions);
  free(material.statements);
  free(material.library);
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
  GLM_ASSERT(model);
  GLuint index = 0;
  if (!findMaterial(model, name, index)) reportMissingMaterial(name);
  return index;
}
