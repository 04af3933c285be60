// Small models in formats other than OBJ, written by the tests that read
// them: an ASCII STL text and a glTF scene with its buffer.
#ifndef CELSHADE_TESTS_SCENE_FILES_H
#define CELSHADE_TESTS_SCENE_FILES_H

#include <string>

#include "support/model_builder.h"

namespace scene_files {

// Two facets of a unit square at z = 1, the second facing down.
inline const char kBracketStl[] =
    "solid bracket\n"
    "facet normal 0 0 1\n outer loop\n  vertex 0 0 1\n  vertex 1 0 1\n  vertex 1 1 1\n"
    " endloop\nendfacet\n"
    "facet normal 0 0 -1\n outer loop\n  vertex 0 0 1\n  vertex 0 1 1\n  vertex 1 1 1\n"
    " endloop\nendfacet\n"
    "endsolid bracket\n";

// A glTF scene with its buffer beside it: one triangle mesh "Wing" (normal
// (0.6, 0.8, 0), texture coordinates) placed three times, moved, mirrored
// and stretched, and an unnamed mesh under the stretched node, moved,
// with a normal only when `tailNormals`. Materials: "red paint" and an
// unnamed specular-glossiness one.
inline void writeGltf(const std::string& dir, bool tailNormals) {
  const float data[] = {0,    0,    0, 1,    0,    0, 0,    1,    0,  // positions
                        0.6f, 0.8f, 0, 0.6f, 0.8f, 0, 0.6f, 0.8f, 0,  // normals
                        0,    0,    1, 0,    0,    1};                // texture coordinates
  const unsigned short indices[4] = {0, 1, 2, 0};
  std::string bin(reinterpret_cast<const char*>(data), sizeof data);
  bin.append(reinterpret_cast<const char*>(indices), sizeof indices);
  model_builder::writeFile(dir + "parts.bin", bin);
  const std::string tail = tailNormals ? R"("POSITION": 0, "NORMAL": 1)" : R"("POSITION": 0)";
  model_builder::writeFile(dir + "parts.gltf", R"({
  "asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 1, 2]}],
  "nodes": [
    {"name": "left", "mesh": 0, "translation": [10, 0, 0]},
    {"name": "mirror", "mesh": 0, "scale": [-1, 1, 1]},
    {"name": "stretched", "mesh": 0, "scale": [2, 1, 1], "children": [3]},
    {"name": "tail", "mesh": 1, "translation": [1, 5, 0]}],
  "meshes": [
    {"name": "Wing", "primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2},
                                      "indices": 3, "material": 0}]},
    {"primitives": [{"attributes": {)" + tail + R"(}, "indices": 3, "material": 1}]}],
  "materials": [
    {"name": "red paint", "pbrMetallicRoughness": {"baseColorFactor": [1, 0, 0, 1]}},
    {"extensions": {"KHR_materials_pbrSpecularGlossiness": {
      "diffuseFactor": [0, 1, 0, 1], "specularFactor": [0.5, 0.5, 0.5], "glossinessFactor": 0.5}}}],
  "extensionsUsed": ["KHR_materials_pbrSpecularGlossiness"],
  "buffers": [{"uri": "parts.bin", "byteLength": 104}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                  {"buffer": 0, "byteOffset": 36, "byteLength": 36},
                  {"buffer": 0, "byteOffset": 72, "byteLength": 24},
                  {"buffer": 0, "byteOffset": 96, "byteLength": 6}],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC2"},
    {"bufferView": 3, "componentType": 5123, "count": 3, "type": "SCALAR"}]
})");
}

}  // namespace scene_files

#endif  // CELSHADE_TESTS_SCENE_FILES_H
