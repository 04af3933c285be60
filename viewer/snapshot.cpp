// The offscreen run: an OpenGL context with no display at all (EGL on Mesa's
// surfaceless platform, drawing into a pbuffer), one frame, one PNG.
//
// EGL rather than OSMesa: the program also links libGL for its window, and
// through libglvnd both share one dispatch, so the very same GL calls (ours
// and the model library's) reach whichever context is current; OSMesa brings
// its own copy of every GL entry point, which would clash with libGL's.
#include "scene.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstdlib>

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
// no alpha, no multisampling, the deepest depth buffer.
static void openOffscreenContext(int width, int height) {
  auto getPlatformDisplay =
      (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
  if (!getPlatformDisplay) noContext("eglGetPlatformDisplayEXT");
  EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                          nullptr);
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
    noContext("surfaceless display");
  const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                           EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                           EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                           EGL_DEPTH_SIZE, 24,
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
    if (red == 8 && green == 8 && blue == 8 && alpha == 0 && samples == 0 && depth > bestDepth) {
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

void runSnapshot(const char* file, const char* keys) {
  openOffscreenContext(Width, Height);
  // In the window's order: set-up, the keys, the reshape GLUT sends before
  // the first frame, the frame.
  init();
  pressKeys(keys);
  myReshape(Width, Height);
  displayCallback();
  glFinish();
  if (!savePicture(file)) {
    fprintf(stderr, "%s: can't write the picture\n", file);
    exit(1);
  }
  exit(0);
}
