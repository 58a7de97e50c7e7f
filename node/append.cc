// Append steps of each kind. One template does the work; each kind names
// itself in its report.
#include "node/append.h"

#include "node/node.h"
#include "node/report.h"

namespace pm {

namespace {

template <typename T>
T *append_as(const char *function, NameText text, T *list, T *node, tk_ErrorReport **slot) noexcept {
  Reporter r(function, slot);
  InnerSlot inner;
  pm_Node *result = node_append(as_node(list), as_node(node), &inner);
  if (inner) r.push_name(inner.take(), text, node ? node->node.name : nullptr);
  return as_kind<T>(result);
}

}  // namespace

pm_Tile *tile_append(pm_Tile *list, pm_Tile *tile, tk_ErrorReport **slot) noexcept {
  return append_as("pm_TileAppend", "Error appending tile %s", list, tile, slot);
}
pm_Sample *sample_append(pm_Sample *list, pm_Sample *sample, tk_ErrorReport **slot) noexcept {
  return append_as("pm_SampleAppend", "Error appending sample %s", list, sample, slot);
}
pm_File *file_append(pm_File *list, pm_File *file, tk_ErrorReport **slot) noexcept {
  return append_as("pm_FileAppend", "Error appending file %s", list, file, slot);
}
pm_Argument *argument_append(pm_Argument *list, pm_Argument *arg, tk_ErrorReport **slot) noexcept {
  return append_as("pm_ArgumentAppend", "Error appending argument %s", list, arg, slot);
}

}  // namespace pm

extern "C" {

PM_API pm_PFAFile *pm_PFAFileAppend(pm_PFAFile *list, pm_PFAFile *pfa, tk_ErrorReport **slot) {
  return pm::append_as("pm_PFAFileAppend", "Error appending pfa_file %s", list, pfa, slot);
}

PM_API pm_Process *pm_ProcessAppend(pm_Process *list, pm_Process *process, tk_ErrorReport **slot) {
  return pm::append_as("pm_ProcessAppend", "Error appending process %s", list, process, slot);
}

}  // extern "C"
