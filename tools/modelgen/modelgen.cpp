// modelgen: builds the viewer's three bundled models (cow, penguin, rabbit)
// from shapes described below and writes them, with their material
// libraries, into the folder given on the command line.
//
//   modelgen OUTDIR
//
// Each animal is a smooth blend of ellipsoids and capsules, polygonized on a
// grid into a triangle soup, welded into a closed mesh, given smoothed
// normals and written as OBJ + MTL by the model library. The output depends
// only on this file and the library: no clock, no randomness beyond the
// fixed-seed noise that lays out the cow's patches.
#include <glm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "surface.h"

namespace {

using modelgen::Body;
using modelgen::capsule;
using modelgen::ellipsoid;
using modelgen::Vec3;

struct Material {
  const char* name;
  float r, g, b;
};

struct Animal {
  const char* name;  // file stem: NAME.obj and NAME.mtl
  Body body;
  std::vector<Material> materials;  // index 0 is the library's "default"
  // Material index for a surface point whose nearest shape is `part`.
  int (*paint)(Vec3 p, int part);
  double step;  // grid spacing of the polygonizer, in design units
  // Lean about x (cosine and sine of the angle): nose down, back up.
  double pitchCos, pitchSin;
};

// The models lean by a fixed angle; its sine and cosine are written out so
// that no library trigonometry enters the output.
Vec3 unpitch(const Animal& a, Vec3 p) {
  return {p.x, a.pitchCos * p.y + a.pitchSin * p.z, -a.pitchSin * p.y + a.pitchCos * p.z};
}

// ---- Cow --------------------------------------------------------------------
// Facing +z, its long body along the line of sight, head held a little low.

enum CowPart { kCowHide, kCowFace, kCowMuzzle, kCowHoof, kCowHorn, kCowEye, kCowUdder, kCowTuft };
enum CowMaterial {
  kCowWhite = 1,
  kCowBlack,
  kCowPink,
  kCowHoofColour,
  kCowHornColour,
  kCowEyeColour
};

// Parts keep their colour; the hide is white with black patches.
int paintCow(Vec3 p, int part) {
  switch (part) {
    case kCowMuzzle:
    case kCowUdder: return kCowPink;
    case kCowHoof: return kCowHoofColour;
    case kCowHorn: return kCowHornColour;
    case kCowEye: return kCowEyeColour;
    case kCowTuft: return kCowBlack;
    case kCowFace: return kCowWhite;
  }
  // Hide: black patches where a smooth noise field is high.
  double n = modelgen::valueNoise(p * 3.2, 7u) + 0.5 * modelgen::valueNoise(p * 6.4, 11u);
  return n > 0.28 ? kCowBlack : kCowWhite;
}

// The cow in design units, about 1.9 long.
Animal cow() {
  Animal a{};
  a.name = "cow";
  a.materials = {{"default", 0.8f, 0.8f, 0.8f},  {"hide", 0.96f, 0.95f, 0.92f},
                 {"patch", 0.13f, 0.12f, 0.12f}, {"pink", 0.96f, 0.62f, 0.66f},
                 {"hoof", 0.30f, 0.24f, 0.20f},  {"horn", 0.95f, 0.90f, 0.72f},
                 {"eye", 0.06f, 0.05f, 0.05f}};
  a.paint = paintCow;
  a.step = 0.044;
  a.pitchCos = 0.9848077530122080;  // 10 degrees
  a.pitchSin = 0.1736481776669303;
  auto& s = a.body.shapes;
  // Barrel, rump and chest.
  s.push_back(ellipsoid({0, 0.22, -0.12}, {0.23, 0.26, 0.58}, 0, kCowHide));
  s.push_back(ellipsoid({0, 0.26, -0.52}, {0.22, 0.25, 0.24}, 0.10, kCowHide));
  s.push_back(ellipsoid({0, 0.20, 0.26}, {0.21, 0.26, 0.26}, 0.10, kCowHide));
  // Short neck and a long face hanging forward and down to the muzzle.
  s.push_back(capsule({0, 0.28, 0.34}, {0, 0.22, 0.56}, 0.15, 0.11, 0.10, kCowHide));
  s.push_back(capsule({0, 0.26, 0.58}, {0, 0.02, 0.80}, 0.095, 0.065, 0.06, kCowFace));
  s.push_back(ellipsoid({0, -0.02, 0.83}, {0.068, 0.065, 0.085}, 0.04, kCowMuzzle));
  for (double side : {1.0, -1.0}) {
    auto m = [side](Vec3 p) { return Vec3{p.x * side, p.y, p.z}; };
    // Eyes, drooping ears and short horns curving up.
    s.push_back(ellipsoid(m({0.078, 0.225, 0.655}), {0.033, 0.033, 0.033}, 0.01, kCowEye));
    s.push_back(ellipsoid(m({0.12, 0.245, 0.55}), m({1, -0.9, -0.5}), {0, 1, 0},
                          {0.07, 0.045, 0.02}, 0.03, kCowHide));
    s.push_back(
        capsule(m({0.06, 0.32, 0.57}), m({0.12, 0.43, 0.55}), 0.028, 0.012, 0.03, kCowHorn));
    // Legs with hooves.
    for (double z : {0.30, -0.52}) {
      s.push_back(
          capsule(m({0.13, 0.10, z}), m({0.13, -0.58, z + 0.02}), 0.08, 0.052, 0.08, kCowHide));
      s.push_back(capsule(m({0.13, -0.62, z + 0.02}), m({0.13, -0.69, z + 0.03}), 0.058, 0.062,
                          0.02, kCowHoof));
    }
  }
  // Udder with four teats.
  s.push_back(ellipsoid({0, -0.07, -0.32}, {0.11, 0.10, 0.13}, 0.06, kCowUdder));
  for (double x : {-0.05, 0.05})
    for (double z : {-0.38, -0.26})
      s.push_back(capsule({x, -0.12, z}, {x, -0.21, z}, 0.022, 0.018, 0.02, kCowUdder));
  // Tail hanging from the rump, with its tuft.
  s.push_back(capsule({0, 0.40, -0.74}, {0, -0.18, -0.82}, 0.036, 0.03, 0.04, kCowHide));
  s.push_back(ellipsoid({0, -0.24, -0.82}, {0.05, 0.09, 0.05}, 0.03, kCowTuft));
  return a;
}

// ---- Penguin ------------------------------------------------------------------

enum PenguinPart { kPenBack, kPenBelly, kPenFace, kPenBeak, kPenFoot, kPenEye, kPenFlipper };
enum PenguinMaterial { kPenBlack = 1, kPenWhite, kPenOrange, kPenEyeColour };

// Black except the white front, orange beak and feet and the eyes.
int paintPenguin(Vec3, int part) {
  switch (part) {
    case kPenBelly:
    case kPenFace: return kPenWhite;
    case kPenBeak:
    case kPenFoot: return kPenOrange;
    case kPenEye: return kPenEyeColour;
  }
  return kPenBlack;
}

// The penguin standing upright, facing +z.
Animal penguin() {
  Animal a{};
  a.name = "penguin";
  a.materials = {{"default", 0.8f, 0.8f, 0.8f},
                 {"back", 0.12f, 0.13f, 0.17f},
                 {"front", 0.97f, 0.97f, 0.95f},
                 {"beak", 1.0f, 0.55f, 0.10f},
                 {"eye", 0.05f, 0.05f, 0.06f}};
  a.paint = paintPenguin;
  a.step = 0.031;
  a.pitchCos = 1;
  a.pitchSin = 0;
  auto& s = a.body.shapes;
  // Black body and head; the white front is a slightly fuller shape that
  // shows through only on the front, up to the chin.
  s.push_back(ellipsoid({0, -0.15, 0}, {0.25, 0.60, 0.25}, 0, kPenBack));
  s.push_back(ellipsoid({0, 0.50, 0.0}, {0.18, 0.19, 0.18}, 0.18, kPenBack));
  s.push_back(ellipsoid({0, -0.14, 0.045}, {0.225, 0.58, 0.235}, 0.02, kPenBelly));
  for (double side : {1.0, -1.0}) {
    // White eye rings with dark pupils.
    s.push_back(ellipsoid({0.08 * side, 0.56, 0.125}, {0.06, 0.06, 0.05}, 0.01, kPenFace));
    s.push_back(ellipsoid({0.088 * side, 0.565, 0.162}, {0.034, 0.034, 0.026}, 0.004, kPenEye));
    // Flippers hang along the sides, tips slightly out.
    s.push_back(ellipsoid({0.225 * side, -0.05, -0.02}, {0.15 * side, -1, 0}, {0, 0, 1},
                          {0.32, 0.10, 0.024}, 0.05, kPenFlipper));
    // Feet pointing forward.
    s.push_back(capsule({0.09 * side, -0.66, 0.03}, {0.10 * side, -0.75, 0.08}, 0.05, 0.04, 0.05,
                        kPenBack));
    s.push_back(ellipsoid({0.10 * side, -0.77, 0.13}, {0.15 * side, 0, 1}, {0, 1, 0},
                          {0.13, 0.035, 0.075}, 0.04, kPenFoot));
  }
  s.push_back(
      ellipsoid({0, 0.45, 0.24}, {0, -0.35, 1}, {0, 1, 0}, {0.11, 0.04, 0.045}, 0.04, kPenBeak));
  return a;
}

// ---- Rabbit -------------------------------------------------------------------
// Crouching, facing +z, ears raised and swept back.

enum RabbitPart { kRabFur, kRabInnerEar, kRabNose, kRabEye, kRabTail };
enum RabbitMaterial { kRabFurColour = 1, kRabPink, kRabEyeColour, kRabWhite };

// Light fur, pink nose and ear linings, dark eyes, white tail.
int paintRabbit(Vec3, int part) {
  switch (part) {
    case kRabInnerEar:
    case kRabNose: return kRabPink;
    case kRabEye: return kRabEyeColour;
    case kRabTail: return kRabWhite;
  }
  return kRabFurColour;
}

// The rabbit in its final units: nose at z = 0.96, tail at -0.94.
Animal rabbit() {
  Animal a{};
  a.name = "rabbit";
  a.materials = {{"default", 0.8f, 0.8f, 0.8f},
                 {"fur", 0.86f, 0.80f, 0.72f},
                 {"pink", 0.97f, 0.62f, 0.70f},
                 {"eye", 0.06f, 0.04f, 0.05f},
                 {"tail", 0.98f, 0.98f, 0.97f}};
  a.paint = paintRabbit;
  a.step = 0.042;
  a.pitchCos = 1;
  a.pitchSin = 0;
  auto& s = a.body.shapes;
  // Haunches, body and chest, low to the ground.
  s.push_back(ellipsoid({0, -0.22, -0.45}, {0.25, 0.28, 0.42}, 0, kRabFur));
  s.push_back(ellipsoid({0, -0.20, 0.08}, {0.19, 0.23, 0.40}, 0.15, kRabFur));
  // Head, forward and narrow, with a rounded muzzle and the nose in front.
  s.push_back(
      ellipsoid({0, 0.0, 0.70}, {0, -0.2, 1}, {0, 1, 0}, {0.21, 0.15, 0.112}, 0.10, kRabFur));
  s.push_back(ellipsoid({0, -0.06, 0.87}, {0.075, 0.065, 0.07}, 0.04, kRabFur));
  s.push_back(ellipsoid({0, -0.005, 0.93}, {0.032, 0.022, 0.026}, 0.012, kRabNose));
  for (double side : {1.0, -1.0}) {
    // Eyes: a sphere sunk into the head so that only a low cap shows. The
    // colour follows the nearest shape, not the grid, so the eye reads round
    // even where the grid is too coarse for a small bump.
    s.push_back(ellipsoid({0.058 * side, 0.085, 0.785}, {0.04, 0.04, 0.04}, 0.005, kRabEye));
    // Ears: long, flattened, raised and swept back over the body, with a
    // pink lining on the side that faces forward.
    Vec3 earAxis{0.14 * side, 0.72, -0.68};
    s.push_back(ellipsoid({0.10 * side, 0.33, 0.41}, earAxis, {1, 0, 0}, {0.30, 0.085, 0.045}, 0.05,
                          kRabFur));
    s.push_back(ellipsoid({0.10 * side, 0.350, 0.4335}, earAxis, {1, 0, 0}, {0.25, 0.06, 0.024},
                          0.0, kRabInnerEar));
    // Hind feet along the ground, forepaws under the chest.
    s.push_back(ellipsoid({0.16 * side, -0.46, -0.30}, {0.07, 0.05, 0.25}, 0.06, kRabFur));
    s.push_back(capsule({0.075 * side, -0.22, 0.36}, {0.075 * side, -0.45, 0.44}, 0.05, 0.042, 0.06,
                        kRabFur));
  }
  s.push_back(ellipsoid({0, -0.10, -0.86}, {0.09, 0.09, 0.08}, 0.04, kRabTail));
  return a;
}

// ---- Building and writing -----------------------------------------------------------

// n zeroed items from calloc (the library frees them); ends the process
// when memory runs out.
template <class T>
T* allocate(size_t n) {
  T* p = static_cast<T*>(calloc(n ? n : 1, sizeof(T)));
  if (!p) {
    fprintf(stderr, "modelgen: out of memory\n");
    exit(1);
  }
  return p;
}

// A calloc'ed copy of s.
char* copyString(const char* s) {
  char* c = allocate<char>(strlen(s) + 1);
  memcpy(c, s, strlen(s) + 1);
  return c;
}

// True when every edge of the welded mesh is used once in each direction:
// a closed, consistently wound surface.
bool closedSurface(const GLMmodel* m) {
  std::vector<std::pair<GLuint, GLuint>> directed;
  directed.reserve(size_t(m->trianglecount) * 3);
  for (GLuint t = 0; t < m->trianglecount; t++)
    for (int k = 0; k < 3; k++)
      directed.emplace_back(m->triangles[t].vertexidx[k], m->triangles[t].vertexidx[(k + 1) % 3]);
  std::sort(directed.begin(), directed.end());
  for (size_t i = 0; i < directed.size(); i++) {
    if (directed[i].first == directed[i].second) return false;
    if (i && directed[i] == directed[i - 1]) return false;
    if (!std::binary_search(directed.begin(), directed.end(),
                            std::make_pair(directed[i].second, directed[i].first)))
      return false;
  }
  return true;
}

// Polygonizes the animal into a new model: one group per material (after the
// empty "default"), vertices centred on the origin with largest extent 2.
GLMmodel* build(const Animal& animal) {
  const Animal* a = &animal;
  Vec3 lo, hi;
  a->body.bounds(2 * a->step, lo, hi);
  // A leaning model turns about x: in y and z it stays within the circle
  // through the farthest corner of its upright box.
  if (a->pitchSin != 0) {
    double r = std::sqrt(std::max(lo.y * lo.y, hi.y * hi.y) + std::max(lo.z * lo.z, hi.z * hi.z));
    lo = {lo.x, -r, -r};
    hi = {hi.x, r, r};
  }
  // Each point of the surface takes the material of the shape nearest to
  // it; triangles are cut where that changes.
  std::vector<int> material;
  modelgen::Soup soup = modelgen::splitAlongLabels(
      modelgen::polygonize([a](Vec3 p) { return a->body.field(unpitch(*a, p)); }, lo, hi, a->step),
      [a](Vec3 p) {
        Vec3 q = unpitch(*a, p);
        return a->paint(q, a->body.shapes[size_t(a->body.nearest(q))].part);
      },
      material);

  const size_t triangles = soup.triangleCount();
  Vec3 min = soup.corners[0], max = soup.corners[0];
  for (Vec3 p : soup.corners) {
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
  }
  Vec3 centre = (min + max) * 0.5;
  double scale = 2 / std::max({max.x - min.x, max.y - min.y, max.z - min.z});

  GLMmodel* m = allocate<GLMmodel>(1);
  std::string stem = a->name;
  m->path = copyString((stem + ".obj").c_str());
  m->mtllib = copyString((stem + ".mtl").c_str());
  m->vertexcount = GLuint(triangles * 3);
  m->vertices = allocate<GLfloat>((triangles * 3 + 1) * 3);
  for (size_t i = 0; i < soup.corners.size(); i++) {
    Vec3 p = (soup.corners[i] - centre) * scale;
    m->vertices[3 * (i + 1) + 0] = GLfloat(p.x);
    m->vertices[3 * (i + 1) + 1] = GLfloat(p.y);
    m->vertices[3 * (i + 1) + 2] = GLfloat(p.z);
  }
  m->trianglecount = GLuint(triangles);
  m->triangles = allocate<GLMtriangle>(triangles);

  m->materialcount = GLuint(a->materials.size());
  m->materials = allocate<GLMmaterial>(a->materials.size());
  for (size_t i = 0; i < a->materials.size(); i++) {
    const Material& src = a->materials[i];
    GLMmaterial& dst = m->materials[i];
    dst = GLMmaterial();
    dst.name = copyString(src.name);
    const GLfloat kd[4] = {src.r, src.g, src.b, 1};
    for (int c = 0; c < 4; c++) {
      dst.diffuse[c] = kd[c];
      dst.ambient[c] = c < 3 ? 0.3f * kd[c] : 1;
      dst.specular[c] = c < 3 ? 0.1f : 1;
    }
    dst.shininess = 32;
  }

  std::vector<GLuint> perMaterial(a->materials.size());
  for (size_t t = 0; t < triangles; t++) {
    for (int k = 0; k < 3; k++) m->triangles[t].vertexidx[k] = GLuint(3 * t + k + 1);
    perMaterial[size_t(material[t])]++;
  }
  // The groups are made last material first, so that the list (newest
  // first) and the drawing follow the materials' order.
  glmAddGroup(m, "default");
  std::vector<GLMgroup*> groups(a->materials.size());
  for (size_t i = a->materials.size() - 1; i >= 1; i--) {
    GLMgroup* g = glmAddGroup(m, a->materials[i].name);
    g->material = GLuint(i);
    g->triangles = allocate<GLuint>(perMaterial[i]);
    groups[i] = g;
  }
  for (size_t t = 0; t < triangles; t++) {
    GLMgroup* g = groups[size_t(material[t])];
    g->triangles[g->trianglecount++] = GLuint(t);
  }

  // Corners that came from one grid edge carry identical bits, and distinct
  // vertices lie at least a few hundredths of a grid step apart.
  glmWeld(m, 1e-5f);
  glmFacetNormals(m);
  glmVertexNormals(m, 90);
  return m;
}

}  // namespace

// Writes the three models into OUTDIR; exit status 1 when one of them is not
// a closed surface.
int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: modelgen OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  int status = 0;
  for (const Animal& animal : {cow(), penguin(), rabbit()}) {
    GLMmodel* m = build(animal);
    std::string path = dir + "/" + animal.name + ".obj";
    glmWriteOBJ(m, path.c_str(), GLM_SMOOTH | GLM_MATERIAL);
    bool closed = closedSurface(m);
    printf("%s: %u triangles, %u vertices, %u groups%s\n", path.c_str(), m->trianglecount,
           m->vertexcount, m->groupcount, closed ? "" : ", NOT CLOSED");
    if (!closed) status = 1;
    glmDelete(m);
  }
  return status;
}
