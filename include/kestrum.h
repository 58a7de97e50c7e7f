/**
 * \file kestrum.h
 * \brief The whole public interface of libkestrum.
 *
 *
 * kestrum keeps the model of an image-analysis project in memory and stores
 * it in a project file. A project holds tiles, a tile holds samples, and all
 * three hold data files; beside that tree the project holds a processing
 * model in three levels (0 the project, 1 the tiles, 2 the samples).
 *
 * Conventions that hold for every function (individual comments say only
 * what differs):
 *  1. Records are plain C structs that begin with the node header
 *     (pm_Node). Read them through the accessors; the fields are public so
 *     that hosts can walk lists cheaply, but edit them only through the API.
 *  2. Every text or string list a function returns is a new allocation that
 *     the caller frees: texts with tk_HeapFree, string lists with
 *     tk_StringListDelete. The one exception is pm_FileGetFromProcessArg,
 *     whose data-file record stays owned by its node.
 *  3. Every function that can fail takes a report slot (tk_ErrorReport **)
 *     last. It is cleared on entry; on failure it receives one report chain,
 *     outermost first, that the caller frees with tk_ErrorReportDelete. A
 *     null slot is allowed: the report is then discarded.
 *  4. Null handles never crash: getters give 0 or null, setters do nothing
 *     and return 0, marking operations are ignored.
 *  5. A project and everything reachable from it belongs to one thread at a
 *     time; different projects share nothing.
 *  6. Ownership: the host owns each project from pm_ProjectCreate or
 *     pm_ProjectLoad and frees it with pm_ProjectDestroy. An object owns what
 *     hangs below it. A detached object (created and not appended, or
 *     removed) belongs to whoever holds it and is freed with its Destroy.
 *  7. Lists are doubly linked through next/prev and held by a pointer to
 *     their first element. Operations that change a list return its first
 *     element. Removing a tile, sample or data file updates its owner's list
 *     pointer; for processes, arguments and PFA files in lists the host holds
 *     itself, store the returned list.
 */
#ifndef KESTRUM_H
#define KESTRUM_H

#include <stdint.h>
#include "toolkit.h"

#if defined(PM_BUILDING_KESTRUM)
#define PM_API __attribute__((visibility("default")))
#else
#define PM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Enumerations (32-bit signed integers; values are not validated) ---- */
typedef int32_t pm_NodeKind;     /* PM_KIND_* */
#define PM_KIND_PROJECT 0
#define PM_KIND_TILE 1
#define PM_KIND_SAMPLE 2
#define PM_KIND_NONE (-1)        /* data file, PFA file, process, argument */

typedef int32_t pm_ProjectType;  /* 0 Single_Sampling, 1 Double_Sampling */
typedef int32_t pm_AnalysisSwitch; /* 0 Disabled, 1 Enabled */
typedef int32_t pm_Selection;    /* 0 Manual, 1 Automatic */
typedef int32_t pm_PFAType;      /* 0 RASTER, 1 VECTOR, 2 TEXT, 3 ANNOTATION, 4 AOI */
#define PM_RASTER 0
#define PM_VECTOR 1
#define PM_TEXT 2
#define PM_ANNOTATION 3
#define PM_AOI 4
typedef int32_t pm_ArgumentMode; /* see PM_STRICT_INPUT ... */
#define PM_STRICT_INPUT 0
#define PM_STRICT_OUTPUT 1
#define PM_OPTIONAL_INPUT 2
#define PM_OPTIONAL_OUTPUT 3
#define PM_EDITABLE_OUTPUT 4
typedef int32_t pm_ArgumentHide; /* 0 Show, 1 Hide */
typedef int32_t pm_ProcessOutput; /* 0 Request, 1 Generate */
typedef int32_t pm_Level;        /* 0 project, 1 tiles, 2 samples */

/* ---- Records --------------------------------------------------------------- */

/** Change state: a record is dirty when changed is set and saved is clear. */
typedef struct pm_ChangeState {
  int32_t changed;  ///< 1 once the record was changed since it was last cleared
  int32_t saved;    ///< 1 once the changed record was written to the project file
} pm_ChangeState;

/** The header every node record begins with. */
typedef struct pm_Node pm_Node;
struct pm_Node {
  pm_Node *next;          ///< next node of the same list
  pm_Node *prev;          ///< previous node of the same list
  pm_NodeKind kind;       ///< set once at creation
  pm_Node *parent;        ///< the project, tile, sample or process holding it
  char *name;             ///< unique within its list; a data file's type
  pm_ChangeState *state;  ///< allocated and freed with the node
};

typedef struct pm_Project pm_Project;
typedef struct pm_Tile pm_Tile;
typedef struct pm_Sample pm_Sample;
typedef struct pm_File pm_File;
typedef struct pm_PFAFile pm_PFAFile;
typedef struct pm_Process pm_Process;
typedef struct pm_Argument pm_Argument;
typedef struct pm_ProcFiles pm_ProcFiles;
typedef struct pm_ProcessLists pm_ProcessLists;

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
  pm_PFAType type;                  ///< kind of file the association stands for
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
  pm_PFAType type;                  ///< kind of file it takes
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
/** Kind of any record (PM_KIND_*); 0 for a null node. */
PM_API pm_NodeKind pm_NodeGetType(const void *node);

/** Copy of the project's name (tk_HeapFree); null for a null or nameless project. */
PM_API char *pm_ProjectGetName(pm_Project *project);
/** Copy of the tile's name (tk_HeapFree); null for a null or nameless tile. */
PM_API char *pm_TileGetName(pm_Tile *tile);
/** Copy of the sample's name (tk_HeapFree); null for a null or nameless sample. */
PM_API char *pm_SampleGetName(pm_Sample *sample);
/** Copy of the PFA file's name (tk_HeapFree); null for a null or nameless PFA file. */
PM_API char *pm_PFAFileGetName(pm_PFAFile *pfa);
/** Copy of the process's name (tk_HeapFree); null for a null or nameless process. */
PM_API char *pm_ProcessGetName(pm_Process *process);
/** Copy of the argument's name (tk_HeapFree); null for a null or nameless argument. */
PM_API char *pm_ArgumentGetName(pm_Argument *argument);
/** Copy of the data file's type, its node name (tk_HeapFree); null for null. */
PM_API char *pm_FileGetType(pm_File *file);

/** Names of the tiles of the list in order (tk_StringListDelete); null when empty. Report: "Error
 *  copying node name". */
PM_API tk_StringList *pm_TileGetList(pm_Tile *list, tk_ErrorReport **slot);
/** Names of the samples of the list in order (tk_StringListDelete); null when empty. Report: "Error
 *  copying node name". */
PM_API tk_StringList *pm_SampleGetList(pm_Sample *list, tk_ErrorReport **slot);
/** Names of the data files of the list in order (tk_StringListDelete); null when empty. Report: "Error
 *  copying node name". */
PM_API tk_StringList *pm_FileGetList(pm_File *list, tk_ErrorReport **slot);
/** Names of the PFA files of the list in order (tk_StringListDelete); null when empty. Report: "Error
 *  copying node name". */
PM_API tk_StringList *pm_PFAFileGetList(pm_PFAFile *list, tk_ErrorReport **slot);

/** The tile of the list named `name`, or null; searches from the list's first element. */
PM_API pm_Tile *pm_TileFind(pm_Tile *list, const char *name);
/** The sample of the list named `name`, or null; searches from the list's first element. */
PM_API pm_Sample *pm_SampleFind(pm_Sample *list, const char *name);
/** The data file of the list named `type`, or null; searches from the list's first element. */
PM_API pm_File *pm_FileFind(pm_File *list, const char *type);
/** The PFA file of the list named `name`, or null; searches from the list's first element. */
PM_API pm_PFAFile *pm_PFAFileFind(pm_PFAFile *list, const char *name);
/** The process of the list named `name`, or null; searches from the list's first element. */
PM_API pm_Process *pm_ProcessFind(pm_Process *list, const char *name);
/** The argument of the list named `name`, or null; searches from the list's first element. */
PM_API pm_Argument *pm_ArgumentFind(pm_Argument *list, const char *name);

/** The tile at 1-based place `number` of the list, or null when out of range. */
PM_API pm_Tile *pm_TileFindByNumber(pm_Tile *list, int number);
/** The sample at 1-based place `number` of the list, or null when out of range. */
PM_API pm_Sample *pm_SampleFindByNumber(pm_Sample *list, int number);
/** The data file at 1-based place `number` of the list, or null when out of range. */
PM_API pm_File *pm_FileFindByNumber(pm_File *list, int number);
/** The PFA file at 1-based place `number` of the list, or null when out of range. */
PM_API pm_PFAFile *pm_PFAFileFindByNumber(pm_PFAFile *list, int number);
/** The process at 1-based place `number` of the list, or null when out of range. */
PM_API pm_Process *pm_ProcessFindByNumber(pm_Process *list, int number);
/** The argument at 1-based place `number` of the list, or null when out of range. */
PM_API pm_Argument *pm_ArgumentFindByNumber(pm_Argument *list, int number);

/** Number of tiles in the list `node` belongs to; 0 for null. */
PM_API int pm_TileGetNumber(pm_Tile *node);
/** Number of samples in the list `node` belongs to; 0 for null. */
PM_API int pm_SampleGetNumber(pm_Sample *node);
/** Number of data files in the list `node` belongs to; 0 for null. */
PM_API int pm_FileGetNumber(pm_File *node);
/** Number of PFA files in the list `node` belongs to; 0 for null. */
PM_API int pm_PFAFileGetNumber(pm_PFAFile *node);
/** Number of processs in the list `node` belongs to; 0 for null. */
PM_API int pm_ProcessGetNumber(pm_Process *node);
/** Number of arguments in the list `node` belongs to; 0 for null. */
PM_API int pm_ArgumentGetNumber(pm_Argument *node);

/** 1-based place of the tile in its list; 0 for null. */
PM_API int pm_TileGetPosition(pm_Tile *node);
/** 1-based place of the sample in its list; 0 for null. */
PM_API int pm_SampleGetPosition(pm_Sample *node);
/** 1-based place of the data file in its list; 0 for null. */
PM_API int pm_FileGetPosition(pm_File *node);
/** 1-based place of the PFA file in its list; 0 for null. */
PM_API int pm_PFAFileGetPosition(pm_PFAFile *node);
/** 1-based place of the process in its list; 0 for null. */
PM_API int pm_ProcessGetPosition(pm_Process *node);
/** 1-based place of the argument in its list; 0 for null. */
PM_API int pm_ArgumentGetPosition(pm_Argument *node);

/* Stable sort by name, bytes compared (nameless first), in n log n; marks
 * changed each node that some later node sorts strictly before (the nodes a
 * bubble sort would move back); stores and returns the new first element.
 * Null gives null. */
/** Sorts the project's tiles by name and returns the new first tile; null for null. */
PM_API pm_Tile *pm_ProjectSortTiles(pm_Project *project);
/** Sorts the tile's samples by name and returns the new first sample; null for null. */
PM_API pm_Sample *pm_TileSortSamples(pm_Tile *tile);

/* Tile, sample and file removal marks the parent changed and updates the
 * parent's list pointer. */
/** Unlinks the tile (now owned by the caller, free with pm_TileDestroy); returns the first tile left. */
PM_API pm_Tile *pm_TileRemove(pm_Tile *node);
/** Unlinks the sample (now owned by the caller, free with pm_SampleDestroy); returns the first sample
 *  left. */
PM_API pm_Sample *pm_SampleRemove(pm_Sample *node);
/** Unlinks the data file (now owned by the caller, free with pm_FileDestroy); returns the first file
 *  left. */
PM_API pm_File *pm_FileRemove(pm_File *node);
/** Unlinks the PFA file (free with pm_PFAFileDestroy); returns the first element left; store it. */
PM_API pm_PFAFile *pm_PFAFileRemove(pm_PFAFile *node);
/** Unlinks the process (free with pm_ProcessDestroy); returns the first element left; store it. */
PM_API pm_Process *pm_ProcessRemove(pm_Process *node);
/** Unlinks the argument, keeping its process's list valid (free with pm_ArgumentDestroy); returns the
 *  first left. */
PM_API pm_Argument *pm_ArgumentRemove(pm_Argument *node);

/* Rename: 1 when changed; 0 with "Error changing ... to %s" over
 * "Name "%s" already in use, please use another name". */
/** Renames the tile: 1 when changed; 0 with "Error changing tile name to %s" when the name is in use. */
PM_API int pm_TileSetName(pm_Tile *tile, const char *name, tk_ErrorReport **slot);
/** Renames the sample: 1 when changed; 0 with "Error changing sample name to %s" when the name is in
 *  use. */
PM_API int pm_SampleSetName(pm_Sample *sample, const char *name, tk_ErrorReport **slot);
/** Renames the PFA file: 1 when changed; 0 with "Error changing PFA file name to %s" when the name is
 *  in use. */
PM_API int pm_PFAFileSetName(pm_PFAFile *pfa, const char *name, tk_ErrorReport **slot);
/** Renames the process: 1 when changed; 0 with "Error changing process name to %s" when the name is in
 *  use. */
PM_API int pm_ProcessSetName(pm_Process *process, const char *name, tk_ErrorReport **slot);
/** Renames the argument: 1 when changed; 0 with "Error changing argument name to %s" when the name is
 *  in use. */
PM_API int pm_ArgumentSetName(pm_Argument *argument, const char *name, tk_ErrorReport **slot);
/** Changes the data file's type: 1 when changed; 0 with "Error changing file type to %s" when the type
 *  is in use. */
PM_API int pm_FileSetType(pm_File *file, const char *type, tk_ErrorReport **slot);

/* ---- Change tracking --------------------------------------------------------
 * Dirty: 1 when changed and not saved. Changed: {1,0}. Unchanged: {0,0}.
 * Saved: saved = 1. List forms walk from the first element. */
/** 1 when the tile is changed and not saved, else 0. */
PM_API int pm_TileDirty(pm_Tile *node);
/** 1 when the sample is changed and not saved, else 0. */
PM_API int pm_SampleDirty(pm_Sample *node);
/** 1 when the data file is changed and not saved, else 0. */
PM_API int pm_FileDirty(pm_File *node);
/** 1 when the PFA file is changed and not saved, else 0. */
PM_API int pm_PFAFileDirty(pm_PFAFile *node);
/** 1 when the process is changed and not saved, else 0. */
PM_API int pm_ProcessDirty(pm_Process *node);
/** 1 when the argument is changed and not saved, else 0. */
PM_API int pm_ArgumentDirty(pm_Argument *node);

/** Marks the project record changed. */
PM_API void pm_ProjectChanged(pm_Project *node);
/** Marks the tile changed (changed 1, saved 0). */
PM_API void pm_TileChanged(pm_Tile *node);
/** Marks the sample changed (changed 1, saved 0). */
PM_API void pm_SampleChanged(pm_Sample *node);
/** Marks the data file changed (changed 1, saved 0). */
PM_API void pm_FileChanged(pm_File *node);
/** Marks the PFA file changed (changed 1, saved 0). */
PM_API void pm_PFAFileChanged(pm_PFAFile *node);
/** Marks the process changed (changed 1, saved 0). */
PM_API void pm_ProcessChanged(pm_Process *node);
/** Marks the argument changed (changed 1, saved 0). */
PM_API void pm_ArgumentChanged(pm_Argument *node);

/** Clears the tile's change state (changed 0, saved 0). */
PM_API void pm_TileUnchanged(pm_Tile *node);
/** Clears the sample's change state (changed 0, saved 0). */
PM_API void pm_SampleUnchanged(pm_Sample *node);
/** Clears the data file's change state (changed 0, saved 0). */
PM_API void pm_FileUnchanged(pm_File *node);
/** Clears the PFA file's change state (changed 0, saved 0). */
PM_API void pm_PFAFileUnchanged(pm_PFAFile *node);
/** Clears the process's change state (changed 0, saved 0). */
PM_API void pm_ProcessUnchanged(pm_Process *node);
/** Clears the argument's change state (changed 0, saved 0). */
PM_API void pm_ArgumentUnchanged(pm_Argument *node);

/** Marks the tile saved (saved 1). */
PM_API void pm_TileSaved(pm_Tile *node);
/** Marks the sample saved (saved 1). */
PM_API void pm_SampleSaved(pm_Sample *node);
/** Marks the data file saved (saved 1). */
PM_API void pm_FileSaved(pm_File *node);
/** Marks the PFA file saved (saved 1). */
PM_API void pm_PFAFileSaved(pm_PFAFile *node);
/** Marks the argument saved (saved 1). */
PM_API void pm_ArgumentSaved(pm_Argument *node);
/** Marks the process and every one of its arguments saved. */
PM_API void pm_ProcessSaved(pm_Process *process);   /* and every argument */
/** Marks the project record and its PFA root saved; tiles, samples and files are not touched. */
PM_API void pm_ProjectSaved(pm_Project *project);   /* and its PFA root, nothing else */

/** 1 when any tile of the list, or any of their samples or data files, is dirty, else 0. */
PM_API int pm_TileListDirty(pm_Tile *list);
/** 1 when any sample of the list, or any of their data files, is dirty, else 0. */
PM_API int pm_SampleListDirty(pm_Sample *list);
/** 1 when any data file of the list is dirty, else 0. */
PM_API int pm_FileListDirty(pm_File *list);
/** 1 when any PFA file of the list is dirty, else 0. */
PM_API int pm_PFAFileListDirty(pm_PFAFile *list);
/** 1 when any process of the list, or any of their arguments, is dirty, else 0. */
PM_API int pm_ProcessListDirty(pm_Process *list);
/** 1 when any argument of the list is dirty, else 0. */
PM_API int pm_ArgumentListDirty(pm_Argument *list);

/** Clears the change state of every tile of the list and of their samples and data files. */
PM_API void pm_TileListUnchanged(pm_Tile *list);
/** Clears the change state of every sample of the list and of their data files. */
PM_API void pm_SampleListUnchanged(pm_Sample *list);
/** Clears the change state of every data file of the list. */
PM_API void pm_FileListUnchanged(pm_File *list);
/** Clears the change state of every PFA file of the list. */
PM_API void pm_PFAFileListUnchanged(pm_PFAFile *list);
/** Clears the change state of every process of the list and of their arguments. */
PM_API void pm_ProcessListUnchanged(pm_Process *list);
/** Clears the change state of every argument of the list. */
PM_API void pm_ArgumentListUnchanged(pm_Argument *list);

/** 1 when a process or argument of any level is dirty, else 0. */
PM_API int pm_ProcessListsDirty(pm_ProcessLists *lists);
/** Clears the change state of every process and argument of all levels. */
PM_API void pm_ProcessListsUnchanged(pm_ProcessLists *lists);
/** Marks the PFA root's own record changed. */
PM_API void pm_ProcFilesChanged(pm_ProcFiles *root);
/** Marks the PFA root's own record saved. */
PM_API void pm_ProcFilesSaved(pm_ProcFiles *root);
/* 1 only when the root's own record is dirty and a level list holds a dirty
 * PFA file. */
/** 1 only when the root record is dirty and some level holds a dirty PFA file. */
PM_API int pm_ProcFilesDirty(pm_ProcFiles *root);
/** Clears the change state of the root record and of every PFA file of all levels. */
PM_API void pm_ProcFilesUnchanged(pm_ProcFiles *root);
/* Whether anything of the project needs saving. */
/** 1 when anything of the project (record, tiles, samples, files, PFA root, processes) needs saving. */
PM_API int pm_ProjectDirty(pm_Project *project);
/** Clears the change state of the project and everything it holds. */
PM_API void pm_ProjectUnchanged(pm_Project *project);

/* ---- Project, tiles, samples --------------------------------------------- */
/* A new empty project with its PFA root and process lists; destroy with
 * pm_ProjectDestroy. */
/** New empty project with PFA root and process lists; null when out of memory. Free with
 *  pm_ProjectDestroy. */
PM_API pm_Project *pm_ProjectCreate(void);
/** Sets the project's fields to their empty defaults without freeing anything. */
PM_API void pm_ProjectInitialize(pm_Project *project);
/** Frees tiles, files, names and the containers' contents; settings and the emptied containers stay. */
PM_API void pm_ProjectClear(pm_Project *project);
/** Frees the project and everything reachable from it; null is ignored. */
PM_API void pm_ProjectDestroy(pm_Project *project);
/** New detached tile with a copy of `name`; null when out of memory. Free with pm_TileDestroy. */
PM_API pm_Tile *pm_TileCreate(const char *name);
/** Sets the tile's fields to their empty defaults without freeing anything. */
PM_API void pm_TileInitialize(pm_Tile *tile);
/** Frees what the tile holds and leaves it empty; the record itself stays. */
PM_API void pm_TileClear(pm_Tile *tile);
/** Unlinks and frees the tile with all it holds; returns the first tile left in its list. */
PM_API pm_Tile *pm_TileDestroy(pm_Tile *tile);
/** Frees every tile of the list the given one belongs to; returns null. */
PM_API pm_Tile *pm_TileDestroyList(pm_Tile *list); /* returns null */
/** New detached sample with a copy of `name`; null when out of memory. Free with pm_SampleDestroy. */
PM_API pm_Sample *pm_SampleCreate(const char *name);
/** Sets the sample's fields to their empty defaults without freeing anything. */
PM_API void pm_SampleInitialize(pm_Sample *sample);
/** Frees what the sample holds and leaves it empty; the record itself stays. */
PM_API void pm_SampleClear(pm_Sample *sample);
/** Unlinks and frees the sample with all it holds; returns the first sample left in its list. */
PM_API pm_Sample *pm_SampleDestroy(pm_Sample *sample);
/** Frees every sample of the list the given one belongs to; returns null. */
PM_API pm_Sample *pm_SampleDestroyList(pm_Sample *list);

/* Appends take over the node on success; on refusal (name in use) the node
 * stays detached and the caller still owns it. */
/** Appends and takes over the tile; "Cannot append tile %s to project node" when its name is in use. */
PM_API void pm_ProjectAppendTile(pm_Project *project, pm_Tile *tile, tk_ErrorReport **slot);
/** Appends and takes over the sample; "Cannot append sample %s to tile %s" when its name is in use. */
PM_API void pm_TileAppendSample(pm_Tile *tile, pm_Sample *sample, tk_ErrorReport **slot);
/** Appends and takes over the data file; "Cannot add file to project node" when its type is in use. */
PM_API void pm_ProjectAppendFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
/** Appends and takes over the data file; "Error adding file %s to tile %s" when its type is in use. */
PM_API void pm_TileAppendFile(pm_Tile *tile, pm_File *file, tk_ErrorReport **slot);
/** Appends and takes over the data file; "Error adding file %s to sample %s" when its type is in use. */
PM_API void pm_SampleAppendFile(pm_Sample *sample, pm_File *file, tk_ErrorReport **slot);
/* 0 on success, non-zero on failure (a parent that is no project, tile or
 * sample is refused without a report). */
/** Appends the data file to a project, tile or sample: 0 on success; non-zero, with "Cannot append file
 *  to parent node" when refused. */
PM_API int pm_ParentAppendFile(void *parent, pm_File *file, tk_ErrorReport **slot);

/** New unused tile name "<base><n>" (tk_HeapFree); null with "Cannot find a new tile name" on failure. */
PM_API char *pm_ProjectGetNewTileName(pm_Project *project, const char *base, tk_ErrorReport **slot);
/** New unused sample name "<base><n>" (tk_HeapFree); null with "Cannot find a new sample name" on
 *  failure. */
PM_API char *pm_TileGetNewSampleName(pm_Tile *tile, const char *base, tk_ErrorReport **slot);

/** The project type; 0 for null. */
PM_API pm_ProjectType pm_ProjectGetType(pm_Project *project);
/** Stores the project type and marks the project changed; 1, or 0 for null. */
PM_API int pm_ProjectSetType(pm_Project *project, pm_ProjectType value);
/** Whether dot-grid analysis is enabled; 0 for null. */
PM_API pm_AnalysisSwitch pm_ProjectGetUseDotGrid(pm_Project *project);
/** Stores the dot-grid switch and marks the project changed; 1, or 0 for null. */
PM_API int pm_ProjectSetUseDotGrid(pm_Project *project, pm_AnalysisSwitch value);
/** Whether polygon-tool analysis is enabled; 0 for null. */
PM_API pm_AnalysisSwitch pm_ProjectGetUsePolyTool(pm_Project *project);
/** Stores the polygon-tool switch and marks the project changed; 1, or 0 for null. */
PM_API int pm_ProjectSetUsePolyTool(pm_Project *project, pm_AnalysisSwitch value);
/** The tile's selection flag; 0 for null. */
PM_API pm_Selection pm_TileGetAutomatic(pm_Tile *tile);
/** Stores the tile's selection flag; marks nothing changed. */
PM_API void pm_TileSetAutomatic(pm_Tile *tile, pm_Selection value);   /* marks nothing */
/** The sample's selection flag; 0 for null. */
PM_API pm_Selection pm_SampleGetAutomatic(pm_Sample *sample);
/** Stores the sample's selection flag; marks nothing changed. */
PM_API void pm_SampleSetAutomatic(pm_Sample *sample, pm_Selection value);

/** Count of the project, its tiles and their samples; 0 for null. */
PM_API int pm_ProjectGetTotalNodes(pm_Project *project);   /* project + tiles + samples */
/** Count of the samples over all tiles of the project; 0 for null. */
PM_API int pm_ProjectGetTotalSamples(pm_Project *project);

/* Replaces the project's PFA root and process lists, taking ownership of the
 * given ones; passing the containers the project already holds keeps them. */
/** Installs `root` and `lists` in the project, destroying the containers they replace. */
PM_API void pm_ProjectTypesApply(pm_Project *project, pm_ProcFiles *root, pm_ProcessLists *lists);
/* First element of the level's list (null for an empty list or a level
 * other than 0, 1, 2); owned by the project. */
/** First process of the level's list, owned by the project; null for an empty list or a bad level. */
PM_API pm_Process *pm_ProcessListGetByType(pm_Project *project, pm_Level level);
/** First PFA file of the level's list, owned by the project; null for an empty list or a bad level. */
PM_API pm_PFAFile *pm_PFAFileListGetByType(pm_Project *project, pm_Level level);

/* ---- Data files ---------------------------------------------------------------- */
/** New detached data file with copies of the texts; null when out of memory. Free with pm_FileDestroy. */
PM_API pm_File *pm_FileCreate(const char *type, const char *descriptor, double time,
                              const char *verified, const char *comment);
/** Sets the data file's fields to their empty defaults without freeing anything. */
PM_API void pm_FileInitialize(pm_File *file);
/** Frees the data file's texts and leaves it empty; the record itself stays. */
PM_API void pm_FileClear(pm_File *file);
/** Unlinks and frees the data file; returns the first file left in its list. */
PM_API pm_File *pm_FileDestroy(pm_File *file);
/** Frees every data file of the list the given one belongs to; returns null. */
PM_API pm_File *pm_FileDestroyList(pm_File *list);
/** Copy of the file's descriptor (tk_HeapFree); null for null or unset. */
PM_API char *pm_FileGetDescriptor(pm_File *file);
/** Stores a copy of the descriptor and marks the file changed; 1, or 0 for null. */
PM_API int pm_FileSetDescriptor(pm_File *file, const char *descriptor);
/** The file's time value; 0 for null. */
PM_API double pm_FileGetDate(pm_File *file);
/** Stores the time value and marks the file changed; 1, or 0 for null. */
PM_API int pm_FileSetDate(pm_File *file, double time);
/** Copy of the file's verified text (tk_HeapFree); null for null or unset. */
PM_API char *pm_FileGetVerified(pm_File *file);
/** Stores a copy of the verified text and marks the file changed; 1, or 0 for null. */
PM_API int pm_FileSetVerified(pm_File *file, const char *text);
/** Copy of the file's comment (tk_HeapFree); null for null or unset. */
PM_API char *pm_FileGetComment(pm_File *file);
/** Stores a copy of the comment and marks the file changed; 1, or 0 for null. */
PM_API int pm_FileSetComment(pm_File *file, const char *text);
/* Kind of the file's parent; "No file to check" / "No parent to check"
 * leave -1. */
/** Kind of the file's parent; -1 with "No file to check" or "No parent to check". */
PM_API pm_NodeKind pm_FileGetParentType(pm_File *file, tk_ErrorReport **slot);
/* Non-zero when the descriptor names an existing file. */
/** Non-zero when the descriptor (as stored) names an existing file; "Error check file existance for %s"
 *  on failure. */
PM_API int pm_FileDescriptorExists(pm_File *file, tk_ErrorReport **slot);

/* ---- Associations and list rebuilds ------------------------------------------ */
/** Makes the node's data files one per named PFA file, keeping matching ones; "Out of memory creating
 *  file %s" or "Error adding file to parent". */
PM_API void pm_SetFileListFromPFA(pm_PFAFile *pfa_list, void *node, tk_ErrorReport **slot);
/** The project's PFA file matching the data file's type at its level (not a copy); null with e.g.
 *  "Cannot find corresponding PFA File for \"%s\"". */
PM_API pm_PFAFile *pm_PFAFileFindFromFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
/* Makes the tile (sample) list exactly the named nodes in order; a null
 * entry ends the names early. */
/** Rebuilds the tile list from `names`, keeping existing tiles; "Cannot set files for tile %s" or
 *  "Cannot append tile %s to project". */
PM_API void pm_ProjectSetTileList(pm_Project *project, int count, const char *const *names,
                                  tk_ErrorReport **slot);
/** Rebuilds the sample list from `names`, keeping existing samples; "Cannot set files for sample %s" or
 *  "Cannot append sample %s to tile %s". */
PM_API void pm_TileSetSampleList(pm_Tile *tile, int count, const char *const *names,
                                 tk_ErrorReport **slot);

/* ---- Processes and arguments ------------------------------------------------- */
/** New detached process with copies of the texts; null when out of memory.
 *  Free with pm_ProcessDestroy. */
PM_API pm_Process *pm_ProcessCreate(const char *name, const char *title, const char *params,
                                    const char *labels, const char *suffix, pm_ProcessOutput output);
/* After the slot: groups of (const char *name, const char *value, int type,
 * int mode, int hide), ended by a null name. Parameter and label file are
 * joined to `directory` (which is created when missing). */
/** New process with its arguments (pm_ProcessDestroy); null with "Error creating parameter file name";
 *  "Error adding argument to process" keeps the process. */
PM_API pm_Process *pm_ProcessVaCreate(const char *name, const char *title, const char *directory,
                                      const char *params, const char *labels, const char *suffix,
                                      pm_ProcessOutput output, tk_ErrorReport **slot, ...);
/** Sets the process's fields to their empty defaults without freeing anything. */
PM_API void pm_ProcessInitialize(pm_Process *process);
/** Frees the process's texts and arguments and leaves it empty; the record itself stays. */
PM_API void pm_ProcessClear(pm_Process *process);
/** Unlinks and frees the process with its arguments; returns the first element left in its list. */
PM_API pm_Process *pm_ProcessDestroy(pm_Process *process);
/** Frees every process of the list the given one belongs to; returns null. */
PM_API pm_Process *pm_ProcessDestroyList(pm_Process *list);
/** New detached argument with copies of the texts; null when out of memory. Free with
 *  pm_ArgumentDestroy. */
PM_API pm_Argument *pm_ArgumentCreate(const char *name, const char *value, pm_PFAType type,
                                      pm_ArgumentMode mode, pm_ArgumentHide hide);
/** Sets the argument's fields to their empty defaults without freeing anything. */
PM_API void pm_ArgumentInitialize(pm_Argument *argument);
/** Frees the argument's texts and leaves it empty; the record itself stays. */
PM_API void pm_ArgumentClear(pm_Argument *argument);
/** Unlinks and frees the argument, marking its process changed; returns the first argument left. */
PM_API pm_Argument *pm_ArgumentDestroy(pm_Argument *argument); /* marks its process changed */
/** Frees every argument of the list the given one belongs to; returns null. */
PM_API pm_Argument *pm_ArgumentDestroyList(pm_Argument *list);
/** Appends and takes over the argument; "Error appending argument %s to process %s" when its name is in
 *  use. */
PM_API void pm_ProcessAppendArgument(pm_Process *process, pm_Argument *argument, tk_ErrorReport **slot);
/* Appends to a process list the host holds; store the returned list. */
/** Appends the process and returns the list's first element; "Error appending process %s" when its name
 *  is in use. */
PM_API pm_Process *pm_ProcessAppend(pm_Process *list, pm_Process *process, tk_ErrorReport **slot);
/** Detached copy of the argument (pm_ArgumentDestroy); null for null or out of memory. */
PM_API pm_Argument *pm_ArgumentCopy(pm_Argument *argument);
/** Parentless copy of the whole list (pm_ArgumentDestroyList); null with "Error appending copy of
 *  argument %s to list". */
PM_API pm_Argument *pm_ArgumentCopyList(pm_Argument *list, tk_ErrorReport **slot);
/** Detached copy of the process with its arguments (pm_ProcessDestroy); "Error copying argument list
 *  for process %s". */
PM_API pm_Process *pm_ProcessCopy(pm_Process *process, tk_ErrorReport **slot);
/** Copy of the whole process list (pm_ProcessDestroyList); null with "Error copying process %s" or
 *  "Error appending copy of process %s to list". */
PM_API pm_Process *pm_ProcessCopyList(pm_Process *list, tk_ErrorReport **slot);
/* First argument over all processes of the list whose value equals `value`. */
/** First argument over all processes of the list whose value equals `value` (not a copy), or null. */
PM_API pm_Argument *pm_ArgumentFindByValue(pm_Process *list, const char *value);

/** Copy of the process's title (tk_HeapFree); null for null or unset. */
PM_API char *pm_ProcessGetTitle(pm_Process *process);
/** Stores a copy of the title and marks the process changed; 1, or 0 for null. */
PM_API int pm_ProcessSetTitle(pm_Process *process, const char *text);
/** Copy of the process's parameter file (tk_HeapFree); null for null or unset. */
PM_API char *pm_ProcessGetParams(pm_Process *process);
/** Stores a copy of the parameter file and marks the process changed; 1, or 0 for null. */
PM_API int pm_ProcessSetParams(pm_Process *process, const char *text);
/** Copy of the process's label file (tk_HeapFree); null for null or unset. */
PM_API char *pm_ProcessGetLabels(pm_Process *process);
/** Stores a copy of the label file and marks the process changed; 1, or 0 for null. */
PM_API int pm_ProcessSetLabels(pm_Process *process, const char *text);
/** Copy of the process's file suffix (tk_HeapFree); null for null or unset. */
PM_API char *pm_ProcessGetSuffix(pm_Process *process);
/** Stores a copy of the file suffix and marks the process changed; 1, or 0 for null. */
PM_API int pm_ProcessSetSuffix(pm_Process *process, const char *text);
/** The process's output mode; 0 for null. */
PM_API pm_ProcessOutput pm_ProcessGetOutput(pm_Process *process);
/** Stores the output mode and marks the process changed; 1, or 0 for null. */
PM_API int pm_ProcessSetOutput(pm_Process *process, pm_ProcessOutput value);
/** Copy of the argument's value (tk_HeapFree); null for null or unset. */
PM_API char *pm_ArgumentGetValue(pm_Argument *argument);
/** Stores a copy of the value and marks the argument changed; 1, or 0 for null. */
PM_API int pm_ArgumentSetValue(pm_Argument *argument, const char *value);
/** The argument's PFA type; 0 for null. */
PM_API pm_PFAType pm_ArgumentGetType(pm_Argument *argument);
/** Stores the PFA type and marks the argument changed; 1, or 0 for null. */
PM_API int pm_ArgumentSetType(pm_Argument *argument, pm_PFAType value);
/** The argument's mode; 0 for null. */
PM_API pm_ArgumentMode pm_ArgumentGetMode(pm_Argument *argument);
/** Stores the mode and marks the argument changed; 1, or 0 for null. */
PM_API int pm_ArgumentSetMode(pm_Argument *argument, pm_ArgumentMode value);
/** The argument's hide flag; 0 for null. */
PM_API pm_ArgumentHide pm_ArgumentGetHide(pm_Argument *argument);
/** Stores the hide flag and marks the argument changed; 1, or 0 for null. */
PM_API int pm_ArgumentSetHide(pm_Argument *argument, pm_ArgumentHide value);

/* ---- Levels and PFA files ------------------------------------------------------ */
/** New PFA root with empty level lists; null when out of memory. Free with pm_ProcFilesDestroy. */
PM_API pm_ProcFiles *pm_ProcFilesCreate(void);
/** Sets the PFA root to empty levels without freeing anything and marks it changed. */
PM_API void pm_ProcFilesInitialize(pm_ProcFiles *root);
/** Frees every PFA file of all levels and marks the root changed; the root itself stays. */
PM_API void pm_ProcFilesClear(pm_ProcFiles *root);
/** Frees the PFA root with all its PFA files; null is ignored. */
PM_API void pm_ProcFilesDestroy(pm_ProcFiles *root);
/** New empty process lists; null when out of memory. Free with pm_ProcessListsDestroy. */
PM_API pm_ProcessLists *pm_ProcessListsCreate(void);
/** Sets the process lists to empty levels without freeing anything. */
PM_API void pm_ProcessListsInitialize(pm_ProcessLists *lists);
/** Frees every process of all levels; the container itself stays. */
PM_API void pm_ProcessListsClear(pm_ProcessLists *lists);
/** Frees the container with all its processes; null is ignored. */
PM_API void pm_ProcessListsDestroy(pm_ProcessLists *lists);
/** New detached PFA file with a copy of `name`; null when out of memory. Free with pm_PFAFileDestroy. */
PM_API pm_PFAFile *pm_PFAFileCreate(const char *name, pm_PFAType type);
/** Sets the PFA file's fields to their empty defaults without freeing anything. */
PM_API void pm_PFAFileInitialize(pm_PFAFile *pfa);
/** Frees what the PFA file holds and leaves it empty; the record itself stays. */
PM_API void pm_PFAFileClear(pm_PFAFile *pfa);
/** Unlinks and frees the PFA file; returns the first element left in its list. */
PM_API pm_PFAFile *pm_PFAFileDestroy(pm_PFAFile *pfa);
/** Frees every PFA file of the list the given one belongs to; returns null. */
PM_API pm_PFAFile *pm_PFAFileDestroyList(pm_PFAFile *list);
/** Appends the PFA file and returns the list's first element; "Error appending pfa_file %s" when its
 *  name is in use. */
PM_API pm_PFAFile *pm_PFAFileAppend(pm_PFAFile *list, pm_PFAFile *pfa, tk_ErrorReport **slot);
/** The PFA file's type; 0 for null. */
PM_API pm_PFAType pm_PFAFileGetType(pm_PFAFile *pfa);
/** Stores the type and marks the PFA file changed; 1, or 0 for null. */
PM_API int pm_PFAFileSetType(pm_PFAFile *pfa, pm_PFAType type);
/* One-element list with "RASTER" ... "AOI"; null for a type outside 0..4. */
/** One-element list with the type's name (tk_StringListDelete); "Error converting PFA File type for
 *  \"%s\" to a string". */
PM_API tk_StringList *pm_PFAFileGetTypeString(pm_PFAFile *pfa, tk_ErrorReport **slot);
/* Exact upper-case name to type; 4 with a report when nothing matches. */
/** Type named by an exact upper-case text; 4 with "Cannot match type string\"%s\"" when none matches. */
PM_API pm_PFAType pm_PFATypeEvaluate(const char *text, tk_ErrorReport **slot);
/* Appends to `list` (null starts one) the names of the PFA files of `type`. */
/** `list` extended by the names of the PFA files of `type` (tk_StringListDelete); "Error creating PFA
 *  type list". */
PM_API tk_StringList *pm_PFAFileGetListByType(tk_StringList *list, pm_PFAFile *pfa_list,
                                              pm_PFAType type, tk_ErrorReport **slot);
/** Copy of the whole PFA list (pm_PFAFileDestroyList); null with "Cannot append PFA file to list". */
PM_API pm_PFAFile *pm_PFAListCopy(pm_PFAFile *list, tk_ErrorReport **slot);
/* The lowest level whose PFA list names the argument's value; -1 with
 * "Cannot find file type in any level" when none does. */
/** Lowest level naming the argument's value; -1 with "Cannot find file type in any level". */
PM_API pm_Level pm_PFAFileFindLevel(pm_Argument *argument, pm_ProcFiles *root, tk_ErrorReport **slot);

/* ---- Readiness and command lines ------------------------------------------------ */
/* 1 when the process may run at the node (project, tile or sample); 0 when
 * not (slot empty) or on error (report). */
/** 1 when the process may run at the node; 0 without a report when not, or with e.g. "No process
 *  supplied", "Cannot check input file". */
PM_API int pm_IsProcessReady(pm_Project *project, pm_Process *process, void *node, tk_ErrorReport **slot);
/* The argument part of the command line ("in $image out $result"). */
/** Argument part of the command line (tk_HeapFree); null with "No process", "Cannot copy argument name"
 *  or "Cannot copy argument value". */
PM_API char *pm_ProcessCommandLine(pm_Process *process, tk_ErrorReport **slot);
/* The data file of the node that the argument stands for; not a copy. */
/** The node's data file the argument stands for (owned by the node, not freed); null with e.g. "Cannot
 *  find required process \"%s\"". */
PM_API pm_File *pm_FileGetFromProcessArg(pm_Project *project, pm_Level level, const char *process_name,
                                         const char *argument_name, void *node, tk_ErrorReport **slot);
/** Copy of the named process's label file (tk_HeapFree); null with "No project supplied" or "Cannot
 *  find required process \"%s\"". */
PM_API char *pm_LabelFileGetFromProcess(pm_Project *project, pm_Level level, const char *process_name,
                                        tk_ErrorReport **slot);

/* ---- Paths ------------------------------------------------------------------------ */
/* Checks the directory (variables expanded) and creates it when missing. */
/** Expands and checks the directory, creating it when missing; e.g. "Cannot create project manager
 *  directory: %s". */
PM_API void pm_DirectoryCreate(const char *directory, tk_ErrorReport **slot);
/** "directory/name" after checking the directory (tk_HeapFree); null with "Error verifying directory"
 *  or "Error creating directory name". */
PM_API char *pm_DirectoryCat(const char *directory, const char *name, tk_ErrorReport **slot);
/** "directory/<name><suffix><ext>" for the type (tk_HeapFree); null with "Error verifying directory". */
PM_API char *pm_DescriptorStringCat(const char *directory, const char *name, const char *suffix,
                                    pm_PFAType type, tk_ErrorReport **slot);
/* "$PROJECT/rest" for a name under the directory; other names unchanged. */
/** The name as "$PROJECT/rest" when under the directory, else a copy (tk_HeapFree); "Error creating
 *  local name". */
PM_API char *pm_FilenameLocalise(const char *directory, const char *filename, tk_ErrorReport **slot);
/** A "$PROJECT" name joined to the directory, else a copy (tk_HeapFree); "Error creating local name". */
PM_API char *pm_FilenameExpand(const char *directory, const char *filename, tk_ErrorReport **slot);

/* ---- Project file name -------------------------------------------------------------- */
/** Sets file, directory, base and project names from `filename`: 1 on success; 0 with e.g. "Error
 *  expanding project file name %s". */
PM_API int pm_ProjectSetFilename(pm_Project *project, const char *filename, tk_ErrorReport **slot);
/** Copy of the expanded project file path (tk_HeapFree); null when unset. */
PM_API char *pm_ProjectGetFilename(pm_Project *project);
/** Copy of the project manager directory (tk_HeapFree); null when unset. */
PM_API char *pm_ProjectGetDirname(pm_Project *project);
/** Copy of the project's base name (tk_HeapFree); null when unset. */
PM_API char *pm_ProjectGetBasename(pm_Project *project);

/* ---- Load and save -------------------------------------------------------------------- */
/* `access` is handed to the toolkit unchanged (pass 0). */
/** New project read from the file (pm_ProjectDestroy); null with e.g. "Project Manager file does not
 *  exist", "Error loading root node". */
PM_API pm_Project *pm_ProjectLoad(const char *filename, int32_t access, tk_ErrorReport **slot);
/** Writes the project to its own file and clears all change state (kept as it was on failure);
 *  e.g. "Project Filename not set", "Error saving project information". */
PM_API void pm_ProjectSave(pm_Project *project, int32_t access, tk_ErrorReport **slot);
/** Writes the whole project into `filename`; the project keeps its own file name. On failure the change
 *  state is kept; e.g. "No project to save", "Error saving root node". */
PM_API void pm_ProjectSaveAs(pm_Project *project, const char *filename, int32_t access,
                             tk_ErrorReport **slot);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_H */
