/*
 * glm.h -- celshade's model library: Wavefront OBJ/MTL models in memory.
 *
 * A model is a set of flat arrays (vertices, normals, texture coordinates,
 * facet normals) that triangles index into, an array of materials and a
 * linked list of named groups of triangles.
 *
 * Conventions
 *  - Vector arrays are indexed from 1: an array of n items has n + 1 slots
 *    and slot 0 is never read or written. Item k of `vertices` is the floats
 *    3k, 3k+1, 3k+2. Triangles, materials and group index arrays start at 0.
 *  - Every array and string a record holds is its own, allocated with
 *    malloc; glmDelete releases them all. Buffers returned to the caller
 *    (glmReadPPM, glmWeldVectors) are released with free().
 *  - Caller errors (a null model, a missing array an operation needs) are
 *    assertions that abort in every build type. Bad input files are not
 *    caller errors: they give a message.
 *  - Warnings go to standard output or standard error as each function
 *    says, or to the handler set with glmSetMessageHandler.
 *  - Only glmDraw and glmList use OpenGL, and only they need a current GL
 *    context; everything else works without a window (libGL is still
 *    linked).
 *  - Threads: the library keeps no state between calls except glmDraw's
 *    walking state and the message handler. Several threads may read,
 *    change and write separate models at once (reading or writing separate
 *    files included), and may share a model as long as none of them changes
 *    it (glmDimensions, glmFind*, glmWriteOBJ, glmTryWriteOBJ only read).
 *    Functions that change a model (glmUnitize, glmScale, normals, texture
 *    coordinates, glmWeld, glmReverseWinding, glmAddGroup, glmDelete) need
 *    it to themselves. glmDraw and glmList are for one thread only, the one
 *    with the GL context.
 *
 * Quick use:
 *     GLMmodel* m = glmReadOBJ("cow.obj");
 *     glmUnitize(m);
 *     glmDraw(m, GLM_SMOOTH | GLM_MATERIAL);
 *     glmDelete(m);
 */
#ifndef CELSHADE_GLM_H
#define CELSHADE_GLM_H

#include <GL/gl.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library is built with hidden visibility: these declarations are what
 * it exports. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/* The records and flags keep their columns aligned by hand. */
/* clang-format off */
/* Mode flags for glmDraw, glmList and glmWriteOBJ. 0 selects vertices only. */
#define GLM_NONE     (0)
#define GLM_FLAT     (1 << 0) /* facet normals, one per triangle */
#define GLM_SMOOTH   (1 << 1) /* per-corner vertex normals */
#define GLM_TEXTURE  (1 << 2) /* per-corner texture coordinates */
#define GLM_COLOR    (1 << 3) /* material diffuse colour as the current colour */
#define GLM_MATERIAL (1 << 4) /* full material: ambient, diffuse, specular, shininess */

/* One material. Defaults before the MTL file changes them: shininess 65,
 * diffuse (0.8, 0.8, 0.8, 1), ambient (0.2, 0.2, 0.2, 1), specular (0, 0, 0, 1),
 * no diffuse map, no other statements.
 * A model has materials only when its file named a material library; then
 * material 0 is "default" (the library's own materials follow from 1).
 * Otherwise `materials` is NULL and `materialcount` 0: there is no material
 * 0, although every group's `material` is 0.
 * The strings after `shininess` are the material's own like its name
 * (malloc'ed; glmDelete frees them); NULL means none. A record written with
 * the five first fields only ({name, diffuse, ambient, specular, shininess})
 * has all of them NULL and 0: a material without a map or statements. */
typedef struct GLMmaterial {
  char* name;
  GLfloat diffuse[4];
  GLfloat ambient[4];
  GLfloat specular[4];
  GLfloat shininess; /* OpenGL scale 0..128 */
  /* The image of the material's map_Kd statement: its file name with '\'
   * read as '/', resolved against the folder of the MTL file that names it
   * ("models/tex/wood.png" for "map_Kd tex/wood.png" in models/m.mtl;
   * absolute names stay as they are), so that a program opens it as it is.
   * The image's colour multiplies the diffuse colour. NULL when none. */
  char* diffusemap;
  /* The options of that statement as the file writes them, between the
   * keyword and the file name ("-s 2 2 1 -clamp on"); the writer writes
   * them back. NULL when there are none. */
  char* diffusemapoptions;
  /* Every statement of the material the library does not model (d, Tr,
   * illum, Ni, Ke, map_Ka, map_Bump, refl, ...), verbatim and in file order,
   * each from its keyword to its line's end and followed by one '\n' (the
   * file's "\r\n" or "\n" is not kept), as one NUL-terminated text.
   * Comments are not statements. The writer writes them back. NULL when
   * there are none. */
  char* statements;
  /* The MTL file the material was read from, as the reader opened it (the
   * OBJ file's folder, then the name on the mtllib line). File names in
   * `statements` are relative to its folder. NULL for a material read from
   * no MTL file. */
  char* library;
  /* The line of the map_Kd statement in `library`, counted from 1; 0 when
   * there is none. */
  GLuint diffusemapline;
} GLMmaterial;

/* One triangle. Corners run counter-clockwise for front faces. An index the
 * face's form did not supply is 0 ("none"); facetnormidx is 0 until
 * glmFacetNormals sets it. */
typedef struct GLMtriangle {
  GLuint vertexidx[3];
  GLuint normalidx[3];
  GLuint texcoordidx[3];
  GLuint facetnormidx;
} GLMtriangle;

/* A named group of triangles; names compare byte for byte. */
typedef struct GLMgroup {
  char* name;
  GLuint trianglecount;
  GLuint* triangles;        /* 0-based indices into the model's triangles */
  GLuint material;          /* index into the model's materials */
  struct GLMgroup* next;    /* next group; the newest group comes first */
} GLMgroup;

/* One model. Arrays that hold nothing are NULL, except vertices, which the
 * reader always allocates. */
typedef struct GLMmodel {
  char* path;               /* the file name the model was read from */
  char* mtllib;             /* material library named by the file, or NULL */

  GLuint vertexcount;
  GLfloat* vertices;        /* (vertexcount + 1) * 3 */

  GLuint normalcount;
  GLfloat* normals;         /* (normalcount + 1) * 3, or NULL */

  GLuint texcoordcount;
  GLfloat* texcoords;       /* (texcoordcount + 1) * 2, or NULL */

  GLuint facetnormcount;
  GLfloat* facetnorms;      /* (facetnormcount + 1) * 3, or NULL */

  GLuint trianglecount;
  GLMtriangle* triangles;   /* trianglecount records */

  GLuint materialcount;
  GLMmaterial* materials;   /* materialcount records, or NULL (count 0) */

  GLuint groupcount;
  GLMgroup* groups;         /* newest first; "default" is always last */
} GLMmodel;
/* clang-format on */

/* ---- Records -------------------------------------------------------- */

/* Releases the model and everything it owns. Asserts model. */
GLvoid glmDelete(GLMmodel* model);

/* The material every material starts as when the reader makes it: diffuse
 * 0.8, ambient 0.2, specular 0 (alpha 1 in each), shininess 65; the name
 * and every string NULL, diffusemapline 0. The caller owns what it puts
 * into the record. */
GLMmaterial glmDefaultMaterial(void);

/* Returns the group named `name` (byte for byte), or NULL. Asserts model. */
GLMgroup* glmFindGroup(GLMmodel* model, const char* name);

/* Returns the group named `name`, creating it at the head of the list (no
 * triangles, material 0) when there is none. Asserts model. */
GLMgroup* glmAddGroup(GLMmodel* model, const char* name);

/* Returns the index of the first material named exactly `name`. When there
 * is none, prints "glmFindMaterial():  can't find material" with the name on
 * standard output and returns 0. Asserts model. */
GLuint glmFindMaterial(GLMmodel* model, const char* name);

/* Stores |max| + |min| of the bounding box on x, y and z in dimensions[0..2].
 * That is the box's size (max - min) only where the box contains the
 * origin; a box away from it measures more: x from 10 to 12 gives 22, not
 * 2. A model without vertices gives 0, 0, 0. Asserts model,
 * model->vertices, dimensions. */
GLvoid glmDimensions(GLMmodel* model, GLfloat* dimensions);

/* Centres the bounding box on the origin and scales the vertices by 2 over
 * the largest dimension as glmDimensions measures it before centring;
 * returns that scale. For a box that contains the origin the largest side
 * becomes 2. A model away from the origin is scaled by its distance too and
 * comes out smaller: x from 10 to 12 (glmDimensions 22) ends at
 * -0.0909..0.0909, a largest side of 2/11. Call it a second time, on the
 * now centred model, to make the largest side 2. A model without vertices,
 * or whose largest dimension is 0 or not finite (an extent beyond float,
 * such as vertices at -3e38 and 3e38), is left as it is and 1 is returned.
 * Asserts model, model->vertices. */
GLfloat glmUnitize(GLMmodel* model);

/* Multiplies every vertex coordinate by `scale`. Asserts model. */
GLvoid glmScale(GLMmodel* model, GLfloat scale);

/* ---- Reading -------------------------------------------------------- */

/* Reads an OBJ file and the MTL library it names (relative to the OBJ's
 * directory). A UTF-8 byte-order mark at the start of either is skipped;
 * UTF-16 text is refused. A library named again by a later mtllib is read
 * again only when it is another file. Never returns NULL: on an error it
 * prints a message and ends the process with exit status 1: "glmReadOBJ()
 * failed: can't open data file", "glmReadMTL() failed: can't open material
 * file" (standard error), "glmFirstPass(): Unknown token" (standard
 * output), or for any other bad input "file:line: what went wrong"
 * (standard error). Release the model with glmDelete. */
GLMmodel* glmReadOBJ(const char* filename);

/* Like glmReadOBJ, but never ends the process: on any error returns NULL
 * and, when `error` is not NULL, writes one NUL-terminated line
 * "file:line: what went wrong" into it (at most errorsize bytes; the file
 * is the OBJ or MTL file at fault, the line left out when it names none).
 * Leaves `error` alone on success. In this and every other message of the
 * reader, bytes of the file (a name, a keyword, the statement quoted) that
 * are neither printable ASCII nor part of a well-formed UTF-8 character
 * show as \xNN, and so do control characters. */
GLMmodel* glmTryReadOBJ(const char* filename, char* error, size_t errorsize);

/* Supplies the text of a material library for glmReadOBJText. `name` is
 * composed as the file reader composes it (directory of the OBJ path, then
 * the name in the file). Returns the text and stores its length, or returns
 * NULL when there is no such library. The text must stay valid, and
 * unchanged, until glmReadOBJText returns: a library served again at the
 * same address and length is taken as the same text and not read again. A
 * read may ask for one name more than once (a text it reads again). */
typedef const char* (*GLMmtlsource)(void* user, const char* name, size_t* length);

/* Reads OBJ text from memory; `path` stands for the file name (stored in the
 * model and used to compose library names). `mtl` may be NULL: every library
 * is then missing. Errors as glmTryReadOBJ. */
GLMmodel* glmReadOBJText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                         void* user, char* error, size_t errorsize);

/* Flags for glmTryReadOBJWith and glmReadOBJTextWith; 0 reads as
 * glmTryReadOBJ and glmReadOBJText do. Bits other than these are ignored. */
#define GLM_READ_OPTIONAL_LIBRARIES (1 << 0)
/* GLM_READ_OPTIONAL_LIBRARIES: a material library that cannot be opened (a
 * missing file, no permission, a folder; or NULL from the GLMmtlsource) is
 * not an error. The read goes on with the materials it had before that
 * mtllib statement (none for the first), `mtllib` still names it, and once
 * the read is done one warning per such statement goes to standard error
 * (or the message handler): "file.obj:LINE: can't open material library
 * \"NAME\" (reason)", NAME as the OBJ file writes it. A library that opens
 * but cannot be read (bad text) is still an error. */
#define GLM_READ_LENIENT (1 << 1)
/* GLM_READ_LENIENT: files as other tools write them. Without it the reader
 * keeps the classic rules (a statement known by the first letter of its
 * keyword, one library name per mtllib, every index naming an element of
 * the file, lines ending at newlines). With it:
 *  - Keywords are matched whole. OBJ: v, vt, vn, f, g, mtllib and usemtl
 *    are read; o, s, l, p and comments (a keyword starting with '#') are
 *    skipped; every other statement (vw, vp, cstype, maplib, usemap, ...)
 *    is skipped to its line end, and once the read is done one warning per
 *    keyword tells how many: "file.obj: 8 \"vw\" statements skipped" (the
 *    first 16 keywords met by name, any others together as "file.obj: N
 *    statements of K other keywords skipped"). What stands after the numbers
 *    or corners of a v, vt, vn or f statement on its line (vertex colours, a
 *    comment) belongs to it and is skipped. MTL: newmtl, Ka, Kd, Ks, Ns and
 *    map_Kd are read and nothing else is taken for one of them: norm, Ni,
 *    Pr, Kdx, ... are kept in the material's `statements` without a
 *    warning, as every statement the library does not model is.
 *  - mtllib names a list: every word on the line is a library, read in
 *    order; a backslash before a blank or tab makes it part of the name
 *    ("my\ file.mtl"). When no word names a library that can be opened, the
 *    whole rest of the line, without the white space around it, is tried
 *    as one name (as Blender writes "mtllib my file.mtl"). The libraries of
 *    every mtllib statement add up: the model's materials are material 0
 *    (the first library's "default") and then each library's materials in
 *    the order read; statements before a later library's first newmtl are
 *    dropped, and a library named again (the same file or buffer) adds
 *    nothing. usemtl finds the first material of a name, so an earlier
 *    library's definition wins. Every name that cannot be opened is a
 *    warning as above with GLM_READ_OPTIONAL_LIBRARIES, else the first is
 *    the error. `mtllib` holds the first name the file gives, as a file
 *    name (escapes resolved; the whole line when it was read as one name):
 *    glmWriteOBJ writes all the materials under that name.
 *  - A corner naming texture coordinates of a file without vt statements,
 *    or normals of one without vn statements, loses those indices (0, as
 *    in a face without them), with one warning for each kind:
 *    "file.obj:LINE: faces name normals, but the file has none: those
 *    indices are dropped", LINE being the first such face's. Any other
 *    index that names nothing is still an error.
 *  - A line ends at a newline, or at a carriage return not followed by one
 *    (classic Mac files); a group's name leaves out a carriage return
 *    before its newline too.
 * These warnings go to standard error (or the message handler) after those
 * of missing libraries and before glmFindMaterial's. Reading takes the time
 * the classic rules take, except for files with lines that end in lone
 * carriage returns: the count by lines does not hold for them, and they are
 * read again counting statement by statement (two to three times the
 * time). */

/* glmTryReadOBJ with `flags` (GLM_READ_*). */
GLMmodel* glmTryReadOBJWith(const char* filename, GLuint flags, char* error, size_t errorsize);

/* glmReadOBJText with `flags` (GLM_READ_*). */
GLMmodel* glmReadOBJTextWith(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                             void* user, GLuint flags, char* error, size_t errorsize);

/* ---- Drawing (needs a current OpenGL context) ------------------------ */

/* Sends the model in immediate mode, one GL_TRIANGLES batch per group, with
 * the attributes `mode` selects; attributes the model lacks are dropped with
 * a warning on standard output. Asserts model, model->vertices. */
GLvoid glmDraw(GLMmodel* model, GLuint mode);

/* Compiles glmDraw(model, mode) into a new display list and returns its name. */
GLuint glmList(GLMmodel* model, GLuint mode);

/* ---- Normals and winding -------------------------------------------- */

/* Computes one unit normal per triangle (right-hand rule) into facetnorms;
 * triangle i gets facet normal i + 1. Finite corners give a finite unit
 * normal at any magnitude (edges of 1e-20 or 1e20, corners near 3e38). A
 * degenerate triangle, one naming a vertex outside 1..vertexcount, or one
 * with a non-finite corner gets the zero vector (never NaN).
 * Asserts model, model->vertices. */
GLvoid glmFacetNormals(GLMmodel* model);

/* Replaces the normals with smoothed per-corner normals: around each vertex
 * the triangles within `angle` degrees of the vertex's reference triangle
 * (its highest-numbered one) share one averaged normal, the others keep
 * their facet normal. Needs facet normals. Every corner gets a normal of the
 * new array, except one whose vertex index is outside 1..vertexcount (0).
 * Prints "glmVertexNormals(): vertex w/o a triangle" on standard error for
 * each vertex no triangle uses. Asserts model, model->facetnorms. */
GLvoid glmVertexNormals(GLMmodel* model, GLfloat angle);

/* Reverses every triangle's corner order and negates every stored normal.
 * Asserts model. */
GLvoid glmReverseWinding(GLMmodel* model);

/* ---- Texture coordinates -------------------------------------------- */

/* One texture coordinate per vertex, projected on the x-z plane and scaled
 * by the largest dimension (scale 1 when that is 0). Grouped triangles get
 * texture indices equal to their vertex indices (0 where a vertex index is
 * outside 1..vertexcount). Asserts model, model->vertices. */
GLvoid glmLinearTexture(GLMmodel* model);

/* One texture coordinate per normal from the normal's direction, whatever
 * the normal's length (vn 0 1e20 0 maps like vn 0 1 0). Grouped
 * triangles get texture indices equal to their normal indices (0 where a
 * normal index is 0 or past normalcount). Asserts model, model->normals. */
GLvoid glmSpheremapTexture(GLMmodel* model);

/* ---- Writing -------------------------------------------------------- */

/* Writes the model as an OBJ file with the attributes `mode` selects and,
 * with GLM_MATERIAL and a library name, its MTL file. The library is written
 * where `mtllib` names it from the OBJ file's folder when the name stays
 * inside that folder ("m.mtl", "sub/m.mtl"). A name with a ".." component,
 * or an absolute one, is written in the OBJ file's folder under its last
 * component (under the OBJ file's name with ".mtl" when that is no file
 * name) and the "mtllib" line names that, with one warning on standard
 * error: "glmWriteOBJ() warning: material library \"NAME\" lies outside
 * the folder of \"FILE\": written as \"LAST\" beside it". Attributes the
 * model lacks are dropped with a "glmWriteOBJ() warning:" on standard
 * output. With GLM_FLAT | GLM_TEXTURE the faces are v/t/n, n naming the
 * facet normal.
 * Reading the files gives the model back, groups and materials alike:
 * groups are written oldest first; a group name that is empty or starts
 * with white space (as every name read from a file does) follows "g"
 * directly, any other gets a blank (which it keeps when read back). The
 * oldest group, when named "default", and material 0 named "default" are
 * the reader's own: the group gets no "g" line, its faces (and "usemtl"
 * unless its material is 0) come before the first "g" line, and nothing is
 * written for it when it has neither; the material gets no "newmtl" line,
 * and its colours and shininess, when not those every material starts
 * with, and its statements stand before the first "newmtl".
 * After each material's colours and shininess come its `statements` as
 * they are, then "map_Kd", its options and `diffusemap`. When the library
 * is written into another folder than that of the material's `library`,
 * the image names of map statements (map_Kd, map_Ka, map_Bump, bump, disp,
 * norm, refl, ...: every "map_" keyword but map_aat) are written so that
 * they name the same files from there: relative, or absolute when the two
 * share no folder but the root.
 * Each file is written to a new file in its folder, under a short temporary
 * name, and renamed over its name only once both are written and closed, so
 * a failure leaves any earlier files whole and no partial file behind, and
 * any name the system takes can be written. A symbolic link is followed to
 * the end of its chain: the file it names is replaced, or created when the
 * link dangles, and the link stays; a chain that does not end (a loop) is a
 * failure naming the file. A file that existed keeps its permissions; a
 * device or pipe is written directly. On a failure prints a message on
 * standard error ("glmWriteOBJ() failed: can't open file" or "glmWriteMTL()
 * failed: can't open file" when a file cannot be created, "glmWriteOBJ()
 * failed: file: what went wrong" when it cannot be written, closed or
 * renamed) and ends the process with exit status 1. Asserts model. */
GLvoid glmWriteOBJ(GLMmodel* model, const char* filename, GLuint mode);

/* Like glmWriteOBJ, with the same output byte for byte, but never ends the
 * process: returns 1 on success, or 0 after writing one NUL-terminated line
 * "file: what went wrong" into `error` (at most errorsize bytes, when
 * `error` is not NULL; the file is the OBJ or MTL file at fault). Leaves
 * `error` alone on success. */
GLboolean glmTryWriteOBJ(GLMmodel* model, const char* filename, GLuint mode, char* error,
                         size_t errorsize);

/* ---- Welding -------------------------------------------------------- */

/* Collects the distinct vectors of vectors[1..*numvectors] (vectors within
 * epsilon in every component merge into the first one met) into a new
 * array that the caller frees, sets *numvectors to their number, and
 * stores in the x component of every input vector the slot it became, as a
 * float: exact up to 2^24, rounded to the nearest float above. Asserts
 * numvectors, and vectors unless *numvectors is 0. */
GLfloat* glmWeldVectors(GLfloat* vectors, GLuint* numvectors, GLfloat epsilon);

/* Welds the model's vertices within epsilon and renumbers the corners
 * (exactly, at any size). Corners outside 1..vertexcount stay as they are.
 * Asserts model. */
GLvoid glmWeld(GLMmodel* model, GLfloat epsilon);

/* ---- Messages ------------------------------------------------------- */

/* Receives one warning as a line without its newline. */
typedef void (*GLMmessagehandler)(void* user, const char* message);

/* Sends every warning the library prints (mode warnings of glmDraw, glmList
 * and glmWriteOBJ, glmWriteOBJ's library outside the OBJ file's folder,
 * glmFindMaterial's "can't find material", glmVertexNormals' "vertex w/o a
 * triangle", glmReadPPM's messages) to `handler` with `user`,
 * on the thread that made it, instead of printing it. NULL restores
 * printing, each line on the stream its function names. Messages of
 * failures that end the process are printed, never sent to the handler.
 * May be called at any time from any thread; the handler must be safe to
 * call from every thread that uses the library. */
GLvoid glmSetMessageHandler(GLMmessagehandler handler, void* user);

/* ---- Images --------------------------------------------------------- */

/* Reads a raw (P6) PPM file into a malloc'ed buffer of width * height * 3
 * bytes and stores its size; returns NULL after a message "file: what went
 * wrong" on standard error when the file cannot be read, leaving width and
 * height untouched. The header is "P6", width, height and maximum value
 * separated by white space and '#' comments, then one white-space byte;
 * every sample is returned as the byte it is, and a maximum value above 255
 * (two-byte samples) is refused. */
GLubyte* glmReadPPM(const char* filename, int* width, int* height);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* CELSHADE_GLM_H */
