// One owner of each kind of node list, behind one interface, for tests that
// do the same to every kind: tiles of a project, samples of a tile, data
// files of a project, a tile and a sample, PFA files and processes in a bare
// list, arguments of a process. Every call goes through the kind's exported
// function.
//
//   auto holder = kestrum_test::MakeListHolder(kestrum_test::ListKind::kSamples);
//   holder->append(holder->create("s1"), slot.out());
#ifndef KESTRUM_TEST_LIST_KINDS_H
#define KESTRUM_TEST_LIST_KINDS_H

#include <memory>
#include <string>
#include <vector>

#include "include/kestrum.h"

namespace kestrum_test {

enum class ListKind { kTiles, kSamples, kProjectFiles, kTileFiles, kSampleFiles, kPFAFiles, kProcesses, kArguments };
inline constexpr ListKind kAllListKinds[] = {ListKind::kTiles,       ListKind::kSamples,    ListKind::kProjectFiles,
                                             ListKind::kTileFiles,   ListKind::kSampleFiles, ListKind::kPFAFiles,
                                             ListKind::kProcesses,   ListKind::kArguments};
const char *ListKindName(ListKind kind);

class ListHolder {
 public:
  // Destroys the owner with everything in its list.
  virtual ~ListHolder() = default;
  ListKind kind() const { return kind_; }
  // The owner's list pointer (null for an empty list).
  virtual pm_Node *first() const = 0;
  // A new detached node of the kind; the caller owns it until it is appended.
  virtual pm_Node *create(const char *name) const = 0;
  // The kind's append (the owner's, or for a bare list the exported append
  // that returns the new list).
  virtual void append(pm_Node *node, tk_ErrorReport **slot) = 0;
  // The messages of the kind's wrappers over a refused append of a node of
  // that name, outermost first, without the node core's own report.
  virtual std::vector<std::string> refusal(const std::string &name) const = 0;
  // The kind's remove; the owner keeps its list.
  virtual void remove(pm_Node *node) = 0;
  // The kind's destroy of a detached node.
  virtual void destroy(pm_Node *node) const = 0;
  // The kind's rename: 1 when renamed.
  virtual int rename(pm_Node *node, const char *name, tk_ErrorReport **slot) const = 0;
  // Sorts the list where the kind has a sort (tiles, samples); false otherwise.
  virtual bool sort() { return false; }
  // Rebuilds the list from names where the kind has a rebuild (tiles,
  // samples, files); false otherwise.
  virtual bool rebuild(const std::vector<std::string> &, tk_ErrorReport **) { return false; }

 protected:
  explicit ListHolder(ListKind kind) : kind_(kind) {}

 private:
  ListKind kind_;
};

std::unique_ptr<ListHolder> MakeListHolder(ListKind kind, const std::string &owner_name = "owner");

}  // namespace kestrum_test

#endif
