// The viewer's scene state, shared by start-up, the frame and the input
// handlers; defined once in scene.cpp.
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
extern int ownModelCount;  // 0: the bundled run
extern float windowAspect;  // width / height of the window or the offscreen picture
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

// Start-up (main.cpp).
bool init();
bool readObjIntoModel();

// Models from the command line (own_models.cpp). Reads every file before
// the window opens, each placed with `up` pointing up; the first that
// cannot be shown ends the process with one line on standard error naming
// it and status 1. Warnings (a material library missing, say) go to
// standard error and the run goes on. OBJ files are read with `readFlags`
// (GLM_READ_*).
void readOwnModels(const char* const* files, int count, UpAxis up, GLuint readFlags);

// Where frames go (picture.cpp): GLUT's window, or nothing in an offscreen
// run, which never initializes GLUT. The frame and the keys call these, not
// GLUT.
extern bool windowOpen;
void finishFrame();       // after a frame is drawn into the back buffer
void requestRedisplay();
// Saves the next finished frame as celshade-NNN.png (p key).
void requestPicture();
// Writes the current read buffer, over the viewport, as a PNG (RGBA with a
// transparent background, else RGB), by write and rename. False, with
// "FILE: reason" on standard error, when the file cannot be written.
bool savePicture(const char* file);
// Names the model file shown in the window's title (celshade – FILE).
void showFileInTitle(const char* file);
// The q key: ends the process in a window; in an offscreen run, ends the
// keys pressed before the picture, which is still drawn and written.
void quit();
extern bool quitting;  // q was pressed in an offscreen run

// The offscreen run (snapshot.cpp): draws the first frame at Width x Height
// with no display, after pressing `keys`, writes it to `file` and exits.
// With `turntable` N > 0 it draws N frames instead, frame k turned
// 360 (k - 1) / N degrees further about the vertical axis, into FILE-001.png
// and on.
[[noreturn]] void runSnapshot(const char* file, const char* keys, int turntable);

// Frame (frame.cpp).
void myReshape(int width, int height);
void displayCallback();

// Input (input.cpp).
void keyCallback(unsigned char key, int x, int y);
void HandleMouseState(int button, int state, int x, int y);
void HandleMouseMove(int x, int y);
void idleCallback();
// Shows own model `index` from its fitted view, as its key does.
void showOwnModel(int index);
// Presses each character of `keys` in order, as typed into the window.
void pressKeys(const char* keys);
