// Input: keys pick the model, move the camera, toggle colour, save a
// picture, print help and quit; a left-button drag rotates both copies; idle
// keeps frames coming.

#include "input.h"

#include <cstdio>

#include "picture.h"
#include "scene.h"

// Shows `chosen` from the start: turned by `yaw` and `pitch`, no drag, the
// eye `distance` in front of the origin.
static void resetView(GLMmodel* chosen, float distance, float yaw = 0.0f, float pitch = 0.0f) {
  model = chosen;
  g_xRotation = yaw;
  g_yRotation = pitch;
  MouseState.left = MouseState.middle = MouseState.right = false;
  MouseState.x = MouseState.y = 0;
  eyex = 0.0f, eyey = 0.0f, eyez = distance;
  focusx = 0.0f, focusy = 0.0f, focusz = 0.0f;
}

void showOwnModel(int index) {
  const ownModel& own = ownModels[index];
  resetView(own.model, fittedDistance(own.profile, own.offset, windowAspect, startPitch), startYaw,
            startPitch);
  showFileInTitle(own.file);
}

// Prints the key and mouse help on standard output: the bundled models, or
// the files given on the command line, each with its key.
static void printHelp() {
  printf("****CELSHADER HELP****\n");
  if (ownModelCount == 0) {
    printf("There are 3 different models. Select them by pressing the following keys:\n");
    printf("1 - Cow Model\n");
    printf("2 - Penguin Model\n");
    printf("3 - Rabbit Model\n\n");
  } else {
    printf("Select a model by pressing its key:\n");
    for (int i = 0; i < ownModelCount; ++i) printf("%d - %s\n", i + 1, ownModels[i].file);
    printf("\n");
  }
  printf("To rotate camera, click on the screen and move the mouse around\n\n");
  printf("Key Commands:\n");
  printf("w - zoom in\n");
  printf("s - zoom out\n");
  printf("a - move left\n");
  printf("d - move right\n");
  printf("c - toggle color on/off\n");
  if (ownModelCount > 0) printf("p - save the picture as celshade-NNN.png\n");
  printf("h - help\n");
  printf("q - quit\n");
}

// Keyboard: model choice, camera, colour, picture, help and quit. Every key
// but q asks for a redisplay, also keys that change nothing.
void keyCallback(unsigned char key, int, int) {
  if (ownModelCount > 0 && key >= '1' && key <= '9') {
    // Keys beyond the number of files change nothing.
    if (key - '1' < ownModelCount) showOwnModel(key - '1');
    requestRedisplay();
    return;
  }
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
    case 'p': requestPicture(); break;
    case 'h': printHelp(); break;
    case 'q': quit(); return;
    default: break;
  }
  requestRedisplay();
}

void pressKeys(const char* keys) {
  for (const char* k = keys; *k && !quitting; ++k) keyCallback((unsigned char)*k, 0, 0);
}

// Mouse buttons: tracks the left button and remembers where the pointer was.
void HandleMouseState(int button, int state, int x, int y) {
  if (button == GLUT_LEFT_BUTTON) MouseState.left = state == GLUT_DOWN;
  MouseState.x = x;
  MouseState.y = y;
}

// Pointer motion with a button held: a left-button drag turns both copies by
// 0.6 degrees per pixel.
void HandleMouseMove(int x, int y) {
  int dx = MouseState.x - x;
  int dy = MouseState.y - y;
  MouseState.x = x;
  MouseState.y = y;
  if (MouseState.left) {
    g_xRotation += dx * (-0.6);
    g_yRotation += dy * (-0.6);
  }
  requestRedisplay();
}

// Keeps frames coming back to back.
void idleCallback() { requestRedisplay(); }
