// Placing a model given on the command line in front of the camera: its
// drawn triangles' bounding box centred on the origin and scaled to a
// largest side of 2, in double precision, so that where and at what size the
// model sits in its file does not change its picture; the axis chosen as up
// turned to +y; its normals made unit length; and the eye distance at which
// both copies are seen whole, whichever way they are turned about the
// vertical axis. Plain CPU work: nothing here calls OpenGL.
#pragma once

#include <glm.h>

#include <vector>

// The model axis that points up on screen.
enum class UpAxis { x, y, z, minusX, minusY, minusZ };

// Moves and scales m's vertices so that the bounding box of the vertices its
// triangles use (finite coordinates only) is centred on the origin with a
// largest side of 2 (a box with no extent is only centred), then turns
// vertices, normals and facet normals so that `up` points along +y: for z,
// +z up and -y towards the viewer (+z). The turns are exact (axes swapped,
// signs changed). A model without drawable triangles is left as it is.
void placeModel(GLMmodel* m, UpAxis up);

// True when every corner of every triangle names one of m's normals and each
// of those has a finite, non-zero length; the normals are then scaled to
// unit length. False, with the normals as they were, otherwise.
bool makeUnitNormals(GLMmodel* m);

// How far a placed model reaches from the vertical (y) axis, band by band of
// height: what any turn about that axis can bring to the sides or the front.
struct TurnProfile {
  float bottom = 0, top = 0;  // lowest and highest drawn vertex
  // Per band of equal height from bottom to top, the largest distance of a
  // drawn vertex in it from the y axis; -1 for a band with none.
  std::vector<float> reach;
  float widest() const;  // the largest reach (0 for no vertices)
};

// The profile of m's drawn vertices, in `bands` bands of height.
TurnProfile turnProfile(const GLMmodel* m, int bands = 32);

// Eye distance from the origin (camera on the z axis looking at the origin,
// 40 degrees from top to bottom) at which both copies, at x = -offset and
// +offset, each turned by any angle about y and then by `pitch` degrees
// about x, lie wholly inside a picture of width / height `aspect`, with a
// margin all round.
float fittedDistance(const TurnProfile& profile, float offset, float aspect, float pitch);
