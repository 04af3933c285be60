// Where frames go: GLUT's window, or nothing in an offscreen run, which never
// initializes GLUT. The frame and the keys call these, not GLUT.
#pragma once

extern bool windowOpen;
void finishFrame();  // after a frame is drawn into the back buffer
void requestRedisplay();
// Saves the next finished frame as celshade-NNN.png (p key).
void requestPicture();
// Writes the current read buffer, over the viewport, as a PNG (RGBA with a
// transparent background, else RGB), by write and rename. False, with
// "FILE: reason" on standard error, when the file cannot be written.
bool savePicture(const char* file);
// Names the model file shown in the window's title (celshade – FILE).
void showFileInTitle(const char* file);
// The q key: ends the process in a window; in an offscreen run, ends the
// keys pressed before the picture, which is still drawn and written.
void quit();
extern bool quitting;  // q was pressed in an offscreen run
