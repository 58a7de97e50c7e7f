// The in-memory node tree of a tree file (see treefile_tree.h).
#include "treefile_tree.h"

#include <algorithm>
#include <cstring>

namespace tk::tree {

const char *bad_name_reason(std::string_view name) {
  if (name.empty()) return "a node name may not be empty";
  if (name.size() > kMaxNameSize) return "a node name may not be longer than 4096 bytes";
  if (name.find(':') != std::string_view::npos) return "a node name may not contain ':'";
  return nullptr;
}

Tree::Tree() : index_(16, IndexHash{&nodes_}, IndexEqual{&nodes_}) { nodes_.emplace_back(); }

void Tree::reserve(size_t nodes) {
  nodes_.reserve(nodes + 1);
  index_.reserve(nodes);
}

uint32_t Tree::find_child(uint32_t parent, std::string_view name) const {
  auto it = index_.find(Probe{parent, name});
  return it == index_.end() ? kNone : *it;
}

Tree::Found Tree::resolve(uint32_t start, std::string_view path, uint32_t *out, size_t *missing_at) const {
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
    if (child == kNone) {
      if (missing_at) *missing_at = colon == std::string_view::npos ? path.size() : colon;
      return Found::missing;
    }
    n = child;
    if (colon == std::string_view::npos) break;
    pos = colon + 1;
    if (pos == path.size()) return Found::bad_path;  // a trailing ':' names nothing
  }
  *out = n;
  return Found::node;
}

uint32_t Tree::add(uint32_t parent, std::string_view name, uint32_t design, std::string_view record, bool copy) {
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    nodes_.emplace_back();
    index = static_cast<uint32_t>(nodes_.size() - 1);
  }
  Node &n = nodes_[index];
  n.parent = parent;
  n.design = design;
  n.depth = nodes_[parent].depth + 1;
  n.name_size = static_cast<uint32_t>(name.size());
  n.record_size = record.size();
  if (copy) {
    n.own = std::make_unique<char[]>(name.size() + record.size());
    std::memcpy(n.own.get(), name.data(), name.size());
    if (!record.empty()) std::memcpy(n.own.get() + name.size(), record.data(), record.size());
    n.name_data = n.own.get();
    n.record_data = n.own.get() + name.size();
  } else {
    n.name_data = name.data();
    n.record_data = record.data();
  }
  Node &p = nodes_[parent];
  n.prev = p.last;
  if (p.last != kNone) nodes_[p.last].next = index; else p.first = index;
  p.last = index;
  index_.insert(index);
  return index;
}

void Tree::release(uint32_t index) {
  index_.erase(index);  // before the name goes: the index hashes it
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
