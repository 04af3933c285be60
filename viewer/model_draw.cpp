// The frame's drawings from what is built once per model: the lit copy from
// display lists made with glmList, the cel-shaded copy and the outline from
// buffer objects holding the model's drawn vertices and indices, with the
// ramp coordinates computed on the CPU each frame and sent in one buffer.
// Materials with an image are drawn with it: in the lit copy on texture
// unit 0 (a list per group, the group's texture bound between them), in
// the cel-shaded copy on unit 1 beside the ramp on unit 0, so that the
// image's colour multiplies the material's colour and the band alike.
#define GL_GLEXT_PROTOTYPES
#include "model_draw.h"

#include <GL/glext.h>
#include <malloc.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "model_arrays.h"
#include "textures.h"

namespace {

// One model's arrays, kept for the whole run, and the ramp coordinates of
// the frame being drawn.
struct ModelData {
  const GLMmodel* model;
  bool textured;  // some material is drawn with an image
  ModelArrays arrays;
  std::vector<GLfloat> ramp;
};

// One model's GL objects, made when first needed.
struct ModelObjects {
  const GLMmodel* model;
  std::vector<std::pair<GLuint, GLuint>> lists;  // glmDraw mode, list name
  GLuint positions = 0, indices = 0, ramp = 0;   // buffer names
  GLuint texcoords = 0;                          // buffer name, textured models only
  std::vector<GLuint> groupTextures;             // per group in list order, 0 for none
};

// The process draws in one GL context, the window's or the offscreen one,
// made before the first frame and kept to the end: one set of objects
// serves every frame.
std::vector<std::unique_ptr<ModelData>> modelData;
std::vector<ModelObjects> modelObjects;
std::vector<std::pair<const TextureImage*, GLuint>> imageTextures;  // image, texture name

// m's arrays, built on first use.
ModelData& dataOf(const GLMmodel* m) {
  for (auto& data : modelData)
    if (data->model == m) return *data;
  modelData.emplace_back(new ModelData{m, drawnTextured(m), {}, {}});
  ModelData& data = *modelData.back();
  buildModelArrays(m, data.arrays, data.textured);
  data.ramp.resize(data.arrays.vertexCount());
  return data;
}

// m's objects.
ModelObjects& objectsOf(const GLMmodel* m) {
  for (ModelObjects& o : modelObjects)
    if (o.model == m) return o;
  modelObjects.emplace_back();
  modelObjects.back().model = m;
  return modelObjects.back();
}

// The texture of each group's material, 0 for none; each image is made a
// texture once.
const std::vector<GLuint>& groupTextures(const GLMmodel* m, ModelObjects& o) {
  if (!o.groupTextures.empty() || !m->groups) return o.groupTextures;
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    const TextureImage* image = materialImage(m, group->material);
    GLuint name = 0;
    for (const auto& [made, texture] : imageTextures)
      if (made == image) name = texture;
    if (image && !name) {
      name = makeTexture(*image);
      imageTextures.emplace_back(image, name);
    }
    o.groupTextures.push_back(name);
  }
  return o.groupTextures;
}

// Loads a's drawn vertices, texture coordinates and indices into buffers of
// o, once.
void makeBuffers(ModelObjects& o, const ModelArrays& a) {
  if (o.positions) return;
  if (!a.texcoords.empty()) {
    glGenBuffers(1, &o.texcoords);
    glBindBuffer(GL_ARRAY_BUFFER, o.texcoords);
    glBufferData(GL_ARRAY_BUFFER, a.texcoords.size() * sizeof(GLfloat), a.texcoords.data(),
                 GL_STATIC_DRAW);
  }
  GLuint names[3];
  glGenBuffers(3, names);
  o.positions = names[0];
  o.indices = names[1];
  o.ramp = names[2];
  glBindBuffer(GL_ARRAY_BUFFER, o.positions);
  glBufferData(GL_ARRAY_BUFFER, a.positions.size() * sizeof(GLfloat), a.positions.data(),
               GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, o.indices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, a.indices.size() * sizeof(GLuint), a.indices.data(),
               GL_STATIC_DRAW);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

// One draw per group from o's buffers, with the arrays the caller enabled
// besides positions; with `coloured` each group first gets its colour, and
// with `textures` its texture (or none) on unit 1.
void drawGroups(const GLMmodel* m, const ModelObjects& o, const ModelArrays& a, bool coloured,
                bool white, const std::vector<GLuint>* textures = nullptr) {
  glBindBuffer(GL_ARRAY_BUFFER, o.positions);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glEnableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, o.indices);
  size_t g = 0;
  for (const GLMgroup* group = m->groups; group; group = group->next, ++g) {
    if (coloured) groupColour(m, group, white);
    if (textures) {
      glActiveTexture(GL_TEXTURE1);
      if (GLuint texture = (*textures)[g]) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glEnable(GL_TEXTURE_2D);
      } else {
        glDisable(GL_TEXTURE_2D);
      }
      glActiveTexture(GL_TEXTURE0);
    }
    if (a.groupCount[g] == 0) continue;
    glDrawElements(GL_TRIANGLES, GLsizei(a.groupCount[g]), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(uintptr_t(a.groupFirst[g]) * sizeof(GLuint)));
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

// Mesa's software renderer replays a list's geometry in one go, with working
// arrays of tens of megabytes for a large model, allocated and freed every
// frame. malloc would take blocks that large from fresh mappings, thousands
// of page faults a frame (at times half the frame's time); from the heap,
// kept rather than trimmed, the same memory serves every frame.
void keepLargeBlocks() {
  static bool done = false;
  if (done) return;
  done = true;
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

// One list per group of m, each group's texture bound before it, as one
// list. The textures are made first: made while a list is compiled, they
// would go into it.
GLuint texturedList(GLMmodel* m, ModelObjects& o, GLuint mode) {
  const std::vector<GLuint>& textures = groupTextures(m, o);
  std::vector<GLuint> groupLists;
  for (GLMgroup* group = m->groups; group; group = group->next) {
    // The model with this group alone: glmList draws the group as it
    // draws it among the others.
    GLMgroup alone = *group;
    alone.next = nullptr;
    GLMmodel view = *m;
    view.groups = &alone;
    view.groupcount = 1;
    groupLists.push_back(glmList(&view, mode));
  }
  GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  for (size_t g = 0; g < groupLists.size(); g++) {
    if (textures[g]) {
      glBindTexture(GL_TEXTURE_2D, textures[g]);
      glEnable(GL_TEXTURE_2D);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    glCallList(groupLists[g]);
  }
  glDisable(GL_TEXTURE_2D);
  glEndList();
  return list;
}

}  // namespace

void drawLitCopy(GLMmodel* m, GLuint mode) {
  ModelObjects& o = objectsOf(m);
  // With its materials, a textured model is drawn with its images, the
  // highlight added after them.
  const bool textured = (mode & GLM_MATERIAL) && dataOf(m).textured;
  if (textured) {
    mode |= GLM_TEXTURE;
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
  }
  GLuint list = 0;
  for (const auto& [listMode, made] : o.lists)
    if (listMode == mode) list = made;
  if (!list) {
    keepLargeBlocks();
    // glmList prints the mode's warnings, once; the list is only compiled.
    list = textured ? texturedList(m, o, mode) : glmList(m, mode);
    o.lists.push_back({mode, list});
  }
  glCallList(list);
  if (textured) glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SINGLE_COLOR);
}

void drawCelShaded(const GLMmodel* m, const matrix& M, const vector& light, bool white) {
  ModelData& data = dataOf(m);
  ModelObjects& o = objectsOf(m);
  const ModelArrays& a = data.arrays;
  makeBuffers(o, a);
  rampCoordinates(M, light, a.nx.data(), a.ny.data(), a.nz.data(), a.vertexCount(),
                  data.ramp.data());
  glBindBuffer(GL_ARRAY_BUFFER, o.ramp);
  glBufferData(GL_ARRAY_BUFFER, data.ramp.size() * sizeof(GLfloat), data.ramp.data(),
               GL_STREAM_DRAW);
  glTexCoordPointer(1, GL_FLOAT, 0, nullptr);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  // Colours off, textures off too: white bands.
  const bool textured = data.textured && !white;
  if (textured) {
    glClientActiveTexture(GL_TEXTURE1);
    glBindBuffer(GL_ARRAY_BUFFER, o.texcoords);
    glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTexture(GL_TEXTURE0);
  }
  drawGroups(m, o, a, true, white, textured ? &groupTextures(m, o) : nullptr);
  if (textured) {
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glClientActiveTexture(GL_TEXTURE0);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void drawOutline(const GLMmodel* m) {
  ModelData& data = dataOf(m);
  ModelObjects& o = objectsOf(m);
  makeBuffers(o, data.arrays);
  drawGroups(m, o, data.arrays, false, false);
}
