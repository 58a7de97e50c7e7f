/**
 * \file kestrum.h
 * \brief The whole public interface of libkestrum.
 *
 * kestrum keeps the model of an image-analysis project in memory and stores
 * it in a project file. A project holds tiles, a tile holds samples, and all
 * three hold data files; beside that tree the project holds a processing
 * model in three levels (0 the project, 1 the tiles, 2 the samples).
 *
 * Words (one concept each; function names are older and say "type" for
 * several of them):
 *  - node kind: what a record is, PM_KIND_PROJECT, _TILE, _SAMPLE or
 *    PM_KIND_NONE for the others (pm_NodeGetType, pm_FileGetParentType).
 *  - level: 0 the project, 1 the tiles, 2 the samples; the processing model
 *    has a process list and a PFA file list per level
 *    (pm_ProcessListGetByType and pm_PFAFileListGetByType take a level).
 *  - PFA file: a named kind of data file that every node of a level carries,
 *    for example "photo" on level 1; processes' arguments name PFA files.
 *  - PFA root: the project's pm_ProcFiles, the PFA file lists of the three
 *    levels with a change state of their own.
 *  - file type: a data file's name, which names the PFA file it belongs to
 *    (pm_FileGetType, pm_FileSetType, pm_FileFind).
 *  - format: what a PFA file's or argument's files hold, PM_RASTER ...
 *    PM_AOI (pm_PFAFileGetType, pm_ArgumentGetType, pm_PFATypeEvaluate).
 *  - descriptor: where a data file lies on disk; absolute in memory, stored
 *    as "$PROJECT/..." in the project file when under its directory.
 *
 * Conventions that hold for every function (individual comments say only
 * what differs):
 *  1. Records are plain C structs that begin with the node header
 *     (pm_Node). Read them through the accessors; the fields are public so
 *     that hosts can walk lists cheaply. A host writes no field itself except
 *     the level lists (lists[0..2] of a pm_ProcFiles or pm_ProcessLists),
 *     with the first element an append, remove or destroy returned: in
 *     containers it builds, before pm_ProjectTypesApply takes them over, and
 *     in the project's own, where no function stores them.
 *  2. Every text or string list a function returns is a new allocation that
 *     the caller frees: texts with tk_HeapFree, string lists with
 *     tk_StringListDelete. The exceptions say "not a copy" (the records that
 *     pm_FileGetFromProcessArg and the Find functions return stay owned by
 *     their lists).
 *  3. Every function that can fail takes a report slot (tk_ErrorReport **)
 *     last. It is set to null on entry, without freeing what it held: free a
 *     report before the slot is used again. On failure it receives one
 *     report chain, outermost first, that the caller frees with
 *     tk_ErrorReportDelete. A null slot is allowed: the report is then
 *     discarded.
 *  4. Null handles never crash: getters give 0 or null, setters do nothing
 *     and return 0, marking operations are ignored.
 *  5. A project and everything reachable from it belongs to one thread at a
 *     time; different projects share nothing.
 *  6. Ownership: the host owns each project from pm_ProjectCreate or
 *     pm_ProjectLoad and frees it with pm_ProjectDestroy. An object owns what
 *     hangs below it. A detached object (created and not appended, refused,
 *     or removed) belongs to whoever holds it and is freed with its Destroy.
 *     Appending a node without a name does nothing and reports nothing: the
 *     caller still owns it.
 *  7. Lists are doubly linked through next/prev and held by a pointer to
 *     their first element. Operations that change a list return its first
 *     element. Removing a tile, sample, data file or argument updates its
 *     owner's list pointer. The library cannot reach the holder of a level
 *     list of processes or PFA files, or of a bare list: after appending to
 *     one, or removing or destroying its first element, store the returned
 *     first element there (examples/host.c shows it).
 *  8. Change tracking: pm_ProjectDirty says whether the project needs saving.
 *     These edits are saved but mark nothing it sees, so a host that saves
 *     only when it answers 1 loses them unless it marks the project itself
 *     with pm_ProjectChanged: pm_ProjectSetTileList and pm_TileSetSampleList
 *     that only reorder; removing a process, argument or PFA file, and
 *     destroying a process or PFA file; pm_TileSetAutomatic and
 *     pm_SampleSetAutomatic. Adding or changing PFA files counts only while
 *     the PFA root is marked itself: call pm_ProcFilesChanged after editing
 *     them. A successful pm_ProjectSaveAs marks what it wrote saved although
 *     the project's own file is older: call pm_ProjectChanged after it when
 *     that file must still be saved.
 *  9. Names a project file cannot hold are accepted in memory and refused by
 *     the save, with a report chain ending in the toolkit's "Cannot write
 *     node ..." or "Node ... already exists under ...": a name with ":", an
 *     empty one, one over 4,096 bytes; a tile named "Project", "Root Files",
 *     "Primary Files", "Secondary Files" or like a file type of the
 *     project's data files; a sample named like a file type of its tile's
 *     data files. Keep names free of these before saving.
 *  10. Descriptors are tested as stored (pm_FileDescriptorExists,
 *      pm_IsProcessReady): nothing is expanded, so "$PROJECT/...", "$HOME"
 *      or an undefined variable in a descriptor names a file literally (and
 *      relative to the current directory), which normally does not exist:
 *      not ready, without a report. Give absolute descriptors; a load makes
 *      the stored "$PROJECT/..." ones absolute.
 */
#ifndef KESTRUM_H
#define KESTRUM_H

#include <stdint.h>
#include "toolkit.h"

/** \name Version
 *  The version of this header. The build takes its version from these lines,
 *  so the shared library, the CMake package and the pkg-config file carry the
 *  same; the major number is the library's SONAME number.
 *  @{ */
#define KESTRUM_VERSION_MAJOR 1          /**< Changes with an incompatible interface. */
#define KESTRUM_VERSION_MINOR 0          /**< Changes with compatible additions. */
#define KESTRUM_VERSION_PATCH 0          /**< Changes with fixes only. */
#define KESTRUM_VERSION_STRING "1.0.0"   /**< "MAJOR.MINOR.PATCH" of the numbers above. */
/** @} */

#if defined(PM_BUILDING_KESTRUM)
#define PM_API __attribute__((visibility("default")))
#else
/** Marks an exported function (empty for users of the header). */
#define PM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Enumerations (32-bit signed integers; values are not validated) ---- */

/** Node kind of a record: PM_KIND_*. */
typedef int32_t pm_NodeKind;
#define PM_KIND_PROJECT 0        /**< the project */
#define PM_KIND_TILE 1           /**< a tile */
#define PM_KIND_SAMPLE 2         /**< a sample */
#define PM_KIND_NONE (-1)        /**< a data file, PFA file, process or argument */

/** Project type: 0 Single_Sampling, 1 Double_Sampling. */
typedef int32_t pm_ProjectType;
/** Analysis switch: 0 Disabled, 1 Enabled. */
typedef int32_t pm_AnalysisSwitch;
/** Selection flag of a tile or sample: 0 Manual, 1 Automatic. */
typedef int32_t pm_Selection;
/** Format of a PFA file or argument: what its data files hold (PM_RASTER ... PM_AOI). */
typedef int32_t pm_PFAType;
#define PM_RASTER 0              /**< raster images (.img) */
#define PM_VECTOR 1              /**< vector layers (.shp) */
#define PM_TEXT 2                /**< texts (.txt) */
#define PM_ANNOTATION 3          /**< annotations (.ovr) */
#define PM_AOI 4                 /**< areas of interest (.aoi) */
/** Mode of an argument: PM_STRICT_INPUT ... PM_EDITABLE_OUTPUT. */
typedef int32_t pm_ArgumentMode;
#define PM_STRICT_INPUT 0        /**< an input that must exist */
#define PM_STRICT_OUTPUT 1       /**< an output */
#define PM_OPTIONAL_INPUT 2      /**< an input that may be missing */
#define PM_OPTIONAL_OUTPUT 3     /**< an output that may not be made */
#define PM_EDITABLE_OUTPUT 4     /**< an output the user may edit */
/** Visibility of an argument: 0 Show, 1 Hide (hidden ones take no part in readiness and command lines). */
typedef int32_t pm_ArgumentHide;
/** Output flag of a process: 0 Request, 1 Generate. */
typedef int32_t pm_ProcessOutput;
/** Level of the processing model: 0 the project, 1 the tiles, 2 the samples. */
typedef int32_t pm_Level;

/* ---- Records --------------------------------------------------------------- */

/** Change state: a record is dirty when changed is set and saved is clear. */
typedef struct pm_ChangeState {
  int32_t changed;  ///< 1 once the record was changed since it was last cleared
  int32_t saved;    ///< 1 once the changed record was written to the project file
} pm_ChangeState;

/** The header every node record begins with. */
typedef struct pm_Node pm_Node;
/** The header every node record begins with: links, node kind, owner, name, change state. */
struct pm_Node {
  pm_Node *next;          ///< next node of the same list
  pm_Node *prev;          ///< previous node of the same list
  pm_NodeKind kind;       ///< set once at creation
  pm_Node *parent;        ///< the project, tile, sample or process holding it
  char *name;             ///< unique within its list; a data file's file type
  pm_ChangeState *state;  ///< allocated and freed with the node
};

typedef struct pm_Project pm_Project;             /**< The project (see struct pm_Project). */
typedef struct pm_Tile pm_Tile;                   /**< A tile (see struct pm_Tile). */
typedef struct pm_Sample pm_Sample;               /**< A sample (see struct pm_Sample). */
typedef struct pm_File pm_File;                   /**< A data file (see struct pm_File). */
typedef struct pm_PFAFile pm_PFAFile;             /**< A PFA file (see struct pm_PFAFile). */
typedef struct pm_Process pm_Process;             /**< A process (see struct pm_Process). */
typedef struct pm_Argument pm_Argument;           /**< An argument (see struct pm_Argument). */
typedef struct pm_ProcFiles pm_ProcFiles;         /**< The PFA root (see struct pm_ProcFiles). */
typedef struct pm_ProcessLists pm_ProcessLists;   /**< The process lists (see struct pm_ProcessLists). */

/** The project: root of the tree and owner of the processing model. */
struct pm_Project {
  pm_Node node;                     ///< kind 0; name derived from the file name
  pm_Tile *tiles;                   ///< first tile of the project
  pm_File *files;                   ///< project-level data files
  char *filename;                   ///< expanded path of the project file
  char *dirname;                    ///< project manager directory
  char *basename;                   ///< file name without directory and extension
  pm_ProjectType type;              ///< single or double sampling
  pm_AnalysisSwitch use_dot_grid;   ///< dot-grid analysis switch
  pm_AnalysisSwitch use_poly_tool;  ///< polygon-tool analysis switch
  pm_ProcFiles *pfa_root;           ///< owned
  pm_ProcessLists *process_lists;   ///< owned
};

/** A tile of the project; holds samples and data files. */
struct pm_Tile {
  pm_Node node;                     ///< kind 1
  pm_Sample *samples;               ///< first sample of the tile
  pm_File *files;                   ///< the tile's data files
  pm_Selection automatic;           ///< selection flag kept for the host; never marks changes
};

/** A sample of a tile; holds data files. */
struct pm_Sample {
  pm_Node node;                     ///< kind 2
  pm_File *files;                   ///< the sample's data files
  pm_Selection automatic;           ///< selection flag kept for the host; never marks changes
};

/** A data file attached to a project, tile or sample. */
struct pm_File {
  pm_Node node;                     ///< kind -1; node.name is the file type
  char *descriptor;                 ///< path of the file on disk
  double time;                      ///< the host's time value
  char *verified;                   ///< the host's verification text
  char *comment;                    ///< free comment text
};

/** A process-file association: a named kind of data file one level carries. */
struct pm_PFAFile {
  pm_Node node;                     ///< kind -1; a process-file association
  pm_PFAType type;                  ///< format of the data files it stands for
};

/** A process of the processing model, with its arguments. */
struct pm_Process {
  pm_Node node;                     ///< kind -1
  char *title;                      ///< title shown to the user
  char *params;                     ///< parameter file
  char *labels;                     ///< label file
  char *suffix;                     ///< file suffix
  pm_ProcessOutput output;          ///< request or generate the output
  pm_Argument *arguments;           ///< first argument of the process
};

/** An argument of a process, standing for one PFA file. */
struct pm_Argument {
  pm_Node node;                     ///< kind -1; parent is its process
  char *value;                      ///< name of the PFA file it stands for
  pm_PFAType type;                  ///< format of the files it takes
  pm_ArgumentMode mode;             ///< input or output, strict or optional
  pm_ArgumentHide hide;             ///< whether hosts hide it
};

/** The project's PFA root: the PFA file lists of the three levels. */
struct pm_ProcFiles {
  pm_PFAFile *lists[3];             ///< first PFA file of each level (0 project, 1 tiles, 2 samples)
  pm_ChangeState *state;            ///< change state of the associations as a whole
};

/** The project's process lists of the three levels. */
struct pm_ProcessLists {
  pm_Process *lists[3];             ///< first process of each level (0 project, 1 tiles, 2 samples)
};

/* ---- Node operations shared by every kind --------------------------------
 * `node` parameters typed void* take any record. Name getters return a copy
 * (tk_HeapFree). GetList returns the names in list order (tk_StringListDelete),
 * null for an empty list. Find* return the node or null. GetNumber gives the
 * length of the node's list, GetPosition its 1-based place. Remove unlinks
 * and returns the first element of what remains. SetName refuses a name that
 * any node of the list (the node itself included) already bears. */

/** The node kind of any record.
 *  \param node any record (project, tile, sample, data file, PFA file, process or argument), or null
 *  \return PM_KIND_PROJECT, PM_KIND_TILE, PM_KIND_SAMPLE, or PM_KIND_NONE for the other records; 0
 *          (PM_KIND_PROJECT) for null */
PM_API pm_NodeKind pm_NodeGetType(const void *node);

/** The project's name.
 *  \param project the project
 *  \return a copy (tk_HeapFree); null for a null or nameless project */
PM_API char *pm_ProjectGetName(pm_Project *project);
/** The tile's name.
 *  \param tile the tile
 *  \return a copy (tk_HeapFree); null for a null or nameless tile */
PM_API char *pm_TileGetName(pm_Tile *tile);
/** The sample's name.
 *  \param sample the sample
 *  \return a copy (tk_HeapFree); null for a null or nameless sample */
PM_API char *pm_SampleGetName(pm_Sample *sample);
/** The PFA file's name.
 *  \param pfa the PFA file
 *  \return a copy (tk_HeapFree); null for a null or nameless PFA file */
PM_API char *pm_PFAFileGetName(pm_PFAFile *pfa);
/** The process's name.
 *  \param process the process
 *  \return a copy (tk_HeapFree); null for a null or nameless process */
PM_API char *pm_ProcessGetName(pm_Process *process);
/** The argument's name.
 *  \param argument the argument
 *  \return a copy (tk_HeapFree); null for a null or nameless argument */
PM_API char *pm_ArgumentGetName(pm_Argument *argument);
/** The data file's file type (its node name).
 *  \param file the data file
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_FileGetType(pm_File *file);

/** The names of the tiles of a list, in list order.
 *  \param list any tile of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error copying node name" when memory runs out
 *  \return a new string list (tk_StringListDelete); null for an empty list, or with a report */
PM_API tk_StringList *pm_TileGetList(pm_Tile *list, tk_ErrorReport **slot);
/** The names of the samples of a list, in list order.
 *  \param list any sample of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error copying node name" when memory runs out
 *  \return a new string list (tk_StringListDelete); null for an empty list, or with a report */
PM_API tk_StringList *pm_SampleGetList(pm_Sample *list, tk_ErrorReport **slot);
/** The names of the data files of a list, in list order.
 *  \param list any data file of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error copying node name" when memory runs out
 *  \return a new string list (tk_StringListDelete); null for an empty list, or with a report */
PM_API tk_StringList *pm_FileGetList(pm_File *list, tk_ErrorReport **slot);
/** The names of the PFA files of a list, in list order.
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error copying node name" when memory runs out
 *  \return a new string list (tk_StringListDelete); null for an empty list, or with a report */
PM_API tk_StringList *pm_PFAFileGetList(pm_PFAFile *list, tk_ErrorReport **slot);

/** The tile of a list that bears a name (exact, case-sensitive).
 *  \param list any tile of the list, or null; the list is taken from its first element
 *  \param name the name to look for
 *  \return the tile, owned by its list; null when none matches */
PM_API pm_Tile *pm_TileFind(pm_Tile *list, const char *name);
/** The sample of a list that bears a name (exact, case-sensitive).
 *  \param list any sample of the list, or null; the list is taken from its first element
 *  \param name the name to look for
 *  \return the sample, owned by its list; null when none matches */
PM_API pm_Sample *pm_SampleFind(pm_Sample *list, const char *name);
/** The data file of a list that has a file type (exact, case-sensitive).
 *  \param list any data file of the list, or null; the list is taken from its first element
 *  \param type the file type to look for
 *  \return the data file, owned by its list; null when none matches */
PM_API pm_File *pm_FileFind(pm_File *list, const char *type);
/** The PFA file of a list that bears a name (exact, case-sensitive).
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \param name the name to look for
 *  \return the PFA file, owned by its list; null when none matches */
PM_API pm_PFAFile *pm_PFAFileFind(pm_PFAFile *list, const char *name);
/** The process of a list that bears a name (exact, case-sensitive).
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \param name the name to look for
 *  \return the process, owned by its list; null when none matches */
PM_API pm_Process *pm_ProcessFind(pm_Process *list, const char *name);
/** The argument of a list that bears a name (exact, case-sensitive).
 *  \param list any argument of the list, or null; the list is taken from its first element
 *  \param name the name to look for
 *  \return the argument, owned by its list; null when none matches */
PM_API pm_Argument *pm_ArgumentFind(pm_Argument *list, const char *name);

/** The tile at a place of a list.
 *  \param list any tile of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the tile, owned by its list; null when out of range */
PM_API pm_Tile *pm_TileFindByNumber(pm_Tile *list, int number);
/** The sample at a place of a list.
 *  \param list any sample of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the sample, owned by its list; null when out of range */
PM_API pm_Sample *pm_SampleFindByNumber(pm_Sample *list, int number);
/** The data file at a place of a list.
 *  \param list any data file of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the data file, owned by its list; null when out of range */
PM_API pm_File *pm_FileFindByNumber(pm_File *list, int number);
/** The PFA file at a place of a list.
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the PFA file, owned by its list; null when out of range */
PM_API pm_PFAFile *pm_PFAFileFindByNumber(pm_PFAFile *list, int number);
/** The process at a place of a list.
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the process, owned by its list; null when out of range */
PM_API pm_Process *pm_ProcessFindByNumber(pm_Process *list, int number);
/** The argument at a place of a list.
 *  \param list any argument of the list, or null; the list is taken from its first element
 *  \param number 1-based place
 *  \return the argument, owned by its list; null when out of range */
PM_API pm_Argument *pm_ArgumentFindByNumber(pm_Argument *list, int number);

/** The length of the list a tile is in.
 *  \param node any tile of the list, or null
 *  \return the number of tiles in the list; 0 for null */
PM_API int pm_TileGetNumber(pm_Tile *node);
/** The length of the list a sample is in.
 *  \param node any sample of the list, or null
 *  \return the number of samples in the list; 0 for null */
PM_API int pm_SampleGetNumber(pm_Sample *node);
/** The length of the list a data file is in.
 *  \param node any data file of the list, or null
 *  \return the number of data files in the list; 0 for null */
PM_API int pm_FileGetNumber(pm_File *node);
/** The length of the list a PFA file is in.
 *  \param node any PFA file of the list, or null
 *  \return the number of PFA files in the list; 0 for null */
PM_API int pm_PFAFileGetNumber(pm_PFAFile *node);
/** The length of the list a process is in.
 *  \param node any process of the list, or null
 *  \return the number of processes in the list; 0 for null */
PM_API int pm_ProcessGetNumber(pm_Process *node);
/** The length of the list a argument is in.
 *  \param node any argument of the list, or null
 *  \return the number of arguments in the list; 0 for null */
PM_API int pm_ArgumentGetNumber(pm_Argument *node);

/** The place of a tile in its list.
 *  \param node the tile, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_TileGetPosition(pm_Tile *node);
/** The place of a sample in its list.
 *  \param node the sample, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_SampleGetPosition(pm_Sample *node);
/** The place of a data file in its list.
 *  \param node the data file, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_FileGetPosition(pm_File *node);
/** The place of a PFA file in its list.
 *  \param node the PFA file, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_PFAFileGetPosition(pm_PFAFile *node);
/** The place of a process in its list.
 *  \param node the process, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_ProcessGetPosition(pm_Process *node);
/** The place of a argument in its list.
 *  \param node the argument, or null
 *  \return 1-based place; 0 for null */
PM_API int pm_ArgumentGetPosition(pm_Argument *node);

/** Sorts the project's tiles by name, bytes compared, in n log n: a stable sort, nameless first. Marks
 *  changed each tile that some later tile sorts strictly before (the tiles a bubble sort would move
 *  back). Stores the new first tile in the project.
 *  \param project the project
 *  \return the new first tile; null for null or an empty list */
PM_API pm_Tile *pm_ProjectSortTiles(pm_Project *project);
/** Sorts the tile's samples by name, bytes compared, in n log n: a stable sort, nameless first. Marks
 *  changed each sample that some later sample sorts strictly before. Stores the new first sample in
 *  the tile.
 *  \param tile the tile
 *  \return the new first sample; null for null or an empty list */
PM_API pm_Sample *pm_TileSortSamples(pm_Tile *tile);

/** Unlinks the tile from its list and marks its project changed; the owner's list pointer is updated.
 *  The tile is now the caller's (pm_TileDestroy).
 *  \param node the tile, or null
 *  \return the first tile left in the list; null when none is left */
PM_API pm_Tile *pm_TileRemove(pm_Tile *node);
/** Unlinks the sample from its list and marks its tile changed; the owner's list pointer is updated.
 *  The sample is now the caller's (pm_SampleDestroy).
 *  \param node the sample, or null
 *  \return the first sample left in the list; null when none is left */
PM_API pm_Sample *pm_SampleRemove(pm_Sample *node);
/** Unlinks the data file from its list and marks its project, tile or sample changed; the owner's list
 *  pointer is updated. The data file is now the caller's (pm_FileDestroy).
 *  \param node the data file, or null
 *  \return the first data file left in the list; null when none is left */
PM_API pm_File *pm_FileRemove(pm_File *node);
/** Unlinks the PFA file from its list (now the caller's: pm_PFAFileDestroy). Marks nothing: a host that
 *  keeps the PFA root's lists marks the project with pm_ProcFilesChanged.
 *  \param node the PFA file, or null
 *  \return the first PFA file left in the list, null when none is left; store it where the list was
 *          held (a level list of the PFA root) */
PM_API pm_PFAFile *pm_PFAFileRemove(pm_PFAFile *node);
/** Unlinks the process from its list (now the caller's: pm_ProcessDestroy). Marks nothing: mark the
 *  project with pm_ProjectChanged.
 *  \param node the process, or null
 *  \return the first process left in the list, null when none is left; store it where the list was held
 *          (a level list of the process lists) */
PM_API pm_Process *pm_ProcessRemove(pm_Process *node);
/** Unlinks the argument, keeping its process's argument list valid (now the caller's:
 *  pm_ArgumentDestroy). Marks nothing: pm_ArgumentDestroy marks the process, or mark it with
 *  pm_ProcessChanged.
 *  \param node the argument, or null
 *  \return the first argument left in the list; null when none is left */
PM_API pm_Argument *pm_ArgumentRemove(pm_Argument *node);

/** Renames the tile and marks it changed. When the name is in use: "Error changing tile name to %s"
 *  over "Name "%s" already in use, please use another name". The node's own name counts as in use, so
 *  renaming a node to its own name is refused.
 *  \param tile the tile
 *  \param name the new name (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when renamed; 0 for null or with a report */
PM_API int pm_TileSetName(pm_Tile *tile, const char *name, tk_ErrorReport **slot);
/** Renames the sample and marks it changed. When the name is in use: "Error changing sample name to %s"
 *  over "Name "%s" already in use, please use another name". The node's own name counts as in use, so
 *  renaming a node to its own name is refused.
 *  \param sample the sample
 *  \param name the new name (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when renamed; 0 for null or with a report */
PM_API int pm_SampleSetName(pm_Sample *sample, const char *name, tk_ErrorReport **slot);
/** Renames the PFA file and marks it changed. When the name is in use: "Error changing PFA file name to
 *  %s" over "Name "%s" already in use, please use another name". The node's own name counts as in use,
 *  so renaming a node to its own name is refused.
 *  \param pfa the PFA file
 *  \param name the new name (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when renamed; 0 for null or with a report */
PM_API int pm_PFAFileSetName(pm_PFAFile *pfa, const char *name, tk_ErrorReport **slot);
/** Renames the process and marks it changed. When the name is in use: "Error changing process name to
 *  %s" over "Name "%s" already in use, please use another name". The node's own name counts as in use,
 *  so renaming a node to its own name is refused.
 *  \param process the process
 *  \param name the new name (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when renamed; 0 for null or with a report */
PM_API int pm_ProcessSetName(pm_Process *process, const char *name, tk_ErrorReport **slot);
/** Renames the argument and marks it changed. When the name is in use: "Error changing argument name to
 *  %s" over "Name "%s" already in use, please use another name". The node's own name counts as in use,
 *  so renaming a node to its own name is refused.
 *  \param argument the argument
 *  \param name the new name (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when renamed; 0 for null or with a report */
PM_API int pm_ArgumentSetName(pm_Argument *argument, const char *name, tk_ErrorReport **slot);
/** Changes the data file's file type and marks it changed. When the name is in use: "Error changing
 *  file type to %s" over "Name "%s" already in use, please use another name". The node's own name
 *  counts as in use, so renaming a node to its own name is refused.
 *  \param file the data file
 *  \param type the new file type (copied)
 *  \param slot report slot (see the conventions)
 *  \return 1 when changed; 0 for null or with a report */
PM_API int pm_FileSetType(pm_File *file, const char *type, tk_ErrorReport **slot);

/* ---- Change tracking --------------------------------------------------------
 * Dirty: 1 when changed and not saved. Changed: {1,0}. Unchanged: {0,0}.
 * Saved: saved = 1. List forms walk from the first element. */

/** Whether the tile itself is dirty (changed and not saved).
 *  \param node the tile, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_TileDirty(pm_Tile *node);
/** Whether the sample itself is dirty (changed and not saved).
 *  \param node the sample, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_SampleDirty(pm_Sample *node);
/** Whether the data file itself is dirty (changed and not saved).
 *  \param node the data file, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_FileDirty(pm_File *node);
/** Whether the PFA file itself is dirty (changed and not saved).
 *  \param node the PFA file, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_PFAFileDirty(pm_PFAFile *node);
/** Whether the process itself is dirty (changed and not saved).
 *  \param node the process, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_ProcessDirty(pm_Process *node);
/** Whether the argument itself is dirty (changed and not saved).
 *  \param node the argument, or null
 *  \return 1 when dirty, else 0 (also for null) */
PM_API int pm_ArgumentDirty(pm_Argument *node);

/** Marks the project's own record changed, so that pm_ProjectDirty answers 1: the way a host marks the
 *  project after an edit that marks nothing itself (see the conventions).
 *  \param node the project, or null (ignored) */
PM_API void pm_ProjectChanged(pm_Project *node);
/** Marks the tile changed (changed 1, saved 0).
 *  \param node the tile, or null (ignored) */
PM_API void pm_TileChanged(pm_Tile *node);
/** Marks the sample changed (changed 1, saved 0).
 *  \param node the sample, or null (ignored) */
PM_API void pm_SampleChanged(pm_Sample *node);
/** Marks the data file changed (changed 1, saved 0).
 *  \param node the data file, or null (ignored) */
PM_API void pm_FileChanged(pm_File *node);
/** Marks the PFA file changed (changed 1, saved 0).
 *  \param node the PFA file, or null (ignored) */
PM_API void pm_PFAFileChanged(pm_PFAFile *node);
/** Marks the process changed (changed 1, saved 0).
 *  \param node the process, or null (ignored) */
PM_API void pm_ProcessChanged(pm_Process *node);
/** Marks the argument changed (changed 1, saved 0).
 *  \param node the argument, or null (ignored) */
PM_API void pm_ArgumentChanged(pm_Argument *node);

/** Clears the tile's change state (changed 0, saved 0).
 *  \param node the tile, or null (ignored) */
PM_API void pm_TileUnchanged(pm_Tile *node);
/** Clears the sample's change state (changed 0, saved 0).
 *  \param node the sample, or null (ignored) */
PM_API void pm_SampleUnchanged(pm_Sample *node);
/** Clears the data file's change state (changed 0, saved 0).
 *  \param node the data file, or null (ignored) */
PM_API void pm_FileUnchanged(pm_File *node);
/** Clears the PFA file's change state (changed 0, saved 0).
 *  \param node the PFA file, or null (ignored) */
PM_API void pm_PFAFileUnchanged(pm_PFAFile *node);
/** Clears the process's change state (changed 0, saved 0).
 *  \param node the process, or null (ignored) */
PM_API void pm_ProcessUnchanged(pm_Process *node);
/** Clears the argument's change state (changed 0, saved 0).
 *  \param node the argument, or null (ignored) */
PM_API void pm_ArgumentUnchanged(pm_Argument *node);

/** Marks the tile saved (saved 1).
 *  \param node the tile, or null (ignored) */
PM_API void pm_TileSaved(pm_Tile *node);
/** Marks the sample saved (saved 1).
 *  \param node the sample, or null (ignored) */
PM_API void pm_SampleSaved(pm_Sample *node);
/** Marks the data file saved (saved 1).
 *  \param node the data file, or null (ignored) */
PM_API void pm_FileSaved(pm_File *node);
/** Marks the PFA file saved (saved 1).
 *  \param node the PFA file, or null (ignored) */
PM_API void pm_PFAFileSaved(pm_PFAFile *node);
/** Marks the argument saved (saved 1).
 *  \param node the argument, or null (ignored) */
PM_API void pm_ArgumentSaved(pm_Argument *node);
/** Marks the process and every one of its arguments saved.
 *  \param process the process, or null (ignored) */
PM_API void pm_ProcessSaved(pm_Process *process);
/** Marks the project record and its PFA root saved; tiles, samples, data files and processes are not
 *  touched.
 *  \param project the project, or null (ignored) */
PM_API void pm_ProjectSaved(pm_Project *project);

/** Whether any tile of a list, or any of their samples or data files, is dirty.
 *  \param list any tile of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_TileListDirty(pm_Tile *list);
/** Whether any sample of a list, or any of their data files, is dirty.
 *  \param list any sample of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_SampleListDirty(pm_Sample *list);
/** Whether any data file of a list is dirty.
 *  \param list any data file of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_FileListDirty(pm_File *list);
/** Whether any PFA file of a list is dirty.
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_PFAFileListDirty(pm_PFAFile *list);
/** Whether any process of a list, or any of their arguments, is dirty.
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_ProcessListDirty(pm_Process *list);
/** Whether any argument of a list is dirty.
 *  \param list any argument of the list, or null; the list is taken from its first element
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_ArgumentListDirty(pm_Argument *list);

/** Clears the change state of every tile of a list and of their samples and data files.
 *  \param list any tile of the list, or null; the list is taken from its first element */
PM_API void pm_TileListUnchanged(pm_Tile *list);
/** Clears the change state of every sample of a list and of their data files.
 *  \param list any sample of the list, or null; the list is taken from its first element */
PM_API void pm_SampleListUnchanged(pm_Sample *list);
/** Clears the change state of every data file of a list.
 *  \param list any data file of the list, or null; the list is taken from its first element */
PM_API void pm_FileListUnchanged(pm_File *list);
/** Clears the change state of every PFA file of a list.
 *  \param list any PFA file of the list, or null; the list is taken from its first element */
PM_API void pm_PFAFileListUnchanged(pm_PFAFile *list);
/** Clears the change state of every process of a list and of their arguments.
 *  \param list any process of the list, or null; the list is taken from its first element */
PM_API void pm_ProcessListUnchanged(pm_Process *list);
/** Clears the change state of every argument of a list.
 *  \param list any argument of the list, or null; the list is taken from its first element */
PM_API void pm_ArgumentListUnchanged(pm_Argument *list);

/** Whether a process or argument of any level is dirty.
 *  \param lists the process lists, or null
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_ProcessListsDirty(pm_ProcessLists *lists);
/** Clears the change state of every process and argument of all levels.
 *  \param lists the process lists, or null (ignored) */
PM_API void pm_ProcessListsUnchanged(pm_ProcessLists *lists);
/** Marks the PFA root's own record changed. PFA file edits count towards pm_ProjectDirty only while it
 *  is: call this after adding, changing, removing or destroying PFA files of the project.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesChanged(pm_ProcFiles *root);
/** Marks the PFA root's own record saved.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesSaved(pm_ProcFiles *root);
/** Whether the PFA root needs saving: only when its own record is dirty and a level list holds a dirty
 *  PFA file.
 *  \param root the PFA root, or null
 *  \return 1 when both hold, else 0 */
PM_API int pm_ProcFilesDirty(pm_ProcFiles *root);
/** Clears the change state of the PFA root record and of every PFA file of all levels.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesUnchanged(pm_ProcFiles *root);
/** Whether anything of the project needs saving: its record, tiles, samples, data files, PFA root
 *  (pm_ProcFilesDirty) or processes and arguments. Edits that mark nothing are listed in the
 *  conventions.
 *  \param project the project, or null
 *  \return 1 when something is dirty, else 0 */
PM_API int pm_ProjectDirty(pm_Project *project);
/** Clears the change state of the project and everything it holds.
 *  \param project the project, or null (ignored) */
PM_API void pm_ProjectUnchanged(pm_Project *project);

/* ---- Project, tiles, samples --------------------------------------------- */

/** A new empty project with an empty PFA root and empty process lists.
 *  \return the project (pm_ProjectDestroy); null when out of memory */
PM_API pm_Project *pm_ProjectCreate(void);
/** Sets the project's fields to their empty defaults without freeing anything.
 *  \param project the project, or null (ignored) */
PM_API void pm_ProjectInitialize(pm_Project *project);
/** Frees the project's tiles, data files and names and empties its PFA root and process lists; the
 *  settings and the emptied containers stay.
 *  \param project the project, or null (ignored) */
PM_API void pm_ProjectClear(pm_Project *project);
/** Frees the project and everything reachable from it.
 *  \param project the project, or null (ignored) */
PM_API void pm_ProjectDestroy(pm_Project *project);
/** A new detached tile.
 *  \param name the tile's name (copied); a nameless tile is never appended (see the conventions)
 *  \return the tile (pm_TileDestroy); null when out of memory */
PM_API pm_Tile *pm_TileCreate(const char *name);
/** Sets the tile's fields to their empty defaults without freeing anything.
 *  \param tile the tile, or null (ignored) */
PM_API void pm_TileInitialize(pm_Tile *tile);
/** Frees what the tile holds and leaves it empty; the record itself stays.
 *  \param tile the tile, or null (ignored) */
PM_API void pm_TileClear(pm_Tile *tile);
/** Unlinks the tile and frees it with everything it holds; like pm_TileRemove it marks the owner
 *  changed.
 *  \param tile the tile, or null
 *  \return the first tile left in its list; null when none is left */
PM_API pm_Tile *pm_TileDestroy(pm_Tile *tile);
/** Frees every tile of the list the given one is in.
 *  \param list any tile of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_Tile *pm_TileDestroyList(pm_Tile *list);
/** A new detached sample.
 *  \param name the sample's name (copied); a nameless sample is never appended (see the conventions)
 *  \return the sample (pm_SampleDestroy); null when out of memory */
PM_API pm_Sample *pm_SampleCreate(const char *name);
/** Sets the sample's fields to their empty defaults without freeing anything.
 *  \param sample the sample, or null (ignored) */
PM_API void pm_SampleInitialize(pm_Sample *sample);
/** Frees what the sample holds and leaves it empty; the record itself stays.
 *  \param sample the sample, or null (ignored) */
PM_API void pm_SampleClear(pm_Sample *sample);
/** Unlinks the sample and frees it with everything it holds; like pm_SampleRemove it marks the owner
 *  changed.
 *  \param sample the sample, or null
 *  \return the first sample left in its list; null when none is left */
PM_API pm_Sample *pm_SampleDestroy(pm_Sample *sample);
/** Frees every sample of the list the given one is in.
 *  \param list any sample of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_Sample *pm_SampleDestroyList(pm_Sample *list);

/** Appends the tile to the project's tiles; "Cannot append tile %s to project node" when its name is in
 *  use. The node is taken over on success; when refused it stays detached and the caller still owns it.
 *  A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param project the project; null does nothing
 *  \param tile a detached tile; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_ProjectAppendTile(pm_Project *project, pm_Tile *tile, tk_ErrorReport **slot);
/** Appends the sample to the tile's samples; "Cannot append sample %s to tile %s" when its name is in
 *  use. The node is taken over on success; when refused it stays detached and the caller still owns it.
 *  A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param tile the tile; null does nothing
 *  \param sample a detached sample; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_TileAppendSample(pm_Tile *tile, pm_Sample *sample, tk_ErrorReport **slot);
/** Appends the data file to the project's data files; "Cannot add file to project node" when its file
 *  type is in use. The node is taken over on success; when refused it stays detached and the caller
 *  still owns it. A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param project the project; null does nothing
 *  \param file a detached data file; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_ProjectAppendFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
/** Appends the data file to the tile's data files; "Error adding file %s to tile %s" when its file type
 *  is in use. The node is taken over on success; when refused it stays detached and the caller still
 *  owns it. A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param tile the tile; null does nothing
 *  \param file a detached data file; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_TileAppendFile(pm_Tile *tile, pm_File *file, tk_ErrorReport **slot);
/** Appends the data file to the sample's data files; "Error adding file %s to sample %s" when its file
 *  type is in use. The node is taken over on success; when refused it stays detached and the caller
 *  still owns it. A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param sample the sample; null does nothing
 *  \param file a detached data file; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_SampleAppendFile(pm_Sample *sample, pm_File *file, tk_ErrorReport **slot);
/** Appends the data file to a project, tile or sample, as the Append functions above do.
 *  \param parent the project, tile or sample; any other record is refused without a report
 *  \param file a detached data file
 *  \param slot report slot (see the conventions); "Cannot append file to parent node" over the append's
 *         reports
 *  \return 0 on success; non-zero when refused */
PM_API int pm_ParentAppendFile(void *parent, pm_File *file, tk_ErrorReport **slot);

/** A tile name "<base><n>" that no tile of the project bears.
 *  \param project the project; null gives null without a report
 *  \param base the name's beginning
 *  \param slot report slot (see the conventions); "Cannot find a new tile name"
 *  \return a new text (tk_HeapFree); null with a report on failure */
PM_API char *pm_ProjectGetNewTileName(pm_Project *project, const char *base, tk_ErrorReport **slot);
/** A sample name "<base><n>" that no sample of the tile bears.
 *  \param tile the tile; null gives null without a report
 *  \param base the name's beginning
 *  \param slot report slot (see the conventions); "Cannot find a new sample name"
 *  \return a new text (tk_HeapFree); null with a report on failure */
PM_API char *pm_TileGetNewSampleName(pm_Tile *tile, const char *base, tk_ErrorReport **slot);

/** The project type (0 Single_Sampling, 1 Double_Sampling).
 *  \param project the project
 *  \return the type; 0 for null */
PM_API pm_ProjectType pm_ProjectGetType(pm_Project *project);
/** Stores the project type and marks the project changed.
 *  \param project the project
 *  \param value the type (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ProjectSetType(pm_Project *project, pm_ProjectType value);
/** Whether dot-grid analysis is enabled.
 *  \param project the project
 *  \return 0 Disabled, 1 Enabled; 0 for null */
PM_API pm_AnalysisSwitch pm_ProjectGetUseDotGrid(pm_Project *project);
/** Stores the dot-grid switch and marks the project changed.
 *  \param project the project
 *  \param value 0 Disabled, 1 Enabled (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ProjectSetUseDotGrid(pm_Project *project, pm_AnalysisSwitch value);
/** Whether polygon-tool analysis is enabled.
 *  \param project the project
 *  \return 0 Disabled, 1 Enabled; 0 for null */
PM_API pm_AnalysisSwitch pm_ProjectGetUsePolyTool(pm_Project *project);
/** Stores the polygon-tool switch and marks the project changed.
 *  \param project the project
 *  \param value 0 Disabled, 1 Enabled (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ProjectSetUsePolyTool(pm_Project *project, pm_AnalysisSwitch value);
/** The tile's selection flag.
 *  \param tile the tile
 *  \return 0 Manual, 1 Automatic; 0 for null */
PM_API pm_Selection pm_TileGetAutomatic(pm_Tile *tile);
/** Stores the tile's selection flag. It is saved with the tile but marks nothing: mark the project with
 *  pm_ProjectChanged.
 *  \param tile the tile, or null (ignored)
 *  \param value 0 Manual, 1 Automatic (not validated) */
PM_API void pm_TileSetAutomatic(pm_Tile *tile, pm_Selection value);
/** The sample's selection flag.
 *  \param sample the sample
 *  \return 0 Manual, 1 Automatic; 0 for null */
PM_API pm_Selection pm_SampleGetAutomatic(pm_Sample *sample);
/** Stores the sample's selection flag. It is saved with the sample but marks nothing: mark the project
 *  with pm_ProjectChanged.
 *  \param sample the sample, or null (ignored)
 *  \param value 0 Manual, 1 Automatic (not validated) */
PM_API void pm_SampleSetAutomatic(pm_Sample *sample, pm_Selection value);

/** Counts the project, its tiles and their samples.
 *  \param project the project
 *  \return 1 + tiles + samples; 0 for null */
PM_API int pm_ProjectGetTotalNodes(pm_Project *project);
/** Counts the samples over all tiles of the project.
 *  \param project the project
 *  \return the count; 0 for null */
PM_API int pm_ProjectGetTotalSamples(pm_Project *project);

/** Installs a PFA root and process lists in the project, taking them over and destroying the ones they
 *  replace; passing the containers the project already holds keeps them. Until this call the level
 *  lists of containers the host built are the host's to write.
 *  \param project the project; null takes nothing (the caller keeps both)
 *  \param root the new PFA root
 *  \param lists the new process lists */
PM_API void pm_ProjectTypesApply(pm_Project *project, pm_ProcFiles *root, pm_ProcessLists *lists);
/** The process list of a level.
 *  \param project the project
 *  \param level the level: 0 project, 1 tiles, 2 samples
 *  \return the first process of the level's list, owned by the project; null for null, an empty list or
 *          another level */
PM_API pm_Process *pm_ProcessListGetByType(pm_Project *project, pm_Level level);
/** The PFA file list of a level.
 *  \param project the project
 *  \param level the level: 0 project, 1 tiles, 2 samples
 *  \return the first PFA file of the level's list, owned by the project; null for null, an empty list
 *          or another level */
PM_API pm_PFAFile *pm_PFAFileListGetByType(pm_Project *project, pm_Level level);

/* ---- Data files ---------------------------------------------------------------- */

/** A new detached data file; the texts are copied.
 *  \param type its file type (the node name); a data file without one is never appended
 *  \param descriptor the path of the file on disk (absolute; see the conventions), or null
 *  \param time the host's time value
 *  \param verified the host's verification text, or null
 *  \param comment a comment, or null
 *  \return the data file (pm_FileDestroy); null when out of memory */
PM_API pm_File *pm_FileCreate(const char *type, const char *descriptor, double time,
                              const char *verified, const char *comment);
/** Sets the data file's fields to their empty defaults without freeing anything.
 *  \param file the data file, or null (ignored) */
PM_API void pm_FileInitialize(pm_File *file);
/** Frees the data file's texts and leaves it empty; the record itself stays.
 *  \param file the data file, or null (ignored) */
PM_API void pm_FileClear(pm_File *file);
/** Unlinks and frees the data file.
 *  \param file the data file, or null
 *  \return the first data file left in its list; null when none is left */
PM_API pm_File *pm_FileDestroy(pm_File *file);
/** Frees every data file of the list the given one is in.
 *  \param list any data file of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_File *pm_FileDestroyList(pm_File *list);
/** The data file's descriptor.
 *  \param file the data file
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_FileGetDescriptor(pm_File *file);
/** Stores a copy of the descriptor and marks the data file changed.
 *  \param file the data file
 *  \param descriptor the new descriptor, or null
 *  \return 1; 0 for null */
PM_API int pm_FileSetDescriptor(pm_File *file, const char *descriptor);
/** The data file's time value.
 *  \param file the data file
 *  \return the value; 0 for null */
PM_API double pm_FileGetDate(pm_File *file);
/** Stores the time value and marks the data file changed.
 *  \param file the data file
 *  \param time the new value
 *  \return 1; 0 for null */
PM_API int pm_FileSetDate(pm_File *file, double time);
/** The data file's verified text.
 *  \param file the data file
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_FileGetVerified(pm_File *file);
/** Stores a copy of the verified text and marks the data file changed.
 *  \param file the data file
 *  \param text the new verified text, or null
 *  \return 1; 0 for null */
PM_API int pm_FileSetVerified(pm_File *file, const char *text);
/** The data file's comment.
 *  \param file the data file
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_FileGetComment(pm_File *file);
/** Stores a copy of the comment and marks the data file changed.
 *  \param file the data file
 *  \param text the new comment, or null
 *  \return 1; 0 for null */
PM_API int pm_FileSetComment(pm_File *file, const char *text);
/** The node kind of the data file's owner.
 *  \param file the data file
 *  \param slot report slot (see the conventions); "No file to check" for null, "No parent to check" for
 *         a detached file
 *  \return PM_KIND_PROJECT, PM_KIND_TILE or PM_KIND_SAMPLE; PM_KIND_NONE (-1) with a report */
PM_API pm_NodeKind pm_FileGetParentType(pm_File *file, tk_ErrorReport **slot);
/** Whether the descriptor, taken as stored, names an existing file. Nothing is expanded: a "$" is an
 *  ordinary character, and a relative descriptor is taken against the current directory.
 *  \param file the data file; null or one without descriptor gives 0
 *  \param slot report slot (see the conventions); "Error check file existance for %s" when existence
 *         cannot be told
 *  \return non-zero when the file exists; 0 when not, or with a report */
PM_API int pm_FileDescriptorExists(pm_File *file, tk_ErrorReport **slot);

/* ---- Associations and list rebuilds ------------------------------------------ */

/** Makes the node's data files one per named PFA file of the list, in its order, keeping the matching
 *  ones (with their descriptors) and destroying the rest; "Out of memory creating file %s" or "Error
 *  adding file to parent".
 *  \param pfa_list any PFA file of the list, or null; the list is taken from its first element
 *  \param node the project, tile or sample
 *  \param slot report slot (see the conventions) */
PM_API void pm_SetFileListFromPFA(pm_PFAFile *pfa_list, void *node, tk_ErrorReport **slot);
/** The project's PFA file for a data file: the one of the data file's file type at its owner's level.
 *  \param project the project
 *  \param file a data file that has an owner
 *  \param slot report slot (see the conventions); "Cannot get type of parent node for file "%s"",
 *         "Cannot find correct PFA file list for this level", "Cannot find corresponding PFA File for
 *         "%s""
 *  \return the PFA file, owned by the project (not a copy); null with a report */
PM_API pm_PFAFile *pm_PFAFileFindFromFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
/** Makes the project's tiles exactly the named ones, in order. Existing tiles are kept (moved, with
 *  what they hold, marking nothing), missing ones are created with a data file per PFA file of level 1,
 *  and tiles not named are destroyed, which marks the project changed. A list that is only reordered
 *  therefore marks nothing (see the conventions). "Cannot set files for tile %s" or "Cannot append tile
 *  %s to project".
 *  \param project the project; null does nothing
 *  \param count how many names
 *  \param names the names; a null entry ends them early
 *  \param slot report slot (see the conventions) */
PM_API void pm_ProjectSetTileList(pm_Project *project, int count, const char *const *names,
                                  tk_ErrorReport **slot);
/** Makes the tile's samples exactly the named ones, in order. Existing samples are kept (moved, with
 *  what they hold, marking nothing), missing ones are created with a data file per PFA file of level 2,
 *  and samples not named are destroyed, which marks the tile changed. A list that is only reordered
 *  therefore marks nothing (see the conventions). "Cannot set files for sample %s" or "Cannot append
 *  sample %s to tile %s".
 *  \param tile the tile; null does nothing
 *  \param count how many names
 *  \param names the names; a null entry ends them early
 *  \param slot report slot (see the conventions) */
PM_API void pm_TileSetSampleList(pm_Tile *tile, int count, const char *const *names,
                                 tk_ErrorReport **slot);

/* ---- Processes and arguments ------------------------------------------------- */

/** A new detached process; the texts are copied.
 *  \param name its name
 *  \param title title shown to the user, or null
 *  \param params parameter file, or null
 *  \param labels label file, or null
 *  \param suffix file suffix, or null
 *  \param output 0 Request, 1 Generate
 *  \return the process (pm_ProcessDestroy); null when out of memory */
PM_API pm_Process *pm_ProcessCreate(const char *name, const char *title, const char *params,
                                    const char *labels, const char *suffix, pm_ProcessOutput output);
/** A new detached process with its arguments. The parameter and label files are joined to `directory`,
 *  which is created when missing.
 *  \param name its name
 *  \param title title shown to the user
 *  \param directory directory of the parameter and label files (variables expanded for the check)
 *  \param params parameter file name
 *  \param labels label file name
 *  \param suffix file suffix
 *  \param output 0 Request, 1 Generate
 *  \param slot report slot (see the conventions); "Error creating parameter file name" (no process),
 *         "Error adding argument to process" (the process is returned with the arguments before the
 *         refused one)
 *  \param ... groups of (const char *name, const char *value, int format, int mode, int hide) for the
 *         arguments, ended by a null name
 *  \return the process (pm_ProcessDestroy), also with a report when an argument was refused; null
 *          with a report when the parameter or label file name could not be made */
PM_API pm_Process *pm_ProcessVaCreate(const char *name, const char *title, const char *directory,
                                      const char *params, const char *labels, const char *suffix,
                                      pm_ProcessOutput output, tk_ErrorReport **slot, ...);
/** Sets the process's fields to their empty defaults without freeing anything.
 *  \param process the process, or null (ignored) */
PM_API void pm_ProcessInitialize(pm_Process *process);
/** Frees the process's texts and arguments and leaves it empty; the record itself stays.
 *  \param process the process, or null (ignored) */
PM_API void pm_ProcessClear(pm_Process *process);
/** Unlinks and frees the process with its arguments. Marks nothing: mark the project with
 *  pm_ProjectChanged.
 *  \param process the process, or null
 *  \return the first process left in its list, null when none is left; store it where the list was held */
PM_API pm_Process *pm_ProcessDestroy(pm_Process *process);
/** Frees every process of the list the given one is in.
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_Process *pm_ProcessDestroyList(pm_Process *list);
/** A new detached argument; the texts are copied.
 *  \param name its name
 *  \param value the name of the PFA file it stands for, or null
 *  \param type the format of the files it takes (PM_RASTER ... PM_AOI)
 *  \param mode PM_STRICT_INPUT ... PM_EDITABLE_OUTPUT
 *  \param hide 0 Show, 1 Hide
 *  \return the argument (pm_ArgumentDestroy); null when out of memory */
PM_API pm_Argument *pm_ArgumentCreate(const char *name, const char *value, pm_PFAType type,
                                      pm_ArgumentMode mode, pm_ArgumentHide hide);
/** Sets the argument's fields to their empty defaults without freeing anything.
 *  \param argument the argument, or null (ignored) */
PM_API void pm_ArgumentInitialize(pm_Argument *argument);
/** Frees the argument's texts and leaves it empty; the record itself stays.
 *  \param argument the argument, or null (ignored) */
PM_API void pm_ArgumentClear(pm_Argument *argument);
/** Unlinks and frees the argument and marks its process changed.
 *  \param argument the argument, or null
 *  \return the first argument left in its list; null when none is left */
PM_API pm_Argument *pm_ArgumentDestroy(pm_Argument *argument);
/** Frees every argument of the list the given one is in.
 *  \param list any argument of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_Argument *pm_ArgumentDestroyList(pm_Argument *list);
/** Appends the argument to the process's arguments; "Error appending argument %s to process %s" when
 *  its name is in use. The node is taken over on success; when refused it stays detached and the caller
 *  still owns it. A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param process the process; null does nothing
 *  \param argument a detached argument; null does nothing
 *  \param slot report slot (see the conventions) */
PM_API void pm_ProcessAppendArgument(pm_Process *process, pm_Argument *argument, tk_ErrorReport **slot);
/** Appends the process to a process list the host holds; "Error appending process %s" when its name is
 *  in use. The node is taken over on success; when refused it stays detached and the caller still owns
 *  it. A node without a name is neither appended nor reported: it too stays the caller's.
 *  \param list any process of the list, or null to start one
 *  \param process a detached process
 *  \param slot report slot (see the conventions)
 *  \return the list's first element; store it */
PM_API pm_Process *pm_ProcessAppend(pm_Process *list, pm_Process *process, tk_ErrorReport **slot);
/** A detached copy of the argument.
 *  \param argument the argument
 *  \return the copy (pm_ArgumentDestroy); null for null or out of memory */
PM_API pm_Argument *pm_ArgumentCopy(pm_Argument *argument);
/** A parentless copy of a whole argument list.
 *  \param list any argument of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error appending copy of argument %s to list"
 *  \return the first copy (pm_ArgumentDestroyList); null for an empty list, or with a report */
PM_API pm_Argument *pm_ArgumentCopyList(pm_Argument *list, tk_ErrorReport **slot);
/** A detached copy of the process with its arguments.
 *  \param process the process
 *  \param slot report slot (see the conventions); "Error copying argument list for process %s"
 *  \return the copy (pm_ProcessDestroy); null for null, or with a report */
PM_API pm_Process *pm_ProcessCopy(pm_Process *process, tk_ErrorReport **slot);
/** A copy of a whole process list.
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Error copying process %s" or "Error appending copy
 *         of process %s to list"
 *  \return the first copy (pm_ProcessDestroyList); null for an empty list, or with a report */
PM_API pm_Process *pm_ProcessCopyList(pm_Process *list, tk_ErrorReport **slot);
/** The first argument, over all processes of a list in order, whose value equals a text.
 *  \param list any process of the list, or null; the list is taken from its first element
 *  \param value the value to look for
 *  \return the argument, owned by its process (not a copy); null when none matches */
PM_API pm_Argument *pm_ArgumentFindByValue(pm_Process *list, const char *value);

/** The process's title.
 *  \param process the process
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProcessGetTitle(pm_Process *process);
/** Stores a copy of the title and marks the process changed.
 *  \param process the process
 *  \param text the new title, or null
 *  \return 1; 0 for null */
PM_API int pm_ProcessSetTitle(pm_Process *process, const char *text);
/** The process's parameter file.
 *  \param process the process
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProcessGetParams(pm_Process *process);
/** Stores a copy of the parameter file and marks the process changed.
 *  \param process the process
 *  \param text the new parameter file, or null
 *  \return 1; 0 for null */
PM_API int pm_ProcessSetParams(pm_Process *process, const char *text);
/** The process's label file.
 *  \param process the process
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProcessGetLabels(pm_Process *process);
/** Stores a copy of the label file and marks the process changed.
 *  \param process the process
 *  \param text the new label file, or null
 *  \return 1; 0 for null */
PM_API int pm_ProcessSetLabels(pm_Process *process, const char *text);
/** The process's file suffix.
 *  \param process the process
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProcessGetSuffix(pm_Process *process);
/** Stores a copy of the file suffix and marks the process changed.
 *  \param process the process
 *  \param text the new file suffix, or null
 *  \return 1; 0 for null */
PM_API int pm_ProcessSetSuffix(pm_Process *process, const char *text);
/** The process's output flag.
 *  \param process the process
 *  \return 0 Request, 1 Generate; 0 for null */
PM_API pm_ProcessOutput pm_ProcessGetOutput(pm_Process *process);
/** Stores the output flag and marks the process changed.
 *  \param process the process
 *  \param value 0 Request, 1 Generate (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ProcessSetOutput(pm_Process *process, pm_ProcessOutput value);
/** The argument's value: the name of the PFA file it stands for.
 *  \param argument the argument
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ArgumentGetValue(pm_Argument *argument);
/** Stores a copy of the value and marks the argument changed.
 *  \param argument the argument
 *  \param value the new value, or null
 *  \return 1; 0 for null */
PM_API int pm_ArgumentSetValue(pm_Argument *argument, const char *value);
/** The format of the files the argument takes.
 *  \param argument the argument
 *  \return PM_RASTER ... PM_AOI; 0 for null */
PM_API pm_PFAType pm_ArgumentGetType(pm_Argument *argument);
/** Stores the format and marks the argument changed.
 *  \param argument the argument
 *  \param value PM_RASTER ... PM_AOI (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ArgumentSetType(pm_Argument *argument, pm_PFAType value);
/** The argument's mode.
 *  \param argument the argument
 *  \return PM_STRICT_INPUT ... PM_EDITABLE_OUTPUT; 0 for null */
PM_API pm_ArgumentMode pm_ArgumentGetMode(pm_Argument *argument);
/** Stores the mode and marks the argument changed.
 *  \param argument the argument
 *  \param value PM_STRICT_INPUT ... PM_EDITABLE_OUTPUT (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ArgumentSetMode(pm_Argument *argument, pm_ArgumentMode value);
/** The argument's hide flag.
 *  \param argument the argument
 *  \return 0 Show, 1 Hide; 0 for null */
PM_API pm_ArgumentHide pm_ArgumentGetHide(pm_Argument *argument);
/** Stores the hide flag and marks the argument changed.
 *  \param argument the argument
 *  \param value 0 Show, 1 Hide (not validated)
 *  \return 1; 0 for null */
PM_API int pm_ArgumentSetHide(pm_Argument *argument, pm_ArgumentHide value);

/* ---- Levels and PFA files ------------------------------------------------------ */

/** A new PFA root with empty level lists.
 *  \return the PFA root (pm_ProcFilesDestroy, or pm_ProjectTypesApply hands it to a project); null when
 *          out of memory */
PM_API pm_ProcFiles *pm_ProcFilesCreate(void);
/** Sets the PFA root to empty levels without freeing anything and marks it changed.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesInitialize(pm_ProcFiles *root);
/** Frees every PFA file of all levels and marks the root changed; the root itself stays.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesClear(pm_ProcFiles *root);
/** Frees the PFA root with all its PFA files.
 *  \param root the PFA root, or null (ignored) */
PM_API void pm_ProcFilesDestroy(pm_ProcFiles *root);
/** New empty process lists.
 *  \return the process lists (pm_ProcessListsDestroy, or pm_ProjectTypesApply hands them to a project);
 *          null when out of memory */
PM_API pm_ProcessLists *pm_ProcessListsCreate(void);
/** Sets the process lists to empty levels without freeing anything.
 *  \param lists the process lists, or null (ignored) */
PM_API void pm_ProcessListsInitialize(pm_ProcessLists *lists);
/** Frees every process of all levels; the container itself stays.
 *  \param lists the process lists, or null (ignored) */
PM_API void pm_ProcessListsClear(pm_ProcessLists *lists);
/** Frees the container with all its processes.
 *  \param lists the process lists, or null (ignored) */
PM_API void pm_ProcessListsDestroy(pm_ProcessLists *lists);
/** A new detached PFA file.
 *  \param name its name (copied): the file type of the data files it stands for
 *  \param type the format of those files (PM_RASTER ... PM_AOI)
 *  \return the PFA file (pm_PFAFileDestroy); null when out of memory */
PM_API pm_PFAFile *pm_PFAFileCreate(const char *name, pm_PFAType type);
/** Sets the PFA file's fields to their empty defaults without freeing anything.
 *  \param pfa the PFA file, or null (ignored) */
PM_API void pm_PFAFileInitialize(pm_PFAFile *pfa);
/** Frees what the PFA file holds and leaves it empty; the record itself stays.
 *  \param pfa the PFA file, or null (ignored) */
PM_API void pm_PFAFileClear(pm_PFAFile *pfa);
/** Unlinks and frees the PFA file. Marks nothing: call pm_ProcFilesChanged for a PFA file of the
 *  project.
 *  \param pfa the PFA file, or null
 *  \return the first PFA file left in its list, null when none is left; store it where the list was
 *          held */
PM_API pm_PFAFile *pm_PFAFileDestroy(pm_PFAFile *pfa);
/** Frees every PFA file of the list the given one is in.
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \return null */
PM_API pm_PFAFile *pm_PFAFileDestroyList(pm_PFAFile *list);
/** Appends the PFA file to a list the host holds; "Error appending pfa_file %s" when its name is in
 *  use. The new PFA file is marked changed, but a PFA root that is not marked itself
 *  (pm_ProcFilesChanged) keeps the project clean. The node is taken over on success; when refused it
 *  stays detached and the caller still owns it. A node without a name is neither appended nor reported:
 *  it too stays the caller's.
 *  \param list any PFA file of the list, or null to start one
 *  \param pfa a detached PFA file
 *  \param slot report slot (see the conventions)
 *  \return the list's first element; store it */
PM_API pm_PFAFile *pm_PFAFileAppend(pm_PFAFile *list, pm_PFAFile *pfa, tk_ErrorReport **slot);
/** The PFA file's format.
 *  \param pfa the PFA file
 *  \return PM_RASTER ... PM_AOI; 0 for null */
PM_API pm_PFAType pm_PFAFileGetType(pm_PFAFile *pfa);
/** Stores the format and marks the PFA file changed.
 *  \param pfa the PFA file
 *  \param type PM_RASTER ... PM_AOI (not validated)
 *  \return 1; 0 for null */
PM_API int pm_PFAFileSetType(pm_PFAFile *pfa, pm_PFAType type);
/** The name of the PFA file's format: "RASTER", "VECTOR", "TEXT", "ANNOTATION" or "AOI".
 *  \param pfa the PFA file
 *  \param slot report slot (see the conventions); "Error converting PFA File type for "%s" to a string"
 *         for a format outside 0..4
 *  \return a one-element string list (tk_StringListDelete); null for null, or with a report */
PM_API tk_StringList *pm_PFAFileGetTypeString(pm_PFAFile *pfa, tk_ErrorReport **slot);
/** The format named by an exact upper-case text ("RASTER" ... "AOI").
 *  \param text the name
 *  \param slot report slot (see the conventions); "Cannot match type string"%s"" when none matches
 *  \return PM_RASTER ... PM_AOI; PM_AOI (4) with a report when nothing matches */
PM_API pm_PFAType pm_PFATypeEvaluate(const char *text, tk_ErrorReport **slot);
/** Adds to a string list the names of the PFA files of a list that have a format.
 *  \param list the string list to extend; null starts one
 *  \param pfa_list any PFA file of the list, or null; the list is taken from its first element
 *  \param type the format (PM_RASTER ... PM_AOI)
 *  \param slot report slot (see the conventions); "Error creating PFA type list"
 *  \return `list` extended (tk_StringListDelete); null when nothing was added to a null list, or with a
 *          report */
PM_API tk_StringList *pm_PFAFileGetListByType(tk_StringList *list, pm_PFAFile *pfa_list,
                                              pm_PFAType type, tk_ErrorReport **slot);
/** A copy of a whole PFA file list.
 *  \param list any PFA file of the list, or null; the list is taken from its first element
 *  \param slot report slot (see the conventions); "Cannot append PFA file to list"
 *  \return the first copy (pm_PFAFileDestroyList); null for an empty list, or with a report */
PM_API pm_PFAFile *pm_PFAListCopy(pm_PFAFile *list, tk_ErrorReport **slot);
/** The lowest level whose PFA files name the argument's value.
 *  \param argument the argument
 *  \param root the PFA root to look in
 *  \param slot report slot (see the conventions); "Cannot find file type in any level"
 *  \return the level 0, 1 or 2; -1 with a report */
PM_API pm_Level pm_PFAFileFindLevel(pm_Argument *argument, pm_ProcFiles *root, tk_ErrorReport **slot);

/* ---- Readiness and command lines ------------------------------------------------ */

/** Whether the process may run at a node: every shown strict input (and, for the processes "finanal"
 *  and "unires", one optional input) has a data file whose descriptor names an existing file. Each
 *  input is looked for at the level whose PFA files name it: a level-0 input in the project's data
 *  files; a level-1 input in the tile, the sample's tile, or at the project in every tile (strict) or
 *  some tile (optional); a level-2 input in the sample, or in every (some) sample of the tile or of the
 *  whole project. Descriptors are tested as stored (pm_FileDescriptorExists).
 *  \param project the project
 *  \param process the process, of any level
 *  \param node the project, a tile or a sample (null stands for the project); at any other record
 *         level-1 and level-2 inputs are not checked
 *  \param slot report slot (see the conventions); empty when the process is merely not ready. "No
 *         process supplied", "No project supplied", "Error finding argument value" (an input names no
 *         PFA file of any level) and "Cannot check input file" (an existence test could not tell) say
 *         that readiness is unknown
 *  \return 1 when ready; 0 when not (empty slot) or with a report */
PM_API int pm_IsProcessReady(pm_Project *project, pm_Process *process, void *node, tk_ErrorReport **slot);
/** The argument part of the process's command line: "name $value" for each shown argument in order ("in
 *  $image out $result").
 *  \param process the process
 *  \param slot report slot (see the conventions); "No process", "Cannot copy argument name", "Cannot
 *         copy argument value"
 *  \return a new text (tk_HeapFree); null when no argument contributes, or with a report (then the line
 *          built so far, if any, is returned) */
PM_API char *pm_ProcessCommandLine(pm_Process *process, tk_ErrorReport **slot);
/** The node's data file that an argument of a named process stands for. The level selects only the
 *  process list; the file is looked up in the node's own data files and not tested on disk.
 *  \param project the project
 *  \param level the level of the process list: 0, 1 or 2
 *  \param process_name the process to look for
 *  \param argument_name its argument to look for
 *  \param node the project, tile or sample (null stands for the project)
 *  \param slot report slot (see the conventions); e.g. "Cannot find process list for level %d", "Cannot
 *         find required process "%s"", "Cannot find file "%s" for root node"
 *  \return the data file, owned by its node (not a copy, not freed); null with a report */
PM_API pm_File *pm_FileGetFromProcessArg(pm_Project *project, pm_Level level, const char *process_name,
                                         const char *argument_name, void *node, tk_ErrorReport **slot);
/** The label file of a named process of a level.
 *  \param project the project
 *  \param level the level: 0, 1 or 2
 *  \param process_name the process to look for
 *  \param slot report slot (see the conventions); "No project supplied", "Cannot find process list for
 *         level %d" or "Cannot find required process "%s""
 *  \return a copy (tk_HeapFree); null when the process has none, or with a report */
PM_API char *pm_LabelFileGetFromProcess(pm_Project *project, pm_Level level, const char *process_name,
                                        tk_ErrorReport **slot);

/* ---- Paths ------------------------------------------------------------------------ */

/** Checks a directory (variables expanded, see tk_StringExpand) and creates it, one level, when
 *  missing. The outcome is only in the slot.
 *  \param directory the directory
 *  \param slot report slot (see the conventions); e.g. "Error expanding project manager directory
 *         name." (severity 2), "Cannot create project manager directory: %s", "Project Manager
 *         directory %s exists as a file" */
PM_API void pm_DirectoryCreate(const char *directory, tk_ErrorReport **slot);
/** "directory/name" with exactly one "/" between, after checking the directory as pm_DirectoryCreate
 *  does (a missing one is created).
 *  \param directory the directory, used as given
 *  \param name the name to join
 *  \param slot report slot (see the conventions); "Error verifying directory" or "Error creating
 *         directory name"
 *  \return a new text (tk_HeapFree); null for a null part, or with a report */
PM_API char *pm_DirectoryCat(const char *directory, const char *name, tk_ErrorReport **slot);
/** "directory/<name><suffix><extension>" for a data file of a format (.img, .shp, .txt, .ovr, .aoi),
 *  after checking the directory as pm_DirectoryCreate does.
 *  \param directory the directory
 *  \param name the base name
 *  \param suffix the suffix, e.g. a process's
 *  \param type the format, which gives the extension ("" outside 0..4)
 *  \param slot report slot (see the conventions); "Error verifying directory"
 *  \return a new text (tk_HeapFree); null for a null part, or with a report */
PM_API char *pm_DescriptorStringCat(const char *directory, const char *name, const char *suffix,
                                    pm_PFAType type, tk_ErrorReport **slot);
/** The name as "$PROJECT/rest" when it lies under the directory, as a project file stores it; other
 *  names unchanged.
 *  \param directory the project directory
 *  \param filename an absolute name
 *  \param slot report slot (see the conventions); "Error creating local name"
 *  \return a new text (tk_HeapFree); null with a report */
PM_API char *pm_FilenameLocalise(const char *directory, const char *filename, tk_ErrorReport **slot);
/** A "$PROJECT/rest" name joined onto the directory, as a load does; other names unchanged (no other
 *  variable is expanded).
 *  \param directory the project directory
 *  \param filename the name as stored
 *  \param slot report slot (see the conventions); "Error creating local name"
 *  \return a new text (tk_HeapFree); null with a report */
PM_API char *pm_FilenameExpand(const char *directory, const char *filename, tk_ErrorReport **slot);

/* ---- Project file name -------------------------------------------------------------- */

/** Sets the project's file, directory, base and project names from a file name.
 *  \param project the project
 *  \param filename the project file's name
 *  \param slot report slot (see the conventions); e.g. "Error expanding project file name %s"
 *  \return 1 on success; 0 with a report */
PM_API int pm_ProjectSetFilename(pm_Project *project, const char *filename, tk_ErrorReport **slot);
/** The project file's absolute path.
 *  \param project the project
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProjectGetFilename(pm_Project *project);
/** The project directory: the one the project file lies in.
 *  \param project the project
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProjectGetDirname(pm_Project *project);
/** The project file's name without directory and extension.
 *  \param project the project
 *  \return a copy (tk_HeapFree); null for null or when unset */
PM_API char *pm_ProjectGetBasename(pm_Project *project);

/* ---- Load and save -------------------------------------------------------------------- */

/** Reads a project file into a new project; descriptors stored as "$PROJECT/..." become absolute.
 *  Creates nothing on disk; a file that does not load gives no project at all.
 *  \param filename the project file
 *  \param access handed to the toolkit unchanged; pass 0
 *  \param slot report slot (see the conventions); e.g. "Project Manager file does not exist", "Error
 *         opening QDX Project Manager file %s", "Error loading root node"
 *  \return the project, clean (pm_ProjectDestroy); null with a report */
PM_API pm_Project *pm_ProjectLoad(const char *filename, int32_t access, tk_ErrorReport **slot);
/** Writes the project to its own file and clears all change state. Names a project file cannot hold are
 *  refused here (see the conventions). On failure the change state is kept.
 *  \param project the project
 *  \param access handed to the toolkit unchanged; pass 0
 *  \param slot report slot (see the conventions); e.g. "Project Filename not set", "Error saving
 *         project information" */
PM_API void pm_ProjectSave(pm_Project *project, int32_t access, tk_ErrorReport **slot);
/** Writes the whole project into another file; the project keeps its own file name. A successful
 *  save-as marks what it wrote saved, so pm_ProjectDirty answers 0 although the project's own file is
 *  older: call pm_ProjectChanged afterwards when the project's own file must still be saved. On failure
 *  the change state is kept.
 *  \param project the project
 *  \param filename the file to write
 *  \param access handed to the toolkit unchanged; pass 0
 *  \param slot report slot (see the conventions); e.g. "No project to save", "Error saving root node" */
PM_API void pm_ProjectSaveAs(pm_Project *project, const char *filename, int32_t access,
                             tk_ErrorReport **slot);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_H */
