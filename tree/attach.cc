// Appending tiles and samples to their owners and attaching data files to the
// project, a tile or a sample. Each append links the node at the end of the
// owner's list through the kind's append step, stores the new first element
// in the owner and, only when the node was really linked, makes the owner
// its parent. Nothing is marked changed: the new node is dirty already.
#include "node/append.h"
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

namespace {

template <typename T>
using AppendStep = T *(*)(T *, T *, tk_ErrorReport **) noexcept;

// Appends `node` to the list held at `*head` through `step`, leaving any
// report of the step in `slot`. A refused or nameless node keeps its links
// and parent (none, or those of the list it is still in) and the owner keeps
// the list it had.
template <typename T>
void attach(pm_Node *owner, T **head, T *node, AppendStep<T> step, tk_ErrorReport **slot) noexcept {
  T *list = step(*head, node, slot);
  *head = list;
  if (!*slot && pm::appended(list, node)) node->node.parent = owner;
}

}  // namespace

extern "C" {

PM_API void pm_ProjectAppendTile(pm_Project *project, pm_Tile *tile, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProjectAppendTile", slot);
  if (!project || !tile) return;
  pm::InnerSlot inner;
  attach(&project->node, &project->tiles, tile, pm::tile_append, &inner);
  if (inner) r.push(inner.take(), "Cannot append tile %s to project node", pm::text_or_null(tile->node.name));
}

PM_API void pm_TileAppendSample(pm_Tile *tile, pm_Sample *sample, tk_ErrorReport **slot) {
  pm::Reporter r("pm_TileAppendSample", slot);
  if (!tile || !sample) return;
  pm::InnerSlot inner;
  attach(&tile->node, &tile->samples, sample, pm::sample_append, &inner);
  if (inner)
    r.push(inner.take(), "Cannot append sample %s to tile %s", pm::text_or_null(sample->node.name),
           pm::text_or_null(tile->node.name));
}

PM_API void pm_ProjectAppendFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProjectAppendFile", slot);
  if (!project || !file) return;
  pm::InnerSlot inner;
  attach(&project->node, &project->files, file, pm::file_append, &inner);
  if (inner) r.push(inner.take(), "Cannot add file to project node");
}

PM_API void pm_TileAppendFile(pm_Tile *tile, pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_TileAppendFile", slot);
  if (!tile || !file) return;
  pm::InnerSlot inner;
  attach(&tile->node, &tile->files, file, pm::file_append, &inner);
  if (inner)
    r.push(inner.take(), "Error adding file %s to tile %s", pm::text_or_null(file->node.name),
           pm::text_or_null(tile->node.name));
}

PM_API void pm_SampleAppendFile(pm_Sample *sample, pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_SampleAppendFile", slot);
  if (!sample || !file) return;
  pm::InnerSlot inner;
  attach(&sample->node, &sample->files, file, pm::file_append, &inner);
  if (inner)
    r.push(inner.take(), "Error adding file %s to sample %s", pm::text_or_null(file->node.name),
           pm::text_or_null(sample->node.name));
}

// A parent that is no project, tile or sample (a null one included) cannot
// hold files: refused with a non-zero result and no report.
PM_API int pm_ParentAppendFile(void *parent, pm_File *file, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ParentAppendFile", slot);
  if (!parent) return 1;
  auto *owner = static_cast<pm_Node *>(parent);
  pm::InnerSlot inner;
  switch (owner->kind) {
    case PM_KIND_PROJECT: pm_ProjectAppendFile(pm::as_kind<pm_Project>(owner), file, &inner); break;
    case PM_KIND_TILE: pm_TileAppendFile(pm::as_kind<pm_Tile>(owner), file, &inner); break;
    case PM_KIND_SAMPLE: pm_SampleAppendFile(pm::as_kind<pm_Sample>(owner), file, &inner); break;
    default: return 1;
  }
  if (!inner) return 0;
  r.push(inner.take(), "Cannot append file to parent node");
  return 1;
}

}  // extern "C"
