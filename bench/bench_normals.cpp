// Normal generation speed: glmFacetNormals and glmVertexNormals on a closed
// torus of two million triangles, once in grid order and once with the
// triangles shuffled (every vertex's corners scattered through memory).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "glm.h"

namespace {

// A torus of rings x sides quads, two triangles each, counter-clockwise
// seen from outside; every vertex is shared by six triangles.
GLMmodel* torus(GLuint rings, GLuint sides, bool shuffled) {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->vertexcount = rings * sides;
  m->vertices = static_cast<GLfloat*>(malloc((size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat)));
  const double pi = 3.141592653589793;
  for (GLuint i = 0; i < rings; i++)
    for (GLuint j = 0; j < sides; j++) {
      double a = 2 * pi * i / rings, b = 2 * pi * j / sides;
      GLfloat* v = m->vertices + 3 * (1 + size_t(i) * sides + j);
      v[0] = GLfloat((1 + 0.3 * cos(b)) * cos(a));
      v[1] = GLfloat((1 + 0.3 * cos(b)) * sin(a));
      v[2] = GLfloat(0.3 * sin(b));
    }
  m->trianglecount = 2 * rings * sides;
  m->triangles = static_cast<GLMtriangle*>(calloc(m->trianglecount, sizeof(GLMtriangle)));
  std::vector<GLuint> order(m->trianglecount);
  for (GLuint t = 0; t < m->trianglecount; t++) order[t] = t;
  if (shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(3));
  auto id = [&](GLuint i, GLuint j) { return 1 + (i % rings) * sides + (j % sides); };
  GLuint t = 0;
  for (GLuint i = 0; i < rings; i++)
    for (GLuint j = 0; j < sides; j++) {
      GLuint a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
      GLuint quad[2][3] = {{a, b, c}, {a, c, d}};
      for (auto& tri : quad) {
        GLMtriangle& out = m->triangles[order[t++]];
        for (int k = 0; k < 3; k++) out.vertexidx[k] = tri[k];
      }
    }
  return m;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
double cpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Timing {
  double wall = 1e300, cpu = 0;
  template <typename F>
  void run(F f) {
    double w = now(), c = cpuNow();
    f();
    double dw = now() - w, dc = cpuNow() - c;
    if (dw < wall) wall = dw, cpu = dc;
  }
};

}  // namespace

int main() {
  const GLuint rings = 1000, sides = 1000;
  printf("bench_normals: torus of %u x %u quads, best of 3\n", rings, sides);
  for (bool shuffled : {false, true}) {
    GLMmodel* m = torus(rings, sides, shuffled);
    Timing facet, smooth90, smooth45;
    for (int r = 0; r < 3; r++) {
      facet.run([&] { glmFacetNormals(m); });
      smooth90.run([&] { glmVertexNormals(m, 90); });
      smooth45.run([&] { glmVertexNormals(m, 45); });
    }
    printf("\n%u triangles, %u vertices, %s triangle order\n", m->trianglecount, m->vertexcount,
           shuffled ? "shuffled" : "grid");
    printf("  glmFacetNormals:       %.3f s (cpu %.3f s)\n", facet.wall, facet.cpu);
    printf("  glmVertexNormals(90):  %.3f s (cpu %.3f s)\n", smooth90.wall, smooth90.cpu);
    printf("  glmVertexNormals(45):  %.3f s (cpu %.3f s), %u normals\n", smooth45.wall,
           smooth45.cpu, m->normalcount);
    glmDelete(m);
  }
  return 0;
}
