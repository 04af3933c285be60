// The frame: what GLUT calls to draw and when the window changes size.
#pragma once

// Sets the viewport and projection for a window of width x height.
void myReshape(int width, int height);
// Draws one frame: the lit copy on the left, the cel-shaded copy with its
// outline on the right.
void displayCallback();
