// globe: the README's example of a textured model of your own. Writes
// OUTDIR/globe.obj (a sphere with normals and texture coordinates, the
// seam's vertices twice), globe.mtl (one material whose map_Kd is the
// image) and globe.png (a checker of warm and cool cells, lighter towards
// the poles, written with libpng).
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

// The image: 16 cells around, 8 from pole to pole, 512 x 256 texels, rows
// from the top (the north pole).
bool writeImage(const std::string& file) {
  const int width = 512, height = 256;
  std::vector<unsigned char> rgb;
  rgb.reserve(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool warm = (x / 32 + y / 32) % 2 == 0;
      // Lighter towards the poles: 0 at the equator, 1 at a pole.
      const double pole = std::fabs(y + 0.5 - height / 2.0) / (height / 2.0);
      const double base[3] = {warm ? 0.93 : 0.10, warm ? 0.45 : 0.55, warm ? 0.12 : 0.65};
      for (double c : base)
        rgb.push_back((unsigned char)std::lround(255 * (c + (1 - c) * 0.5 * pole * pole)));
    }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, file.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: globe OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  FILE* mtl = fopen((dir + "/globe.mtl").c_str(), "w");
  FILE* obj = fopen((dir + "/globe.obj").c_str(), "w");
  if (!mtl || !obj || !writeImage(dir + "/globe.png")) {
    fprintf(stderr, "globe: can't write into %s\n", dir.c_str());
    return 1;
  }
  fprintf(mtl,
          "newmtl painted\nKa 0.2 0.2 0.2\nKd 1 1 1\nKs 0.3 0.3 0.3\nNs 150\nmap_Kd globe.png\n");
  fprintf(obj, "# a sphere with texture coordinates\nmtllib globe.mtl\n");

  const int around = 48, down = 24;
  for (int j = 0; j <= down; ++j)
    for (int i = 0; i <= around; ++i) {
      const double theta = kPi * j / down, phi = 2 * kPi * i / around;
      const double x = std::sin(theta) * std::cos(phi), y = std::cos(theta),
                   z = -std::sin(theta) * std::sin(phi);
      fprintf(obj, "v %.5f %.5f %.5f\nvn %.5f %.5f %.5f\nvt %.5f %.5f\n", x, y, z, x, y, z,
              double(i) / around, 1 - double(j) / down);
    }
  fprintf(obj, "usemtl painted\n");
  auto index = [&](int i, int j) { return j * (around + 1) + i + 1; };
  for (int j = 0; j < down; ++j)
    for (int i = 0; i < around; ++i) {
      const int a = index(i, j), b = index(i, j + 1), c = index(i + 1, j + 1), d = index(i + 1, j);
      if (j > 0) fprintf(obj, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, d, d, d);
      if (j < down - 1) fprintf(obj, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", b, b, b, c, c, c, d, d, d);
    }
  const bool closed = fclose(mtl) == 0 && fclose(obj) == 0;
  if (!closed) fprintf(stderr, "globe: can't write into %s\n", dir.c_str());
  return closed ? 0 : 1;
}
