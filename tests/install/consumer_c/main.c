/* A C program outside the project: reads a triangle, computes its normal
 * (libm), writes it back (the C++ runtime inside the library) and counts
 * the library's warnings through a handler. */
#include <glm.h>

#include <stdio.h>

static void countWarning(void* user, const char* message) {
  (void)message;
  ++*(int*)user;
}

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : ".";
  char in[4096], out[4096], error[256];
  snprintf(in, sizeof in, "%s/in.obj", dir);
  snprintf(out, sizeof out, "%s/out.obj", dir);
  FILE* f = fopen(in, "w");
  if (!f) return 1;
  fputs("v 0 0 0\nv 4 0 0\nv 0 4 0\nf 1 2 3\n", f);
  fclose(f);

  /* Materials written with the record's first five fields still compile. */
  static const GLMmaterial plain = {NULL, {1, 0, 0, 1}, {0.2f, 0, 0, 1}, {0, 0, 0, 1}, 65};
  (void)plain;

  GLMmodel* model = glmTryReadOBJ(in, error, sizeof error);
  if (!model) {
    fprintf(stderr, "%s\n", error);
    return 1;
  }
  int warnings = 0;
  glmSetMessageHandler(countWarning, &warnings);
  glmFacetNormals(model);
  GLfloat scale = glmUnitize(model);
  if (!glmTryWriteOBJ(model, out, GLM_FLAT | GLM_TEXTURE, error, sizeof error)) {
    fprintf(stderr, "%s\n", error);
    return 1;
  }
  printf("triangles %u scale %g normal %g %g %g warnings %d\n", model->trianglecount, (double)scale,
         (double)model->facetnorms[3], (double)model->facetnorms[4], (double)model->facetnorms[5],
         warnings);
  glmDelete(model);
  return 0;
}
