// glmDraw's own CPU cost per frame: the walk over groups and triangles with
// its index checks, against the same walk and the same OpenGL calls without
// any check. No context is made current, so every OpenGL call goes to
// libGL's no-op entry points and only the library's side is measured (a
// real renderer adds its own cost on top of both).
//
// Usage: bench_draw [grid side, default 317 = about 200,000 triangles]
#include <glm_internal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A side x side grid of vertices with one normal and one texture coordinate
// per vertex, cut into four groups with their own materials, indexed the
// way the reader indexes a face with every attribute.
GLMmodel* gridModel(GLuint side) {
  GLMmodel* m = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  m->path = copyString("grid.obj");
  GLuint n = side * side;
  m->vertexcount = m->normalcount = m->texcoordcount = n;
  m->vertices = static_cast<GLfloat*>(allocArray((n + 1) * 3, sizeof(GLfloat)));
  m->normals = static_cast<GLfloat*>(allocArray((n + 1) * 3, sizeof(GLfloat)));
  m->texcoords = static_cast<GLfloat*>(allocArray((n + 1) * 2, sizeof(GLfloat)));
  for (GLuint y = 0; y < side; y++)
    for (GLuint x = 0; x < side; x++) {
      size_t k = 1 + size_t(y) * side + x;
      GLfloat u = GLfloat(x) / (side - 1), v = GLfloat(y) / (side - 1);
      GLfloat* p = &m->vertices[3 * k];
      p[0] = u, p[1] = v, p[2] = 0;
      GLfloat* q = &m->normals[3 * k];
      q[0] = 0, q[1] = 0, q[2] = 1;
      m->texcoords[2 * k] = u, m->texcoords[2 * k + 1] = v;
    }

  m->trianglecount = 2 * (side - 1) * (side - 1);
  m->triangles = static_cast<GLMtriangle*>(allocArray(m->trianglecount, sizeof(GLMtriangle)));
  GLuint t = 0;
  for (GLuint y = 0; y + 1 < side; y++)
    for (GLuint x = 0; x + 1 < side; x++) {
      GLuint a = 1 + y * side + x, b = a + 1, c = a + side + 1, d = a + side;
      const GLuint corners[2][3] = {{a, b, c}, {a, c, d}};
      for (const auto& corner : corners) {
        GLMtriangle& tri = m->triangles[t++];
        for (int k = 0; k < 3; k++)
          tri.vertexidx[k] = tri.normalidx[k] = tri.texcoordidx[k] = corner[k];
        tri.facetnormidx = 0;
      }
    }

  const GLuint groups = 4;
  m->materialcount = groups;
  m->materials = static_cast<GLMmaterial*>(allocArray(groups, sizeof(GLMmaterial)));
  for (GLuint g = 0; g < groups; g++) {
    char name[16];
    snprintf(name, sizeof name, "m%u", g);
    m->materials[g] = glmDefaultMaterial();
    m->materials[g].name = copyString(name);
    GLMgroup* group = glmAddGroup(m, name);
    group->material = g;
    GLuint first = m->trianglecount / groups * g;
    GLuint last = g + 1 == groups ? m->trianglecount : m->trianglecount / groups * (g + 1);
    group->trianglecount = last - first;
    group->triangles = static_cast<GLuint*>(allocArray(last - first, sizeof(GLuint)));
    for (GLuint i = first; i < last; i++) group->triangles[i - first] = i;
  }
  return m;
}

// The walk glmDraw makes for an already resolved mode, trusting every index:
// the floor the checked walk is compared with.
void drawUnchecked(const GLMmodel* m, GLuint mode) {
  if (mode & GLM_MATERIAL) glDisable(GL_COLOR_MATERIAL);
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    const GLMmaterial* mat = &m->materials[group->material];
    if (mode & GLM_MATERIAL) {
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat->ambient);
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat->diffuse);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat->specular);
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, mat->shininess);
    }
    glBegin(GL_TRIANGLES);
    for (GLuint i = 0; i < group->trianglecount; i++) {
      const GLMtriangle* t = &m->triangles[group->triangles[i]];
      for (int k = 0; k < 3; k++) {
        if (mode & GLM_SMOOTH) glNormal3fv(&m->normals[3 * size_t(t->normalidx[k])]);
        if (mode & GLM_TEXTURE) glTexCoord2fv(&m->texcoords[2 * size_t(t->texcoordidx[k])]);
        glVertex3fv(&m->vertices[3 * size_t(t->vertexidx[k])]);
      }
    }
    glEnd();
  }
}

template <class F>
double millis(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  GLuint side = argc > 1 ? GLuint(atoi(argv[1])) : 317;
  if (side < 2) side = 2;
  GLMmodel* m = gridModel(side);
  printf("grid %ux%u: %u triangles, %u groups; OpenGL calls go to no-op entry points\n", side, side,
         m->trianglecount, m->groupcount);
  printf("%-28s %12s %12s %9s\n", "mode", "glmDraw ms", "unchecked ms", "ratio");

  struct {
    const char* name;
    GLuint mode;
  } modes[] = {{"0", 0},
               {"GLM_SMOOTH", GLM_SMOOTH},
               {"GLM_SMOOTH | GLM_MATERIAL", GLM_SMOOTH | GLM_MATERIAL},
               {"GLM_SMOOTH | GLM_TEXTURE", GLM_SMOOTH | GLM_TEXTURE}};
  const int rounds = 21;
  for (auto mode : modes) {
    std::vector<double> checked, unchecked;
    // Interleaved so that both see the same machine load.
    for (int r = 0; r < rounds; r++) {
      checked.push_back(millis([&] { glmDraw(m, mode.mode); }));
      unchecked.push_back(millis([&] { drawUnchecked(m, mode.mode); }));
    }
    double a = median(checked), b = median(unchecked);
    printf("%-28s %12.2f %12.2f %9.3f\n", mode.name, a, b, a / b);
  }
  printf("(medians of %d interleaved frames; ratio = glmDraw / unchecked)\n", rounds);
  glmDelete(m);
  return 0;
}
