// The frame: the lit copy through glmDraw, the cel-shaded copy and its
// outline, and the reshape callback with the small vector routines they use.

#include "scene.h"

#include <cmath>
#include <cstring>

// a . b
static inline float dotProduct(const vector& a, const vector& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// o = upper-left 3x3 block of M times v (the translation is ignored).
static inline void modelView(const matrix& M, const vector& v, vector& o) {
  const float* m = M.m;
  o.x = m[0] * v.x + m[4] * v.y + m[8] * v.z;
  o.y = m[1] * v.x + m[5] * v.y + m[9] * v.z;
  o.z = m[2] * v.x + m[6] * v.y + m[10] * v.z;
}

// Length of v, in single precision.
static inline float magnitude(const vector& v) {
  return sqrtf(v.x * v.x + v.y * v.y + v.z * v.z);
}

// Scales v to unit length; a zero vector stays as it is.
static inline void normalize(vector& v) {
  float length = magnitude(v);
  if (length == 0.0f) return;
  v.x /= length;
  v.y /= length;
  v.z /= length;
}

// Viewport over the whole window; the projection keeps aspect 1.0 whatever
// the window's shape.
void myReshape(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, 1.0, 0.1, 40.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// Direction of triangle t's face in model space (unnormalized), for corners
// whose own normal cannot be used.
static vector faceDirection(const GLMmodel* m, const GLMtriangle& t) {
  const GLfloat* a = &m->vertices[3 * t.vertexidx[0]];
  const GLfloat* b = &m->vertices[3 * t.vertexidx[1]];
  const GLfloat* c = &m->vertices[3 * t.vertexidx[2]];
  float ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
  float vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
  return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

// True when triangle index p and its three vertex indices lie inside m's
// arrays, so that the triangle can be drawn without reading past them.
static inline bool drawable(const GLMmodel* m, GLuint p) {
  if (p >= m->trianglecount) return false;
  const GLMtriangle& t = m->triangles[p];
  GLuint n = m->vertexcount;
  return t.vertexidx[0] - 1 < n && t.vertexidx[1] - 1 < n && t.vertexidx[2] - 1 < n;
}

// The cel-shaded copy: per group the material's diffuse colour (white when
// colour is off or the material is missing), per corner a ramp coordinate
// from how directly the eye-space normal faces the light. A corner without a
// usable normal index takes its triangle's face direction.
static void drawCelShaded(const GLMmodel* m, const matrix& M) {
  const GLfloat* vertices = m->vertices;
  const GLfloat* normals = m->normals;
  const GLuint normalcount = normals ? m->normalcount : 0;
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    if (m->materials && group->material < m->materialcount) {
      const GLfloat* diffuse = m->materials[group->material].diffuse;
      glColor3f(diffuse[0], diffuse[1], diffuse[2]);
    } else {
      glColor3f(1.0f, 1.0f, 1.0f);
    }
    if (white) glColor3f(1.0f, 1.0f, 1.0f);

    glBegin(GL_TRIANGLES);
    for (GLuint i = 0; i < group->trianglecount; ++i) {
      GLuint p = group->triangles[i];
      if (!drawable(m, p)) continue;
      const GLMtriangle& t = m->triangles[p];
      for (int k = 0; k < 3; ++k) {
        vector n;
        if (t.normalidx[k] - 1 < normalcount) {
          const GLfloat* source = &normals[3 * t.normalidx[k]];
          n = {source[0], source[1], source[2]};
        } else {
          n = faceDirection(m, t);
        }
        vector e;
        modelView(M, n, e);
        normalize(e);
        float s = dotProduct(e, lightAngle);
        if (s < 0.0f) s = 0.0f;
        glTexCoord1f(s);
        const GLfloat* v = &vertices[3 * t.vertexidx[k]];
        glVertex3f(v[0], v[1], v[2]);
      }
    }
    glEnd();
  }
}

// The outline: every triangle's corners again, positions only; the caller has
// set up back faces as thick black lines.
static void drawOutline(const GLMmodel* m) {
  const GLfloat* vertices = m->vertices;
  for (const GLMgroup* group = m->groups; group; group = group->next) {
    glBegin(GL_TRIANGLES);
    for (GLuint i = 0; i < group->trianglecount; ++i) {
      GLuint p = group->triangles[i];
      if (!drawable(m, p)) continue;
      const GLMtriangle& t = m->triangles[p];
      glVertex3fv(&vertices[3 * t.vertexidx[0]]);
      glVertex3fv(&vertices[3 * t.vertexidx[1]]);
      glVertex3fv(&vertices[3 * t.vertexidx[2]]);
    }
    glEnd();
  }
}

// Draws one frame: the lit copy on the left, the cel-shaded copy with its
// outline on the right, then restores the state the next frame expects.
void displayCallback() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(eyex, eyey, eyez, focusx, focusy, focusz, 0.0, 1.0, 0.0);
  if (!model) {  // the reader gave no model: nothing to show
    glutSwapBuffers();
    return;
  }
  const float offset = model->path && strstr(model->path, "rabbit") ? 0.3f : 1.0f;

  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glPushMatrix();
  glTranslatef(-offset, 0.0f, 0.0f);
  glRotatef(g_yRotation, 1.0f, 0.0f, 0.0f);
  glRotatef(g_xRotation, 0.0f, 1.0f, 0.0f);
  glmDraw(model, white ? GLM_SMOOTH : GLM_SMOOTH | GLM_MATERIAL);
  glPopMatrix();
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);

  glPushMatrix();
  glTranslatef(offset, 0.0f, 0.0f);
  glRotatef(g_yRotation, 1.0f, 0.0f, 0.0f);
  glRotatef(g_xRotation, 0.0f, 1.0f, 0.0f);
  glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_TEXTURE_1D);
  glBindTexture(GL_TEXTURE_1D, shaderTexture);
  matrix M;
  glGetFloatv(GL_MODELVIEW_MATRIX, M.m);
  drawCelShaded(model, M);

  glDisable(GL_TEXTURE_1D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glPolygonMode(GL_BACK, GL_LINE);
  glCullFace(GL_FRONT);
  glDepthFunc(GL_LEQUAL);
  glLineWidth(3.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  drawOutline(model);

  glDepthFunc(GL_LESS);
  glCullFace(GL_BACK);
  glPolygonMode(GL_BACK, GL_FILL);
  glDisable(GL_BLEND);
  glPopMatrix();
  glutSwapBuffers();
}
