// Where a finished frame goes: GLUT's window, or nowhere in an offscreen run;
// and pictures of it saved as PNG files.
#include "scene.h"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

bool windowOpen = false;

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
    if (savePicture(name))
      printf("saved %s\n", name);
    else
      fprintf(stderr, "%s: can't write the picture\n", name);
  }
  if (windowOpen) glutSwapBuffers();
}

void requestRedisplay() {
  if (windowOpen) glutPostRedisplay();
}

void requestPicture() {
  pictureWanted = true;
}

bool savePicture(const char* file) {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2], height = viewport[3];
  std::vector<png_byte> rgb((size_t)width * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(viewport[0], viewport[1], width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)width;
  image.height = (png_uint_32)height;
  image.format = PNG_FORMAT_RGB;
  // OpenGL's rows run from the bottom: a negative stride writes them top first.
  bool written = png_image_write_to_file(&image, file, 0, rgb.data(), -(png_int_32)width * 3,
                                         nullptr) != 0;
  png_image_free(&image);
  return written;
}
