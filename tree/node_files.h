// The data files that hang at a node of the project tree.
//
// The project, its tiles and its samples each own one list of data files;
// readiness, file lookup by process argument and the file-list rebuild all
// need to reach that list from a node of unknown kind.
#ifndef KESTRUM_TREE_NODE_FILES_H
#define KESTRUM_TREE_NODE_FILES_H

#include "include/kestrum.h"

namespace pm {

// The owner's files list pointer for a project, tile or sample; null for a
// null node or a node of any other kind.
pm_File **files_of(pm_Node *owner) noexcept;

// The first data file of that list, null when the node holds none.
inline pm_File *files_at(pm_Node *owner) noexcept {
  pm_File **head = files_of(owner);
  return head ? *head : nullptr;
}

}  // namespace pm

#endif
