// The viewer's command line:
//   celshade [OPTION ...] [MODEL ...]
//   celshade --help
#pragma once

#include <vector>

#include "placement.h"
#include "scene.h"

struct commandLine {
  const char* ramp = nullptr;      // --ramp: the shading ramp to use
  const char* keys = "";           // --keys: pressed in order before the first frame
  const char* snapshot = nullptr;  // --snapshot: draw offscreen into this PNG
  int width = 800, height = 600;   // --size: of the window or the still
  float yaw = 0, pitch = 0;        // --turn: the start rotation, degrees
  UpAxis up = UpAxis::y;           // --up: the model axis shown upwards
  int turntable = 0;               // --turntable: stills turned round, 0 for one
  backgroundColour background = kModelBackground;  // --background
  // How model files are read: OBJ files as other tools write them; --strict
  // drops GLM_READ_LENIENT (the classic rules). A missing library is a
  // warning either way.
  GLuint readFlags = GLM_READ_LENIENT | GLM_READ_OPTIONAL_LIBRARIES;
  std::vector<const char*> models;  // none: the bundled three from the working directory
};

// Reads the arguments. --help prints the usage and what each part does and
// ends the process with status 0. An unknown option, an option without its
// value or more than nine models print the usage line on standard error and
// end it with status 2; so does a value out of its range, or an option of
// runs with model files given without any, after a line that says so. "--"
// ends the options.
commandLine parseCommandLine(int argc, char** argv);
