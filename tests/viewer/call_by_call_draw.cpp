// The frame's drawings made call by call, corner after corner, as the viewer
// made them before it drew from lists and buffers: linked instead of
// viewer/model_draw.cpp into the test program celshade_call_by_call, whose
// pictures the new frames are compared with.
#include <GL/gl.h>

#include "model_arrays.h"
#include "model_draw.h"

void drawLitCopy(GLMmodel* m, GLuint mode) { glmDraw(m, mode); }

void drawCelShaded(const GLMmodel* m, const matrix& M, const vector& light, bool white) {
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    groupColour(m, group, white);
    glBegin(GL_TRIANGLES);
    for (GLuint i = 0; i < group->trianglecount; ++i) {
      GLuint p = group->triangles[i];
      if (!drawableTriangle(m, p)) continue;
      const GLMtriangle& t = m->triangles[p];
      for (int k = 0; k < 3; ++k) {
        vector n;
        if (hasNormal(m, t, k)) {
          const GLfloat* source = &m->normals[3 * t.normalidx[k]];
          n = {source[0], source[1], source[2]};
        } else {
          n = faceDirection(m, t);
        }
        vector e;
        modelView(M, n, e);
        normalize(e);
        float s = dotProduct(e, light);
        if (s < 0.0f) s = 0.0f;
        glTexCoord1f(s);
        const GLfloat* v = &m->vertices[3 * t.vertexidx[k]];
        glVertex3f(v[0], v[1], v[2]);
      }
    }
    glEnd();
  }
}

void drawOutline(const GLMmodel* m) {
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    glBegin(GL_TRIANGLES);
    for (GLuint i = 0; i < group->trianglecount; ++i) {
      GLuint p = group->triangles[i];
      if (!drawableTriangle(m, p)) continue;
      const GLMtriangle& t = m->triangles[p];
      glVertex3fv(&m->vertices[3 * t.vertexidx[0]]);
      glVertex3fv(&m->vertices[3 * t.vertexidx[1]]);
      glVertex3fv(&m->vertices[3 * t.vertexidx[2]]);
    }
    glEnd();
  }
}
