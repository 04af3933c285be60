// The viewer's scene state, shared by start-up, the frame and the input
// handlers; defined once in scene.cpp.
#pragma once

#include <GL/glut.h>
#include <glm.h>

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

constexpr int kRampSize = 32;
extern float rampTexels[kRampSize][3];  // read before the window opens
extern bool rampLoaded;

// A model given on the command line: runs with model files show these
// instead of the bundled three, picked with keys 1..9.
struct ownModel {
  const char* file;  // as given
  GLMmodel* model;   // unitized, with normals and a material
  float offset;      // copies at x = -offset and +offset
};
constexpr int kMaxModels = 9;  // keys 1..9
extern ownModel ownModels[kMaxModels];
extern int ownModelCount;  // 0: the bundled run
extern float windowAspect;  // width / height of the window or the offscreen picture

// Start-up (main.cpp).
bool init();
bool readObjIntoModel();

// Shading ramp (ramp.cpp). Reads up to 32 lines of `file`, each line's
// leading number into all three channels of one texel (0 for a line that
// does not begin with a number and for texels the file does not reach).
// False, with every texel 0, when the file cannot be opened or read (a
// directory, say).
bool readRamp(const char* file, float texels[kRampSize][3]);
// The ramp installed with celshade, found from where the program itself is.
const char* installedRampFile();

// Models from the command line (own_models.cpp). Reads every file before
// the window opens; the first that cannot be shown ends the process with one
// line on standard error naming it and status 1.
void readOwnModels(const char* const* files, int count);
// Eye distance from the origin at which both copies of `m` lie wholly
// inside a picture of the given aspect ratio, with a margin all round.
float fittedDistance(const ownModel& m, float aspect);

// Where frames go (picture.cpp): GLUT's window, or nothing in an offscreen
// run, which never initializes GLUT. The frame and the keys call these, not
// GLUT.
extern bool windowOpen;
void finishFrame();       // after a frame is drawn into the back buffer
void requestRedisplay();
// Saves the next finished frame as celshade-NNN.png (p key).
void requestPicture();
// Writes the current read buffer, over the viewport, as an RGB PNG. False
// when the file cannot be written.
bool savePicture(const char* file);

// The offscreen run (snapshot.cpp): draws the first frame at Width x Height
// with no display, after pressing `keys`, writes it to `file` and exits.
[[noreturn]] void runSnapshot(const char* file, const char* keys);

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
