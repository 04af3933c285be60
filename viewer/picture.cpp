// Where a finished frame goes: GLUT's window, or nowhere in an offscreen run;
// pictures of it saved as PNG files; the window's title; quitting.
#include "picture.h"

#include <GL/glx.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "messages.h"
#include "save_file.h"
#include "scene.h"

bool windowOpen = false;
bool quitting = false;

// Set by the p key: the next finished frame is saved.
static bool pictureWanted = false;

// The first celshade-NNN.png, from 001, that does not exist yet.
static void freePictureName(char (&name)[32]) {
  struct stat st;
  for (int n = 1; n < 100000; ++n) {
    snprintf(name, sizeof name, "celshade-%03d.png", n);
    if (stat(name, &st) != 0) return;
  }
}

void finishFrame() {
  if (pictureWanted) {
    pictureWanted = false;
    char name[32];
    freePictureName(name);
    if (savePicture(name)) printf("saved %s\n", name);
  }
  if (windowOpen) glutSwapBuffers();
}

void requestRedisplay() {
  if (windowOpen) glutPostRedisplay();
}

void requestPicture() { pictureWanted = true; }

void quit() {
  if (windowOpen) exit(0);
  quitting = true;
}

void showFileInTitle(const char* file) {
  if (!windowOpen) return;
  const char* slash = strrchr(file, '/');
  const std::string title = std::string("celshade \u2013 ") + (slash ? slash + 1 : file);
  glutSetWindowTitle(title.c_str());
  // GLUT stores the title as Latin-1 text: store it again as UTF-8, in
  // WM_NAME and in _NET_WM_NAME, where window managers look first.
  Display* display = glXGetCurrentDisplay();
  GLXDrawable window = glXGetCurrentDrawable();
  if (!display || !window) return;
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  for (Atom property :
       {XInternAtom(display, "WM_NAME", False), XInternAtom(display, "_NET_WM_NAME", False)})
    XChangeProperty(display, window, property, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), int(title.size()));
}

bool savePicture(const char* file) {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2], height = viewport[3];
  const bool alpha = ownModelCount > 0 && background.transparent;
  const int channels = alpha ? 4 : 3;
  std::vector<png_byte> pixels((size_t)width * height * channels);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(viewport[0], viewport[1], width, height, alpha ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE,
               pixels.data());

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)width;
  image.height = (png_uint_32)height;
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  // OpenGL's rows run from the bottom: a negative stride writes them top
  // first. The first call measures, the second encodes.
  const png_int_32 stride = -(png_int_32)width * channels;
  png_alloc_size_t size = 0;
  std::vector<png_byte> png;
  bool encoded =
      png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), stride, nullptr) != 0;
  if (encoded) {
    png.resize(size);
    encoded = png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), stride,
                                        nullptr) != 0;
  }
  std::string error = std::string(file) + ": can't encode the picture (" + image.message + ")";
  png_image_free(&image);
  if (encoded && saveFile(file, png.data(), size, error)) return true;
  fprintf(stderr, "%s\n", printable(error).c_str());
  return false;
}
