// Shapes, their blend, value noise and the cube-loop polygonizer.
#include "surface.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace modelgen {

double length(Vec3 v) { return std::sqrt(dot(v, v)); }

Vec3 normalized(Vec3 v) { return v * (1.0 / length(v)); }

Shape ellipsoid(Vec3 centre, Vec3 axis, Vec3 up, Vec3 radii, double blend, int part) {
  Shape s{};
  s.kind = Shape::Ellipsoid;
  s.a = centre;
  s.u = normalized(axis);
  s.w = normalized(cross(s.u, up));
  s.v = cross(s.w, s.u);
  s.r = radii;
  s.blend = blend;
  s.part = part;
  return s;
}

Shape ellipsoid(Vec3 centre, Vec3 radii, double blend, int part) {
  return ellipsoid(centre, {1, 0, 0}, {0, 1, 0}, radii, blend, part);
}

Shape capsule(Vec3 a, Vec3 b, double ra, double rb, double blend, int part) {
  Shape s{};
  s.kind = Shape::Capsule;
  s.a = a;
  s.b = b;
  s.ra = ra;
  s.rb = rb;
  s.blend = blend;
  s.part = part;
  return s;
}

double distance(const Shape& s, Vec3 p) {
  Vec3 d = p - s.a;
  if (s.kind == Shape::Ellipsoid) {
    // |q| - 1 scaled by |q| / |grad|: exact on the surface, a fair estimate
    // near it, whatever the ratio of the radii.
    Vec3 q{dot(d, s.u) / s.r.x, dot(d, s.v) / s.r.y, dot(d, s.w) / s.r.z};
    Vec3 g{q.x / s.r.x, q.y / s.r.y, q.z / s.r.z};
    double k0 = length(q), k1 = length(g);
    if (k1 == 0) return -std::min(s.r.x, std::min(s.r.y, s.r.z));
    return k0 * (k0 - 1) / k1;
  }
  Vec3 ba = s.b - s.a;
  double t = std::clamp(dot(d, ba) / dot(ba, ba), 0.0, 1.0);
  return length(d - ba * t) - (s.ra + (s.rb - s.ra) * t);
}

double smoothMin(double a, double b, double k) {
  if (k <= 0) return std::min(a, b);
  double h = std::max(k - std::fabs(a - b), 0.0) / k;
  return std::min(a, b) - h * h * k * 0.25;
}

double Body::field(Vec3 p) const {
  double d = distance(shapes[0], p);
  for (size_t i = 1; i < shapes.size(); i++)
    d = smoothMin(d, distance(shapes[i], p), shapes[i].blend);
  return d;
}

int Body::nearest(Vec3 p) const {
  int best = 0;
  double bestDistance = distance(shapes[0], p);
  for (size_t i = 1; i < shapes.size(); i++) {
    double d = distance(shapes[i], p);
    if (d < bestDistance) {
      bestDistance = d;
      best = int(i);
    }
  }
  return best;
}

void Body::bounds(double margin, Vec3& lo, Vec3& hi) const {
  lo = {1e30, 1e30, 1e30};
  hi = {-1e30, -1e30, -1e30};
  auto grow = [&](Vec3 c, double r) {
    lo = {std::min(lo.x, c.x - r), std::min(lo.y, c.y - r), std::min(lo.z, c.z - r)};
    hi = {std::max(hi.x, c.x + r), std::max(hi.y, c.y + r), std::max(hi.z, c.z + r)};
  };
  for (const Shape& s : shapes) {
    if (s.kind == Shape::Ellipsoid) {
      grow(s.a, std::max(s.r.x, std::max(s.r.y, s.r.z)) + margin);
    } else {
      grow(s.a, s.ra + margin);
      grow(s.b, s.rb + margin);
    }
  }
}

// ---- Polygonizer ------------------------------------------------------------

namespace {

// Cube corner c sits at offset (c & 1, c >> 1 & 1, c >> 2 & 1). Each face
// lists its corners counter-clockwise seen from outside the cube.
const int kFaces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                          {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};

struct EdgeTable {
  int id[8][8];     // edge number of corners a < b, -1 when not an edge
  int ends[12][2];  // corners of edge e, lower first
  EdgeTable() {
    int n = 0;
    for (auto& row : id) std::fill(row, row + 8, -1);
    for (int c = 0; c < 8; c++)
      for (int bit = 1; bit < 8; bit <<= 1)
        if (!(c & bit)) {
          id[c][c | bit] = id[c | bit][c] = n;
          ends[n][0] = c;
          ends[n][1] = c | bit;
          n++;
        }
  }
};

// The edge table, built once.
const EdgeTable& edges() {
  static const EdgeTable table;
  return table;
}

// Crossings closer than this fraction of an edge to a grid point are held
// back from it, so that no triangle collapses into a sliver.
const double kEdgeMargin = 0.04;

// Where the surface crosses the grid edge pa-pb (field values fa < 0 <= fb
// or the other way round): false position on the edge itself, so that
// crossings on different edges can never meet. Held kEdgeMargin away from
// the ends.
Vec3 edgeCrossing(const std::function<double(Vec3)>& field, Vec3 pa, Vec3 pb, double fa,
                  double fb) {
  double lo = 0, hi = 1, flo = fa, fhi = fb;
  double t = fa / (fa - fb);
  for (int iteration = 0; iteration < 4; iteration++) {
    double ft = field(pa + (pb - pa) * t);
    if (ft == 0) break;
    if ((ft < 0) == (flo < 0)) {
      lo = t;
      flo = ft;
    } else {
      hi = t;
      fhi = ft;
    }
    t = lo + (hi - lo) * (flo / (flo - fhi));
  }
  return pa + (pb - pa) * std::clamp(t, kEdgeMargin, 1 - kEdgeMargin);
}

// Moves p towards the zero level along the field's gradient (central
// differences a thousandth of a grid step wide), but by at most a sixth of
// a step so that it stays clear of the loop it was made from.
Vec3 towardsSurface(const std::function<double(Vec3)>& field, Vec3 p, double step) {
  const double h = step * 1e-3;
  double f = field(p);
  Vec3 g{field({p.x + h, p.y, p.z}) - field({p.x - h, p.y, p.z}),
         field({p.x, p.y + h, p.z}) - field({p.x, p.y - h, p.z}),
         field({p.x, p.y, p.z + h}) - field({p.x, p.y, p.z - h})};
  g = g * (1 / (2 * h));
  double gg = dot(g, g);
  if (!(gg > 1e-12)) return p;
  Vec3 move = g * (f / gg);
  double len = length(move);
  if (len > step / 6) move = move * (step / 6 / len);
  return p - move;
}

}  // namespace

Soup polygonize(const std::function<double(Vec3)>& field, Vec3 lo, Vec3 hi, double step) {
  const int nx = int(std::ceil((hi.x - lo.x) / step)) + 1;
  const int ny = int(std::ceil((hi.y - lo.y) / step)) + 1;
  const int nz = int(std::ceil((hi.z - lo.z) / step)) + 1;
  auto at = [&](int i, int j, int k) {
    return Vec3{lo.x + i * step, lo.y + j * step, lo.z + k * step};
  };
  std::vector<double> values(size_t(nx) * ny * nz);
  auto index = [&](int i, int j, int k) { return (size_t(k) * ny + j) * nx + i; };
  for (int k = 0; k < nz; k++)
    for (int j = 0; j < ny; j++)
      for (int i = 0; i < nx; i++) {
        double f = field(at(i, j, k));
        // A grid point exactly on the surface would put crossings of several
        // edges at one place: count it as outside.
        values[index(i, j, k)] = f == 0 ? 1e-12 : f;
      }

  const EdgeTable& table = edges();
  Soup soup;
  for (int k = 0; k + 1 < nz; k++)
    for (int j = 0; j + 1 < ny; j++)
      for (int i = 0; i + 1 < nx; i++) {
        double f[8];
        bool inside[8];
        int insideCount = 0;
        for (int c = 0; c < 8; c++) {
          f[c] = values[index(i + (c & 1), j + (c >> 1 & 1), k + (c >> 2 & 1))];
          inside[c] = f[c] < 0;
          insideCount += inside[c];
        }
        if (insideCount == 0 || insideCount == 8) continue;

        // Crossing points, computed from the edge's lower grid point so that
        // every cube sharing the edge gets the same bits.
        Vec3 point[12];
        for (int e = 0; e < 12; e++) {
          int a = table.ends[e][0], b = table.ends[e][1];
          if (inside[a] == inside[b]) continue;
          Vec3 pa = at(i + (a & 1), j + (a >> 1 & 1), k + (a >> 2 & 1));
          Vec3 pb = at(i + (b & 1), j + (b >> 1 & 1), k + (b >> 2 & 1));
          point[e] = edgeCrossing(field, pa, pb, f[a], f[b]);
        }

        // On each face the trace runs from a crossing where the walk around
        // the face enters the inside to one where it leaves it, so the
        // inside lies to the right seen from outside the cube.
        int next[12];
        std::fill(next, next + 12, -1);
        for (const auto& q : kFaces) {
          int crossing[4], count = 0;
          bool entering[4];
          for (int s = 0; s < 4; s++) {
            int a = q[s], b = q[(s + 1) % 4];
            if (inside[a] == inside[b]) continue;
            crossing[count] = table.id[a][b];
            entering[count] = !inside[a];
            count++;
          }
          if (count == 2) {
            int from = entering[0] ? 0 : 1;
            next[crossing[from]] = crossing[1 - from];
          } else if (count == 4) {
            // Diagonal corners alike on both diagonals: the bilinear saddle
            // decides, and its sign is that of in0*in1 - out0*out1.
            double productIn = 1, productOut = 1;
            for (int s = 0; s < 4; s++) (inside[q[s]] ? productIn : productOut) *= f[q[s]];
            bool insideJoined = productIn > productOut;
            for (int m = 0; m < 4; m++)
              if (entering[m]) next[crossing[m]] = crossing[(m + (insideJoined ? 3 : 1)) % 4];
          }
        }

        bool done[12] = {};
        for (int e0 = 0; e0 < 12; e0++) {
          if (next[e0] < 0 || done[e0]) continue;
          std::vector<Vec3> loop;
          for (int e = e0; !done[e]; e = next[e]) {
            if (next[e] < 0) {
              fprintf(stderr, "modelgen: open surface trace in a grid cube\n");
              exit(1);
            }
            done[e] = true;
            loop.push_back(point[e]);
          }
          auto emit = [&](Vec3 a, Vec3 b, Vec3 c) {
            soup.corners.push_back(a);
            soup.corners.push_back(b);
            soup.corners.push_back(c);
          };
          size_t n = loop.size();
          if (n == 3) {
            emit(loop[0], loop[1], loop[2]);
          } else if (n == 4) {
            Vec3 d02 = loop[2] - loop[0], d13 = loop[3] - loop[1];
            if (dot(d02, d02) <= dot(d13, d13)) {
              emit(loop[0], loop[1], loop[2]);
              emit(loop[0], loop[2], loop[3]);
            } else {
              emit(loop[1], loop[2], loop[3]);
              emit(loop[1], loop[3], loop[0]);
            }
          } else {
            // Longer loops bend through the cube: fan around their centroid.
            Vec3 centre{0, 0, 0};
            for (Vec3 p : loop) centre = centre + p;
            centre = towardsSurface(field, centre * (1.0 / double(n)), step);
            for (size_t s = 0; s < n; s++) emit(centre, loop[s], loop[(s + 1) % n]);
          }
        }
      }
  return soup;
}

// ---- Label boundaries -------------------------------------------------------

namespace {

// Orders points by x, then y, then z.
bool lexicographicLess(Vec3 a, Vec3 b) {
  if (a.x != b.x) return a.x < b.x;
  if (a.y != b.y) return a.y < b.y;
  return a.z < b.z;
}

// Where the label changes between a and b, found from the lexicographically
// smaller end so that both triangles sharing the edge get the same bits.
Vec3 labelChange(const std::function<int(Vec3)>& label, Vec3 a, Vec3 b) {
  if (lexicographicLess(b, a)) std::swap(a, b);
  int from = label(a);
  double lo = 0, hi = 1;
  for (int iteration = 0; iteration < 10; iteration++) {
    double mid = (lo + hi) / 2;
    (label(a + (b - a) * mid) == from ? lo : hi) = mid;
  }
  // A cut right next to a corner would leave a sliver.
  double t = std::clamp((lo + hi) / 2, 0.15, 0.85);
  return a + (b - a) * t;
}

}  // namespace

Soup splitAlongLabels(const Soup& soup, const std::function<int(Vec3)>& label,
                      std::vector<int>& labels) {
  Soup out;
  labels.clear();
  auto emit = [&](Vec3 a, Vec3 b, Vec3 c, int l) {
    out.corners.push_back(a);
    out.corners.push_back(b);
    out.corners.push_back(c);
    labels.push_back(l);
  };
  for (size_t t = 0; t < soup.triangleCount(); t++) {
    const Vec3* p = &soup.corners[3 * t];
    int l[3] = {label(p[0]), label(p[1]), label(p[2])};
    if (l[0] == l[1] && l[1] == l[2]) {
      emit(p[0], p[1], p[2], l[0]);
    } else if (l[0] != l[1] && l[1] != l[2] && l[2] != l[0]) {
      Vec3 s01 = labelChange(label, p[0], p[1]), s12 = labelChange(label, p[1], p[2]),
           s20 = labelChange(label, p[2], p[0]);
      Vec3 m = (p[0] + p[1] + p[2]) * (1.0 / 3);
      emit(p[0], s01, m, l[0]);
      emit(p[0], m, s20, l[0]);
      emit(p[1], s12, m, l[1]);
      emit(p[1], m, s01, l[1]);
      emit(p[2], s20, m, l[2]);
      emit(p[2], m, s12, l[2]);
    } else {
      // Two corners agree: turn the triangle so that the odd one is last.
      int odd = l[0] == l[1] ? 2 : l[1] == l[2] ? 0 : 1;
      Vec3 a = p[(odd + 1) % 3], b = p[(odd + 2) % 3], c = p[odd];
      Vec3 sbc = labelChange(label, b, c), sca = labelChange(label, c, a);
      int same = l[(odd + 1) % 3];
      emit(a, b, sbc, same);
      emit(a, sbc, sca, same);
      emit(sca, sbc, c, l[odd]);
    }
  }
  return out;
}

// ---- Noise ------------------------------------------------------------------

namespace {

// Well-mixed 32-bit hash of a lattice point and a seed.
uint32_t hashLattice(int32_t x, int32_t y, int32_t z, uint32_t seed) {
  uint32_t h = seed;
  h ^= uint32_t(x) * 0x8da6b343u;
  h = (h ^ (h >> 15)) * 0x2c1b3c6du;
  h ^= uint32_t(y) * 0xd8163841u;
  h = (h ^ (h >> 12)) * 0x297a2d39u;
  h ^= uint32_t(z) * 0xcb1ab31fu;
  h = (h ^ (h >> 15)) * 0x7feb352du;
  h ^= h >> 16;
  return h;
}

// The noise value at a lattice point, in [-1, 1).
double lattice(int32_t x, int32_t y, int32_t z, uint32_t seed) {
  return double(hashLattice(x, y, z, seed)) / 2147483648.0 - 1.0;
}

// 3t^2 - 2t^3: weights with a flat start and end, so cells join smoothly.
double smoothstep(double t) { return t * t * (3 - 2 * t); }

// a at t = 0, b at t = 1.
double mix(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

double valueNoise(Vec3 p, uint32_t seed) {
  double fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
  int32_t x = int32_t(fx), y = int32_t(fy), z = int32_t(fz);
  double tx = smoothstep(p.x - fx), ty = smoothstep(p.y - fy), tz = smoothstep(p.z - fz);
  double plane[2];
  for (int dz = 0; dz < 2; dz++) {
    double row0 = mix(lattice(x, y, z + dz, seed), lattice(x + 1, y, z + dz, seed), tx);
    double row1 = mix(lattice(x, y + 1, z + dz, seed), lattice(x + 1, y + 1, z + dz, seed), tx);
    plane[dz] = mix(row0, row1, ty);
  }
  return mix(plane[0], plane[1], tz);
}

}  // namespace modelgen
