// importModel: the file's name sends it to the OBJ reader or to assimp; the
// images a file holds written beside a model.
#include "import.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "save_file.h"

#if CELSHADE_ASSIMP
#include "from_assimp.h"
#endif

bool isObjName(const char* file) {
  const size_t length = strlen(file);
  return length >= 4 && strcasecmp(file + length - 4, ".obj") == 0;
}

GLMmodel* importModel(const char* file, GLuint readFlags, std::string& error,
                      std::vector<EmbeddedImage>* images) {
  if (isObjName(file)) {
    char message[4096];
    GLMmodel* model = glmTryReadOBJWith(file, readFlags, message, sizeof message);
    if (!model) error = message;
    return model;
  }
#if CELSHADE_ASSIMP
  return readWithAssimp(file, error, images);
#else
  (void)images;
  error =
      std::string(file) + ": only OBJ files can be read (this celshade was built without assimp)";
  return nullptr;
#endif
}

bool writeEmbeddedImages(const std::vector<EmbeddedImage>& images, GLMmodel* model,
                         const std::string& out, std::string& error) {
  const size_t slash = out.rfind('/'), dot = out.rfind('.');
  const std::string stem =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
          ? out.substr(0, dot)
          : out;
  for (size_t i = 0; i < images.size(); i++) {
    const EmbeddedImage& image = images[i];
    const std::string path = stem + "-" + std::to_string(i) + "." + image.format;
    if (!saveFile(path, image.bytes.data(), image.bytes.size(), error)) return false;
    GLMmaterial& material = model->materials[image.material];
    free(material.diffusemap);
    material.diffusemap = strdup(path.c_str());
  }
  return true;
}
