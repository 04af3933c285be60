// Private to celshade_import: the reading of a file through assimp.
#ifndef CELSHADE_IMPORT_FROM_ASSIMP_H
#define CELSHADE_IMPORT_FROM_ASSIMP_H

#include <glm.h>

#include <string>

// Reads `file` with assimp and converts its scene as import.h describes.
// Returns NULL with `error` set ("FILE: assimp's reason" or "FILE: no faces
// to draw") when it cannot.
GLMmodel* readWithAssimp(const char* file, std::string& error);

#endif  // CELSHADE_IMPORT_FROM_ASSIMP_H
