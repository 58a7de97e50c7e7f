// Nodes of an open tree file by number: walking children in order and
// reading records without building or resolving a path for every node. A
// loader that visits every node of a large file this way does no work per
// node beyond decoding its record.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "toolkit_internal.h"
#include "treefile.h"

namespace {

using tk::tree::kNone;
using tk::tree::kRoot;

// The node numbered `node`, or kNone when there is no such live node.
uint32_t live(const tk_TreeFile *file, int64_t node) {
  if (!file || node < 0 || static_cast<uint64_t>(node) >= file->tree.slots()) return kNone;
  auto n = static_cast<uint32_t>(node);
  if (n != kRoot && file->tree.node(n).parent == kNone) return kNone;  // a removed node's slot
  return n;
}

// The first node from `n` on (following siblings) that holds a record of
// the named design, or -1.
int64_t first_of_design(const tk_TreeFile &file, uint32_t n, const char *design_name) {
  uint32_t design = kNone;
  if (design_name) {
    // Designs are never removed from a file's dictionary, so those found
    // lately stay valid; comparing a few names costs less than a lookup.
    auto &recent = file.recent_designs;
    const tk_Design *d = nullptr;
    for (const tk_Design *r : recent) {
      if (r && std::strcmp(r->name.c_str(), design_name) == 0) {
        d = r;
        break;
      }
    }
    if (!d) {
      d = tk::tree::find_design(file.dictionary, design_name);
      if (!d) return -1;  // a design the file does not have has no nodes
      std::copy_backward(recent.begin(), recent.end() - 1, recent.end());
      recent[0] = d;
    }
    design = d->index;
  }
  for (; n != kNone; n = file.tree.node(n).next)
    if (design == kNone || file.tree.node(n).design == design) return n;
  return -1;
}

}  // namespace

extern "C" {

TK_API int64_t tk_TreeNodeFind(tk_TreeFile *file, const char *path) {
  if (!file || !path) return -1;
  uint32_t node = kNone;
  if (file->tree.resolve(kRoot, path, &node) != tk::tree::Tree::Found::node) return -1;
  return node;
}

TK_API int64_t tk_TreeNodeFirstChild(tk_TreeFile *file, int64_t node, const char *design_name) {
  uint32_t n = live(file, node);
  if (n == kNone) return -1;
  return first_of_design(*file, file->tree.node(n).first, design_name);
}

TK_API int64_t tk_TreeNodeNextSibling(tk_TreeFile *file, int64_t node, const char *design_name) {
  uint32_t n = live(file, node);
  if (n == kNone || n == kRoot) return -1;
  return first_of_design(*file, file->tree.node(n).next, design_name);
}

TK_API const char *tk_TreeNodeName(tk_TreeFile *file, int64_t node, size_t *length) {
  uint32_t n = live(file, node);
  if (n == kNone || n == kRoot) {
    if (length) *length = 0;
    return nullptr;
  }
  std::string_view name = file->tree.node(n).name();
  if (length) *length = name.size();
  return name.data();
}

TK_API tk_Design *tk_TreeNodeDesign(tk_TreeFile *file, int64_t node) {
  uint32_t n = live(file, node);
  if (n == kNone || n == kRoot) return nullptr;
  return file->dictionary.designs[file->tree.node(n).design].get();
}

namespace {

int node_read(tk_TreeFile *file, int64_t node, void *record, tk_Design *design, tk_ListCursor *cursor,
              const char *function, tk_ErrorReport **slot) {
  uint32_t n = live(file, node);
  if (n == kNone || n == kRoot) {
    tk::report(slot, function, "No node numbered %lld", static_cast<long long>(node));
    return 0;
  }
  // The names of the node for a report are built only when one is made.
  tk_ErrorReport *failure = nullptr;
  if (tk::tree::read_record(*file, n, record, design, function, "", "", slot ? &failure : nullptr, cursor)) return 1;
  if (!slot) return 0;
  tk_ErrorReportDelete(&failure);
  try {
    const tk::tree::Node &at = file->tree.node(n);
    std::string parent = file->tree.path_of(at.parent), name(at.name());
    tk::tree::read_record(*file, n, record, design, function, parent.c_str(), name.c_str(), slot, cursor);
  } catch (const std::bad_alloc &) {
    tk::report(slot, function, "Out of memory");
  }
  return 0;
}

}  // namespace

TK_API int tk_TreeNodeRead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  return node_read(file, node, record, design, nullptr, "tk_TreeNodeRead", slot);
}

TK_API int tk_TreeNodeReadHead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design,
                               tk_ListCursor *cursor, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!cursor) {
    tk::report(slot, "tk_TreeNodeReadHead", "No cursor given");
    return 0;
  }
  return node_read(file, node, record, design, cursor, "tk_TreeNodeReadHead", slot);
}

TK_API int64_t tk_TreeNodeWrite(tk_TreeFile *file, int64_t parent, const char *name, const char *design_name,
                                const void *record, tk_Design *design, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeNodeWrite";
  if (!tk::tree::writable(file, function, slot)) return -1;
  uint32_t at = live(file, parent);
  if (at == kNone) {
    tk::report(slot, function, "No node numbered %lld", static_cast<long long>(parent));
    return -1;
  }
  try {
    // The parent's path for a report is built only when one is made.
    tk_ErrorReport *failure = nullptr;
    uint32_t added =
        tk::tree::write_record(*file, at, name, design_name, record, design, function, "", slot ? &failure : nullptr);
    if (added != kNone) return added;
    if (slot) {
      tk_ErrorReportDelete(&failure);
      std::string path = file->tree.path_of(at);
      tk::tree::write_record(*file, at, name, design_name, record, design, function, path.c_str(), slot);
    }
    return -1;
  } catch (const std::bad_alloc &) {
    tk::report(slot, function, "Out of memory");
    return -1;
  }
}

}  // extern "C"
