// Start-up in the GL context a run draws in (the window's or the offscreen
// one): the fixed GL state, the ramp texture, the view, and the models.
#pragma once

// Sets the fixed OpenGL state, builds the shading ramp texture, resets the
// view and loads the bundled models; a run with model files, read already,
// shows the first of them. Always returns true.
bool init();

// Loads the cow, rabbit and penguin (in that order) and unitizes them.
// Returns true when all three were obtained.
bool readObjIntoModel();
