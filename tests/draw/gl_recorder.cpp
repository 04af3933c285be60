// Recording definitions of the libGL entry points the model library uses,
// with the prototypes of <GL/gl.h>.
#include "gl_recorder.h"

#include <cstdio>

namespace {

std::vector<GLCall> calls;
GLuint nextListName = 1;

// Symbolic name of the enums the library may pass; anything else as hex so
// an unexpected value still shows up in a comparison.
std::string enumName(GLenum e) {
  switch (e) {
    case GL_TRIANGLES: return "GL_TRIANGLES";
    case GL_COLOR_MATERIAL: return "GL_COLOR_MATERIAL";
    case GL_FRONT_AND_BACK: return "GL_FRONT_AND_BACK";
    case GL_AMBIENT: return "GL_AMBIENT";
    case GL_DIFFUSE: return "GL_DIFFUSE";
    case GL_SPECULAR: return "GL_SPECULAR";
    case GL_SHININESS: return "GL_SHININESS";
    case GL_COMPILE: return "GL_COMPILE";
    case GL_COMPILE_AND_EXECUTE: return "GL_COMPILE_AND_EXECUTE";
  }
  char hex[16];
  snprintf(hex, sizeof hex, "0x%x", e);
  return hex;
}

void record(const char* name, std::string args = "") {
  calls.push_back({name, std::move(args), nullptr, {}});
}

// Reads `n` floats through the pointer now, as OpenGL would.
void recordVector(const char* name, std::string args, const GLfloat* v, int n) {
  calls.push_back({name, std::move(args), v, std::vector<GLfloat>(v, v + n)});
}

}  // namespace

const std::vector<GLCall>& glRecorderCalls() { return calls; }

void glRecorderReset(GLuint listName) {
  calls.clear();
  nextListName = listName;
}

extern "C" {

void GLAPIENTRY glEnable(GLenum cap) { record("glEnable", enumName(cap)); }
void GLAPIENTRY glDisable(GLenum cap) { record("glDisable", enumName(cap)); }
void GLAPIENTRY glBegin(GLenum mode) { record("glBegin", enumName(mode)); }
void GLAPIENTRY glEnd(void) { record("glEnd"); }
void GLAPIENTRY glVertex3fv(const GLfloat* v) { recordVector("glVertex3fv", "", v, 3); }
void GLAPIENTRY glNormal3fv(const GLfloat* v) { recordVector("glNormal3fv", "", v, 3); }
void GLAPIENTRY glTexCoord2fv(const GLfloat* v) { recordVector("glTexCoord2fv", "", v, 2); }
void GLAPIENTRY glColor3fv(const GLfloat* v) { recordVector("glColor3fv", "", v, 3); }

void GLAPIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
  recordVector("glMaterialfv", enumName(face) + ", " + enumName(pname), params, 4);
}

void GLAPIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat param) {
  char value[32];
  snprintf(value, sizeof value, "%g", double(param));
  record("glMaterialf", enumName(face) + ", " + enumName(pname) + ", " + value);
}

GLuint GLAPIENTRY glGenLists(GLsizei range) {
  record("glGenLists", std::to_string(range));
  return nextListName;
}

void GLAPIENTRY glNewList(GLuint list, GLenum mode) {
  record("glNewList", std::to_string(list) + ", " + enumName(mode));
}

void GLAPIENTRY glEndList(void) { record("glEndList"); }

}  // extern "C"
