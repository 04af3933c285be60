// knot: writes a trefoil knot as a tube, the way many exporters write a
// model: vertices and triangles only, no normals, with a small material
// library. It is the README's example of a model of your own.
//
//   knot OUTDIR          (writes OUTDIR/knot.obj and OUTDIR/knot.mtl)
#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct Vec3 {
  double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 unit(Vec3 a) { return (1 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z)) * a; }

const double kPi = 3.14159265358979323846;

// The knot's centre line at parameter t in [0, 2 pi).
Vec3 centre(double t) {
  return {std::sin(t) + 2 * std::sin(2 * t), std::cos(t) - 2 * std::cos(2 * t), -std::sin(3 * t)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: knot OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  FILE* mtl = fopen((dir + "/knot.mtl").c_str(), "w");
  FILE* obj = fopen((dir + "/knot.obj").c_str(), "w");
  if (!mtl || !obj) {
    fprintf(stderr, "knot: can't write into %s\n", dir.c_str());
    return 1;
  }
  fprintf(mtl, "newmtl tube\nKa 0.2 0.2 0.2\nKd 0.95 0.55 0.15\nKs 0 0 0\nNs 0\n");
  fprintf(obj, "# trefoil knot tube: vertices and faces only\nmtllib knot.mtl\n");

  const int along = 240, around = 20;
  const double radius = 0.45;
  for (int i = 0; i < along; ++i) {
    double t = 2 * kPi * i / along, dt = 1e-4;
    Vec3 c = centre(t);
    Vec3 tangent = unit(centre(t + dt) - centre(t - dt));
    Vec3 side = unit(cross(tangent, {0, 0, 1}));
    Vec3 up = cross(side, tangent);
    for (int j = 0; j < around; ++j) {
      double a = 2 * kPi * j / around;
      Vec3 p = c + radius * (std::cos(a) * side + std::sin(a) * up);
      fprintf(obj, "v %.5f %.5f %.5f\n", p.x, p.y, p.z);
    }
  }
  fprintf(obj, "usemtl tube\n");
  for (int i = 0; i < along; ++i)
    for (int j = 0; j < around; ++j) {
      int a = i * around + j + 1, b = (i + 1) % along * around + j + 1;
      int c = (i + 1) % along * around + (j + 1) % around + 1,
          d = i * around + (j + 1) % around + 1;
      fprintf(obj, "f %d %d %d %d\n", a, b, c, d);
    }
  bool ok = fclose(mtl) == 0;
  return fclose(obj) == 0 && ok ? 0 : 1;
}
