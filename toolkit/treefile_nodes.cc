// The node calls of an open tree file: seek, write, read, list and delete.
// Each works on the in-memory tree (treefile_tree.h); nothing here touches
// the disk. Every call costs in proportion to the path it resolves and the
// record or subtree it handles, never to the size of the whole file.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <new>

#include "toolkit_internal.h"
#include "treefile.h"

namespace {

using tk::tree::kNone;
using tk::tree::kRoot;
using tk::tree::Tree;

const char *shown(const char *text) { return text ? text : "(null)"; }

// Resolves `path` from `start`, leaving a report in the caller's name when
// the path is malformed or names no node. Returns kNone then.
uint32_t find_node(const tk_TreeFile &file, uint32_t start, const char *path, const char *function,
                   tk_ErrorReport **slot) {
  if (!path) {
    tk::report(slot, function, "No node path given");
    return kNone;
  }
  const bool from_root = start == kRoot;
  if (from_root && file.last_node != kNone && file.last_removals == file.tree.removals() && file.last_path == path)
    return file.last_node;
  uint32_t node = kNone;
  switch (file.tree.resolve(start, path, &node)) {
    case Tree::Found::node:
      if (from_root) {
        try {
          file.last_path = path;
          file.last_node = node;
          file.last_removals = file.tree.removals();
        } catch (const std::bad_alloc &) {
          file.last_node = kNone;  // only a shortcut: go without it
        }
      }
      return node;
    case Tree::Found::missing:
      tk::report(slot, function, "No node %s in %s", path, file.path.c_str());
      return kNone;
    case Tree::Found::bad_path:
      tk::report(slot, function, "Bad node path \"%s\"", path);
      return kNone;
  }
  return kNone;
}

// The design of the file's dictionary that a write stores `design` (or, when
// that is null, `design_name`) as. A design of another dictionary is taken
// when the file has an equal one of the same name.
const tk_Design *design_for_write(const tk_TreeFile &file, const char *design_name, const tk_Design *design,
                                  tk_ErrorReport **slot) {
  const char *function = "tk_TreeObjectWrite";
  const tk_Design *stored = nullptr;
  if (design) {
    stored = design->dictionary == &file.dictionary ? design : tk::tree::find_design(file.dictionary, design->name);
    if (!stored || !tk::tree::designs_equal(*stored, *design)) {
      tk::report(slot, function, "Design %s is not in the dictionary of %s", design->name.c_str(), file.path.c_str());
      return nullptr;
    }
  } else if (design_name) {
    stored = tk::tree::find_design(file.dictionary, design_name);
    if (!stored) {
      tk::report(slot, function, "No design %s in %s", design_name, file.path.c_str());
      return nullptr;
    }
  } else {
    tk::report(slot, function, "No design given");
    return nullptr;
  }
  if (design_name && stored->name != design_name) {
    tk::report(slot, function, "Design name %s does not match design %s", design_name, stored->name.c_str());
    return nullptr;
  }
  return stored;
}

void report_out_of_memory(tk_ErrorReport **slot, const char *function) {
  tk::report(slot, function, "Out of memory");
}

}  // namespace

namespace tk::tree {

bool writable(const tk_TreeFile *file, const char *function, tk_ErrorReport **slot) {
  if (!file) {
    tk::report(slot, function, "No file given");
    return false;
  }
  if (file->mode == tk_TreeFile::Mode::read) {
    tk::report(slot, function, "%s is open for reading only", file->path.c_str());
    return false;
  }
  return true;
}

uint32_t write_record(tk_TreeFile &file, uint32_t at, const char *name, const char *design_name, const void *record,
                      tk_Design *design, const char *function, const char *parent, tk_ErrorReport **slot) {
  const std::string_view node_name = name ? std::string_view(name) : std::string_view();
  const char *bad = name ? tk::tree::bad_name_reason(node_name) : "no node name given";
  if (bad) {
    tk::report(slot, function, "Cannot write node \"%s\" under %s: %s", shown(name), parent, bad);
    return kNone;
  }
  if (file.tree.node(at).depth >= tk::tree::kMaxDepth) {
    tk::report(slot, function, "Cannot write node %s under %s: nodes may nest at most %zu deep", name, parent,
               tk::tree::kMaxDepth);
    return kNone;
  }
  const tk_Design *stored = design_for_write(file, design_name, design, slot);
  if (!stored) return kNone;
  if (!record) {
    tk::report(slot, function, "Cannot write node %s under %s: no record given", name, parent);
    return kNone;
  }
  tk::tree::HashMemo memo;
  if (file.tree.find_child(at, node_name, &memo) != kNone) {
    tk::report(slot, function, "Node %s already exists under %s", name, parent);
    return kNone;
  }
  // Encoded into the handle's buffer, which keeps its room from one write
  // to the next.
  std::string &bytes = file.scratch;
  std::string error;
  bytes.clear();
  if (!tk::tree::encode_record(*stored, record, bytes, error)) {
    tk::report(slot, function, "Cannot write node %s under %s: %s", name, parent, error.c_str());
    return kNone;
  }
  if (bytes.size() > tk::tree::kMaxRecordSize) {
    tk::report(slot, function, "Cannot write node %s under %s: the record is too large", name, parent);
    return kNone;
  }
  uint32_t added = file.tree.add(at, node_name, stored->index, bytes, &memo);
  file.changed = true;
  return added;
}

int read_record(const tk_TreeFile &file, uint32_t found, void *record, tk_Design *design, const char *function,
                const char *parent, const char *name, tk_ErrorReport **slot, tk_ListCursor *cursor) {
  const tk::tree::Node &node = file.tree.node(found);
  const tk_Design &stored = *file.dictionary.designs[node.design];
  if (!design || !record) {
    tk::report(slot, function, "Cannot read node %s under %s: no %s given", name, parent, design ? "record" : "design");
    return 0;
  }
  // Equal designs have equal layouts, so the caller's buffer fits the
  // record; another design of the name may read it by item name, through a
  // buffer of the stored layout. A read by its head leaves the first list
  // in the file, which must then be the caller's first list too.
  const bool by_name = design != &stored && !tk::tree::designs_equal(*design, stored);
  if (by_name) {
    std::string_view stored_list, wanted_list;
    const bool stored_has = tk::tree::first_list_element(stored, &stored_list) != nullptr;
    const bool wanted_has = tk::tree::first_list_element(*design, &wanted_list) != nullptr;
    const bool readable = tk::tree::readable_as(stored, *design) &&
                          (!cursor || (stored_has == wanted_has && stored_list == wanted_list));
    if (!readable) {
      tk::report(slot, function, "Node %s under %s holds a %s record, not a %s record", name, parent,
                 stored.name.c_str(), design->name.c_str());
      return 0;
    }
  }
  // Decoded apart and copied in only when whole, so a failure leaves the
  // caller's record untouched and frees everything it allocated. Small
  // records, the usual kind, are decoded on the stack; either way the
  // record starts zeroed, which is how absent items read.
  alignas(std::max_align_t) unsigned char local[256];
  auto *scratch = stored.size <= sizeof local ? local : static_cast<unsigned char *>(tk_HeapMalloc(stored.size));
  if (scratch == local) std::memset(local, 0, stored.size);
  if (!scratch) {
    report_out_of_memory(slot, function);
    return 0;
  }
  std::string_view bytes = node.record();
  tk::tree::ByteReader in(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
  tk::tree::ListHead head;
  // Every record of the tree was checked when its file was opened or was
  // encoded here, unless opening left the checks for later: then the read
  // checks it as opening would, so that nothing unchecked is believed (a
  // record running on past its items would be refused at close too).
  bool whole = file.records_unchecked
                   ? tk::tree::decode_record(stored, in, scratch, cursor ? &head : nullptr) &&
                         (in.remaining() == 0 || in.fail("record longer than its design"))
                   : tk::tree::decode_checked_record(stored, in, scratch, cursor ? &head : nullptr);
  if (whole && file.records_unchecked) node.record_checked = true;
  if (!whole) {
    tk::tree::free_record_contents(stored, scratch);
    if (scratch != local) tk_HeapFree(scratch);
    if (in.ok()) {
      report_out_of_memory(slot, function);
    } else {
      tk::report(slot, function, "Node %s under %s is damaged: %s", name, parent, in.reason().c_str());
    }
    return 0;
  }
  if (by_name) {
    auto *wanted = static_cast<unsigned char *>(tk_HeapMalloc(design->size));
    if (wanted) std::memset(wanted, 0, design->size);
    if (!wanted || !tk::tree::project_record(stored, scratch, *design, wanted)) {
      if (wanted) tk::tree::free_record_contents(*design, wanted);
      tk_HeapFree(wanted);
      tk::tree::free_record_contents(stored, scratch);
      if (scratch != local) tk_HeapFree(scratch);
      report_out_of_memory(slot, function);
      return 0;
    }
    std::memcpy(record, wanted, design->size);
    tk_HeapFree(wanted);
  } else {
    std::memcpy(record, scratch, stored.size);
  }
  if (scratch != local) tk_HeapFree(scratch);
  if (cursor) {
    // A design without a record list leaves nothing to take.
    const tk_Design *wanted_element = by_name ? tk::tree::first_list_element(*design, nullptr) : head.element;
    *cursor = tk_ListCursor{const_cast<tk_TreeFile *>(&file), static_cast<int64_t>(found), head.element,
                            head.offset, static_cast<int32_t>(head.count), head.element ? wanted_element : nullptr};
  }
  return 1;
}

int32_t read_elements(tk_ListCursor *cursor, void *elements, int32_t max, tk_ErrorReport **slot) {
  const char *function = "tk_ListCursorRead";
  if (!cursor || !cursor->file || (max > 0 && !elements) || max < 0) {
    tk::report(slot, function, "No %s given", !cursor || !cursor->file ? "cursor" : "element buffer");
    return -1;
  }
  if (cursor->left <= 0 || max == 0) return 0;
  const tk_TreeFile &file = *cursor->file;
  const tk_Design &element = *cursor->element;
  int64_t n = cursor->node;
  bool alive = n > 0 && static_cast<uint64_t>(n) < file.tree.slots() &&
               file.tree.node(static_cast<uint32_t>(n)).parent != kNone;
  std::string_view bytes = alive ? file.tree.node(static_cast<uint32_t>(n)).record() : std::string_view();
  if (!alive || cursor->offset > bytes.size()) {
    tk::report(slot, function, "The node of the list is gone");
    return -1;
  }
  // The caller's elements are laid out by `into`: the stored element design,
  // or one that reads it by item name, through one element of the stored
  // layout at a time.
  const tk_Design &into = cursor->wanted ? *cursor->wanted : element;
  const bool by_name = &into != &element && !tk::tree::designs_equal(into, element);
  if (by_name && !tk::tree::readable_as(element, into)) {
    tk::report(slot, function, "The list holds %s records, not %s records", element.name.c_str(), into.name.c_str());
    return -1;
  }
  int32_t want = std::min(max, cursor->left);
  auto *out = static_cast<unsigned char *>(elements);
  std::memset(out, 0, static_cast<size_t>(want) * into.size);
  unsigned char *stored = by_name ? static_cast<unsigned char *>(tk_HeapMalloc(element.size)) : nullptr;
  if (by_name && !stored) {
    report_out_of_memory(slot, function);
    return -1;
  }
  tk::tree::ByteReader in(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
  const unsigned char *skipped = nullptr;
  in.take(static_cast<size_t>(cursor->offset), &skipped, "list runs past its record");
  for (int32_t i = 0; i < want; ++i) {
    unsigned char *target = out + static_cast<size_t>(i) * into.size;
    bool taken = false;
    // Checked again: the cursor is the caller's, and its offset may point
    // anywhere within the record.
    if (!by_name) {
      taken = tk::tree::decode_record(element, in, target);
    } else {
      std::memset(stored, 0, element.size);
      taken = tk::tree::decode_record(element, in, stored) && tk::tree::project_record(element, stored, into, target);
      tk::tree::free_record_contents(element, stored);
    }
    if (taken) continue;
    // Nothing of a failed part stays with the caller.
    for (int32_t k = 0; k <= i; ++k) tk::tree::free_record_contents(into, out + static_cast<size_t>(k) * into.size);
    std::memset(out, 0, static_cast<size_t>(want) * into.size);
    tk_HeapFree(stored);
    if (in.ok()) {
      report_out_of_memory(slot, function);
    } else {
      try {
        const tk::tree::Node &at = file.tree.node(static_cast<uint32_t>(n));
        std::string parent = file.tree.path_of(at.parent), name(at.name());
        tk::report(slot, function, "Node %s under %s is damaged: %s", name.c_str(), parent.c_str(),
                   in.reason().c_str());
      } catch (const std::bad_alloc &) {
        report_out_of_memory(slot, function);
      }
    }
    return -1;
  }
  tk_HeapFree(stored);
  cursor->offset = in.offset();
  cursor->left -= want;
  return want;
}

}  // namespace tk::tree

extern "C" {

TK_API int tk_TreeEntrySeek(tk_TreeFile *file, int how, const char *node, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeEntrySeek";
  if (!file) {
    tk::report(slot, function, "No file given");
    return 0;
  }
  if (how == TK_SEEK_ROOT) {
    file->position = kRoot;
    return 1;
  }
  if (how != TK_SEEK_PATH) {
    tk::report(slot, function, "Unknown way of seeking %d", how);
    return 0;
  }
  uint32_t found = find_node(*file, kRoot, node, function, slot);
  if (found == kNone) return 0;
  file->position = found;
  return 1;
}

TK_API int tk_TreeObjectWrite(tk_TreeFile *file, const char *parent, const char *name, const char *design_name,
                              int flags, const void *record, tk_Design *design, tk_ErrorReport **slot) {
  (void)flags;  // one way of writing: a new node, never over an old one
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeObjectWrite";
  if (!tk::tree::writable(file, function, slot)) return 0;
  try {
    uint32_t at = find_node(*file, kRoot, parent, function, slot);
    if (at == kNone) return 0;
    return tk::tree::write_record(*file, at, name, design_name, record, design, function, parent, slot) != kNone;
  } catch (const std::bad_alloc &) {
    report_out_of_memory(slot, function);
    return 0;
  }
}

namespace {

// The reads by path: the child `name` of the node at `parent`, its record
// read whole or, given a cursor, up to its list.
int read_child(tk_TreeFile &file, const char *parent, const char *name, void *record, tk_Design *design,
               tk_ListCursor *cursor, const char *function, tk_ErrorReport **slot) {
  uint32_t at = find_node(file, kRoot, parent, function, slot);
  if (at == kNone) return 0;
  uint32_t found = name ? file.tree.find_child(at, name) : kNone;
  if (found == kNone) {
    tk::report(slot, function, "No node %s under %s in %s", shown(name), parent, file.path.c_str());
    return 0;
  }
  return tk::tree::read_record(file, found, record, design, function, parent, name, slot, cursor);
}

}  // namespace

TK_API int tk_TreeObjectRead(tk_TreeFile *file, const char *parent, const char *name, int flags, void *record,
                             tk_Design *design, tk_ErrorReport **slot) {
  (void)flags;
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeObjectRead";
  if (!file) {
    tk::report(slot, function, "No file given");
    return 0;
  }
  return read_child(*file, parent, name, record, design, nullptr, function, slot);
}

TK_API int tk_TreeObjectReadHead(tk_TreeFile *file, const char *parent, const char *name, void *record,
                                 tk_Design *design, tk_ListCursor *cursor, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeObjectReadHead";
  if (!file || !cursor) {
    tk::report(slot, function, "No %s given", file ? "cursor" : "file");
    return 0;
  }
  return read_child(*file, parent, name, record, design, cursor, function, slot);
}

TK_API int32_t tk_ListCursorRead(tk_ListCursor *cursor, void *elements, int32_t max, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  return tk::tree::read_elements(cursor, elements, max, slot);
}

TK_API tk_StringList *tk_TreeObjectList(tk_TreeFile *file, const char *path, int flags, const char *design_name,
                                        tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeObjectList";
  if (!file) {
    tk::report(slot, function, "No file given");
    return nullptr;
  }
  auto *list = static_cast<tk_StringList *>(tk_HeapMalloc(sizeof(tk_StringList)));
  if (!list) {
    report_out_of_memory(slot, function);
    return nullptr;
  }
  bool failed = false;
  try {
    uint32_t start = find_node(*file, kRoot, path, function, slot);
    if (start == kNone) {
      tk_StringListDelete(list, nullptr);
      return nullptr;
    }
    // Without a design name every node is listed; a design the file does not
    // have has no nodes.
    const tk_Design *design = design_name ? tk::tree::find_design(file->dictionary, design_name) : nullptr;
    if (design || !design_name) {
      const Tree &tree = file->tree;
      // Paths are built only for the nodes listed: `chain[d]` is the node
      // at depth d on the way down to the current one, and `text` holds the
      // path of chain up to depth `built`, with `length[d]` its length at
      // depth d. A walk past many nodes of other designs then builds
      // nothing for them.
      std::string text = start == kRoot ? "" : tree.path_of(start);
      // On the stack: heap blocks this large would make the allocator tidy
      // all its small free blocks on every listing.
      std::array<uint32_t, tk::tree::kMaxDepth + 2> chain{};
      std::array<size_t, tk::tree::kMaxDepth + 2> length{};
      const size_t top = tree.node(start).depth;
      length[top] = text.size();
      size_t built = top;
      auto add = [&](uint32_t i) {
        if (i == start || failed) return;
        const tk::tree::Node &n = tree.node(i);
        chain[n.depth] = i;
        if (built >= n.depth) built = n.depth - 1u;  // this node and below are new
        if (design && n.design != design->index) return;
        text.resize(length[built]);
        for (size_t d = built + 1; d <= n.depth; ++d) {
          text += ':';
          text += tree.node(chain[d]).name();
          length[d] = text.size();
        }
        built = n.depth;
        tk_ErrorReport *inner = nullptr;
        list = tk_StringListAppend(list, text.c_str(), &inner);
        if (inner) {
          tk_ErrorReportDelete(&inner);
          failed = true;
        }
      };
      if (flags & TK_LIST_CHILDREN) {
        for (uint32_t c = tree.node(start).first; c != kNone; c = tree.node(c).next) add(c);
      } else {
        tree.preorder(start, add);
      }
    }
  } catch (const std::bad_alloc &) {
    failed = true;
  }
  if (failed) {
    tk_StringListDelete(list, nullptr);
    report_out_of_memory(slot, function);
    return nullptr;
  }
  return list;
}

TK_API int tk_TreeObjectDelete(tk_TreeFile *file, const char *root, const char *path, int flags,
                               tk_ErrorReport **slot) {
  (void)flags;  // a node always goes with everything beneath it
  if (slot) *slot = nullptr;
  const char *function = "tk_TreeObjectDelete";
  if (!tk::tree::writable(file, function, slot)) return 0;
  try {
    // A path without a leading ':' is taken beneath `root`.
    uint32_t start = root ? find_node(*file, kRoot, root, function, slot) : kRoot;
    if (start == kNone) return 0;
    uint32_t node = find_node(*file, start, path, function, slot);
    if (node == kNone) return 0;
    if (node == kRoot) {
      tk::report(slot, function, "The root node of %s cannot be deleted", file->path.c_str());
      return 0;
    }
    file->tree.remove(node, [file](uint32_t i) {
      if (i == file->position) file->position = kRoot;
    });
    file->changed = true;
    return 1;
  } catch (const std::bad_alloc &) {
    report_out_of_memory(slot, function);
    return 0;
  }
}

}  // extern "C"
