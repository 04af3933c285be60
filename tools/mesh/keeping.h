// What celshade-mesh's output keeps of what it read: the statements of the
// input's OBJ text and library that the model does not hold (and so cannot
// be written), and whether writing the output's library over a file would
// lose any of that file's statements.
#ifndef CELSHADE_MESH_KEEPING_H
#define CELSHADE_MESH_KEEPING_H

#include <glm.h>

#include <string>
#include <vector>

namespace keeping {

// Files are classified as the reader read them: `lenient` when it read them
// as other tools write them (GLM_READ_LENIENT: whole keywords, lone
// carriage returns ending lines), else by the classic rules (keywords known
// by their first letters).

// One line for each kind of thing the OBJ file `path`, read as `model`,
// holds that the model does not keep ("20 `s` statements not kept"):
// statements the reader passes over silently (by the classic rules every
// statement it does not read: o, s, l, p, free-form geometry, ...; read
// leniently only o, s, l and p, the reader itself warning of the others),
// vertex colours (numbers after x y z), polygons of more than three corners
// (kept as triangles), faces whose material is not their group's last one,
// and material statements when no library could be read. Empty when the
// file cannot be read again.
std::vector<std::string> notKeptOfObj(const std::string& path, const GLMmodel* model, bool lenient);

// The same for the MTL file `path`: what of its statements the library's
// writer does not write back (the words after a material's name). Empty
// when there is nothing or the file cannot be read.
std::vector<std::string> notKeptOfLibrary(const std::string& path, bool lenient);

// What replacing the existing file `path` with the library written for
// `model` would lose, as one phrase ("2 statements of material \"Leg\",
// material \"Moss\""): what of its statements the writer does not write
// back, its materials the model does not hold, and the statements of its
// materials that the model's materials of the same name do not hold (a
// map_Kd is held by any diffuse map). Empty when nothing would be lost or
// there is no such file.
std::string lostByReplacing(const std::string& path, const GLMmodel* model, bool lenient);

}  // namespace keeping

#endif  // CELSHADE_MESH_KEEPING_H
