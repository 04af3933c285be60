// Placing a model given on the command line: its box centred and scaled, its
// up axis turned to +y, its normals unit length, and the framing view.
#include "placement.h"

#include <algorithm>
#include <cmath>

namespace {

// Share of the picture's half-width and half-height the copies may fill:
// the rest is the margin all round.
constexpr double kFill = 0.85;
// Directions round the vertical axis at which a band's reach is checked.
constexpr int kDirections = 72;

// Calls f(vertex index) for each corner of each drawable triangle.
template <typename F>
void forEachDrawnVertex(const GLMmodel* m, F f) {
  const GLuint n = m->vertexcount;
  for (GLuint i = 0; i < m->trianglecount; ++i) {
    const GLuint* v = m->triangles[i].vertexidx;
    if (v[0] - 1 < n && v[1] - 1 < n && v[2] - 1 < n) {
      f(v[0]);
      f(v[1]);
      f(v[2]);
    }
  }
}

// (x, y, z) turned so that `up` points along +y.
void turnUp(UpAxis up, double& x, double& y, double& z) {
  const double a = x, b = y, c = z;
  switch (up) {
    case UpAxis::y: break;
    case UpAxis::minusY: y = -b, z = -c; break;
    case UpAxis::z: y = c, z = -b; break;
    case UpAxis::minusZ: y = -c, z = b; break;
    case UpAxis::x: x = -b, y = a; break;
    case UpAxis::minusX: x = b, y = -a; break;
  }
}

// Turns the `count` vectors of a 1-based array so that `up` points along +y.
void turnArray(GLfloat* array, GLuint count, UpAxis up) {
  if (!array || up == UpAxis::y) return;
  for (GLuint i = 1; i <= count; ++i) {
    GLfloat* v = &array[3 * i];
    double x = v[0], y = v[1], z = v[2];
    turnUp(up, x, y, z);
    v[0] = GLfloat(x), v[1] = GLfloat(y), v[2] = GLfloat(z);
  }
}

}  // namespace

void placeModel(GLMmodel* m, UpAxis up) {
  double low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
  forEachDrawnVertex(m, [&](GLuint i) {
    const GLfloat* v = &m->vertices[3 * i];
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return;
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], double(v[k]));
      high[k] = std::max(high[k], double(v[k]));
    }
  });
  if (!(low[0] <= high[0])) return;  // nothing drawable
  double centre[3], largest = 0;
  for (int k = 0; k < 3; ++k) {
    centre[k] = low[k] / 2 + high[k] / 2;  // halves first: no overflow near the float limit
    largest = std::max(largest, high[k] - low[k]);
  }
  const double scale = largest > 0 ? 2 / largest : 1;
  for (GLuint i = 1; i <= m->vertexcount; ++i) {
    GLfloat* v = &m->vertices[3 * i];
    double x = (v[0] - centre[0]) * scale, y = (v[1] - centre[1]) * scale,
           z = (v[2] - centre[2]) * scale;
    turnUp(up, x, y, z);
    v[0] = GLfloat(x), v[1] = GLfloat(y), v[2] = GLfloat(z);
  }
  turnArray(m->normals, m->normalcount, up);
  turnArray(m->facetnorms, m->facetnormcount, up);
}

bool makeUnitNormals(GLMmodel* m) {
  if (!m->normals) return false;
  for (GLuint i = 0; i < m->trianglecount; ++i)
    for (GLuint n : m->triangles[i].normalidx) {
      if (n - 1 >= m->normalcount) return false;
      const GLfloat* v = &m->normals[3 * n];
      double length = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
      if (!(length > 0) || !std::isfinite(length)) return false;
    }
  for (GLuint i = 1; i <= m->normalcount; ++i) {
    GLfloat* v = &m->normals[3 * i];
    double length = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
    if (!(length > 0) || !std::isfinite(length)) continue;  // no corner names it
    for (int k = 0; k < 3; ++k) v[k] = GLfloat(v[k] / length);
  }
  return true;
}

float TurnProfile::widest() const {
  float w = 0;
  for (float r : reach) w = std::max(w, r);
  return w;
}

TurnProfile turnProfile(const GLMmodel* m, int bands) {
  TurnProfile p;
  float bottom = INFINITY, top = -INFINITY;
  forEachDrawnVertex(m, [&](GLuint i) {
    float y = m->vertices[3 * i + 1];
    if (std::isfinite(y)) bottom = std::min(bottom, y), top = std::max(top, y);
  });
  if (!(bottom <= top)) return p;
  p.bottom = bottom, p.top = top;
  p.reach.assign(size_t(bands), -1.0f);
  const double height = double(top) - bottom;
  forEachDrawnVertex(m, [&](GLuint i) {
    const GLfloat* v = &m->vertices[3 * i];
    float r = std::hypot(v[0], v[2]);
    if (!std::isfinite(r) || !std::isfinite(v[1])) return;
    int band = height > 0 ? int((v[1] - bottom) / height * bands) : 0;
    band = std::clamp(band, 0, bands - 1);
    p.reach[size_t(band)] = std::max(p.reach[size_t(band)], r);
  });
  return p;
}

float fittedDistance(const TurnProfile& profile, float offset, float aspect, float pitch) {
  // A point at depth z is inside the picture when the eye is far enough
  // from it for its x (moved out by the copy's offset) and its y.
  const double pi = 3.14159265358979323846;
  const double tanHalf = std::tan(20.0 * pi / 180.0);
  const double across = 1.0 / (double(aspect) * tanHalf * kFill), up = 1.0 / (tanHalf * kFill);
  const double c = std::cos(pitch * pi / 180.0), s = std::sin(pitch * pi / 180.0);
  // A band's vertices lie inside the upright cylinder of its reach between
  // its two heights, whatever the turn about y; the fit is a convex function
  // of the point, so it is largest on the cylinder's two rims. Each rim is
  // checked at the corners of a polygon drawn round it.
  const double outward = 1.0 / std::cos(pi / kDirections);
  const size_t bands = profile.reach.size();
  const double height = double(profile.top) - profile.bottom;
  double distance = 0;
  for (size_t b = 0; b < bands; ++b) {
    if (profile.reach[b] < 0) continue;
    const double r = profile.reach[b] * outward;
    for (size_t edge = b; edge <= b + 1; ++edge) {
      const double y = profile.bottom + height * double(edge) / double(bands);
      for (int k = 0; k < kDirections; ++k) {
        const double angle = 2 * pi * k / kDirections;
        const double x = r * std::cos(angle), z = r * std::sin(angle);
        // Turned about x by the pitch, as glRotatef does.
        const double ty = y * c - z * s, tz = y * s + z * c;
        distance =
            std::max(distance, tz + std::max((std::fabs(x) + offset) * across, std::fabs(ty) * up));
      }
    }
  }
  return float(distance);
}
