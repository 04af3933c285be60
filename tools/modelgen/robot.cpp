// robot: writes a small toy robot, with a clear front (face, chest panel)
// and a clear up (head, antenna), placed and exported as real models come:
// anywhere, at any size, Y-up or Z-up, with normals of any length.
//
//   robot OUTDIR [--at X,Y,Z] [--scale S] [--z-up] [--normal-length L]
//
// Writes OUTDIR/robot.obj and OUTDIR/robot.mtl. The robot stands on y = 0,
// about 2.6 units tall, facing +z; --scale multiplies its size, --at moves
// it, --z-up writes it as CAD and Blender exports do (its up along +z, its
// front towards -y), --normal-length writes every normal that long.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Vec3 {
  double x, y, z;
};

const double kPi = 3.14159265358979323846;

struct Material {
  const char* name;
  double r, g, b;
};
const Material kMaterials[] = {{"shell", 0.95, 0.55, 0.15},
                               {"face", 0.95, 0.9, 0.75},
                               {"dark", 0.12, 0.12, 0.18},
                               {"panel", 0.1, 0.6, 0.6},
                               {"light", 0.9, 0.15, 0.15}};
enum { kShell, kFace, kDark, kPanel, kLight };

// Triangles of one material; corners index into the shared vertex and
// normal lists (0-based here, 1-based when written).
struct Part {
  int material;
  std::vector<int> corners;  // vertex, normal, vertex, normal, ...
};

struct Mesh {
  std::vector<Vec3> vertices, normals;
  std::vector<Part> parts;

  int vertex(Vec3 v) {
    vertices.push_back(v);
    return int(vertices.size()) - 1;
  }
  int normal(Vec3 n) {
    normals.push_back(n);
    return int(normals.size()) - 1;
  }
  Part& part(int material) {
    parts.push_back({material, {}});
    return parts.back();
  }

  // An axis-aligned box from lo to hi, one normal per face.
  void box(int material, Vec3 lo, Vec3 hi) {
    Part& p = part(material);
    auto corner = [&](int k) {
      return vertex({k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z});
    };
    int c[8];
    for (int k = 0; k < 8; ++k) c[k] = corner(k);
    // Each face counter-clockwise seen from outside, with its normal.
    const int faces[6][4] = {{4, 5, 7, 6}, {1, 0, 2, 3}, {5, 1, 3, 7},
                             {0, 4, 6, 2}, {6, 7, 3, 2}, {0, 1, 5, 4}};
    const Vec3 outward[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 6; ++f) {
      int n = normal(outward[f]);
      const int* q = faces[f];
      for (int t : {1, 2}) {
        int tri[3] = {q[0], q[t], q[t + 1]};
        for (int k : tri) p.corners.insert(p.corners.end(), {c[k], n});
      }
    }
  }

  // A sphere of `radius` round `centre`, smooth.
  void sphere(int material, Vec3 centre, double radius, int slices, int stacks) {
    Part& p = part(material);
    const int first = int(vertices.size()), firstNormal = int(normals.size());
    for (int i = 0; i <= stacks; ++i)
      for (int j = 0; j <= slices; ++j) {
        double theta = kPi * i / stacks, phi = 2 * kPi * j / slices;
        Vec3 u = {std::sin(theta) * std::cos(phi), std::cos(theta),
                  -std::sin(theta) * std::sin(phi)};
        vertex({centre.x + radius * u.x, centre.y + radius * u.y, centre.z + radius * u.z});
        normal(u);
      }
    // Vertex and normal of grid point (i, j) share their place in the rows.
    auto add = [&](int i, int j) {
      int k = i * (slices + 1) + j;
      p.corners.insert(p.corners.end(), {first + k, firstNormal + k});
    };
    for (int i = 0; i < stacks; ++i)
      for (int j = 0; j < slices; ++j) {
        if (i != 0) add(i, j), add(i + 1, j), add(i, j + 1);
        if (i != stacks - 1) add(i, j + 1), add(i + 1, j), add(i + 1, j + 1);
      }
  }
};

Mesh robot() {
  Mesh m;
  m.box(kShell, {-0.25, 0.0, -0.2}, {-0.05, 0.7, 0.15});  // legs
  m.box(kShell, {0.05, 0.0, -0.2}, {0.25, 0.7, 0.15});
  m.box(kDark, {-0.3, 0.0, -0.2}, {-0.0, 0.12, 0.35});  // feet, pointing forward
  m.box(kDark, {0.0, 0.0, -0.2}, {0.3, 0.12, 0.35});
  m.box(kShell, {-0.45, 0.7, -0.3}, {0.45, 1.6, 0.3});     // body
  m.box(kPanel, {-0.25, 0.95, 0.3}, {0.25, 1.4, 0.34});    // chest panel, on the front
  m.box(kShell, {-0.62, 0.85, -0.1}, {-0.45, 1.55, 0.1});  // arms
  m.box(kShell, {0.45, 0.85, -0.1}, {0.62, 1.55, 0.1});
  m.sphere(kFace, {0, 1.95, 0}, 0.4, 32, 20);             // head
  m.box(kDark, {-0.2, 1.98, 0.33}, {-0.07, 2.08, 0.42});  // eyes, looking forward
  m.box(kDark, {0.07, 1.98, 0.33}, {0.2, 2.08, 0.42});
  m.box(kDark, {-0.015, 2.3, -0.015}, {0.015, 2.5, 0.015});  // antenna
  m.sphere(kLight, {0, 2.55, 0}, 0.07, 16, 10);
  return m;
}

// "X,Y,Z" into v.
bool parseTriple(const char* text, Vec3& v) {
  char* end = nullptr;
  v.x = strtod(text, &end);
  if (*end != ',') return false;
  v.y = strtod(end + 1, &end);
  if (*end != ',') return false;
  v.z = strtod(end + 1, &end);
  return *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage = "usage: robot OUTDIR [--at X,Y,Z] [--scale S] [--z-up] [--normal-length L]\n";
  if (argc < 2) {
    fputs(usage, stderr);
    return 2;
  }
  const std::string dir = argv[1];
  Vec3 at = {0, 0, 0};
  double scale = 1, normalLength = 1;
  bool zUp = false;
  for (int i = 2; i < argc; ++i) {
    bool more = i + 1 < argc;
    if (!strcmp(argv[i], "--at") && more && parseTriple(argv[i + 1], at)) {
      ++i;
    } else if (!strcmp(argv[i], "--scale") && more && (scale = atof(argv[++i])) > 0) {
    } else if (!strcmp(argv[i], "--normal-length") && more &&
               (normalLength = atof(argv[++i])) > 0) {
    } else if (!strcmp(argv[i], "--z-up")) {
      zUp = true;
    } else {
      fputs(usage, stderr);
      return 2;
    }
  }

  FILE* mtl = fopen((dir + "/robot.mtl").c_str(), "w");
  FILE* obj = fopen((dir + "/robot.obj").c_str(), "w");
  if (!mtl || !obj) {
    fprintf(stderr, "robot: can't write into %s\n", dir.c_str());
    return 1;
  }
  for (const Material& m : kMaterials)
    fprintf(mtl, "newmtl %s\nKa 0.2 0.2 0.2\nKd %g %g %g\nKs 0 0 0\nNs 0\n\n", m.name, m.r, m.g,
            m.b);
  fprintf(obj, "# toy robot, %s, scale %g, at %g %g %g\nmtllib robot.mtl\n", zUp ? "Z-up" : "Y-up",
          scale, at.x, at.y, at.z);

  // Z-up: the robot's up (+y) becomes +z and its front (+z) becomes -y.
  auto orient = [&](Vec3 v) { return zUp ? Vec3{v.x, -v.z, v.y} : v; };
  Mesh m = robot();
  for (Vec3 v : m.vertices) {
    Vec3 p = orient(v);
    fprintf(obj, "v %.9g %.9g %.9g\n", at.x + scale * p.x, at.y + scale * p.y, at.z + scale * p.z);
  }
  for (Vec3 n : m.normals) {
    Vec3 p = orient(n);
    fprintf(obj, "vn %.6g %.6g %.6g\n", normalLength * p.x, normalLength * p.y, normalLength * p.z);
  }
  // One group per part: a group has one material.
  for (size_t g = 0; g < m.parts.size(); ++g) {
    const Part& part = m.parts[g];
    fprintf(obj, "g part%zu\nusemtl %s\n", g + 1, kMaterials[part.material].name);
    for (size_t k = 0; k < part.corners.size(); k += 6)
      fprintf(obj, "f %d//%d %d//%d %d//%d\n", part.corners[k] + 1, part.corners[k + 1] + 1,
              part.corners[k + 2] + 1, part.corners[k + 3] + 1, part.corners[k + 4] + 1,
              part.corners[k + 5] + 1);
  }
  bool ok = fclose(mtl) == 0;
  return fclose(obj) == 0 && ok ? 0 : 1;
}
