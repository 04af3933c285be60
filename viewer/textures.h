// The diffuse maps of the models shown: each image read and decoded once per
// run, before the window opens, and made a mipmapped texture in the GL
// context that draws it.
#pragma once

#include <GL/gl.h>
#include <glm.h>
#include <import.h>

#include <vector>

// A decoded image: four bytes (red, green, blue, alpha) per texel, rows
// from the bottom up, as OpenGL takes them.
struct TextureImage {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
};

// Reads the images the materials of m name (their `diffusemap`s) and those
// its file `modelFile` holds within itself (`embedded`), each image once
// per run however many materials or models name it (PNG, JPEG, TGA, BMP,
// GIF, PSD, HDR, PNM). A material whose image cannot be drawn is drawn with
// its colour, after one warning on standard error (once per image that
// cannot be read, once per material on a model without texture
// coordinates): "FILE:LINE: can't open image \"PATH\" (reason); drawing
// with the material's colour" (FILE:LINE the map's statement, or the model
// file when no library names it), "can't read image" when the file is no
// image stb_image decodes, or "image \"PATH\" needs texture coordinates,
// which the model has none of".
void loadTextures(const GLMmodel* m, const char* modelFile,
                  const std::vector<EmbeddedImage>& embedded);

// The image material `index` of m is drawn with; null when there is none.
const TextureImage* materialImage(const GLMmodel* m, GLuint index);

// True when some material of m is drawn with an image.
bool drawnTextured(const GLMmodel* m);

// Makes `image` a texture of the current context and returns its name:
// mipmapped, repeated beyond 0..1, any width and height, scaled down to fit
// when larger than GL_MAX_TEXTURE_SIZE. Not while a display list is being
// compiled.
GLuint makeTexture(const TextureImage& image);
