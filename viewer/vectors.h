// The viewer's small vector routines: the eye-space normal and how directly
// it faces the light, in single precision with a rounding after every step.
#pragma once

#include <cmath>

struct vector {
  float x, y, z;
};

// Column-major, as glGetFloatv(GL_MODELVIEW_MATRIX) returns it.
struct matrix {
  float m[16];
};

// a . b
inline float dotProduct(const vector& a, const vector& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// o = upper-left 3x3 block of M times v (the translation is ignored).
inline void modelView(const matrix& M, const vector& v, vector& o) {
  const float* m = M.m;
  o.x = m[0] * v.x + m[4] * v.y + m[8] * v.z;
  o.y = m[1] * v.x + m[5] * v.y + m[9] * v.z;
  o.z = m[2] * v.x + m[6] * v.y + m[10] * v.z;
}

// Length of v, in single precision.
inline float magnitude(const vector& v) { return sqrtf(v.x * v.x + v.y * v.y + v.z * v.z); }

// Scales v to unit length; a zero vector stays as it is.
inline void normalize(vector& v) {
  float length = magnitude(v);
  if (length == 0.0f) return;
  v.x /= length;
  v.y /= length;
  v.z /= length;
}
