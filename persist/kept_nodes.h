// Nodes a load does not read, carried across a save into their own file.
//
// A file may hold more than this kestrum reads: nodes of designs that a
// newer kestrum added, or nodes of known designs where no load looks (a
// tile under a data file). A save into an existing file deletes the nodes
// it rewrites (the Project node, the tiles and the project's files, the
// three level nodes), each with everything beneath it, and writes the
// project again. Whatever the load did not read beneath those nodes is taken
// out before the deletion and put back, whole and in its order, under the
// node of the same path once the project is written, so a save never loses
// what it did not understand. Nodes directly under the root are never
// deleted and need none of this. A kept node whose parent the project no
// longer holds (a tile removed or renamed) goes with that parent, as the
// parent's own children do.
#ifndef KESTRUM_PERSIST_KEPT_NODES_H
#define KESTRUM_PERSIST_KEPT_NODES_H

#include <cstdint>
#include <string>
#include <vector>

#include "node/report.h"
#include "persist/designs.h"

namespace pm {

class KeptNodes {
 public:
  KeptNodes() = default;
  ~KeptNodes();
  KeptNodes(const KeptNodes &) = delete;
  KeptNodes &operator=(const KeptNodes &) = delete;

  // Reads every node beneath the rewritten nodes of `file` that a load does
  // not read, with its subtree. False with a report in r when a kept record
  // is damaged (a save refuses what a load of it would refuse) or memory
  // runs out.
  bool take(tk_TreeFile *file, const DesignTable *table, Reporter &r) noexcept;
  // Writes the kept nodes back under their parents' paths. False with a
  // report when the project now writes a node of a kept node's name beside
  // it, or a write fails.
  bool put_back(tk_TreeFile *file, Reporter &r) noexcept;
  bool empty() const noexcept { return nodes_.empty(); }

 private:
  struct Node {
    std::string parent;   // the path of a kept subtree's top node's parent; empty below the top
    uint32_t depth = 0;   // 0 for a top node, its children 1, ...
    std::string name;
    tk_Design *design = nullptr;   // the file's own
    unsigned char *record = nullptr;
  };
  // The rewritten nodes from a child of the root down to the one walked.
  struct Chain {
    int64_t nodes[4];
    size_t size = 0;
  };
  static std::string path_of(tk_TreeFile *file, const Chain &chain);
  void visit(tk_TreeFile *file, const DesignTable *table, Chain &chain, int kind);
  void keep_subtree(tk_TreeFile *file, int64_t top, const std::string &parent);

  std::vector<Node> nodes_;  // subtrees in pre-order, one after another
};

}  // namespace pm

#endif
