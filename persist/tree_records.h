// The tile, sample and data-file nodes of a project file.
//
// Tiles lie under the root, a tile's samples and files under the tile, a
// sample's files under the sample; each object is one node whose record is
// described in designs.h. Saving writes lists in order and marks each object
// saved once it and everything below it is written; loading lists the nodes
// of a parent and appends the objects in the order the file lists them.
// Every operation reports failure through its slot only.
#ifndef KESTRUM_PERSIST_TREE_RECORDS_H
#define KESTRUM_PERSIST_TREE_RECORDS_H

#include "include/kestrum.h"
#include "persist/designs.h"
#include "persist/node_io.h"

namespace pm {

// Saving. `directory` is the project directory against which descriptors are
// stored in "$PROJECT" form; `parent` the path to write under (":" for the
// project's own lists). 1 on success, 0 with a report.
int tile_list_save(tk_TreeFile *file, const char *directory, pm_Tile *list, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_TileListSave
int tile_save(tk_TreeFile *file, const char *directory, pm_Tile *tile, const Listed &parent,
              const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_TileSave
int sample_list_save(tk_TreeFile *file, const char *directory, pm_Sample *list, const Listed &parent,
                     const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_SampleListSave
int sample_save(tk_TreeFile *file, const char *directory, pm_Sample *sample, const Listed &parent,
                const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_SampleSave
int file_list_save(tk_TreeFile *file, const char *directory, pm_File *list, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_FileListSave
int file_save(tk_TreeFile *file, const char *directory, pm_File *data, const Listed &parent,
              const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_FileSave
// pm_FileNodeSetValues: fills `out` for writing; its texts point into `data`
// except the descriptor, which lies in a buffer of the thread's (valid
// until the next call) or in a new string stored in *localised (the caller
// frees it after the write; null when the buffer served).
int file_node_set_values(const char *directory, pm_File *data, FileRecord *out, char **localised,
                         tk_ErrorReport **slot) noexcept;

// Loading. `parent` is the node whose children are read: its path as a
// listing reported it (":" for the root) and, when known, its number. A failed load appends nothing and
// leaves no half-built object behind; objects appended before the failure
// stay appended. Loaders of one object return null both for a node that is
// not a direct child of `parent` (slot empty) and on failure (report).
int tile_list_load(tk_TreeFile *file, const char *directory, pm_Project *project, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_TileListLoad
pm_Tile *tile_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_TileLoad
int sample_list_load(tk_TreeFile *file, const char *directory, pm_Tile *tile, const Listed &parent,
                     const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_SampleListLoad
pm_Sample *sample_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                       const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_SampleLoad
// `owner` is the project, a tile or a sample.
int file_list_load(tk_TreeFile *file, const char *directory, void *owner, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_FileListLoad
pm_File *file_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept;  // pm_FileLoad
// pm_FileNodeGetValues: moves the texts of a read record into `data` (the
// descriptor expanded against `directory`); on failure `data` is untouched.
int file_node_get_values(const char *directory, FileRecord *record, pm_File *data,
                         tk_ErrorReport **slot) noexcept;

// Removing the old nodes before a rewrite: every tile (with all beneath it),
// or every data file, listed under `parent`.
int tiles_delete(tk_TreeFile *file, const char *parent, tk_ErrorReport **slot) noexcept;  // pm_TilesDelete
int files_delete(tk_TreeFile *file, const char *parent, tk_ErrorReport **slot) noexcept;  // pm_FilesDelete

}  // namespace pm

#endif
