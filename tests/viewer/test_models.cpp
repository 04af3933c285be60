#include "test_models.h"

#include <cmath>
#include <cstdio>

namespace celshade_test {

namespace {

// Writes the material library `name`.mtl; false on failure.
bool writeMaterials(const std::string& dir, const std::string& name,
                    const std::vector<Material>& materials) {
  FILE* f = fopen((dir + "/" + name + ".mtl").c_str(), "w");
  if (!f) return false;
  for (const Material& m : materials)
    fprintf(f, "newmtl %s\nKa 0.2 0.2 0.2\nKd %g %g %g\nKs 0 0 0\nNs 0\n\n", m.name.c_str(), m.r,
            m.g, m.b);
  return fclose(f) == 0;
}

}  // namespace

namespace {

// An ellipsoid's vertices (from the top pole down; each ring repeats its
// first vertex at the end so that slice j + 1 always exists), their unit
// normals and its triangles as 1-based vertex indices, counter-clockwise
// seen from outside.
struct Ellipsoid {
  std::vector<double> xyz, normals;
  std::vector<int> triangles;
};

Ellipsoid ellipsoid(float rx, float ry, float rz, int slices, int stacks) {
  Ellipsoid e;
  const double pi = 3.14159265358979323846;
  for (int i = 0; i <= stacks; ++i) {
    double theta = pi * i / stacks;
    for (int j = 0; j <= slices; ++j) {
      double phi = 2 * pi * j / slices;
      double ux = std::sin(theta) * std::cos(phi), uy = std::cos(theta),
             uz = -std::sin(theta) * std::sin(phi);
      double nx = ux / rx, ny = uy / ry, nz = uz / rz;
      double length = std::sqrt(nx * nx + ny * ny + nz * nz);
      e.xyz.insert(e.xyz.end(), {rx * ux, ry * uy, rz * uz});
      e.normals.insert(e.normals.end(), {nx / length, ny / length, nz / length});
    }
  }
  auto index = [&](int i, int j) { return i * (slices + 1) + j + 1; };
  // The pole rows get one triangle per cell, every other row two.
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      int a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1), d = index(i, j + 1);
      if (i != 0) e.triangles.insert(e.triangles.end(), {a, b, d});
      if (i != stacks - 1) e.triangles.insert(e.triangles.end(), {d, b, c});
    }
  }
  return e;
}

}  // namespace

long writeEllipsoid(const std::string& dir, const std::string& name, float rx, float ry, float rz,
                    int slices, int stacks, const std::vector<Material>& materials,
                    const MaterialOf& materialOf) {
  if (!writeMaterials(dir, name, materials)) return -1;
  FILE* f = fopen((dir + "/" + name + ".obj").c_str(), "w");
  if (!f) return -1;
  fprintf(f, "# generated ellipsoid %g x %g x %g\nmtllib %s.mtl\n", rx, ry, rz, name.c_str());
  Ellipsoid e = ellipsoid(rx, ry, rz, slices, stacks);
  for (size_t k = 0; k < e.xyz.size(); k += 3)
    fprintf(f, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\n", e.xyz[k], e.xyz[k + 1], e.xyz[k + 2],
            e.normals[k], e.normals[k + 1], e.normals[k + 2]);

  std::vector<std::vector<int>> faces(materials.size());
  for (size_t k = 0; k < e.triangles.size(); k += 3) {
    float sum[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
      for (int axis = 0; axis < 3; ++axis)
        sum[axis] += float(e.xyz[3 * (e.triangles[k + c] - 1) + axis]);
    int m = materialOf(sum[0] / 3, sum[1] / 3, sum[2] / 3);
    faces[m].insert(faces[m].end(), e.triangles.begin() + k, e.triangles.begin() + k + 3);
  }
  long triangles = 0;
  for (size_t m = 0; m < materials.size(); ++m) {
    if (faces[m].empty()) continue;
    fprintf(f, "g %s\nusemtl %s\n", materials[m].name.c_str(), materials[m].name.c_str());
    for (size_t k = 0; k < faces[m].size(); k += 3) {
      int a = faces[m][k], b = faces[m][k + 1], c = faces[m][k + 2];
      fprintf(f, "f %d//%d %d//%d %d//%d\n", a, a, b, b, c, c);
      ++triangles;
    }
  }
  return fclose(f) == 0 ? triangles : -1;
}

bool writeBareEllipsoid(const std::string& path, float rx, float ry, float rz, int slices,
                        int stacks) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  Ellipsoid e = ellipsoid(rx, ry, rz, slices, stacks);
  for (size_t k = 0; k < e.xyz.size(); k += 3)
    fprintf(f, "v %.6f %.6f %.6f\n", e.xyz[k], e.xyz[k + 1], e.xyz[k + 2]);
  for (size_t k = 0; k < e.triangles.size(); k += 3)
    fprintf(f, "f %d %d %d\n", e.triangles[k], e.triangles[k + 1], e.triangles[k + 2]);
  return fclose(f) == 0;
}

bool writeBareEllipsoidPly(const std::string& path, float rx, float ry, float rz, int slices,
                           int stacks) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  Ellipsoid e = ellipsoid(rx, ry, rz, slices, stacks);
  fprintf(f, "ply\nformat ascii 1.0\nelement vertex %zu\n", e.xyz.size() / 3);
  fprintf(f, "property float x\nproperty float y\nproperty float z\nelement face %zu\n",
          e.triangles.size() / 3);
  fprintf(f, "property list uchar int vertex_indices\nend_header\n");
  for (size_t k = 0; k < e.xyz.size(); k += 3)
    fprintf(f, "%.6f %.6f %.6f\n", e.xyz[k], e.xyz[k + 1], e.xyz[k + 2]);
  for (size_t k = 0; k < e.triangles.size(); k += 3)
    fprintf(f, "3 %d %d %d\n", e.triangles[k] - 1, e.triangles[k + 1] - 1, e.triangles[k + 2] - 1);
  return fclose(f) == 0;
}

bool writeBox(const std::string& dir, const std::string& name, float sx, float sy, float sz,
              const Material& front, const Material& sides) {
  if (!writeMaterials(dir, name, {front, sides})) return false;
  FILE* f = fopen((dir + "/" + name + ".obj").c_str(), "w");
  if (!f) return false;
  fprintf(f, "mtllib %s.mtl\n", name.c_str());
  // Vertex k: bit 0 picks +x, bit 1 +y, bit 2 +z.
  for (int k = 0; k < 8; ++k)
    fprintf(f, "v %g %g %g\n", k & 1 ? sx : -sx, k & 2 ? sy : -sy, k & 4 ? sz : -sz);
  fprintf(f, "vn 0 0 1\nvn 0 0 -1\nvn 1 0 0\nvn -1 0 0\nvn 0 1 0\nvn 0 -1 0\n");
  fprintf(f, "g front\nusemtl %s\nf 5//1 6//1 8//1 7//1\n", front.name.c_str());
  fprintf(f, "g sides\nusemtl %s\n", sides.name.c_str());
  fprintf(f, "f 2//2 1//2 3//2 4//2\nf 6//3 2//3 4//3 8//3\nf 1//4 5//4 7//4 3//4\n");
  fprintf(f, "f 7//5 8//5 4//5 3//5\nf 1//6 2//6 6//6 5//6\n");
  return fclose(f) == 0;
}

bool writeRamp(const std::string& dir, const std::vector<std::string>& lines) {
  FILE* f = fopen((dir + "/Shader.txt").c_str(), "w");
  if (!f) return false;
  for (const std::string& line : lines) fprintf(f, "%s\n", line.c_str());
  return fclose(f) == 0;
}

}  // namespace celshade_test
