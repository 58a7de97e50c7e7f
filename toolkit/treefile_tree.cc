// The in-memory node tree of a tree file (see treefile_tree.h).
#include "treefile_tree.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace tk::tree {

const char *bad_name_reason(std::string_view name) {
  if (name.empty()) return "a node name may not be empty";
  if (name.size() > kMaxNameSize) return "a node name may not be longer than 4096 bytes";
  if (name.find(':') != std::string_view::npos) return "a node name may not contain ':'";
  return nullptr;
}

Tree::Tree(uint32_t scan_limit) : scan_limit_(scan_limit) { nodes_.emplace_back(); }

Tree::~Tree() = default;

uint32_t Tree::hash(uint32_t parent, std::string_view name) {
  uint64_t h = std::hash<std::string_view>()(name) ^ (static_cast<uint64_t>(parent) * 0x9E3779B97F4A7C15ull);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void Tree::reserve(size_t nodes) { nodes_.reserve(nodes + 1); }

// Grows the index until `entries` fill at most half of it, and places every
// entry again; the stored hashes spare reading any name.
void Tree::index_grow(size_t entries) {
  size_t size = index_.empty() ? 16 : index_.size();
  while (size < 2 * entries) size *= 2;
  if (size == index_.size()) return;
  std::vector<Slot> old(size);
  old.swap(index_);
  size_t mask = index_.size() - 1;
  for (const Slot &s : old) {
    if (s.node == kNone) continue;
    size_t i = s.hash & mask;
    while (index_[i].node != kNone) i = (i + 1) & mask;
    index_[i] = s;
  }
}

// The caller has made room (index_grow) beforehand, so this cannot fail.
void Tree::index_insert(uint32_t node) {
  uint32_t h = hash(nodes_[node].parent, nodes_[node].name());
  size_t mask = index_.size() - 1;
  size_t i = h & mask;
  while (index_[i].node != kNone) i = (i + 1) & mask;
  index_[i] = Slot{node, h};
  ++indexed_;
}

// Removes the node's entry and shifts later entries of its probe run back,
// so that lookups never need markers for removed entries.
void Tree::index_erase(uint32_t node) {
  size_t mask = index_.size() - 1;
  size_t i = hash(nodes_[node].parent, nodes_[node].name()) & mask;
  while (index_[i].node != node) i = (i + 1) & mask;
  size_t j = i;
  for (;;) {
    j = (j + 1) & mask;
    if (index_[j].node == kNone) break;
    size_t home = index_[j].hash & mask;
    // The entry at j must stay when its home lies cyclically in (i, j].
    bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (stays) continue;
    index_[i] = index_[j];
    i = j;
  }
  index_[i] = Slot{};
  --indexed_;
}

uint32_t Tree::find_child(uint32_t parent, std::string_view name) const {
  if (!indexed(parent)) {
    for (uint32_t c = nodes_[parent].first; c != kNone; c = nodes_[c].next)
      if (nodes_[c].name() == name) return c;
    return kNone;
  }
  uint32_t h = hash(parent, name);
  size_t mask = index_.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot &s = index_[i];
    if (s.node == kNone) return kNone;
    if (s.hash == h && nodes_[s.node].parent == parent && nodes_[s.node].name() == name) return s.node;
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
uint32_t Tree::link(uint32_t parent, Node node) {
  uint32_t siblings = nodes_[parent].children;
  // The child that takes a parent past the limit brings all its siblings
  // into the index with it.
  size_t entering = siblings < scan_limit_ ? 0 : siblings == scan_limit_ ? siblings + 1 : 1;
  if (entering) index_grow(indexed_ + entering);
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    nodes_.emplace_back();
    index = static_cast<uint32_t>(nodes_.size() - 1);
  }
  Node &p = nodes_[parent];
  node.parent = parent;
  node.depth = static_cast<uint16_t>(p.depth + 1);
  node.prev = p.last;
  node.children = 0;
  if (p.last != kNone) nodes_[p.last].next = index; else p.first = index;
  p.last = index;
  ++p.children;
  nodes_[index] = node;
  if (entering > 1) {
    for (uint32_t c = p.first; c != kNone; c = nodes_[c].next) index_insert(c);
  } else if (entering == 1) {
    index_insert(index);
  }
  return index;
}

// Unlinks a node from its parent's children; the node and its subtree are
// left as they are.
void Tree::detach(uint32_t node) {
  Node &n = nodes_[node];
  Node &parent = nodes_[n.parent];
  if (indexed(n.parent)) index_erase(node);
  if (n.prev != kNone) nodes_[n.prev].next = n.next; else parent.first = n.next;
  if (n.next != kNone) nodes_[n.next].prev = n.prev; else parent.last = n.prev;
  --parent.children;
  // Back at the limit: the remaining children are found by walking again.
  if (parent.children == scan_limit_)
    for (uint32_t c = parent.first; c != kNone; c = nodes_[c].next) index_erase(c);
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

uint32_t Tree::add(uint32_t parent, std::string_view name, uint32_t design, std::string_view record) {
  char *bytes = allocate(name.size() + record.size());
  std::memcpy(bytes, name.data(), name.size());
  if (!record.empty()) std::memcpy(bytes + name.size(), record.data(), record.size());
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = static_cast<uint32_t>(record.size());
  n.name_data = bytes;
  return link(parent, n);
}

uint32_t Tree::add_view(uint32_t parent, std::string_view name, uint8_t gap, uint32_t design, uint32_t record_size) {
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = record_size;
  n.name_data = name.data();
  n.record_gap = gap;
  n.in_image = true;
  uint32_t index = link(parent, n);
  ++image_views_;
  return index;
}

// Clears a removed node's slot for reuse; its index entry is gone already.
// The image goes with the last node that views it: a file rewritten
// completely then holds only what was written.
void Tree::release(uint32_t index) {
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
