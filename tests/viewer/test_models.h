// Small generated models and shading ramps for running the viewer: ellipsoids
// with smooth per-corner normals and a box with flat faces, each group with
// its own material, written as OBJ + MTL pairs.
#ifndef CELSHADE_TEST_MODELS_H
#define CELSHADE_TEST_MODELS_H

#include <functional>
#include <string>
#include <vector>

namespace celshade_test {

struct Material {
  std::string name;
  float r, g, b;  // diffuse colour
};

// Picks the material (index into the list) of a triangle from its centroid.
using MaterialOf = std::function<int(float x, float y, float z)>;

// Writes dir/name.obj and dir/name.mtl: an ellipsoid with radii rx, ry, rz
// around the y axis, `slices` around and `stacks` from pole to pole, one
// normal per vertex, one group per material (named like it). Returns the
// number of triangles, or -1 when a file could not be written.
long writeEllipsoid(const std::string& dir, const std::string& name, float rx, float ry, float rz,
                    int slices, int stacks, const std::vector<Material>& materials,
                    const MaterialOf& materialOf);

// Writes an ellipsoid as above to `path` as people often export models:
// vertices and triangles only, no normals, no material library.
bool writeBareEllipsoid(const std::string& path, float rx, float ry, float rz, int slices,
                        int stacks);

// Writes the same ellipsoid to `path` as an ASCII PLY file: vertices and
// triangles only.
bool writeBareEllipsoidPly(const std::string& path, float rx, float ry, float rz, int slices,
                           int stacks);

// Writes dir/name.obj and dir/name.mtl: a box spanning -sx..sx, -sy..sy,
// -sz..sz with one normal per face, as quads; the face towards +z is the
// group "front" with material `front`, the others the group "sides" with
// `sides`. Returns false when a file could not be written.
bool writeBox(const std::string& dir, const std::string& name, float sx, float sy, float sz,
              const Material& front, const Material& sides);

// Writes dir/Shader.txt with one value per line.
bool writeRamp(const std::string& dir, const std::vector<std::string>& lines);

}  // namespace celshade_test

#endif  // CELSHADE_TEST_MODELS_H
