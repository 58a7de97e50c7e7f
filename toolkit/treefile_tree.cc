// The in-memory node tree of a tree file (see treefile_tree.h).
#include "treefile_tree.h"

#include <cstring>
#include <functional>

namespace tk::tree {

const char *bad_name_reason(std::string_view name) {
  if (name.empty()) return "a node name may not be empty";
  if (name.size() > kMaxNameSize) return "a node name may not be longer than 4096 bytes";
  if (name.find(':') != std::string_view::npos) return "a node name may not contain ':'";
  return nullptr;
}

Tree::Tree() { nodes_.emplace_back(); }

Tree::~Tree() {
  for (const Node &n : nodes_)
    if (n.owned) delete[] n.name_data;
}

uint32_t Tree::hash(uint32_t parent, std::string_view name) {
  uint64_t h = std::hash<std::string_view>()(name) ^ (static_cast<uint64_t>(parent) * 0x9E3779B97F4A7C15ull);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void Tree::reserve(size_t nodes) {
  nodes_.reserve(nodes + 1);
  while (index_.size() < 2 * (nodes + 1)) index_grow();
}

// Doubles the index and places every entry again; the stored hashes spare
// reading any name.
void Tree::index_grow() {
  std::vector<Slot> old(index_.empty() ? 16 : index_.size() * 2);
  old.swap(index_);
  size_t mask = index_.size() - 1;
  for (const Slot &s : old) {
    if (s.node == kNone) continue;
    size_t i = s.hash & mask;
    while (index_[i].node != kNone) i = (i + 1) & mask;
    index_[i] = s;
  }
}

void Tree::index_insert(uint32_t node, uint32_t h) {
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
  if (index_.empty()) return kNone;
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
  if ((indexed_ + 1) * 2 > index_.size()) index_grow();
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
  if (p.last != kNone) nodes_[p.last].next = index; else p.first = index;
  p.last = index;
  nodes_[index] = node;
  index_insert(index, hash(parent, node.name()));
  return index;
}

uint32_t Tree::add(uint32_t parent, std::string_view name, uint32_t design, std::string_view record) {
  std::unique_ptr<char[]> bytes(new char[name.size() + record.size()]);
  std::memcpy(bytes.get(), name.data(), name.size());
  if (!record.empty()) std::memcpy(bytes.get() + name.size(), record.data(), record.size());
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = static_cast<uint32_t>(record.size());
  n.name_data = bytes.get();
  n.owned = true;
  uint32_t index = link(parent, n);
  bytes.release();  // the node owns it now
  return index;
}

uint32_t Tree::add_view(uint32_t parent, std::string_view name, uint8_t gap, uint32_t design, uint32_t record_size) {
  Node n;
  n.design = design;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = record_size;
  n.name_data = name.data();
  n.record_gap = gap;
  return link(parent, n);
}

void Tree::release(uint32_t index) {
  index_erase(index);  // before the name goes: the index hashes it
  if (nodes_[index].owned) delete[] nodes_[index].name_data;
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
