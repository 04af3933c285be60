// Implicit surfaces for the bundled models: shapes blended with a smooth
// minimum, and a polygonizer that turns the zero level of the blend into a
// closed triangle soup. Everything here is plain double arithmetic and
// square roots, so the output is the same on every run of the same build.
#ifndef CELSHADE_MODELGEN_SURFACE_H
#define CELSHADE_MODELGEN_SURFACE_H

#include <cstdint>
#include <functional>
#include <vector>

namespace modelgen {

struct Vec3 {
  double x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(Vec3 v);
Vec3 normalized(Vec3 v);

// One shape of a model. Its distance function is negative inside; for the
// stretched shapes it is an estimate that is exact on the surface.
struct Shape {
  enum Kind { Ellipsoid, Capsule } kind;
  // Ellipsoid: centre `a`, orthonormal axes u, v, w with radii r.
  // Capsule: segment a-b, radius ra at a growing linearly to rb at b.
  Vec3 a, b;
  Vec3 u, v, w;
  Vec3 r;
  double ra, rb;
  double blend;  // width of the smooth join with the shapes before it
  int part;      // which body part (and so which material) the shape is
};

// An ellipsoid whose first axis points along `axis` (normalized here) and
// whose second lies in the plane of `axis` and `up`.
Shape ellipsoid(Vec3 centre, Vec3 axis, Vec3 up, Vec3 radii, double blend, int part);
// An axis-aligned ellipsoid.
Shape ellipsoid(Vec3 centre, Vec3 radii, double blend, int part);
Shape capsule(Vec3 a, Vec3 b, double ra, double rb, double blend, int part);

// Signed distance estimate of one shape at p.
double distance(const Shape& s, Vec3 p);

// Polynomial smooth minimum: equals min(a, b) when they differ by more than
// k, and rounds the crease between them otherwise.
double smoothMin(double a, double b, double k);

// A set of shapes, joined one after the other with their blend widths.
struct Body {
  std::vector<Shape> shapes;
  double field(Vec3 p) const;
  // Index of the shape nearest to p (the first one on ties).
  int nearest(Vec3 p) const;
  // Bounding box of the shapes, grown by `margin`.
  void bounds(double margin, Vec3& lo, Vec3& hi) const;
};

// A triangle soup: three corners per triangle, counter-clockwise seen from
// outside (where the field is positive). A corner that several triangles
// share has bit-identical coordinates in each of them.
struct Soup {
  std::vector<Vec3> corners;
  size_t triangleCount() const { return corners.size() / 3; }
};

// Polygonizes the zero level of `field` over the box lo..hi sampled every
// `step`: per grid cube the surface's trace on the six faces is chained into
// closed loops (a face's two diagonal same-sign corners count as joined when
// the bilinear saddle between them has their sign), and each loop is
// triangulated. Neighbouring cubes agree on every shared face, so the soup
// is closed wherever the surface stays inside the box.
Soup polygonize(const std::function<double(Vec3)>& field, Vec3 lo, Vec3 hi, double step);

// Splits the soup's triangles where `label` (a material, say) changes along
// their edges, so that label boundaries follow the surface instead of the
// triangles' zigzag. A corner's label is label(corner); an edge whose ends
// differ is cut once, where bisection finds the change (held within the
// middle 70% of the edge), at the same point for both triangles that share
// it; a triangle with three labels also gets its centroid. Returns the new
// soup; labels[t] is the label of its triangle t. Closed soups stay closed.
Soup splitAlongLabels(const Soup& soup, const std::function<int(Vec3)>& label,
                      std::vector<int>& labels);

// Deterministic smooth 3D value noise in [-1, 1]: an integer hash of the
// lattice points of `seed`, blended with smoothstep weights.
double valueNoise(Vec3 p, uint32_t seed);

}  // namespace modelgen

#endif  // CELSHADE_MODELGEN_SURFACE_H
