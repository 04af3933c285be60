// The diffuse maps of the models shown: images read and decoded once per run
// with stb_image, warnings for those that cannot be drawn, and their
// textures.
#include "textures.h"

#include <stb_image.h>
#include <stb_image_resize.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "messages.h"

namespace {

// An image by what names it: its file, or its model file and number.
struct Loaded {
  std::unique_ptr<TextureImage> image;  // null when it could not be read
};
std::map<std::string, Loaded> images;

// Per model: the image of each material (null for none).
std::map<const GLMmodel*, std::vector<const TextureImage*>> materialImages;

// The bytes of `path`; false with errno set when it cannot be read.
bool readBytes(const char* path, std::vector<unsigned char>& bytes) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  unsigned char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  const int code = ferror(f) ? errno : 0;
  fclose(f);
  errno = code;
  return code == 0;
}

// Decodes an image file's bytes; null with stb_image's reason when it is
// none it reads.
std::unique_ptr<TextureImage> decode(const std::vector<unsigned char>& bytes, std::string& reason) {
  if (bytes.size() > size_t(INT32_MAX)) {
    reason = "too large";
    return nullptr;
  }
  stbi_set_flip_vertically_on_load(1);
  int width = 0, height = 0, channels = 0;
  unsigned char* texels =
      stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 4);
  if (!texels) {
    reason = stbi_failure_reason() ? stbi_failure_reason() : "unknown format";
    return nullptr;
  }
  auto image = std::make_unique<TextureImage>();
  image->width = width;
  image->height = height;
  image->rgba.assign(texels, texels + size_t(width) * height * 4);
  stbi_image_free(texels);
  return image;
}

void warn(const std::string& where, const std::string& what) {
  fprintf(stderr, "%s: %s; drawing with the material's colour\n", printable(where).c_str(),
          printable(what).c_str());
}

// Where a material's map is named: its statement's file and line, or the
// model file.
std::string whereNamed(const GLMmaterial& material, const char* modelFile) {
  if (!material.library) return modelFile;
  return std::string(material.library) + ":" + std::to_string(material.diffusemapline);
}

// The image of a file, read the first time it is asked for; null after one
// warning when it cannot be.
const TextureImage* fileImage(const char* path, const std::string& where) {
  auto [entry, added] = images.try_emplace(path);
  if (!added) return entry->second.image.get();
  std::vector<unsigned char> bytes;
  std::string reason;
  if (!readBytes(path, bytes)) {
    warn(where, "can't open image \"" + std::string(path) + "\" (" + strerror(errno) + ")");
  } else if (!(entry->second.image = decode(bytes, reason))) {
    warn(where, "can't read image \"" + std::string(path) + "\" (" + reason + ")");
  }
  return entry->second.image.get();
}

}  // namespace

void loadTextures(const GLMmodel* m, const char* modelFile,
                  const std::vector<EmbeddedImage>& embedded) {
  std::vector<const TextureImage*>& chosen = materialImages[m];
  chosen.assign(m->materials ? m->materialcount : 0, nullptr);
  for (GLuint i = 0; i < chosen.size(); i++) {
    const GLMmaterial& material = m->materials[i];
    if (!material.diffusemap) continue;
    const std::string where = whereNamed(material, modelFile);
    if (!m->texcoords) {
      warn(where, "image \"" + std::string(material.diffusemap) +
                      "\" needs texture coordinates, which the model has none of");
      continue;
    }
    chosen[i] = fileImage(material.diffusemap, where);
  }
  for (size_t k = 0; k < embedded.size(); k++) {
    const EmbeddedImage& image = embedded[k];
    if (image.material >= chosen.size()) continue;
    const std::string name = "embedded image " + std::to_string(k);
    auto [entry, added] = images.try_emplace(std::string(modelFile) + "\n" + std::to_string(k));
    std::string reason;
    if (!added) {
    } else if (!m->texcoords) {
      warn(modelFile, name + " needs texture coordinates, which the model has none of");
    } else if (!(entry->second.image = decode(image.bytes, reason))) {
      warn(modelFile, "can't read " + name + " (" + reason + ")");
    }
    chosen[image.material] = entry->second.image.get();
  }
}

const TextureImage* materialImage(const GLMmodel* m, GLuint index) {
  auto found = materialImages.find(m);
  if (found == materialImages.end() || index >= found->second.size()) return nullptr;
  return found->second[index];
}

bool drawnTextured(const GLMmodel* m) {
  auto found = materialImages.find(m);
  return found != materialImages.end() &&
         std::any_of(found->second.begin(), found->second.end(),
                     [](const TextureImage* image) { return image != nullptr; });
}

GLuint makeTexture(const TextureImage& image) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  int width = image.width, height = image.height;
  const unsigned char* texels = image.rgba.data();
  std::vector<unsigned char> scaled;
  if (largest > 0 && std::max(width, height) > largest) {
    const double scale = double(largest) / std::max(width, height);
    width = std::max(1, std::min(largest, int(width * scale + 0.5)));
    height = std::max(1, std::min(largest, int(height * scale + 0.5)));
    scaled.resize(size_t(width) * height * 4);
    stbir_resize_uint8(image.rgba.data(), image.width, image.height, 0, scaled.data(), width,
                       height, 0, 4);
    texels = scaled.data();
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  // The mipmaps are made with each new image (OpenGL 1.4); any size is
  // taken as it is (OpenGL 2.0).
  glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  return name;
}
