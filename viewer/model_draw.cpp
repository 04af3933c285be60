// The frame's drawings from what is built once per model: the lit copy from
// display lists made with glmList, the cel-shaded copy and the outline from
// buffer objects holding the model's drawn vertices and indices, with the
// ramp coordinates computed on the CPU each frame and sent in one buffer.
#define GL_GLEXT_PROTOTYPES
#include "model_draw.h"

#include <GL/glext.h>
#include <dlfcn.h>
#include <malloc.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "model_arrays.h"

namespace {

// One model's arrays, kept for the whole run, and the ramp coordinates of
// the frame being drawn.
struct ModelData {
  const GLMmodel* model;
  ModelArrays arrays;
  std::vector<GLfloat> ramp;
};

// One model's GL objects in one context, made when first needed.
struct ModelObjects {
  const GLMmodel* model;
  std::vector<std::pair<GLuint, GLuint>> lists;  // glmDraw mode, list name
  GLuint positions = 0, indices = 0, ramp = 0;   // buffer names
};

// The objects made in one context. The marker is an empty list made there
// first: when a context is destroyed and a new one gets its address, the
// marker is gone and so are the names recorded with it.
struct ContextObjects {
  void* context;
  GLuint marker;
  std::vector<ModelObjects> models;
};

std::vector<std::unique_ptr<ModelData>> modelData;
std::vector<ContextObjects> contexts;

// The context current on this thread, whichever interface made it: the
// window's (GLX) or an offscreen one (OSMesa, EGL); null when unknown.
void* currentContext() {
  using Query = void* (*)();
  static const Query queries[] = {
      reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "OSMesaGetCurrentContext")),
      reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "eglGetCurrentContext")),
      reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "glXGetCurrentContext"))};
  for (Query query : queries)
    if (query)
      if (void* context = query()) return context;
  return nullptr;
}

// m's arrays, built on first use.
ModelData& dataOf(const GLMmodel* m) {
  for (auto& data : modelData)
    if (data->model == m) return *data;
  modelData.emplace_back(new ModelData{m, {}, {}});
  ModelData& data = *modelData.back();
  buildModelArrays(m, data.arrays);
  data.ramp.resize(data.arrays.vertexCount());
  return data;
}

GLuint newMarker() {
  GLuint marker = glGenLists(1);
  glNewList(marker, GL_COMPILE);
  glEndList();
  return marker;
}

// m's objects in the current context.
ModelObjects& objectsOf(const GLMmodel* m) {
  void* context = currentContext();
  ContextObjects* here = nullptr;
  for (ContextObjects& c : contexts)
    if (c.context == context) here = &c;
  if (!here) {
    contexts.push_back({context, newMarker(), {}});
    here = &contexts.back();
  } else if (!glIsList(here->marker)) {
    here->marker = newMarker();
    here->models.clear();
  }
  for (ModelObjects& o : here->models)
    if (o.model == m) return o;
  here->models.push_back({m, {}});
  return here->models.back();
}

// Loads a's drawn vertices and indices into buffers of o, once.
void makeBuffers(ModelObjects& o, const ModelArrays& a) {
  if (o.positions) return;
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
// besides positions; with `coloured` each group first gets its colour.
void drawGroups(const GLMmodel* m, const ModelObjects& o, const ModelArrays& a, bool coloured,
                bool white) {
  glBindBuffer(GL_ARRAY_BUFFER, o.positions);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glEnableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, o.indices);
  size_t g = 0;
  for (const GLMgroup* group = m->groups; group; group = group->next, ++g) {
    if (coloured) groupColour(m, group, white);
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

}  // namespace

void drawLitCopy(GLMmodel* m, GLuint mode) {
  ModelObjects& o = objectsOf(m);
  for (const auto& [listMode, list] : o.lists)
    if (listMode == mode) {
      glCallList(list);
      return;
    }
  keepLargeBlocks();
  // glmList prints the mode's warnings, once; the list is only compiled.
  GLuint list = glmList(m, mode);
  o.lists.push_back({mode, list});
  glCallList(list);
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
  drawGroups(m, o, a, true, white);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void drawOutline(const GLMmodel* m) {
  ModelData& data = dataOf(m);
  ModelObjects& o = objectsOf(m);
  makeBuffers(o, data.arrays);
  drawGroups(m, o, data.arrays, false, false);
}
