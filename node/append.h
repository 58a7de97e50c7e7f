// The kind-specific append steps: pm_NodeAppend wrapped in the report of the
// kind ("Error appending tile %s", ...). Internal to the library.
#ifndef KESTRUM_NODE_APPEND_H
#define KESTRUM_NODE_APPEND_H

#include "include/kestrum.h"

namespace pm {

pm_Tile *tile_append(pm_Tile *list, pm_Tile *tile, tk_ErrorReport **slot) noexcept;             // pm_TileAppend
pm_Sample *sample_append(pm_Sample *list, pm_Sample *sample, tk_ErrorReport **slot) noexcept;   // pm_SampleAppend
pm_File *file_append(pm_File *list, pm_File *file, tk_ErrorReport **slot) noexcept;             // pm_FileAppend
pm_Argument *argument_append(pm_Argument *list, pm_Argument *arg, tk_ErrorReport **slot) noexcept; // pm_ArgumentAppend

}  // namespace pm

#endif
