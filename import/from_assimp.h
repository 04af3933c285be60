// Private to celshade_import: the reading of a file through assimp.
#ifndef CELSHADE_IMPORT_FROM_ASSIMP_H
#define CELSHADE_IMPORT_FROM_ASSIMP_H

#include <glm.h>

#include <string>
#include <vector>

#include "import.h"

// Reads `file` with assimp and converts its scene as import.h describes,
// its embedded images into `images` when that is given. Returns NULL with
// `error` set ("FILE: assimp's reason" or "FILE: no faces to draw") when it
// cannot.
GLMmodel* readWithAssimp(const char* file, std::string& error, std::vector<EmbeddedImage>* images);

#endif  // CELSHADE_IMPORT_FROM_ASSIMP_H
