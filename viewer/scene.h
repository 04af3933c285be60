// The viewer's scene state, shared by start-up, the frame and the input
// handlers; defined once in scene.cpp. What each module does is declared in
// its own header.
#pragma once

#include <GL/glut.h>
#include <glm.h>

#include "placement.h"
#include "ramp.h"
#include "vectors.h"

struct mouse {
  bool left, middle, right;
  int x, y;
};

extern int Width;
extern int Height;

extern const char* cowModelFile;
extern const char* penguinModelFile;
extern const char* rabbitModelFile;
extern const char* shaderValueFile;

extern GLMmodel* cowModel;
extern GLMmodel* penguinModel;
extern GLMmodel* rabbitModel;
extern GLMmodel* model;  // the one on display

extern GLuint shaderTexture;
extern vector lightAngle;

extern bool white;
extern float g_xRotation;  // degrees about the vertical axis
extern float g_yRotation;  // degrees about the horizontal axis
extern mouse MouseState;

extern float eyex, eyey, eyez;
extern float focusx, focusy, focusz;

extern float rampTexels[kRampSize][3];  // read before the window opens
extern bool rampLoaded;

// A model given on the command line: runs with model files show these
// instead of the bundled three, picked with keys 1..9.
struct ownModel {
  const char* file;     // as given
  GLMmodel* model;      // placed, with unit normals and a material
  float offset;         // copies at x = -offset and +offset
  TurnProfile profile;  // what its view must show, however it is turned
};
constexpr int kMaxModels = 9;  // keys 1..9
extern ownModel ownModels[kMaxModels];
extern int ownModelCount;           // 0: the bundled run
extern float windowAspect;          // width / height of the window or the offscreen picture
extern float startYaw, startPitch;  // the rotation a model given on the command line starts at

// The colour around the models in runs with model files (the bundled run
// clears to its grey); transparent leaves alpha 0 there in pictures.
struct backgroundColour {
  float r, g, b;
  bool transparent;
};
// Unless --background says otherwise: a light blue, which no grey band of
// the default material comes near and on which the black outline stands out.
inline constexpr backgroundColour kModelBackground = {0.62f, 0.72f, 0.82f, false};
extern backgroundColour background;
