// The three drawings of a frame, each of the model on display: the lit copy,
// the cel-shaded copy and its outline. The frame sets the GL state around
// them; these only send geometry, colours and ramp coordinates.
#pragma once

#include <GL/gl.h>
#include <glm.h>

#include "vectors.h"

// The lit copy, as glmDraw(m, mode) draws it.
void drawLitCopy(GLMmodel* m, GLuint mode);

// The cel-shaded copy: per group the colour of groupColour, per corner the
// ramp coordinate of its eye-space normal (M is the model-view matrix, light
// the light's direction in eye space); a corner without a usable normal index
// takes its triangle's face direction. Triangles with a vertex index out of
// range are left out.
void drawCelShaded(const GLMmodel* m, const matrix& M, const vector& light, bool white);

// The outline: every drawable triangle again, positions only, group by group;
// the caller has set up back faces as thick black lines.
void drawOutline(const GLMmodel* m);

// Sets the current colour of group g's cel-shaded triangles: its material's
// diffuse colour, white when colour is off or the material is missing.
inline void groupColour(const GLMmodel* m, const GLMgroup* g, bool white) {
  if (m->materials && g->material < m->materialcount) {
    const GLfloat* diffuse = m->materials[g->material].diffuse;
    glColor3f(diffuse[0], diffuse[1], diffuse[2]);
  } else {
    glColor3f(1.0f, 1.0f, 1.0f);
  }
  if (white) glColor3f(1.0f, 1.0f, 1.0f);
}
