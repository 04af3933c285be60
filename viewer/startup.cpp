// Start-up in the GL context a run draws in: the fixed GL state, the ramp
// texture, the view, and the bundled models with their progress lines.
#include "startup.h"

#include <cstdio>

#include "input.h"
#include "scene.h"
#include "textures.h"

bool init() {
  const bool bundled = ownModelCount == 0;
  if (bundled) {
    printf("Initializing\n");
    printf("loading shader file...\n");
  }

  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  if (bundled)
    glClearColor(0.8f, 0.8f, 0.8f, 0.0f);
  else if (background.transparent)
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);  // the outline's soft edge blends into black
  else
    glClearColor(background.r, background.g, background.b, 0.0f);
  glClearDepth(1.0);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_LINE_SMOOTH);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDisable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);

  lightAngle.x = 0.0f;
  lightAngle.y = 0.0f;
  lightAngle.z = 1.0f;

  // The ramp was read before the window opened; a run with model files
  // only reports a ramp it could not find.
  if (!rampLoaded)
    printf("ERROR Opening Shader File\n");
  else if (bundled)
    printf("shader file loaded, initializing textures...\n");

  glGenTextures(1, &shaderTexture);
  glBindTexture(GL_TEXTURE_1D, shaderTexture);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  // A normal facing the viewer squarely gives exactly 1.0, which must land on
  // the last texel: repeating would wrap it round to the first, darkest one.
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, kRampSize, 0, GL_RGB, GL_FLOAT, rampTexels);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, 1.0, 0.1, 40.0);

  g_xRotation = 0.0f;
  g_yRotation = 0.0f;
  MouseState.left = MouseState.middle = MouseState.right = false;
  MouseState.x = MouseState.y = 0;
  eyex = 0.0f, eyey = 0.0f, eyez = 4.0f;
  focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;

  if (!bundled) {
    showOwnModel(0);
    return true;
  }
  printf("textures initialized, reading in obj files...\n");
  if (readObjIntoModel())
    printf("obj files successfully read\n");
  else
    printf("error reading obj file\n");
  printf("Initialization Done! Press 'h' for help, or 'q' to quit\n\n");
  return true;
}

// Reads one model with its progress lines; null when the reader gave none.
static GLMmodel* readModel(const char* file, const char* name) {
  printf("\treading %s.obj and %s.mtl...\n", name, name);
  GLMmodel* read = glmReadOBJ(file);
  if (read)
    printf("\tsuccessfully read in %s model\n", name);
  else
    printf("\terror reading %s model\n", name);
  return read;
}

bool readObjIntoModel() {
  cowModel = readModel(cowModelFile, "cow");
  rabbitModel = readModel(rabbitModelFile, "rabbit");
  penguinModel = readModel(penguinModelFile, "penguin");
  model = cowModel;
  if (!cowModel || !rabbitModel || !penguinModel) {
    printf(
        "Error reading model files. Make sure both .obj and .mtl file is in the Model directory\n");
    return false;
  }
  glmUnitize(cowModel);
  glmUnitize(rabbitModel);
  glmUnitize(penguinModel);
  loadTextures(cowModel, cowModelFile, {});
  loadTextures(rabbitModel, rabbitModelFile, {});
  loadTextures(penguinModel, penguinModelFile, {});
  return true;
}
