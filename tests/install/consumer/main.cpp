// A program outside the project that links the installed library.
#include <glm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  model->vertexcount = 2;
  model->vertices = static_cast<GLfloat*>(calloc(9, sizeof(GLfloat)));
  const GLfloat corners[] = {-2, -2, -2, 2, 2, 2};
  memcpy(model->vertices + 3, corners, sizeof corners);
  glmAddGroup(model, "default");
  printf("scale %g\n", glmUnitize(model));
  glmDelete(model);
  return 0;
}
