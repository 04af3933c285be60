// The viewer's command line:
//   celshade [--ramp FILE] [--keys KEYS] [--snapshot FILE.png] [MODEL ...]
//   celshade --help
#pragma once

#include <vector>

struct commandLine {
  const char* ramp = nullptr;      // --ramp: the shading ramp to use
  const char* keys = "";           // --keys: pressed in order before the first frame
  const char* snapshot = nullptr;  // --snapshot: draw one frame offscreen into this PNG
  std::vector<const char*> models; // none: the bundled three from the working directory
};

// Reads the arguments. --help prints the usage and what each part does and
// ends the process with status 0; an unknown option, an option without its
// value or more than nine models print the usage line on standard error and
// end it with status 2. "--" ends the options.
commandLine parseCommandLine(int argc, char** argv);
