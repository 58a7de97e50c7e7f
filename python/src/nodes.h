// kestrum._kestrum: the project tree's nodes (tiles, samples, data files)
// and their lists.
#ifndef KESTRUM_PYTHON_NODES_H
#define KESTRUM_PYTHON_NODES_H

#include <pybind11/pybind11.h>

namespace kpy {

// Adds TileList, SampleList, FileList, Tile, Sample and File.
void bind_nodes(pybind11::module_ &m);

}  // namespace kpy

#endif
