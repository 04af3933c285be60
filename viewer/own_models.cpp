// Models given on the command line: each read before the window opens,
// made drawable as people export them (normals of any length or none, a
// material library missing or none), and placed where its view shows it.
#include "own_models.h"

#include <import.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "messages.h"
#include "scene.h"
#include "textures.h"

// Space between the two copies, in the units of a placed model (whose
// largest side is 2).
static const float kGap = 0.2f;

// A model without a material library gets the one material it would have
// had with an empty library: "default", with the library's default colours.
static void giveDefaultMaterial(GLMmodel* m) {
  GLMmaterial* material = (GLMmaterial*)malloc(sizeof(GLMmaterial));
  *material = glmDefaultMaterial();
  material->name = strdup("default");
  m->materials = material;
  m->materialcount = 1;
  for (GLMgroup* group = m->groups; group; group = group->next) group->material = 0;
}

// Unit normals: the model's own, scaled, when every corner has one with a
// direction; otherwise smooth ones computed from the faces (after placing,
// so that a model far from the origin loses no precision).
static void giveUnitNormals(GLMmodel* m) {
  if (makeUnitNormals(m)) return;
  glmFacetNormals(m);
  glmVertexNormals(m, 90.0f);
}

void readOwnModels(const char* const* files, int count, UpAxis up, GLuint readFlags) {
  // All are read and checked before any is changed, so that a bad last
  // file stops the run before the others print anything but warnings.
  std::vector<EmbeddedImage> embedded[kMaxModels];
  for (int i = 0; i < count; ++i) {
    std::string reason;
    GLMmodel* m;
    {
      MessageRelay relay;
      m = importModel(files[i], readFlags, reason, &embedded[i]);
    }
    if (!m) refuse(reason);
    if (m->trianglecount == 0) refuse(std::string(files[i]) + ": no faces to draw");
    ownModels[i].file = files[i];
    ownModels[i].model = m;
  }
  for (int i = 0; i < count; ++i) {
    ownModel& own = ownModels[i];
    GLMmodel* m = own.model;
    placeModel(m, up);
    {
      // Models exported without normals often carry vertices no triangle
      // uses, and the library warns once for each of them.
      MessageRelay relay;
      giveUnitNormals(m);
    }
    if (!m->materials) giveDefaultMaterial(m);
    loadTextures(m, own.file, embedded[i]);
    own.profile = turnProfile(m);
    own.offset = own.profile.widest() + kGap / 2;
  }
  ownModelCount = count;
}
