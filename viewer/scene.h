// The viewer's scene state, shared by start-up, the frame and the input
// handlers; defined once in scene.cpp.
#pragma once

#include <GL/glut.h>
#include <glm.h>

struct vector {
  float x, y, z;
};

// Column-major, as glGetFloatv(GL_MODELVIEW_MATRIX) returns it.
struct matrix {
  float m[16];
};

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

// Start-up (main.cpp).
bool init();
bool readObjIntoModel();

// Frame (frame.cpp).
void myReshape(int width, int height);
void displayCallback();

// Input (input.cpp).
void keyCallback(unsigned char key, int x, int y);
void HandleMouseState(int button, int state, int x, int y);
void HandleMouseMove(int x, int y);
void idleCallback();
