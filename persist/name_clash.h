// Names a project can hold in memory but its file cannot: the file keeps a
// node's children by name alone, whatever their kind, so the root cannot
// hold a tile and a project data file of one name (nor either named like
// the root's own nodes, "Project" and the three level nodes), and a tile
// cannot hold a sample and a data file of one name. Such a project fails to
// save; a file that holds such names (kestrum never writes one) is refused
// when it loads, so that every file that loads also saves.
#ifndef KESTRUM_PERSIST_NAME_CLASH_H
#define KESTRUM_PERSIST_NAME_CLASH_H

#include "node/report.h"

namespace pm {

// The node names the root keeps for itself: the project's own record, then
// the three levels of the processing model (kLevelNodeNames, in level order).
inline constexpr const char *kRootNodeNames[] = {"Project", "Root Files", "Primary Files", "Secondary Files"};
inline constexpr const char *kProjectNodeName = kRootNodeNames[0];

// True when the project's names fit the file; otherwise pushes one report
// naming the first clash found and returns false (also when out of memory).
bool names_fit_file(pm_Project *project, Reporter &r) noexcept;

}  // namespace pm

#endif
