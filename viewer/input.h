// Input: the keys, the mouse and idle time, as GLUT calls them.
#pragma once

void keyCallback(unsigned char key, int x, int y);
void HandleMouseState(int button, int state, int x, int y);
void HandleMouseMove(int x, int y);
void idleCallback();
// Shows own model `index` from its fitted view, as its key does.
void showOwnModel(int index);
// Presses each character of `keys` in order, as typed into the window.
void pressKeys(const char* keys);
