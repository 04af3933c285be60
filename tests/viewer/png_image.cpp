// Reading PNG pictures the viewer wrote (--snapshot, the p key) and writing
// images for it to show, with libpng; apart from the session so that
// programs that only drive the window need no libpng.
#include <png.h>

#include "viewer_session.h"

namespace celshade_test {

bool Image::load(const std::string& path) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  width = (int)image.width;
  height = (int)image.height;
  rgb.swap(pixels);
  return true;
}

bool Image::savePng(const std::string& path) const {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

std::vector<uint8_t> Image::loadAlpha(const std::string& path) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image)), alpha;
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
    for (size_t i = 3; i < pixels.size(); i += 4) alpha.push_back(pixels[i]);
  png_image_free(&image);
  return alpha;
}

}  // namespace celshade_test
