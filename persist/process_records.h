// The process levels of a project file.
//
// Each level (0 project, 1 tiles, 2 samples) is one node under the root named
// "Root Files", "Primary Files" or "Secondary Files", whose record holds the
// level's PFA files as a list; each process of the level is a node beneath
// it whose record holds the process's arguments as a list. The level's node
// name doubles as the parent path of its processes.
#ifndef KESTRUM_PERSIST_PROCESS_RECORDS_H
#define KESTRUM_PERSIST_PROCESS_RECORDS_H

#include "include/kestrum.h"
#include "node/node.h"
#include "persist/designs.h"
#include "persist/node_io.h"

namespace pm {

// "Root Files", "Primary Files", "Secondary Files" by level.
extern const char *const kLevelNodeNames[kLevelCount];

// pm_PFANodesWrite: writes the level's PFA list as node `level_name` under
// the root and marks every PFA file saved. 1 on success, 0 with a report.
int pfa_nodes_write(tk_TreeFile *file, pm_PFAFile *list, const char *level_name, const DesignTable *table,
                    tk_ErrorReport **slot) noexcept;
// pm_PFANodesRead: the level's PFA list (null for none). After a failure the
// list as built so far (which the caller owns) and a report.
pm_PFAFile *pfa_nodes_read(tk_TreeFile *file, const char *level_name, const DesignTable *table,
                           tk_ErrorReport **slot) noexcept;
// pm_PFARootNodeGetValues: builds the PFA list from a read record; on a
// refused append, the list so far and a report. With `cursor` the record was
// read by its head and the elements come from the file a chunk at a time.
pm_PFAFile *pfa_root_node_get_values(const PFARootRecord *record, tk_ErrorReport **slot,
                                     tk_ListCursor *cursor = nullptr) noexcept;

// pm_ProcessListSave / pm_ProcessSave: write each process (with its
// arguments) under `parent` and mark it saved. 1 on success, 0 with a report.
int process_list_save(tk_TreeFile *file, const char *directory, pm_Process *list, const char *level_name,
                      const DesignTable *table, tk_ErrorReport **slot) noexcept;
int process_save(tk_TreeFile *file, const char *directory, pm_Process *process, const char *parent,
                 const DesignTable *table, tk_ErrorReport **slot) noexcept;

// The record of one process being written: its texts point into the
// process, except the localised parameter and label file names and the
// argument array, which this owns and frees.
struct ProcessWriteRecord {
  ProcessRecord record{};
  char *params = nullptr;
  char *labels = nullptr;
  ProcessWriteRecord() = default;
  ProcessWriteRecord(const ProcessWriteRecord &) = delete;
  ProcessWriteRecord &operator=(const ProcessWriteRecord &) = delete;
  ~ProcessWriteRecord() {
    tk_HeapFree(params);
    tk_HeapFree(labels);
    tk_HeapFree(record.arguments.elements);
  }
};
// pm_ProcessNodeSetValues: fills `out` from the process, with the parameter
// and label files in "$PROJECT" form where they lie in `directory`.
int process_node_set_values(const char *directory, pm_Process *process, ProcessWriteRecord *out,
                            tk_ErrorReport **slot) noexcept;

// pm_ProcessListLoad: the processes listed under the level node, in listing
// order. After a failure the list as built so far and a report.
pm_Process *process_list_load(tk_TreeFile *file, const char *directory, const char *level_name,
                              const DesignTable *table, tk_ErrorReport **slot) noexcept;
// pm_ProcessLoad: a new process, or null (not a direct child: slot empty;
// failure: report, nothing left behind).
pm_Process *process_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                         const DesignTable *table, tk_ErrorReport **slot) noexcept;
// pm_ProcessNodeGetValues: a new process built from a read record, its
// parameter and label files expanded against `directory`; null with a
// report on failure. `cursor` as for pfa_root_node_get_values.
pm_Process *process_node_get_values(const char *directory, const ProcessRecord *record, tk_ErrorReport **slot,
                                    tk_ListCursor *cursor = nullptr) noexcept;

}  // namespace pm

#endif
