// The node tree of an open tree file, held in memory.
//
// Nodes live in blocks and link to their parent, first and last child and
// siblings by index, so children keep the order in which they were added
// and a subtree is walked without recursion. A child is found by name by
// walking its few siblings when its parent has at most `scan_limit`
// children (they were added together, so that walk stays in cache), and
// otherwise through an open-addressing hash table of that parent's own:
// a run of writes or reads under one parent then stays within one small
// table, and removing a subtree drops its tables whole. The tree of a file
// opened for reading makes a parent's table only when a child of it is
// first looked up by name (index_on_demand): a load walks it by number. A node's name and
// record are kept as the bytes the file stores, either as a view into the
// image the file was loaded from or in a chunk of the tree's own, so an
// open file costs little more memory than its size: the image (freed once
// no node views it), 48 bytes a node and 8 to 16 bytes of table for each
// child of a large parent.
#ifndef KESTRUM_TOOLKIT_TREEFILE_TREE_H
#define KESTRUM_TOOLKIT_TREEFILE_TREE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tk::tree {

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint32_t kTableBit = 0x80000000u;
constexpr uint32_t kRoot = 0;
// Limits on node names and nesting, checked on writing and on loading, so
// that listing (which builds every path) stays proportional to the file.
constexpr size_t kMaxNameSize = 4096;
constexpr size_t kMaxDepth = 255;
constexpr size_t kMaxRecordSize = UINT32_MAX;

struct Node {
  uint32_t parent = kNone;
  uint32_t first = kNone;  // first child
  uint32_t last = kNone;   // last child
  uint32_t next = kNone;   // next sibling
  uint32_t prev = kNone;   // previous sibling
  uint32_t design = kNone; // position of the design in the dictionary; kNone for the root and free slots
  uint32_t name_size = 0;
  uint32_t record_size = 0;
  const char *name_data = nullptr;  // the name; the record follows it after record_gap bytes
  uint8_t depth = 0;                // 0 for the root; at most kMaxDepth
  uint8_t record_gap = 0;           // the record size's varint between them in a loaded image
  bool in_image = false;            // name_data views the loaded image, not the tree's own chunks
  // A record of the image that a read has checked since its file was opened
  // with the checks left for later: check_records need not decode it again.
  mutable bool record_checked = false;
  // How many children the node has, or, with kTableBit, the number of the
  // hash table that holds them (and their count).
  uint32_t children = 0;

  std::string_view name() const { return {name_data, name_size}; }
  const char *record_data() const { return name_data + name_size + record_gap; }
  std::string_view record() const { return {record_data(), record_size}; }
};

// The nodes of a tree, by index, in blocks that never move: growing copies
// nothing and never holds twice the room, as a doubling vector would while
// a large file is written.
class NodeStore {
 public:
  Node &operator[](uint32_t i) { return blocks_[i >> kShift][i & kMask]; }
  const Node &operator[](uint32_t i) const { return blocks_[i >> kShift][i & kMask]; }
  size_t size() const { return size_; }
  void reserve(size_t nodes) { blocks_.reserve((nodes >> kShift) + 1); }
  // Adds a default node at the end; on failure nothing has changed. Slots
  // past the end have never been used (the store never shrinks), so they
  // hold default nodes from their block's creation.
  void emplace_back() {
    if ((size_ >> kShift) == blocks_.size()) {
      blocks_.reserve(blocks_.size() + 1);
      blocks_.emplace_back(new Node[kBlock]);
    }
    ++size_;
  }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr size_t kBlock = size_t{1} << kShift;
  static constexpr uint32_t kMask = kBlock - 1;
  std::vector<std::unique_ptr<Node[]>> blocks_;
  size_t size_ = 0;
};

// Why a name cannot be a node name, or null when it can.
const char *bad_name_reason(std::string_view name);

// A name's hash within a tree, once known: a lookup that hashed the name
// hands it on to the add that follows, so that each name is hashed once.
struct HashMemo {
  uint32_t value = 0;
  bool known = false;
};

class Tree {
 public:
  // Parents with more children than this have them in a hash table.
  static constexpr uint32_t kScanLimit = 8;
  explicit Tree(uint32_t scan_limit = kScanLimit);
  // From now on a large parent gets its table at the first lookup of a
  // child by name instead of as its children are added. A file opened for
  // reading is mostly walked by number: its parents then never need one.
  void index_on_demand() { on_demand_ = true; }
  uint32_t scan_limit() const { return scan_limit_; }
  // Whether the parent's children are in a table of their own.
  bool indexed(uint32_t parent) const { return (nodes_[parent].children & kTableBit) != 0; }
  // How many children the node has.
  uint32_t child_count(uint32_t parent) const {
    return indexed(parent) ? tables_[nodes_[parent].children & ~kTableBit].count : nodes_[parent].children;
  }
  // Puts the children of `parent` into a table of its own now (nothing
  // happens when they are). Throws std::bad_alloc, leaving them unindexed.
  void index_children(uint32_t parent) const;
  ~Tree();
  Tree(const Tree &) = delete;
  Tree &operator=(const Tree &) = delete;

  const Node &node(uint32_t index) const { return nodes_[index]; }
  size_t count() const { return nodes_.size() - free_.size() - 1; }  // without the root
  size_t slots() const { return nodes_.size(); }                       // highest index + 1
  void reserve(size_t nodes);

  uint32_t find_child(uint32_t parent, std::string_view name, HashMemo *memo = nullptr) const;

  enum class Found { node, missing, bad_path };
  // Resolves a node path: ":" is the root, ":A:B" and "::A:B" name the same
  // node, and a path without a leading ':' starts at `start` (so the bare
  // "A" is the child A of the root when `start` is the root).
  Found resolve(uint32_t start, std::string_view path, uint32_t *out) const;

  // Adds a node as the last child of `parent` with a copy of the name and
  // record. The caller has checked the name and that no sibling has it.
  uint32_t add(uint32_t parent, std::string_view name, uint32_t design, std::string_view record,
               const HashMemo *memo = nullptr);
  // The same for a node whose name and record are views into the image
  // given to keep_image, `gap` bytes apart.
  uint32_t add_view(uint32_t parent, std::string_view name, uint8_t gap, uint32_t design, uint32_t record_size,
                    const HashMemo *memo = nullptr);
  // Removes the node and everything beneath it. `on_remove` is called with
  // each removed index before its slot is freed.
  template <typename F>
  void remove(uint32_t node, F on_remove);

  void keep_image(std::unique_ptr<char[]> image) { image_ = std::move(image); }
  bool holds_image() const { return image_ != nullptr; }
  // Where the byte at `at` of a node that views the image lies in it.
  size_t image_offset(const char *at) const { return static_cast<size_t>(at - image_.get()); }
  // Counts removals, so that a node found by path can be remembered until
  // the next removal.
  uint64_t removals() const { return removals_; }

  // Calls visit(index) for `start` and every node beneath it in pre-order
  // (parents before children, children in the order they were added).
  template <typename F>
  void preorder(uint32_t start, F visit) const;

  // The node's full path: ":" for the root, ":A:B" below it.
  std::string path_of(uint32_t node) const;

 private:
  // One table slot: a child and 32 bits of its name's hash, which both pick
  // the home slot and spare most comparisons of names.
  struct Slot {
    uint32_t node = kNone;
    uint32_t hash = 0;
  };
  // The children of one large parent: linear probing in a power of two of
  // slots, at most half full.
  struct Table {
    std::vector<Slot> slots;
    uint32_t count = 0;
  };
  static uint32_t hash(std::string_view name);
  Table &table_of(uint32_t parent) { return tables_[nodes_[parent].children & ~kTableBit]; }
  const Table &table_of(uint32_t parent) const { return tables_[nodes_[parent].children & ~kTableBit]; }
  uint32_t new_table(size_t entries) const;
  static void table_grow(Table &table, size_t entries);
  void table_insert(Table &table, uint32_t node, const HashMemo *memo = nullptr) const;
  void table_erase(Table &table, uint32_t node);
  void drop_table(uint32_t parent);
  uint32_t link(uint32_t parent, Node node, const HashMemo *memo);
  void release(uint32_t index);
  void detach(uint32_t node);
  char *allocate(size_t size);

  uint32_t scan_limit_;
  bool on_demand_ = false;
  // A lookup may build a parent's table (index_children): the tables and
  // the children fields that point to them change under const calls, as
  // a cache does, never what the tree holds.
  mutable NodeStore nodes_;
  std::vector<uint32_t> free_;  // slots of removed nodes, reused by add
  mutable std::vector<Table> tables_;
  mutable std::vector<uint32_t> free_tables_;
  std::unique_ptr<char[]> image_;
  size_t image_views_ = 0;      // nodes whose bytes lie in image_
  // Names and records written through add, packed into large chunks: one
  // allocation per megabyte instead of one per node. Space of removed nodes
  // is given back with the tree.
  std::vector<std::unique_ptr<char[]>> chunks_;
  size_t chunk_free_ = 0;
  char *chunk_at_ = nullptr;
  uint64_t removals_ = 0;
};

template <typename F>
void Tree::preorder(uint32_t start, F visit) const {
  uint32_t n = start;
  for (;;) {
    visit(n);
    if (nodes_[n].first != kNone) {
      n = nodes_[n].first;
      continue;
    }
    while (n != start && nodes_[n].next == kNone) n = nodes_[n].parent;
    if (n == start) return;
    n = nodes_[n].next;
  }
}

template <typename F>
void Tree::remove(uint32_t node, F on_remove) {
  std::vector<uint32_t> doomed;
  preorder(node, [&](uint32_t i) { doomed.push_back(i); });
  // Nothing below can fail. Room grows by doubling: removing a long list
  // node by node must not copy the free list every time.
  if (free_.capacity() < free_.size() + doomed.size())
    free_.reserve(std::max(free_.size() + doomed.size(), 2 * free_.capacity()));
  ++removals_;
  detach(node);
  for (uint32_t i : doomed) {
    on_remove(i);
    release(i);
  }
}

}  // namespace tk::tree

#endif
