// The node primitives of the project file: write, read and delete one node.
#include "persist/node_io.h"

#include "node/report.h"

namespace pm {

namespace {

bool seek_root(tk_TreeFile *file, Reporter &r, const char *failure) noexcept {
  InnerSlot inner;
  tk_TreeEntrySeek(file, TK_SEEK_ROOT, nullptr, &inner);
  if (!inner) return true;
  r.push(inner.take(), "%s", failure);
  return false;
}

}  // namespace

int rewind_and_write(tk_TreeFile *file, const char *parent, const char *name,
                     const char *design_name, const void *record, tk_Design *design,
                     tk_ErrorReport **slot) noexcept {
  Reporter r("pm_RewindAndWrite", slot);
  if (!seek_root(file, r, "Cannot seek ZQDX_ROOT_NODE for write")) return 0;
  InnerSlot inner;
  tk_TreeObjectWrite(file, parent, name, design_name, TK_WRITE_NEW, record, design, &inner);
  if (inner) {
    r.push(inner.take(), "Error saving node %s %s", parent ? parent : "(null)", name ? name : "(null)");
    return 0;
  }
  return 1;
}

int seek_and_read(tk_TreeFile *file, const char *parent, const char *listed, void *record,
                  tk_Design *design, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_SeekAndRead", slot);
  OwnedText name, parent_part;
  {
    InnerSlot inner;
    name.text = tk_NodePathPart(listed, TK_NODE_NAME, -1, &inner);
    if (inner || !name.text) {
      r.push(inner.take(), "Cannot get node name");
      return 0;
    }
  }
  {
    InnerSlot inner;
    parent_part.text = tk_NodePathPart(listed, TK_NODE_PARENT, -1, &inner);
    if (inner || !parent_part.text) {
      r.push(inner.take(), "Cannot get node path");
      return 0;
    }
  }
  if (!is_direct_child(parent, parent_part.text)) return 0;
  if (!seek_root(file, r, "Cannot seek ZQDX_ROOT_NODE for read")) return 0;
  InnerSlot inner;
  tk_TreeObjectRead(file, parent, name.text, TK_READ_RECORD, record, design, &inner);
  if (inner) {
    r.push(inner.take(), "Error loading node %s %s", parent, name.text);
    return 0;
  }
  return 1;
}

int node_delete(tk_TreeFile *file, const char *path, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_NodeDelete", slot);
  const char *shown = path ? path : "(null)";
  {
    InnerSlot inner;
    tk_TreeEntrySeek(file, TK_SEEK_PATH, path, &inner);
    if (inner) {
      r.push(inner.take(), "Cannot seek node %s", shown);
      return 0;
    }
  }
  {
    InnerSlot inner;
    tk_TreeObjectDelete(file, ":", path, TK_DELETE_TREE, &inner);
    if (inner) {
      r.push(inner.take(), "Cannot delete node %s", shown);
      return 0;
    }
  }
  return seek_root(file, r, "Cannot seek ZQDX_ROOT_NODE for write") ? 1 : 0;
}

int read_listed(tk_TreeFile *file, const char *parent, const char *listed, void *record,
                tk_Design *design, Reporter &r, const char *failure) noexcept {
  if (!record) {
    r.push(nullptr, "Out of memory reading node %s", listed ? listed : "(null)");
    r.push(nullptr, "%s", failure);
    return 0;
  }
  InnerSlot inner;
  int read = seek_and_read(file, parent, listed, record, design, &inner);
  if (inner) {
    r.push(inner.take(), "%s", failure);
    return 0;
  }
  return read;
}

tk_StringList *list_nodes(tk_TreeFile *file, const char *path, const char *design_name,
                          tk_ErrorReport **slot) noexcept {
  tk_StringList *list = tk_TreeObjectList(file, path, 0, design_name, slot);
  if (slot && *slot) {
    tk_StringListDelete(list, nullptr);
    return nullptr;
  }
  return list;
}

}  // namespace pm
