// The frame: the GL state around the lit copy, the cel-shaded copy and its
// outline (drawn in model_draw.cpp), and the reshape callback.

#define GL_GLEXT_PROTOTYPES
#include "frame.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "model_draw.h"
#include "picture.h"
#include "scene.h"

// Viewport over the whole window. The bundled run keeps aspect 1.0 whatever
// the window's shape, as its views were made for; models given on the
// command line are shown undistorted.
void myReshape(int width, int height) {
  glViewport(0, 0, width, height);
  windowAspect = float(width) / float(height > 0 ? height : 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, ownModelCount > 0 ? windowAspect : 1.0, 0.1, 40.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The copies sit at x = -offset and +offset: a model given on the command
// line where its view was fitted; of the bundled ones the rabbit closer
// (told by its file's name, wherever the file was found).
static float copyOffset(const GLMmodel* m) {
  for (int i = 0; i < ownModelCount; ++i)
    if (ownModels[i].model == m) return ownModels[i].offset;
  const char* slash = m->path ? strrchr(m->path, '/') : nullptr;
  const char* name = slash ? slash + 1 : m->path;
  return name && strstr(name, "rabbit") ? 0.3f : 1.0f;
}

// Draws one frame: the lit copy on the left, the cel-shaded copy with its
// outline on the right, then restores the state the next frame expects.
void displayCallback() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(eyex, eyey, eyez, focusx, focusy, focusz, 0.0, 1.0, 0.0);
  if (!model) {  // the reader gave no model: nothing to show
    finishFrame();
    return;
  }
  const float offset = copyOffset(model);

  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glPushMatrix();
  glTranslatef(-offset, 0.0f, 0.0f);
  glRotatef(g_yRotation, 1.0f, 0.0f, 0.0f);
  glRotatef(g_xRotation, 0.0f, 1.0f, 0.0f);
  drawLitCopy(model, white ? GLM_SMOOTH : GLM_SMOOTH | GLM_MATERIAL);
  glPopMatrix();
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);

  glPushMatrix();
  glTranslatef(offset, 0.0f, 0.0f);
  glRotatef(g_yRotation, 1.0f, 0.0f, 0.0f);
  glRotatef(g_xRotation, 0.0f, 1.0f, 0.0f);
  glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_TEXTURE_1D);
  glBindTexture(GL_TEXTURE_1D, shaderTexture);
  matrix M;
  glGetFloatv(GL_MODELVIEW_MATRIX, M.m);
  drawCelShaded(model, M, lightAngle, white);

  glDisable(GL_TEXTURE_1D);
  glEnable(GL_BLEND);
  // Colours blend by the line's coverage; alpha adds it, so that a
  // transparent background keeps the outline's soft edge.
  glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glPolygonMode(GL_BACK, GL_LINE);
  glCullFace(GL_FRONT);
  glDepthFunc(GL_LEQUAL);
  glLineWidth(3.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  drawOutline(model);

  glDepthFunc(GL_LESS);
  glCullFace(GL_BACK);
  glPolygonMode(GL_BACK, GL_FILL);
  glDisable(GL_BLEND);
  glPopMatrix();
  finishFrame();
}
