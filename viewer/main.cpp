// celshade: shows a model twice side by side, lit on the left and
// cel-shaded with a black outline on the right.
//
// Without model files on the command line, start-up reads cow.obj,
// rabbit.obj and penguin.obj (with their material libraries) and the
// 32-value shading ramp Shader.txt from the working directory, or those
// installed with the program when the working directory has no cow.obj.
// Keys: 1 2 3
// pick a model, w s zoom, a d move, c toggles colour, h prints help, q quits;
// a left-button drag rotates both copies. With model files (up to nine) the
// keys 1..9 pick them instead.
//
// This file holds start-up: the window, the fixed GL state, the ramp and the
// models. The command line is read in command_line.cpp, models given on it in
// own_models.cpp; the frame is drawn in frame.cpp, input handled in
// input.cpp, an offscreen run made in snapshot.cpp, and the state they share
// lives in scene.cpp.

#include "command_line.h"
#include "scene.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "messages.h"
#include "textures.h"

// The bundled run's title.
static const char kBundledTitle[] = "Veltrane - Kordex Assignment 3 - Cel Shading";

// Finds and reads the shading ramp: the one --ramp names, else Shader.txt in
// the working directory, else, in a run with model files, the one installed
// with the program. The bundled run reads by its own rule; a run with model
// files checks the ramp it reads, and one that breaks the rule ends it.
static void loadRamp(const char* named, bool withModels) {
  if (!withModels && !named) {
    rampLoaded = readRamp(shaderValueFile, rampTexels);
    return;
  }
  std::string installed = installedDataFile("Shader.txt");
  const char* file = named                                  ? named
                     : access(shaderValueFile, F_OK) == 0   ? shaderValueFile
                     : access(installed.c_str(), F_OK) == 0 ? installed.c_str()
                                                            : nullptr;
  if (!file) return;  // reported with the window's set-up
  std::string error;
  if (!readCheckedRamp(file, rampTexels, error)) refuse(error);
  rampLoaded = true;
}

// The bundled run in a folder without cow.obj shows the models and the ramp
// installed with the program instead.
static void findBundledFiles() {
  if (access(cowModelFile, F_OK) == 0) return;
  static const std::string cow = installedDataFile("cow.obj"),
                           penguin = installedDataFile("penguin.obj"),
                           rabbit = installedDataFile("rabbit.obj"),
                           ramp = installedDataFile("Shader.txt");
  cowModelFile = cow.c_str();
  penguinModelFile = penguin.c_str();
  rabbitModelFile = rabbit.c_str();
  shaderValueFile = ramp.c_str();
}

// A window needs a display: without one, say so in one line and show the
// ways that need none.
static void checkDisplay() {
  if (Display* display = XOpenDisplay(nullptr)) {
    XCloseDisplay(display);
    return;
  }
  const char* name = getenv("DISPLAY");
  const std::string which = name && *name ? "no X display at DISPLAY=" + std::string(name)
                                          : "no X display (DISPLAY is not set)";
  refuse("celshade: can't open a window: " + which +
         "; draw a still with --snapshot FILE.png, or run it under xvfb-run");
}

// Reads the command line, the models it names and the ramp; then either
// draws pictures offscreen, or opens the window, registers the callbacks,
// sets up the scene and hands control to GLUT's loop, which does not return.
int main(int argc, char** argv) {
  // Progress lines must come out in order and at once even into a pipe.
  setvbuf(stdout, nullptr, _IOLBF, 0);

  commandLine line = parseCommandLine(argc, argv);
  const bool bundled = line.models.empty();
  if (bundled) findBundledFiles();
  Width = line.width, Height = line.height;
  windowAspect = float(Width) / float(Height);
  startYaw = line.yaw, startPitch = line.pitch;
  background = line.background;
  loadRamp(line.ramp, !bundled);
  readOwnModels(line.models.data(), (int)line.models.size(), line.up, line.readFlags);
  if (line.snapshot) runSnapshot(line.snapshot, line.keys, line.turntable);

  checkDisplay();
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH |
                      (!bundled && background.transparent ? GLUT_ALPHA : 0));
  glutInitWindowSize(Width, Height);
  glutCreateWindow(bundled ? kBundledTitle : "celshade");

  glutReshapeFunc(myReshape);
  glutDisplayFunc(displayCallback);
  glutKeyboardFunc(keyCallback);
  glutIdleFunc(idleCallback);
  glutMouseFunc(HandleMouseState);
  glutMotionFunc(HandleMouseMove);

  windowOpen = true;

  init();
  if (ownModelCount > 0) printf("Press 'h' for help, or 'q' to quit\n");
  pressKeys(line.keys);
  glutMainLoop();
  return 0;
}

// Sets the fixed OpenGL state, builds the shading ramp texture, resets the
// view and loads the bundled models; a run with model files, read already,
// shows the first of them. Always returns true.
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
  loadTextures(cowModel, cowModelFile, {});
  loadTextures(rabbitModel, rabbitModelFile, {});
  loadTextures(penguinModel, penguinModelFile, {});
  return true;
}
