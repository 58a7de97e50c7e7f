// The in-memory node tree of a tree file (see treefile_tree.h).
#include "treefile_tree.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "name_hash.h"

namespace tk::tree {

const char *bad_name_reason(std::string_view name) {
  if (name.empty()) return "a node name may not be empty";
  if (name.size() > kMaxNameSize) return "a node name may not be longer than 4096 bytes";
  if (name.find(':') != std::string_view::npos) return "a node name may not contain ':'";
  return nullptr;
}

Tree::Tree(uint32_t scan_limit) : scan_limit_(scan_limit) { nodes_.emplace_back(); }

Tree::~Tree() = default;

// Keyed per process: names come from the file, and an unkeyed hash would let
// a file pile all of one parent's children into one probe run.
uint32_t Tree::hash(std::string_view name) {
  uint64_t h = name_hash(name);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void Tree::reserve(size_t nodes) { nodes_.reserve(nodes + 1); }

// Grows the table until `entries` fill at most half of it, and places every
// entry again; the stored hashes spare reading any name.
void Tree::table_grow(Table &table, size_t entries) {
  size_t size = table.slots.empty() ? 32 : table.slots.size();
  while (size < 2 * entries) size *= 2;
  if (size == table.slots.size()) return;
  std::vector<Slot> old(size);
  old.swap(table.slots);
  size_t mask = table.slots.size() - 1;
  for (const Slot &s : old) {
    if (s.node == kNone) continue;
    size_t i = s.hash & mask;
    while (table.slots[i].node != kNone) i = (i + 1) & mask;
    table.slots[i] = s;
  }
}

// A table with room for `entries`, from the free ones when there are any.
uint32_t Tree::new_table(size_t entries) const {
  uint32_t id;
  if (!free_tables_.empty()) {
    id = free_tables_.back();
    table_grow(tables_[id], entries);
    free_tables_.pop_back();
  } else {
    Table table;
    table_grow(table, entries);
    // Room on the free list for every table, so that giving one back
    // cannot fail.
    free_tables_.reserve(tables_.size() + 1);
    tables_.push_back(std::move(table));
    id = static_cast<uint32_t>(tables_.size() - 1);
  }
  return id;
}

// The caller has made room (table_grow) beforehand, so this cannot fail.
void Tree::table_insert(Table &table, uint32_t node, const HashMemo *memo) const {
  uint32_t h = memo && memo->known ? memo->value : hash(nodes_[node].name());
  size_t mask = table.slots.size() - 1;
  size_t i = h & mask;
  while (table.slots[i].node != kNone) i = (i + 1) & mask;
  table.slots[i] = Slot{node, h};
  ++table.count;
}

// Removes the node's entry and shifts later entries of its probe run back,
// so that lookups never need markers for removed entries.
void Tree::table_erase(Table &table, uint32_t node) {
  std::vector<Slot> &slots = table.slots;
  size_t mask = slots.size() - 1;
  size_t i = hash(nodes_[node].name()) & mask;
  while (slots[i].node != node) i = (i + 1) & mask;
  size_t j = i;
  for (;;) {
    j = (j + 1) & mask;
    if (slots[j].node == kNone) break;
    size_t home = slots[j].hash & mask;
    // The entry at j must stay when its home lies cyclically in (i, j].
    bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (stays) continue;
    slots[i] = slots[j];
    i = j;
  }
  slots[i] = Slot{};
  --table.count;
}

// Gives the parent's table back; the parent is left with its plain count.
void Tree::drop_table(uint32_t parent) {
  uint32_t id = nodes_[parent].children & ~kTableBit;
  Table &table = tables_[id];
  nodes_[parent].children = table.count;
  // A table that grew large is freed; a small one is kept for reuse.
  if (table.slots.size() > 1024) std::vector<Slot>().swap(table.slots);
  else std::fill(table.slots.begin(), table.slots.end(), Slot{});
  table.count = 0;
  free_tables_.push_back(id);  // room was reserved when the table was made
}

void Tree::index_children(uint32_t parent) const {
  if (indexed(parent)) return;
  uint32_t table = new_table(nodes_[parent].children + 1);
  // Nothing below can fail.
  Node &p = nodes_[parent];
  p.children = kTableBit | table;
  for (uint32_t c = p.first; c != kNone; c = nodes_[c].next) table_insert(tables_[table], c);
}

uint32_t Tree::find_child(uint32_t parent, std::string_view name, HashMemo *memo) const {
  if (!indexed(parent) && on_demand_ && nodes_[parent].children > scan_limit_) {
    try {
      index_children(parent);
    } catch (const std::bad_alloc &) {
      // Only a shortcut: the walk below finds the child as well.
    }
  }
  if (!indexed(parent)) {
    for (uint32_t c = nodes_[parent].first; c != kNone; c = nodes_[c].next)
      if (nodes_[c].name() == name) return c;
    return kNone;
  }
  const std::vector<Slot> &slots = table_of(parent).slots;
  uint32_t h = hash(name);
  if (memo) *memo = HashMemo{h, true};
  size_t mask = slots.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot &s = slots[i];
    if (s.node == kNone) return kNone;
    if (s.hash == h && nodes_[s.node].name() == name) return s.node;
  }
}

Tree::Found Tree::resolve(uint32_t start, std::string_view path, uint32_t *out) const {
  uint32_t n = start;
  size_t pos = 0;
  if (!path.empty() && path[0] == ':') {
    // ":A" and "::A" both name the root's child A: the second form is what
    // joining the root's path ":" and a name with ':' gives.
    n = kRoot;
    pos = path.size() > 1 && path[1] == ':' ? 2 : 1;
  }
  while (pos < path.size()) {
    size_t colon = path.find(':', pos);
    std::string_view part = path.substr(pos, colon == std::string_view::npos ? colon : colon - pos);
    if (part.empty()) return Found::bad_path;
    uint32_t child = find_child(n, part);
    if (child == kNone) return Found::missing;
    n = child;
    if (colon == std::string_view::npos) break;
    pos = colon + 1;
    if (pos == path.size()) return Found::bad_path;  // a trailing ':' names nothing
  }
  *out = n;
  return Found::node;
}

// Links a filled-in node (name, record, design) as the last child of
// `parent`. Everything that can run out of memory happens before anything
// is changed.
uint32_t Tree::link(uint32_t parent, Node node, const HashMemo *memo) {
  // The child that takes a parent past the limit moves all its siblings
  // into a table of their own.
  uint32_t table = kNone;
  if (indexed(parent)) {
    Table &t = table_of(parent);
    table_grow(t, t.count + 1);
  } else if (!on_demand_ && nodes_[parent].children >= scan_limit_) {
    table = new_table(nodes_[parent].children + 1);
  }
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    try {
      nodes_.emplace_back();
    } catch (...) {
      if (table != kNone) free_tables_.push_back(table);
      throw;
    }
    index = static_cast<uint32_t>(nodes_.size() - 1);
  }
  Node &p = nodes_[parent];
  node.parent = parent;
  node.depth = static_cast<uint8_t>(p.depth + 1);
  node.prev = p.last;
  node.children = 0;
  if (p.last != kNone) nodes_[p.last].next = index; else p.first = index;
  p.last = index;
  nodes_[index] = node;
  if (table != kNone) {
    p.children = kTableBit | table;
    Table &t = tables_[table];
    for (uint32_t c = p.first; c != kNone; c = nodes_[c].next) table_insert(t, c);
  } else if (indexed(parent)) {
    table_insert(table_of(parent), index, memo);
  } else {
    ++p.children;
  }
  return index;
}

// Unlinks a node from its parent's children; the node and its subtree are
// left as they are.
void Tree::detach(uint32_t node) {
  Node &n = nodes_[node];
  uint32_t parent = n.parent;
  Node &p = nodes_[parent];
  if (n.prev != kNone) nodes_[n.prev].next = n.next; else p.first = n.next;
  if (n.next != kNone) nodes_[n.next].prev = n.prev; else p.last = n.prev;
  if (!indexed(parent)) {
    --p.children;
    return;
  }
  Table &t = table_of(parent);
  table_erase(t, node);
  // Back at the limit: the remaining children are found by walking again.
  if (t.count <= scan_limit_) drop_table(parent);
}

char *Tree::allocate(size_t size) {
  if (size > chunk_free_) {
    // Chunks grow from 64 KiB to 1 MiB, so that a small file stays small.
    size_t want = std::max(size, size_t{64 * 1024} << std::min<size_t>(chunks_.size(), 4));
    chunks_.reserve(chunks_.size() + 1);
    chunks_.emplace_back(new char[want]);
    chunk_at_ = chunks_.back().get();
    chunk_free_ = want;
  }
  char *at = chunk_at_;
  chunk_at_ += size;
  chunk_free_ -= size;
  return at;
}

uint32_t Tree::add(uint32_t parent, std::string_view name, uint32_t design, std::string_view record,
                   const HashMemo *memo) {
  char *bytes = allocate(name.size() + record.size());
  std::memcpy(bytes, name.data(), name.size());
  if (!record.empty()) std::memcpy(bytes + name.size(), record.data(), record.size());
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = static_cast<uint32_t>(record.size());
  n.name_data = bytes;
  return link(parent, n, memo);
}

uint32_t Tree::add_view(uint32_t parent, std::string_view name, uint8_t gap, uint32_t design, uint32_t record_size,
                        const HashMemo *memo) {
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = record_size;
  n.name_data = name.data();
  n.record_gap = gap;
  n.in_image = true;
  uint32_t index = link(parent, n, memo);
  ++image_views_;
  return index;
}

// Clears a removed node's slot for reuse, with its table if it has one (its
// children are removed with it). The image goes with the last node that
// views it: a file rewritten completely then holds only what was written.
void Tree::release(uint32_t index) {
  if (indexed(index)) drop_table(index);
  if (nodes_[index].in_image && --image_views_ == 0) image_.reset();
  nodes_[index] = Node();
  free_.push_back(index);
}

std::string Tree::path_of(uint32_t node) const {
  if (node == kRoot) return ":";
  std::vector<uint32_t> chain;
  for (uint32_t n = node; n != kRoot; n = nodes_[n].parent) chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += ':';
    path += nodes_[*it].name();
  }
  return path;
}

}  // namespace tk::tree
