// celshade: shows one of three models twice side by side, lit on the left
// and cel-shaded with a black outline on the right.
//
// Start-up reads cow.obj, rabbit.obj and penguin.obj (with their material
// libraries) and the 32-value shading ramp Shader.txt from the working
// directory. Keys: 1 2 3 pick a model, w s zoom, a d move, c toggles colour,
// h prints help, q quits; a left-button drag rotates both copies.

#include <GL/glut.h>
#include <glm.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Scene state ----------------------------------------------------------

struct vector {
  float x, y, z;
};

// Column-major, as glGetFloatv(GL_MODELVIEW_MATRIX) returns it.
struct matrix {
  float m[16];
};

struct mouse {
  bool left, middle, right;
  int x, y;
};

static int Width = 800;
static int Height = 600;

static const char* cowModelFile = "cow.obj";
static const char* penguinModelFile = "penguin.obj";
static const char* rabbitModelFile = "rabbit.obj";
static const char* shaderValueFile = "Shader.txt";

static GLMmodel* cowModel = nullptr;
static GLMmodel* penguinModel = nullptr;
static GLMmodel* rabbitModel = nullptr;
static GLMmodel* model = nullptr;

static GLuint shaderTexture = 0;
static vector lightAngle = {0.0f, 0.0f, 1.0f};

static bool white = false;
static float g_xRotation = 0.0f;  // degrees about the vertical axis
static float g_yRotation = 0.0f;  // degrees about the horizontal axis
static mouse MouseState = {false, false, false, 0, 0};

static float eyex = 0.0f, eyey = 0.0f, eyez = 4.0f;
static float focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;

static const int kRampSize = 32;

static bool init();
static bool readObjIntoModel();
static void myReshape(int width, int height);
static void displayCallback();
static void keyCallback(unsigned char key, int x, int y);
static void HandleMouseState(int button, int state, int x, int y);
static void HandleMouseMove(int x, int y);
static void idleCallback();

// ---- Start-up -------------------------------------------------------------

// Opens the window, registers the callbacks, loads everything and hands
// control to GLUT's loop, which does not return.
int main(int argc, char** argv) {
  // Progress lines must come out in order and at once even into a pipe.
  setvbuf(stdout, nullptr, _IOLBF, 0);

  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(Width, Height);
  glutCreateWindow("Veltrane - Kordex Assignment 3 - Cel Shading");

  glutReshapeFunc(myReshape);
  glutDisplayFunc(displayCallback);
  glutKeyboardFunc(keyCallback);
  glutIdleFunc(idleCallback);
  glutMouseFunc(HandleMouseState);
  glutMotionFunc(HandleMouseMove);

  init();
  glutMainLoop();
  return 0;
}

// The leading decimal number of a ramp line ([blanks][sign]digits[.digits]
// [exponent]); 0 when the line does not begin with one. Hexadecimal, inf and
// nan spellings are not decimal numbers and give 0.
static float leadingNumber(const char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  bool any = p != digits;
  if (*p == '.') {
    ++p;
    const char* fraction = p;
    while (*p >= '0' && *p <= '9') ++p;
    any = any || p != fraction;
  }
  if (!any) return 0.0f;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  char number[256];
  size_t length = (size_t)(p - start);  // a line is at most 254 bytes
  memcpy(number, start, length);
  number[length] = '\0';
  return strtof(number, nullptr);
}

// Sets the fixed OpenGL state, builds the shading ramp from Shader.txt, resets
// the view and loads the models. Always returns true.
static bool init() {
  printf("Initializing\n");
  printf("loading shader file...\n");

  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glClearColor(0.8f, 0.8f, 0.8f, 0.0f);
  glClearDepth(1.0);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_LINE_SMOOTH);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDisable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);

  lightAngle.x = 0.0f;
  lightAngle.y = 0.0f;
  lightAngle.z = 1.0f;

  // Texels the file does not supply (missing file, fewer than 32 lines) are 0.
  static float texels[kRampSize][3];
  memset(texels, 0, sizeof texels);
  if (FILE* file = fopen(shaderValueFile, "r")) {
    char line[255];
    for (int i = 0; i < kRampSize; ++i) {
      if (feof(file)) break;
      // A read that finds nothing more is the end of the ramp, not a line.
      if (!fgets(line, sizeof line, file)) break;
      texels[i][0] = texels[i][1] = texels[i][2] = leadingNumber(line);
    }
    fclose(file);
    printf("shader file loaded, initializing textures...\n");
  } else {
    printf("ERROR Opening Shader File\n");
  }

  glGenTextures(1, &shaderTexture);
  glBindTexture(GL_TEXTURE_1D, shaderTexture);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  // A normal facing the viewer squarely gives exactly 1.0, which must land on
  // the last texel: repeating would wrap it round to the first, darkest one.
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGB, kRampSize, 0, GL_RGB, GL_FLOAT, texels);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(40.0, 1.0, 0.1, 40.0);

  g_xRotation = 0.0f;
  g_yRotation = 0.0f;
  MouseState.left = MouseState.middle = MouseState.right = false;
  MouseState.x = MouseState.y = 0;
  eyex = 0.0f, eyey = 0.0f, eyez = 4.0f;
  focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;

  printf("textures initialized, reading in obj files...\n");
  if (readObjIntoModel())
    printf("obj files successfully read\n");
  else
    printf("error reading obj file\n");
  printf("Initialization Done! Press 'h' for help, or 'q' to quit\n\n");
  return true;
}

// Reads one model with its progress lines; null when the reader gave none.
static GLMmodel* readModel(const char* file, const char* name) {
  printf("\treading %s.obj and %s.mtl...\n", name, name);
  GLMmodel* read = glmReadOBJ(file);
  if (read)
    printf("\tsuccessfully read in %s model\n", name);
  else
    printf("\terror reading %s model\n", name);
  return read;
}

// Loads the cow, rabbit and penguin (in that order) and unitizes them.
// Returns true when all three were obtained.
static bool readObjIntoModel() {
  cowModel = readModel(cowModelFile, "cow");
  rabbitModel = readModel(rabbitModelFile, "rabbit");
  penguinModel = readModel(penguinModelFile, "penguin");
  model = cowModel;
  if (!cowModel || !rabbitModel || !penguinModel) {
    printf("Error reading model files. Make sure both .obj and .mtl file is in the Model directory\n");
    return false;
  }
  glmUnitize(cowModel);
  glmUnitize(rabbitModel);
  glmUnitize(penguinModel);
  return true;
}

// ---- Frame ----------------------------------------------------------------

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
static void myReshape(int width, int height) {
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
static void displayCallback() {
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

// ---- Input ----------------------------------------------------------------

// Shows `chosen` from the start: no rotation, no drag, the eye `distance`
// in front of the origin.
static void resetView(GLMmodel* chosen, float distance) {
  model = chosen;
  g_xRotation = 0.0f;
  g_yRotation = 0.0f;
  MouseState.left = MouseState.middle = MouseState.right = false;
  MouseState.x = MouseState.y = 0;
  eyex = 0.0f, eyey = 0.0f, eyez = distance;
  focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;
}

// Prints the key and mouse help on standard output.
static void printHelp() {
  printf("****CELSHADER HELP****\n");
  printf("There are 3 different models. Select them by pressing the following keys:\n");
  printf("1 - Cow Model\n");
  printf("2 - Penguin Model\n");
  printf("3 - Rabbit Model\n\n");
  printf("To rotate camera, click on the screen and move the mouse around\n\n");
  printf("Key Commands:\n");
  printf("w - zoom in\n");
  printf("s - zoom out\n");
  printf("a - move left\n");
  printf("d - move right\n");
  printf("c - toggle color on/off\n");
  printf("h - help\n");
  printf("q - quit\n");
}

// Keyboard: model choice, camera, colour, help and quit. Every key but q
// asks for a redisplay, also keys that change nothing.
static void keyCallback(unsigned char key, int, int) {
  switch (key) {
    case '1': resetView(cowModel, 3.0f); break;
    case '2': resetView(penguinModel, 3.0f); break;
    case '3': resetView(rabbitModel, 2.0f); break;
    case 'w':  // the eye moves 4 % of the way towards the focus
      eyex = 0.96f * eyex + 0.04f * focusx;
      eyey = 0.96f * eyey + 0.04f * focusy;
      eyez = 0.96f * eyez + 0.04f * focusz;
      break;
    case 's':  // the eye moves away from the focus by 4 % of their distance
      eyex = 1.04f * eyex - 0.04f * focusx;
      eyey = 1.04f * eyey - 0.04f * focusy;
      eyez = 1.04f * eyez - 0.04f * focusz;
      break;
    case 'a':
      eyex -= 0.05f;
      focusx -= 0.05f;
      break;
    case 'd':
      eyex += 0.05f;
      focusx += 0.05f;
      break;
    case 'c': white = !white; break;
    case 'h': printHelp(); break;
    case 'q': exit(0);
    default: break;
  }
  glutPostRedisplay();
}

// Mouse buttons: tracks the left button and remembers where the pointer was.
static void HandleMouseState(int button, int state, int x, int y) {
  if (button == GLUT_LEFT_BUTTON) MouseState.left = state == GLUT_DOWN;
  MouseState.x = x;
  MouseState.y = y;
}

// Pointer motion with a button held: a left-button drag turns both copies by
// 0.6 degrees per pixel.
static void HandleMouseMove(int x, int y) {
  int dx = MouseState.x - x;
  int dy = MouseState.y - y;
  MouseState.x = x;
  MouseState.y = y;
  if (MouseState.left) {
    g_xRotation += dx * (-0.6);
    g_yRotation += dy * (-0.6);
  }
  glutPostRedisplay();
}

// Keeps frames coming back to back.
static void idleCallback() {
  glutPostRedisplay();
}
