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

const char *Listed::path() const noexcept {
  if (!parent_) return text_;
  if (!built_.empty()) return built_.c_str();
  const char *above = parent_->path();
  if (!above) return nullptr;
  // As a listing writes it: the parent's path from the root (":A:B";
  // nothing for the root itself), then ':' and the name.
  std::string_view given(above);
  std::string_view from_root = given == ":" ? std::string_view()
                               : given.substr(0, 2) == "::" ? given.substr(1)
                                                            : given;
  try {
    if (!from_root.empty() && from_root.front() != ':') built_ += ':';
    built_ += from_root;
    built_ += ':';
    built_ += name;
  } catch (...) {
    built_.clear();
    return nullptr;
  }
  return built_.c_str();
}

int rewind_and_write(tk_TreeFile *file, const Listed &parent, const char *name,
                     const char *design_name, const void *record, tk_Design *design,
                     tk_ErrorReport **slot, int64_t *written) noexcept {
  Reporter r("pm_RewindAndWrite", slot);
  if (written) *written = -1;
  // Under a parent known by number the node is written at once; should
  // that fail, the write by path below fails the same way (a failed write
  // changes nothing) and gives the usual reports.
  if (parent.node >= 0 && !slow_paths()) {
    int64_t added = tk_TreeNodeWrite(file, parent.node, name, design_name, record, design, nullptr);
    if (added >= 0) {
      if (written) *written = added;
      return 1;
    }
  }
  if (!seek_root(file, r, "Cannot seek ZQDX_ROOT_NODE for write")) return 0;
  InnerSlot inner;
  tk_TreeObjectWrite(file, parent.path(), name, design_name, TK_WRITE_NEW, record, design, &inner);
  if (inner) {
    r.push(inner.take(), "Error saving node %s %s", parent.shown(), name ? name : "(null)");
    return 0;
  }
  return 1;
}

namespace {

// The name and parent part of a well-formed listed path (":A:B" gives "B"
// and ":A:"), found in place; false for any other form, which takes the
// toolkit's path functions and their reports.
bool split_listed(const char *listed, const char **name, std::string_view *parent_part) noexcept {
  if (!listed || listed[0] != ':') return false;
  std::string_view path(listed);
  size_t colon = path.rfind(':');
  if (colon + 1 == path.size() || path.find("::") != std::string_view::npos) return false;
  *name = listed + colon + 1;
  *parent_part = path.substr(0, colon + 1);
  return true;
}

}  // namespace

int seek_and_read(tk_TreeFile *file, const Listed &parent, const Listed &listed, void *record,
                  tk_Design *design, tk_ErrorReport **slot, tk_ListCursor *cursor) noexcept {
  Reporter r("pm_SeekAndRead", slot);
  // A child found by walking its parent by number is read at once: it is a
  // direct child by how it was found. Should the read fail, the steps
  // below make it again by path and give the usual reports.
  auto read_by_number = [&] {
    return listed.node >= 0 && !slow_paths() && (cursor ? tk_TreeNodeReadHead(file, listed.node, record, design, cursor, nullptr)
                                       : tk_TreeNodeRead(file, listed.node, record, design, nullptr));
  };
  if (listed.child && read_by_number()) return 1;
  const char *path = listed.path();
  const char *parent_path = parent.path();
  OwnedText name, parent_part;
  const char *node_name = nullptr;
  std::string_view node_parent;
  if (!split_listed(path, &node_name, &node_parent)) {
    {
      InnerSlot inner;
      name.text = tk_NodePathPart(path, TK_NODE_NAME, -1, &inner);
      if (inner || !name.text) {
        r.push(inner.take(), "Cannot get node name");
        return 0;
      }
    }
    {
      InnerSlot inner;
      parent_part.text = tk_NodePathPart(path, TK_NODE_PARENT, -1, &inner);
      if (inner || !parent_part.text) {
        r.push(inner.take(), "Cannot get node path");
        return 0;
      }
    }
    node_name = name.text;
    node_parent = parent_part.text;
  }
  if (!is_direct_child(parent_path, node_parent)) return 0;
  // A node known by number is read at once; should that fail, the read by
  // path below fails the same way and gives the usual reports.
  if (!listed.child && read_by_number()) return 1;
  if (!seek_root(file, r, "Cannot seek ZQDX_ROOT_NODE for read")) return 0;
  InnerSlot inner;
  if (cursor)
    tk_TreeObjectReadHead(file, parent_path, node_name, record, design, cursor, &inner);
  else
    tk_TreeObjectRead(file, parent_path, node_name, TK_READ_RECORD, record, design, &inner);
  if (inner) {
    r.push(inner.take(), "Error loading node %s %s", parent.shown(), node_name);
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

int read_listed(tk_TreeFile *file, const Listed &parent, const Listed &listed, void *record,
                tk_Design *design, Reporter &r, const char *failure, tk_ListCursor *cursor) noexcept {
  InnerSlot inner;
  int read = seek_and_read(file, parent, listed, record, design, &inner, cursor);
  if (inner) {
    r.push(inner.take(), "%s", failure);
    return 0;
  }
  return read;
}

tk_StringList *list_nodes(tk_TreeFile *file, const char *path, const char *design_name, int flags,
                          tk_ErrorReport **slot) noexcept {
  tk_StringList *list = tk_TreeObjectList(file, path, flags, design_name, slot);
  if (slot && *slot) {
    tk_StringListDelete(list, nullptr);
    return nullptr;
  }
  return list;
}

}  // namespace pm
