// Internal to the model library: helpers shared by the sections of glm.cpp and
// reachable from the tests, never installed.
#ifndef CELSHADE_GLM_INTERNAL_H
#define CELSHADE_GLM_INTERNAL_H

#include "glm.h"

#include <assert.h>
#include <stddef.h>
#include <stdio.h>

// Caller errors abort in every build type, Release included: the report is
// the C library's own ("prog: glm.cpp:LINE: func: Assertion `expr' failed.")
// and names the library's source file.
extern "C" void __assert_fail(const char* assertion, const char* file, unsigned int line,
                              const char* function) noexcept __attribute__((noreturn));
#define GLM_ASSERT(expr) \
  ((expr) ? (void)0 : __assert_fail(#expr, "glm.cpp", __LINE__, __func__))

#define GLM_INTERNAL __attribute__((visibility("hidden")))

extern "C" {

// b when b > a, else a (ties give a).
GLM_INTERNAL GLfloat glmMax(GLfloat a, GLfloat b);
// -f when f < 0, else f.
GLM_INTERNAL GLfloat glmAbs(GLfloat f);

// Newly malloc'ed copy of `path` cut just after its last '/'; "" when none.
GLM_INTERNAL char* glmDirName(const char* path);

// u . v, added in the order x, y, z. Asserts u, v.
GLM_INTERNAL GLfloat glmDot(GLfloat* u, GLfloat* v);
// n = u x v; n must not overlap u or v. Asserts u, v, n.
GLM_INTERNAL GLvoid glmCross(GLfloat* u, GLfloat* v, GLfloat* n);
// Divides v by its length (square root taken in double, rounded to float).
// Asserts v.
GLM_INTERNAL GLvoid glmNormalize(GLfloat* v);

// True when |u - v| < epsilon in x, y and z (tested in that order).
GLM_INTERNAL GLboolean glmEqual(GLfloat* u, GLfloat* v, GLfloat epsilon);

// How the reader's first pass counts: lines by their first bytes, starting
// over statement by statement when that count proves wrong (what
// glmReadOBJText does); statement by statement only (the reference the line
// count is tested against); lines only, failing with "lines miscounted"
// where the read would start over.
enum { GLM_COUNT_LINES_FIRST, GLM_COUNT_STATEMENTS, GLM_COUNT_LINES_ONLY };

// glmReadOBJText with the first pass's way of counting chosen. Asserts a
// known `counting`.
GLM_INTERNAL GLMmodel* glmReadOBJTextCounting(const char* path, const char* text, size_t length,
                                              GLMmtlsource mtl, void* user, char* error,
                                              size_t errorsize, int counting);

}  // extern "C"

// Settles a draw or write mode against what the model holds: drops a flag
// whose array is missing, then flat under smooth and colour under material,
// in that order, printing "<who>() warning: <warnings[k]>" on standard output
// for every check k that fires. Only the presence of an array counts.
GLM_INTERNAL GLuint glmResolveMode(const GLMmodel* model, GLuint mode, const char* who,
                                   const char* const warnings[7]);

// Formats one warning line (no newline) and hands it to the message handler,
// or prints it with its newline on `stream` when there is none.
GLM_INTERNAL void glmMessage(FILE* stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// malloc(count * size) that never returns null: an overflowing size or a
// failed allocation prints "glm: out of memory" with the size on standard
// error and ends the process with exit status 1.
GLM_INTERNAL void* glmAlloc(size_t count, size_t size);
// Newly allocated copy of a string (glmAlloc rules).
GLM_INTERNAL char* glmStrdup(const char* s);

#endif  // CELSHADE_GLM_INTERNAL_H
