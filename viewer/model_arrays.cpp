// Building a model's drawn vertices and indices once, and the tight loop
// that gives every drawn vertex its ramp coordinate each frame.
#include "model_arrays.h"

size_t ModelArrays::bytes() const {
  return (positions.size() + texcoords.size() + nx.size() + ny.size() + nz.size()) *
             sizeof(GLfloat) +
         (indices.size() + groupFirst.size() + groupCount.size()) * sizeof(GLuint);
}

vector faceDirection(const GLMmodel* m, const GLMtriangle& t) {
  const GLfloat* a = &m->vertices[3 * t.vertexidx[0]];
  const GLfloat* b = &m->vertices[3 * t.vertexidx[1]];
  const GLfloat* c = &m->vertices[3 * t.vertexidx[2]];
  float ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
  float vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
  return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

namespace {

constexpr GLuint kNone = ~0u;
// A corner looks this far down its vertex's list of drawn vertices for one
// with its normal; past that it gets a new one (a few more bytes), so that a
// vertex with thousands of normals costs no quadratic time.
constexpr int kSearchLimit = 16;

// Appends a drawn vertex at model vertex v with direction d (and texture
// coordinate t, when the arrays have them); its index.
GLuint addVertex(ModelArrays& a, const GLfloat* v, const vector& d, const GLfloat* t) {
  a.positions.push_back(v[0]);
  a.positions.push_back(v[1]);
  a.positions.push_back(v[2]);
  if (t) {
    a.texcoords.push_back(t[0]);
    a.texcoords.push_back(t[1]);
  }
  a.nx.push_back(d.x);
  a.ny.push_back(d.y);
  a.nz.push_back(d.z);
  return GLuint(a.nx.size() - 1);
}

// Gives back the spare room of v when it is more than a quarter of its size
// (the copy costs more than the bytes are worth below that).
template <typename T>
void shrink(std::vector<T>& v) {
  if (v.capacity() - v.size() > v.size() / 4) v.shrink_to_fit();
}

}  // namespace

void buildModelArrays(const GLMmodel* m, ModelArrays& a, bool texcoords) {
  a = ModelArrays();
  // Per model vertex the drawn vertices made from it with a normal index,
  // newest first: head per model vertex, then a link, the normal index and
  // the texture coordinate index per drawn vertex (kNone for face
  // directions, which are never shared).
  std::vector<GLuint> head(size_t(m->vertexcount) + 1, kNone), next, normalOf, texcoordOf;
  texcoords = texcoords && m->texcoords;
  static const GLfloat kNoTexcoord[2] = {0.0f, 0.0f};
  // Most models give each vertex one normal: about one drawn vertex each.
  const size_t expected = m->vertexcount;
  for (std::vector<GLfloat>* v : {&a.nx, &a.ny, &a.nz}) v->reserve(expected);
  a.positions.reserve(3 * expected);
  if (texcoords) a.texcoords.reserve(2 * expected);
  next.reserve(expected);
  normalOf.reserve(expected);
  texcoordOf.reserve(expected);
  a.indices.reserve(size_t(m->trianglecount) * 3);
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    a.groupFirst.push_back(GLuint(a.indices.size()));
    for (GLuint i = 0; i < group->trianglecount; ++i) {
      GLuint p = group->triangles[i];
      if (!drawableTriangle(m, p)) continue;
      const GLMtriangle& t = m->triangles[p];
      for (int k = 0; k < 3; ++k) {
        GLuint v = t.vertexidx[k], found = kNone;
        const GLfloat* position = &m->vertices[3 * v];
        // The corner's texture coordinate index, 0 for none (or none used).
        const GLuint c =
            texcoords && t.texcoordidx[k] - 1 < m->texcoordcount ? t.texcoordidx[k] : 0;
        const GLfloat* uv = !texcoords ? nullptr : c ? &m->texcoords[2 * c] : kNoTexcoord;
        if (hasNormal(m, t, k)) {
          GLuint n = t.normalidx[k];
          GLuint d = head[v];
          for (int step = 0; d != kNone && step < kSearchLimit; ++step, d = next[d])
            if (normalOf[d] == n && texcoordOf[d] == c) {
              found = d;
              break;
            }
          if (found == kNone) {
            const GLfloat* normal = &m->normals[3 * n];
            found = addVertex(a, position, {normal[0], normal[1], normal[2]}, uv);
            next.push_back(head[v]);
            normalOf.push_back(n);
            texcoordOf.push_back(c);
            head[v] = found;
          }
        } else {
          found = addVertex(a, position, faceDirection(m, t), uv);
          next.push_back(kNone);
          normalOf.push_back(kNone);
          texcoordOf.push_back(kNone);
        }
        a.indices.push_back(found);
      }
    }
    a.groupCount.push_back(GLuint(a.indices.size()) - a.groupFirst.back());
  }
  shrink(a.positions);
  shrink(a.texcoords);
  shrink(a.nx);
  shrink(a.ny);
  shrink(a.nz);
  shrink(a.indices);
}

// Written out over the flat arrays so that the compiler can run it several
// directions at a time; every operation is the one modelView, normalize and
// dotProduct make, in the same order, so the results are the same floats.
void rampCoordinates(const matrix& M, const vector& light, const GLfloat* __restrict nx,
                     const GLfloat* __restrict ny, const GLfloat* __restrict nz, size_t count,
                     GLfloat* __restrict ramp) {
  const float* m = M.m;
  const float m0 = m[0], m1 = m[1], m2 = m[2], m4 = m[4], m5 = m[5], m6 = m[6];
  const float m8 = m[8], m9 = m[9], m10 = m[10];
  const float lx = light.x, ly = light.y, lz = light.z;
  for (size_t i = 0; i < count; ++i) {
    float x = m0 * nx[i] + m4 * ny[i] + m8 * nz[i];
    float y = m1 * nx[i] + m5 * ny[i] + m9 * nz[i];
    float z = m2 * nx[i] + m6 * ny[i] + m10 * nz[i];
    float length = sqrtf(x * x + y * y + z * z);
    // A zero vector stays as it is: dividing by 1 leaves every float alone.
    float divisor = length == 0.0f ? 1.0f : length;
    x /= divisor;
    y /= divisor;
    z /= divisor;
    float s = x * lx + y * ly + z * lz;
    ramp[i] = s < 0.0f ? 0.0f : s;
  }
}
