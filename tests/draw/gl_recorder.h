// A stand-in for the part of libGL the model library calls: every call is
// appended to a log with its arguments and, for pointer arguments, both the
// pointer and the floats it pointed at when the call was made.
#ifndef CELSHADE_GL_RECORDER_H
#define CELSHADE_GL_RECORDER_H

#include <GL/gl.h>

#include <string>
#include <vector>

struct GLCall {
  std::string name;  // "glVertex3fv"
  std::string args;  // scalar arguments as text: "GL_FRONT_AND_BACK, GL_AMBIENT"
  const GLfloat* pointer = nullptr;
  std::vector<GLfloat> values;  // floats read through `pointer` at call time
};

// The calls made since the last glRecorderReset, oldest first.
const std::vector<GLCall>& glRecorderCalls();

// Forgets every recorded call; glGenLists will return `listName` from now on.
void glRecorderReset(GLuint listName = 1);

#endif  // CELSHADE_GL_RECORDER_H
