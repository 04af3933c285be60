// Times glmWriteOBJ against the plain one-fprintf-per-line writer on a model
// of about one million vertices with texture coordinates and normals and two
// million triangles (quads of a wavy grid, split in four groups), written
// with GLM_SMOOTH | GLM_TEXTURE. Both must produce the same bytes.
//
//   bench_write [grid side, default 1000] [rounds, default 3] [directory, default /tmp]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/model_builder.h"
#include "glm.h"
#include "support/printf_writer.h"

namespace {

using namespace model_builder;

// side x side vertices on a gently rolling surface, one texture coordinate
// and one normal per vertex, two triangles per grid square.
GLMmodel* gridModel(GLuint side) {
  GLMmodel* m = newModel("grid.obj");
  std::vector<float> xyz, n, uv;
  xyz.reserve(size_t(side) * side * 3);
  n.reserve(size_t(side) * side * 3);
  uv.reserve(size_t(side) * side * 2);
  for (GLuint j = 0; j < side; j++) {
    for (GLuint i = 0; i < side; i++) {
      float u = float(i) / float(side - 1), v = float(j) / float(side - 1);
      float x = 4 * u - 2, z = 4 * v - 2;
      float y = 0.15f * std::sin(5 * x) * std::cos(3 * z);
      float dx = -0.75f * std::cos(5 * x) * std::cos(3 * z);
      float dz = 0.45f * std::sin(5 * x) * std::sin(3 * z);
      float len = std::sqrt(dx * dx + 1 + dz * dz);
      xyz.insert(xyz.end(), {x, y, z});
      n.insert(n.end(), {-dx / len, 1 / len, -dz / len});
      uv.insert(uv.end(), {u, v});
    }
  }
  setVertices(m, xyz);
  setNormals(m, n);
  setTexcoords(m, uv);

  std::vector<GLMtriangle> triangles;
  std::vector<std::vector<GLuint>> bands(4);
  triangles.reserve(size_t(side - 1) * (side - 1) * 2);
  for (GLuint j = 0; j + 1 < side; j++) {
    for (GLuint i = 0; i + 1 < side; i++) {
      GLuint a = j * side + i + 1, b = a + 1, c = a + side + 1, d = a + side;
      std::vector<GLuint>& band = bands[size_t(j) * 4 / (side - 1)];
      band.push_back(GLuint(triangles.size()));
      triangles.push_back(triangle(a, b, c, a, b, c, a, b, c));
      band.push_back(GLuint(triangles.size()));
      triangles.push_back(triangle(a, c, d, a, c, d, a, c, d));
    }
  }
  setTriangles(m, triangles);
  addGroup(m, "default", {});
  const char* names[4] = {"south", "middle south", "middle north", "north"};
  for (int b = 0; b < 4; b++) addGroup(m, names[b], bands[b]);
  return m;
}

// Wall-clock and processor seconds (user + system) of one call.
struct Timing {
  double wall, cpu;
};
template <typename F>
Timing timed(F&& f) {
  timespec c0, c1;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
  auto t0 = std::chrono::steady_clock::now();
  f();
  auto t1 = std::chrono::steady_clock::now();
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
  return {std::chrono::duration<double>(t1 - t0).count(),
          double(c1.tv_sec - c0.tv_sec) + 1e-9 * double(c1.tv_nsec - c0.tv_nsec)};
}

}  // namespace

int main(int argc, char** argv) {
  GLuint side = argc > 1 ? GLuint(atoi(argv[1])) : 1000;
  int rounds = argc > 2 ? atoi(argv[2]) : 3;
  std::string dir = argc > 3 ? argv[3] : "/tmp";
  if (side < 2 || rounds < 1) {
    fprintf(stderr, "usage: bench_write [side >= 2] [rounds >= 1] [directory]\n");
    return 2;
  }
  GLMmodel* model = gridModel(side);
  const GLuint mode = GLM_SMOOTH | GLM_TEXTURE;
  std::string fast = dir + "/celshade-bench-write-glm.obj";
  std::string plain = dir + "/celshade-bench-write-printf.obj";
  printf("model: %u vertices, %u normals, %u texcoords, %u triangles, %u groups\n",
         model->vertexcount, model->normalcount, model->texcoordcount, model->trianglecount,
         model->groupcount);

  // Alternate the two writers so that both see the same machine load; keep
  // each one's best round. Processor time is less disturbed by other
  // programs on a shared machine than wall-clock time.
  Timing bestPlain = {1e30, 1e30}, bestFast = {1e30, 1e30};
  bool opened = true;
  for (int r = 0; r < rounds; r++) {
    // Truncating last round's file would be timed too: start from nothing.
    remove(plain.c_str());
    remove(fast.c_str());
    Timing p = timed([&] { opened = printf_writer::writeOBJ(model, plain.c_str(), mode); });
    if (!opened) {
      fprintf(stderr, "cannot write %s\n", plain.c_str());
      return 1;
    }
    Timing f = timed([&] { glmWriteOBJ(model, fast.c_str(), mode); });
    printf(
        "round %d: fprintf %.3f s (cpu %.3f s), glmWriteOBJ %.3f s (cpu %.3f s), ratio %.2f (cpu "
        "%.2f)\n",
        r + 1, p.wall, p.cpu, f.wall, f.cpu, p.wall / f.wall, p.cpu / f.cpu);
    bestPlain = {std::min(bestPlain.wall, p.wall), std::min(bestPlain.cpu, p.cpu)};
    bestFast = {std::min(bestFast.wall, f.wall), std::min(bestFast.cpu, f.cpu)};
  }

  std::string a = readFile(fast), b = readFile(plain);
  bool same = a == b;
  double mb = double(a.size()) / 1e6;
  printf("file: %.1f MB, outputs %s\n", mb, same ? "byte-identical" : "DIFFER");
  printf("best of %d rounds, wall clock (processor time):\n", rounds);
  printf("fprintf per line: %.3f s, %.1f MB/s (cpu %.3f s, %.1f MB/s)\n", bestPlain.wall,
         mb / bestPlain.wall, bestPlain.cpu, mb / bestPlain.cpu);
  printf("glmWriteOBJ:      %.3f s, %.1f MB/s (cpu %.3f s, %.1f MB/s)\n", bestFast.wall,
         mb / bestFast.wall, bestFast.cpu, mb / bestFast.cpu);
  printf("speed-up: %.2fx wall, %.2fx cpu (target >= 5x)\n", bestPlain.wall / bestFast.wall,
         bestPlain.cpu / bestFast.cpu);
  remove(fast.c_str());
  remove(plain.c_str());
  glmDelete(model);
  return same ? 0 : 1;
}
