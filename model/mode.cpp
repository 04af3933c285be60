// The mode check: a draw or write mode settled against what a model holds.
#include "glm_internal.h"

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
