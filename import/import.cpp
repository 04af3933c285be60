// importModel: the file's name sends it to the OBJ reader or to assimp.
#include "import.h"

#include <strings.h>

#include <cstring>

#if CELSHADE_ASSIMP
#include "from_assimp.h"
#endif

bool isObjName(const char* file) {
  const size_t length = strlen(file);
  return length >= 4 && strcasecmp(file + length - 4, ".obj") == 0;
}

GLMmodel* importModel(const char* file, GLuint readFlags, std::string& error) {
  if (isObjName(file)) {
    char message[4096];
    GLMmodel* model = glmTryReadOBJWith(file, readFlags, message, sizeof message);
    if (!model) error = message;
    return model;
  }
#if CELSHADE_ASSIMP
  return readWithAssimp(file, error);
#else
  error = std::string(file) + ": only OBJ files can be read (this celshade was built without assimp)";
  return nullptr;
#endif
}
