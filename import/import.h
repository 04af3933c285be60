// import.h -- reading a model file of any format into a GLMmodel.
//
// The file's name chooses the reader, and nothing else does: a name that
// ends in ".obj" (in any case) is read by the model library's own OBJ
// reader, with its rules and messages; every other file goes to assimp,
// whatever its text (assimp also reads OBJ text under another name, by its
// own rules). A build configured with CELSHADE_ASSIMP=OFF reads OBJ files
// only.
//
// A model read by assimp has the shape the OBJ reader gives a model:
//  - Each mesh of the scene, placed by each node that names it, becomes one
//    group. The node transforms are applied (to normals by their inverse
//    transpose, and made unit length again) and a mirroring transform's
//    triangles get their corners reversed, so that front faces stay
//    counter-clockwise. The group is named after the mesh, or after its
//    node when the mesh has no name, or "mesh"; control bytes become '_'
//    and a name taken before gets ".2", ".3", ... ("default" is always
//    taken). Groups come newest first in the order the node tree is walked
//    (depth first, parents before children), followed by an empty
//    "default".
//  - Faces are triangulated; points and lines are left out (the vertices
//    only they use stay, unused, as an OBJ file's would). A scene without
//    any triangle is an error: "FILE: no faces to draw".
//  - Normals come along when every mesh has them, one per vertex (else
//    `normals` is NULL and the model is given normals as a bare OBJ model
//    is). The first set of texture coordinates comes along when any mesh
//    has one: one item per vertex of such meshes, then one (0, 0) item that
//    the corners of the other meshes share (`texcoords` is NULL when no
//    mesh has any). So every corner names a normal when any corner does,
//    and a texture coordinate when any does. There are no facet normals.
//  - The scene's materials follow a material 0 "default", as a material
//    library's do, with the library's defaults for whatever they do not
//    say: name (blanks and control bytes as '_', unique, "materialN" when
//    empty), diffuse, ambient and specular colours (alpha 1), shininess
//    (taken on the MTL scale 0..1000, which assimp's OBJ and glTF readers
//    give, and converted to OpenGL's 0..128 as the MTL reader converts
//    Ns). A scene without materials gives none. `mtllib` is NULL.
//  - A material's diffuse texture, when the file names one, is its
//    `diffusemap`: the file name with backslashes read as '/', resolved against
//    the model file's folder. An image the file holds within itself (a glTF
//    data URI or binary buffer, FBX embedded media) comes instead as an
//    EmbeddedImage, the material's `diffusemap` NULL. Materials have no
//    statements and no `library`.
// Every array and string is the model's own, allocated with malloc; release
// the model with glmDelete.
#ifndef CELSHADE_IMPORT_H
#define CELSHADE_IMPORT_H

#include <glm.h>

#include <string>
#include <vector>

// An image a model file holds within itself: the bytes of an image file
// ("png", "jpg", ...; texels stored without a file format come as PNG).
struct EmbeddedImage {
  GLuint material;                   // the material whose diffuse map it is
  std::string format;                // its file name extension, "png" when unknown
  std::vector<unsigned char> bytes;  // the image file
};

// Reads `file`. An OBJ file is read by glmTryReadOBJWith(file, readFlags,
// ...) (GLM_READ_* flags), which other formats ignore. On failure returns
// NULL and sets `error` to one line: the OBJ reader's message; "FILE: "
// followed by assimp's reason, every byte in it that is not printable ASCII
// or part of a whole UTF-8 character written as \xNN; "FILE: no faces to
// draw"; or, without assimp, "FILE: only OBJ files can be read (this
// celshade was built without assimp)". Leaves `error` alone on success.
// The images the file holds within itself go to `images` when it is given
// (and are left out otherwise).
GLMmodel* importModel(const char* file, GLuint readFlags, std::string& error,
                      std::vector<EmbeddedImage>* images = nullptr);

// Writes each embedded image beside `out` as OUT-N.EXT (OUT the name of
// `out` without its extension, N the image's number) and makes it its
// material's `diffusemap`, so that the model written as `out` names it
// from there. False with "FILE: reason" in `error` when one cannot be
// written; those written before stay.
bool writeEmbeddedImages(const std::vector<EmbeddedImage>& images, GLMmodel* model,
                         const std::string& out, std::string& error);

// True when `file` is read by the OBJ reader: its name ends in ".obj", in
// any case.
bool isObjName(const char* file);

#endif  // CELSHADE_IMPORT_H
