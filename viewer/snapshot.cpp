// The offscreen run: an OpenGL context with no display at all (EGL on Mesa's
// surfaceless platform, drawing into a pbuffer), one frame, one PNG.
//
// EGL rather than OSMesa: the program also links libGL for its window, and
// through libglvnd both share one dispatch, so the very same GL calls (ours
// and the model library's) reach whichever context is current; OSMesa brings
// its own copy of every GL entry point, which would clash with libGL's.
#include "snapshot.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame.h"
#include "input.h"
#include "picture.h"
#include "scene.h"
#include "startup.h"

// No offscreen context: one line on standard error, status 1.
[[noreturn]] static void noContext(const char* step) {
  fprintf(stderr, "celshade: no offscreen OpenGL context (EGL %s failed, error 0x%x)\n", step,
          (unsigned)eglGetError());
  exit(1);
}

// Makes a compatibility-profile OpenGL context current on a pbuffer of
// width x height. The buffer is what GLUT gets for the window on Mesa, so
// that the picture is the window's to the bit: 8 bits each of red, green and
// blue (EGL lists 10-bit ones first, which round the shading differently),
// no alpha (8 bits of it for a transparent background), no multisampling,
// the deepest depth buffer.
static void openOffscreenContext(int width, int height, bool alphaWanted) {
  auto getPlatformDisplay =
      (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
  if (!getPlatformDisplay) noContext("eglGetPlatformDisplayEXT");
  EGLDisplay display =
      getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
    noContext("surfaceless display");
  const EGLint wanted[] = {EGL_SURFACE_TYPE,
                           EGL_PBUFFER_BIT,
                           EGL_RENDERABLE_TYPE,
                           EGL_OPENGL_BIT,
                           EGL_RED_SIZE,
                           8,
                           EGL_GREEN_SIZE,
                           8,
                           EGL_BLUE_SIZE,
                           8,
                           EGL_DEPTH_SIZE,
                           24,
                           EGL_NONE};
  EGLConfig configs[128];
  EGLint count = 0;
  if (!eglChooseConfig(display, wanted, configs, 128, &count)) noContext("config");
  EGLConfig config = nullptr;
  EGLint bestDepth = 0;
  for (EGLint i = 0; i < count; ++i) {
    EGLint red = 0, green = 0, blue = 0, alpha = 0, samples = 0, depth = 0;
    eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &red);
    eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &green);
    eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &blue);
    eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &alpha);
    eglGetConfigAttrib(display, configs[i], EGL_SAMPLE_BUFFERS, &samples);
    eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
    if (red == 8 && green == 8 && blue == 8 && alpha == (alphaWanted ? 8 : 0) && samples == 0 &&
        depth > bestDepth) {
      config = configs[i];
      bestDepth = depth;
    }
  }
  if (!config) noContext("config");
  if (!eglBindAPI(EGL_OPENGL_API)) noContext("OpenGL API");
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  if (context == EGL_NO_CONTEXT) noContext("context");
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  EGLSurface surface = eglCreatePbufferSurface(display, config, size);
  if (surface == EGL_NO_SURFACE) noContext("pbuffer");
  if (!eglMakeCurrent(display, surface, surface, context)) noContext("make current");
}

// Still k of n of a turntable: FILE-kkk.png for FILE.png (at least three
// digits, as many as n has), the number before the extension if there is one.
static std::string turntableFile(const char* file, int k, int n) {
  const std::string name = file;
  const size_t slash = name.rfind('/'), dot = name.rfind('.');
  const size_t cut = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                         ? dot
                         : name.size();
  std::string number = std::to_string(k);
  number.insert(0, std::max(size_t(3), std::to_string(n).size()) - number.size(), '0');
  return name.substr(0, cut) + "-" + number + name.substr(cut);
}

void runSnapshot(const char* file, const char* keys, int turntable) {
  openOffscreenContext(Width, Height, ownModelCount > 0 && background.transparent);
  // In the window's order: set-up, the keys, the reshape GLUT sends before
  // the first frame, the frame.
  init();
  pressKeys(keys);
  myReshape(Width, Height);
  if (turntable == 0) {
    displayCallback();
    glFinish();
    exit(savePicture(file) ? 0 : 1);
  }
  const float start = g_xRotation;
  for (int k = 1; k <= turntable; ++k) {
    g_xRotation = start + 360.0f * float(k - 1) / float(turntable);
    displayCallback();
    glFinish();
    if (!savePicture(turntableFile(file, k, turntable).c_str())) exit(1);
  }
  exit(0);
}
