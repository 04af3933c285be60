// Models given on the command line, read and prepared before the window
// opens.
#pragma once

#include <GL/gl.h>

#include "placement.h"

// Reads every file before the window opens, each placed with `up` pointing
// up; the first that cannot be shown ends the process with one line on
// standard error naming it and status 1. Warnings (a material library
// missing, say) go to standard error and the run goes on. OBJ files are read
// with `readFlags` (GLM_READ_*).
void readOwnModels(const char* const* files, int count, UpAxis up, GLuint readFlags);
