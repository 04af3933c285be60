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
// This file holds the program's start: the command line (read in
// command_line.cpp), the ramp, the models, and then the window or the
// offscreen run (snapshot.cpp). Models given on the command line are read in
// own_models.cpp; the GL state and the bundled models are set up in
// startup.cpp, the frame drawn in frame.cpp, input handled in input.cpp, and
// the state they share lives in scene.cpp.

#include "command_line.h"
#include "scene.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frame.h"
#include "input.h"
#include "messages.h"
#include "own_models.h"
#include "picture.h"
#include "snapshot.h"
#include "startup.h"

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
