// kestrum._kestrum: what the project file cannot mean, refused when it is
// set and reported by project.validate() for projects that already hold it
// (a file written by another program, an old script's work).
//
// - Names: tiles, samples, data files (by type) and processes are nodes of
//   the project file, so their names follow the tree file's rule for node
//   names, and a node may not share its name with a sibling of another
//   list: the top level holds the tiles, the project's data files and the
//   file's own nodes ("Project" and the three level nodes), a tile holds
//   its samples and its data files. A PFA file's name is the type of its
//   data files and follows the same rule. The words are those of the
//   save's refusal, which a test holds them to.
// - File types: a data file's type names a PFA file of its node's level;
//   no process would ever look for one of another type.
// - Enumerations: only the values the enum has (values.h).
// - Paths: a descriptor, parameter or label file that is relative would be
//   read against whatever directory a host runs in.
#ifndef KESTRUM_PYTHON_VALIDATION_H
#define KESTRUM_PYTHON_VALIDATION_H

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "handles.h"

namespace kpy {

// Why the file cannot hold `name` as a node name; empty when it can.
std::string node_name_fault(std::string_view name);

// Throw ValueError("tile name 'a:b': a node name may not contain ':'")
// when the node, named `name`, could not be saved; `self` is the node being
// renamed (null for a new one). A name its own list holds already is left
// to the library, which refuses it with kestrum.Error.
void check_tile_name(pm_Project *project, pm_Tile *self, const std::string &name);
void check_sample_name(pm_Tile *tile, pm_Sample *self, const std::string &name);
void check_process_name(const std::string &name);
void check_pfa_name(const std::string &name);
// The same for a data file's type at `owner` (the project, a tile or a
// sample); with `strict`, also a type that no PFA file of the owner's level
// defines.
void check_file_type(pm_Project *project, void *owner, pm_File *self, const std::string &type, bool strict);

// Adds Project.validate().
void bind_validation(py::class_<Project> &project);

}  // namespace kpy

#endif
