// The exported forms of the shared node operations, one thin wrapper per kind.
#include "node/node.h"
#include "node/report.h"

using pm::as_node;

namespace {

// Renames and, on refusal, wraps the name report in the kind's own.
int rename(const char *function, pm::NameText text, pm_Node *node, const char *name,
           tk_ErrorReport **slot) noexcept {
  pm::Reporter r(function, slot);
  pm::InnerSlot inner;
  int ok = pm::node_set_name(node, name, &inner);
  if (inner) r.push_name(inner.take(), text, name);
  return ok;
}

}  // namespace

extern "C" {

PM_API pm_NodeKind pm_NodeGetType(const void *node) {
  return node ? static_cast<const pm_Node *>(node)->kind : 0;
}

PM_API char *pm_ProjectGetName(pm_Project *p) { return pm::node_name_copy(as_node(p)); }
PM_API char *pm_TileGetName(pm_Tile *t) { return pm::node_name_copy(as_node(t)); }
PM_API char *pm_SampleGetName(pm_Sample *s) { return pm::node_name_copy(as_node(s)); }
PM_API char *pm_PFAFileGetName(pm_PFAFile *f) { return pm::node_name_copy(as_node(f)); }
PM_API char *pm_ProcessGetName(pm_Process *p) { return pm::node_name_copy(as_node(p)); }
PM_API char *pm_ArgumentGetName(pm_Argument *a) { return pm::node_name_copy(as_node(a)); }
PM_API char *pm_FileGetType(pm_File *f) { return pm::node_name_copy(as_node(f)); }

PM_API tk_StringList *pm_TileGetList(pm_Tile *l, tk_ErrorReport **s) { return pm::node_get_list(as_node(l), s); }
PM_API tk_StringList *pm_SampleGetList(pm_Sample *l, tk_ErrorReport **s) { return pm::node_get_list(as_node(l), s); }
PM_API tk_StringList *pm_FileGetList(pm_File *l, tk_ErrorReport **s) { return pm::node_get_list(as_node(l), s); }
PM_API tk_StringList *pm_PFAFileGetList(pm_PFAFile *l, tk_ErrorReport **s) { return pm::node_get_list(as_node(l), s); }

PM_API pm_Tile *pm_TileFind(pm_Tile *l, const char *n) { return pm::as_kind<pm_Tile>(pm::node_find(as_node(l), n)); }
PM_API pm_Sample *pm_SampleFind(pm_Sample *l, const char *n) { return pm::as_kind<pm_Sample>(pm::node_find(as_node(l), n)); }
PM_API pm_File *pm_FileFind(pm_File *l, const char *n) { return pm::as_kind<pm_File>(pm::node_find(as_node(l), n)); }
PM_API pm_PFAFile *pm_PFAFileFind(pm_PFAFile *l, const char *n) { return pm::as_kind<pm_PFAFile>(pm::node_find(as_node(l), n)); }
PM_API pm_Process *pm_ProcessFind(pm_Process *l, const char *n) { return pm::as_kind<pm_Process>(pm::node_find(as_node(l), n)); }
PM_API pm_Argument *pm_ArgumentFind(pm_Argument *l, const char *n) { return pm::as_kind<pm_Argument>(pm::node_find(as_node(l), n)); }

PM_API pm_Tile *pm_TileFindByNumber(pm_Tile *l, int n) { return pm::as_kind<pm_Tile>(pm::node_find_by_number(as_node(l), n)); }
PM_API pm_Sample *pm_SampleFindByNumber(pm_Sample *l, int n) { return pm::as_kind<pm_Sample>(pm::node_find_by_number(as_node(l), n)); }
PM_API pm_File *pm_FileFindByNumber(pm_File *l, int n) { return pm::as_kind<pm_File>(pm::node_find_by_number(as_node(l), n)); }
PM_API pm_PFAFile *pm_PFAFileFindByNumber(pm_PFAFile *l, int n) { return pm::as_kind<pm_PFAFile>(pm::node_find_by_number(as_node(l), n)); }
PM_API pm_Process *pm_ProcessFindByNumber(pm_Process *l, int n) { return pm::as_kind<pm_Process>(pm::node_find_by_number(as_node(l), n)); }
PM_API pm_Argument *pm_ArgumentFindByNumber(pm_Argument *l, int n) { return pm::as_kind<pm_Argument>(pm::node_find_by_number(as_node(l), n)); }

PM_API int pm_TileGetNumber(pm_Tile *n) { return pm::node_count(as_node(n)); }
PM_API int pm_SampleGetNumber(pm_Sample *n) { return pm::node_count(as_node(n)); }
PM_API int pm_FileGetNumber(pm_File *n) { return pm::node_count(as_node(n)); }
PM_API int pm_PFAFileGetNumber(pm_PFAFile *n) { return pm::node_count(as_node(n)); }
PM_API int pm_ProcessGetNumber(pm_Process *n) { return pm::node_count(as_node(n)); }
PM_API int pm_ArgumentGetNumber(pm_Argument *n) { return pm::node_count(as_node(n)); }

PM_API int pm_TileGetPosition(pm_Tile *n) { return pm::node_position(as_node(n)); }
PM_API int pm_SampleGetPosition(pm_Sample *n) { return pm::node_position(as_node(n)); }
PM_API int pm_FileGetPosition(pm_File *n) { return pm::node_position(as_node(n)); }
PM_API int pm_PFAFileGetPosition(pm_PFAFile *n) { return pm::node_position(as_node(n)); }
PM_API int pm_ProcessGetPosition(pm_Process *n) { return pm::node_position(as_node(n)); }
PM_API int pm_ArgumentGetPosition(pm_Argument *n) { return pm::node_position(as_node(n)); }

PM_API pm_Tile *pm_ProjectSortTiles(pm_Project *p) {
  return p ? pm::as_kind<pm_Tile>(pm::node_sort(reinterpret_cast<pm_Node **>(&p->tiles))) : nullptr;
}
PM_API pm_Sample *pm_TileSortSamples(pm_Tile *t) {
  return t ? pm::as_kind<pm_Sample>(pm::node_sort(reinterpret_cast<pm_Node **>(&t->samples))) : nullptr;
}

PM_API pm_Tile *pm_TileRemove(pm_Tile *t) {
  pm_Node *owner = t ? t->node.parent : nullptr;
  pm_Node **list = owner && owner->kind == PM_KIND_PROJECT
                       ? reinterpret_cast<pm_Node **>(&pm::as_kind<pm_Project>(owner)->tiles)
                       : nullptr;
  return pm::as_kind<pm_Tile>(pm::node_remove_from_parent(as_node(t), list));
}
PM_API pm_Sample *pm_SampleRemove(pm_Sample *s) {
  pm_Node *owner = s ? s->node.parent : nullptr;
  pm_Node **list = owner && owner->kind == PM_KIND_TILE
                       ? reinterpret_cast<pm_Node **>(&pm::as_kind<pm_Tile>(owner)->samples)
                       : nullptr;
  return pm::as_kind<pm_Sample>(pm::node_remove_from_parent(as_node(s), list));
}
PM_API pm_File *pm_FileRemove(pm_File *f) {
  pm_Node **list = f ? reinterpret_cast<pm_Node **>(pm::files_of(f->node.parent)) : nullptr;
  return pm::as_kind<pm_File>(pm::node_remove_from_parent(as_node(f), list));
}
PM_API pm_PFAFile *pm_PFAFileRemove(pm_PFAFile *f) { return pm::as_kind<pm_PFAFile>(pm::node_unlink(as_node(f))); }
PM_API pm_Process *pm_ProcessRemove(pm_Process *p) { return pm::as_kind<pm_Process>(pm::node_unlink(as_node(p))); }
// An argument knows its process, so its list pointer is kept valid too; the
// process is not marked changed (only destroying an argument marks it).
PM_API pm_Argument *pm_ArgumentRemove(pm_Argument *a) {
  if (!a) return nullptr;
  pm_Process *process = pm::as_kind<pm_Process>(a->node.parent);
  bool head = process && process->arguments == a;
  pm_Argument *rest = pm::as_kind<pm_Argument>(pm::node_unlink(as_node(a)));
  if (head) process->arguments = rest;
  return rest;
}

PM_API int pm_TileSetName(pm_Tile *t, const char *name, tk_ErrorReport **s) {
  return rename("pm_TileSetName", "Error changing tile name to %s", as_node(t), name, s);
}
PM_API int pm_SampleSetName(pm_Sample *x, const char *name, tk_ErrorReport **s) {
  return rename("pm_SampleSetName", "Error changing sample name to %s", as_node(x), name, s);
}
PM_API int pm_PFAFileSetName(pm_PFAFile *f, const char *name, tk_ErrorReport **s) {
  return rename("pm_PFAFileSetName", "Error changing PFA file name to %s", as_node(f), name, s);
}
PM_API int pm_ProcessSetName(pm_Process *p, const char *name, tk_ErrorReport **s) {
  return rename("pm_ProcessSetName", "Error changing process name to %s", as_node(p), name, s);
}
PM_API int pm_ArgumentSetName(pm_Argument *a, const char *name, tk_ErrorReport **s) {
  return rename("pm_ArgumentSetName", "Error changing argument name to %s", as_node(a), name, s);
}
PM_API int pm_FileSetType(pm_File *f, const char *type, tk_ErrorReport **s) {
  return rename("pm_FileSetType", "Error changing file type to %s", as_node(f), type, s);
}

}  // extern "C"
