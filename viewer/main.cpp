// celshade: shows one of three models twice side by side, lit on the left
// and cel-shaded with a black outline on the right.
//
// Start-up reads cow.obj, rabbit.obj and penguin.obj (with their material
// libraries) and the 32-value shading ramp Shader.txt from the working
// directory. Keys: 1 2 3 pick a model, w s zoom, a d move, c toggles colour,
// h prints help, q quits; a left-button drag rotates both copies.
//
// This file holds start-up: the window, the fixed GL state, the ramp and the
// models. The frame is drawn in frame.cpp, input handled in input.cpp, and
// the state they share lives in scene.cpp.

#include "scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Opens the window, registers the callbacks, loads everything and hands
// control to GLUT's loop, which does not return.
int main(int argc, char** argv) {
  // Progress lines must come out in order and at once even into a pipe.
  setvbuf(stdout, nullptr, _IOLBF, 0);

  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(Width, Height);
  glutCreateWindow("Veltrane - Kordex Assignment 3 - Cel Shading");

  glutReshapeFunc(myReshape);
  glutDisplayFunc(displayCallback);
  glutKeyboardFunc(keyCallback);
  glutIdleFunc(idleCallback);
  glutMouseFunc(HandleMouseState);
  glutMotionFunc(HandleMouseMove);

  init();
  glutMainLoop();
  return 0;
}

// The leading decimal number of a ramp line ([blanks][sign]digits[.digits]
// [exponent]); 0 when the line does not begin with one. Hexadecimal, inf and
// nan spellings are not decimal numbers and give 0.
static float leadingNumber(const char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  bool any = p != digits;
  if (*p == '.') {
    ++p;
    const char* fraction = p;
    while (*p >= '0' && *p <= '9') ++p;
    any = any || p != fraction;
  }
  if (!any) return 0.0f;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  char number[256];
  size_t length = (size_t)(p - start);  // a line is at most 254 bytes
  memcpy(number, start, length);
  number[length] = '\0';
  return strtof(number, nullptr);
}

// Sets the fixed OpenGL state, builds the shading ramp from Shader.txt, resets
// the view and loads the models. Always returns true.
bool init() {
  printf("Initializing\n");
  printf("loading shader file...\n");

  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glClearColor(0.8f, 0.8f, 0.8f, 0.0f);
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

  // Texels the file does not supply (missing file, fewer than 32 lines) are 0.
  static float texels[kRampSize][3];
  memset(texels, 0, sizeof texels);
  if (FILE* file = fopen(shaderValueFile, "r")) {
    char line[255];
    for (int i = 0; i < kRampSize; ++i) {
      if (feof(file)) break;
      // A read that finds nothing more is the end of the ramp, not a line.
      if (!fgets(line, sizeof line, file)) break;
      texels[i][0] = texels[i][1] = texels[i][2] = leadingNumber(line);
    }
    fclose(file);
    printf("shader file loaded, initializing textures...\n");
  } else {
    printf("ERROR Opening Shader File\n");
  }

  glGenTextures(1, &shaderTexture);
  glBindTexture(GL_TEXTURE_1D, shaderTexture);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  // A normal facing the viewer squarely gives exactly 1.0, which must land on
  // the last texel: repeating would wrap it round to the first, darkest one.
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, kRampSize, 0, GL_RGB, GL_FLOAT, texels);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, 1.0, 0.1, 40.0);

  g_xRotation = 0.0f;
  g_yRotation = 0.0f;
  MouseState.left = MouseState.middle = MouseState.right = false;
  MouseState.x = MouseState.y = 0;
  eyex = 0.0f, eyey = 0.0f, eyez = 4.0f;
  focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;

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

// Loads the cow, rabbit and penguin (in that order) and unitizes them.
// Returns true when all three were obtained.
bool readObjIntoModel() {
  cowModel = readModel(cowModelFile, "cow");
  rabbitModel = readModel(rabbitModelFile, "rabbit");
  penguinModel = readModel(penguinModelFile, "penguin");
  model = cowModel;
  if (!cowModel || !rabbitModel || !penguinModel) {
    printf("Error reading model files. Make sure both .obj and .mtl file is in the Model directory\n");
    return false;
  }
  glmUnitize(cowModel);
  glmUnitize(rabbitModel);
  glmUnitize(penguinModel);
  return true;
}
