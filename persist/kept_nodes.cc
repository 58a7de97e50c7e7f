// Taking out and putting back the nodes a save into a file must not lose
// (see kept_nodes.h). The walk follows the node kinds a load reads, by
// number and by the file's own design handles, so a file without such nodes
// costs one visit per node and no allocation beyond the path of the node
// being visited.
#include "persist/kept_nodes.h"

#include <new>
#include <string_view>
#include <utility>

#include "persist/process_records.h"

namespace pm {

namespace {

// What a node is to a load: a kind whose record it reads and rewrites, or
// kOther for one it leaves alone.
enum class Kind { kOther, kRoot, kProjectNode, kTile, kSample, kFile, kLevel, kProcess };

std::string_view name_of(tk_TreeFile *file, int64_t node) noexcept {
  size_t length = 0;
  const char *name = tk_TreeNodeName(file, node, &length);
  return name ? std::string_view(name, length) : std::string_view();
}

std::string design_name(const tk_Design *design) {
  size_t length = 0;
  const char *name = tk_DesignName(design, &length);
  return name ? std::string(name, length) : std::string("(none)");
}

// The kind of `child` under a rewritten node of kind `parent`. Under the
// root the save deletes "Project" and the level nodes by name and tiles and
// files by design; beneath them it rewrites only what a load reads.
Kind kind_below(Kind parent, tk_TreeFile *file, int64_t child, const DesignTable *table) noexcept {
  const tk_Design *design = tk_TreeNodeDesign(file, child);
  auto is = [&](DesignIndex index) { return design == table->design[index]; };
  switch (parent) {
    case Kind::kRoot: {
      const std::string_view name = name_of(file, child);
      if (name == "Project") return Kind::kProjectNode;
      for (const char *level : kLevelNodeNames)
        if (name == level) return Kind::kLevel;
      if (is(kTileDesign)) return Kind::kTile;
      if (is(kFileDesign)) return Kind::kFile;
      return Kind::kOther;
    }
    case Kind::kTile:
      if (is(kSampleDesign)) return Kind::kSample;
      return is(kFileDesign) ? Kind::kFile : Kind::kOther;
    case Kind::kSample: return is(kFileDesign) ? Kind::kFile : Kind::kOther;
    case Kind::kLevel: return is(kProcessDesign) ? Kind::kProcess : Kind::kOther;
    default: return Kind::kOther;
  }
}

// A kept node that cannot be kept: the report's text and its cause. The
// text comes first, so that a cause taken from a slot is never lost to an
// allocation that fails while the text is made.
struct Failure {
  std::string text;
  tk_ErrorReport *inner;
};

}  // namespace

KeptNodes::~KeptNodes() {
  for (Node &node : nodes_) {
    tk_DesignRecordRelease(node.design, node.record);
    tk_HeapFree(node.record);
  }
}

// Appends the subtree of `top` in pre-order. Throws Failure for a record
// that does not read and std::bad_alloc.
void KeptNodes::keep_subtree(tk_TreeFile *file, int64_t top, const std::string &parent) {
  std::vector<std::pair<int64_t, uint32_t>> pending{{top, 0}};
  std::vector<int64_t> children;
  while (!pending.empty()) {
    const auto [number, depth] = pending.back();
    pending.pop_back();
    Node &node = nodes_.emplace_back();
    node.parent = depth == 0 ? parent : std::string();
    node.depth = depth;
    node.name = std::string(name_of(file, number));
    node.design = tk_TreeNodeDesign(file, number);
    if (node.name.find('\0') != std::string::npos)
      throw Failure{"Cannot keep node \"" + std::string(node.name.c_str()) + "...\" under " + parent +
                        ": its name holds a NUL byte",
                    nullptr};
    node.record = static_cast<unsigned char *>(tk_HeapMalloc(tk_DesignRecordSize(node.design)));
    if (!node.record) throw std::bad_alloc();
    InnerSlot inner;
    if (!tk_TreeNodeRead(file, number, node.record, node.design, &inner) || inner) {
      // Nothing was read into it: only the block goes.
      tk_HeapFree(node.record);
      node.record = nullptr;
      throw Failure{"Cannot keep node " + node.name + " of design " + design_name(node.design) +
                        (depth == 0 ? " under " + parent : std::string()),
                    inner.take()};
    }
    children.clear();
    for (int64_t child = tk_TreeNodeFirstChild(file, number, nullptr); child >= 0;
         child = tk_TreeNodeNextSibling(file, child, nullptr))
      children.push_back(child);
    for (auto child = children.rbegin(); child != children.rend(); ++child) pending.emplace_back(*child, depth + 1);
  }
}

// The path of the node at the end of `chain` (its ancestors from a child of
// the root down), built only when something beneath it is kept: an
// ordinary file never needs one.
std::string KeptNodes::path_of(tk_TreeFile *file, const Chain &chain) {
  std::string path;
  for (size_t i = 0; i < chain.size; ++i) {
    path += ':';
    path += name_of(file, chain.nodes[i]);
  }
  if (path.find('\0') != std::string::npos)
    throw Failure{"Cannot keep the nodes under " + std::string(path.c_str()) + "...: its path holds a NUL byte",
                  nullptr};
  return path;
}

// Walks the children of the rewritten node at the end of `chain` (the root
// when it is empty), of kind `kind`, keeping what the load does not read and
// going down into what it does. Kinds nest at most four deep (root, tile,
// sample, file), and so do the chain and the recursion.
void KeptNodes::visit(tk_TreeFile *file, const DesignTable *table, Chain &chain, int kind) {
  const int64_t node = chain.size == 0 ? 0 : chain.nodes[chain.size - 1];
  for (int64_t child = tk_TreeNodeFirstChild(file, node, nullptr); child >= 0;
       child = tk_TreeNodeNextSibling(file, child, nullptr)) {
    const Kind below = kind_below(Kind(kind), file, child, table);
    if (below == Kind::kOther) {
      // Directly under the root nothing is deleted, so nothing is taken.
      if (Kind(kind) != Kind::kRoot) keep_subtree(file, child, path_of(file, chain));
      continue;
    }
    chain.nodes[chain.size++] = child;
    visit(file, table, chain, static_cast<int>(below));
    --chain.size;
  }
}

bool KeptNodes::take(tk_TreeFile *file, const DesignTable *table, Reporter &r) noexcept {
  try {
    Chain chain;
    visit(file, table, chain, static_cast<int>(Kind::kRoot));
    return true;
  } catch (Failure &failure) {
    r.push(failure.inner, "%s", failure.text.c_str());
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory keeping the nodes this kestrum does not read");
  }
  return false;
}

bool KeptNodes::put_back(tk_TreeFile *file, Reporter &r) noexcept {
  try {
    // at[d] is the node under which the kept nodes of depth d go.
    std::vector<int64_t> at;
    bool gone = false;
    for (const Node &node : nodes_) {
      if (node.depth == 0) {
        const int64_t parent = tk_TreeNodeFind(file, node.parent.c_str());
        // The project no longer holds the parent: the subtree goes with it.
        gone = parent < 0;
        at.assign(1, parent);
      }
      if (gone) continue;
      InnerSlot inner;
      const int64_t written =
          tk_TreeNodeWrite(file, at[node.depth], node.name.c_str(), nullptr, node.record, node.design, &inner);
      if (written < 0 || inner) {
        r.push(inner.take(), "Cannot keep node %s of design %s, which this kestrum does not read, under %s",
               node.name.c_str(), design_name(node.design).c_str(),
               node.depth == 0 ? node.parent.c_str() : "the node kept above it");
        return false;
      }
      at.resize(node.depth + 1);
      at.push_back(written);
    }
    return true;
  } catch (const std::bad_alloc &) {
    r.push(nullptr, "Out of memory putting back the nodes this kestrum does not read");
    return false;
  }
}

}  // namespace pm
