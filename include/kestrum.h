/*
 * kestrum.h: the whole public interface of libkestrum.
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

/* Change state: a record is dirty when changed is set and saved is clear. */
typedef struct pm_ChangeState {
  int32_t changed;
  int32_t saved;
} pm_ChangeState;

/* The header every node record begins with. */
typedef struct pm_Node pm_Node;
struct pm_Node {
  pm_Node *next;          /* next node of the same list */
  pm_Node *prev;          /* previous node of the same list */
  pm_NodeKind kind;       /* set once at creation */
  pm_Node *parent;        /* the project, tile, sample or process holding it */
  char *name;             /* unique within its list; a data file's type */
  pm_ChangeState *state;  /* allocated and freed with the node */
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

struct pm_Project {
  pm_Node node;                     /* kind 0; name derived from the file name */
  pm_Tile *tiles;
  pm_File *files;                   /* project-level data files */
  char *filename;                   /* expanded path of the project file */
  char *dirname;                    /* project manager directory */
  char *basename;                   /* file name without directory and extension */
  pm_ProjectType type;
  pm_AnalysisSwitch use_dot_grid;
  pm_AnalysisSwitch use_poly_tool;
  pm_ProcFiles *pfa_root;           /* owned */
  pm_ProcessLists *process_lists;   /* owned */
};

struct pm_Tile {
  pm_Node node;                     /* kind 1 */
  pm_Sample *samples;
  pm_File *files;
  pm_Selection automatic;
};

struct pm_Sample {
  pm_Node node;                     /* kind 2 */
  pm_File *files;
  pm_Selection automatic;
};

struct pm_File {
  pm_Node node;                     /* kind -1; node.name is the file type */
  char *descriptor;                 /* path of the file on disk */
  double time;                      /* the host's time value */
  char *verified;
  char *comment;
};

struct pm_PFAFile {
  pm_Node node;                     /* kind -1; a process-file association */
  pm_PFAType type;
};

struct pm_Process {
  pm_Node node;                     /* kind -1 */
  char *title;
  char *params;                     /* parameter file */
  char *labels;                     /* label file */
  char *suffix;                     /* file suffix */
  pm_ProcessOutput output;
  pm_Argument *arguments;
};

struct pm_Argument {
  pm_Node node;                     /* kind -1; parent is its process */
  char *value;                      /* name of the PFA file it stands for */
  pm_PFAType type;
  pm_ArgumentMode mode;
  pm_ArgumentHide hide;
};

struct pm_ProcFiles {               /* the project's PFA root */
  pm_PFAFile *lists[3];             /* by level */
  pm_ChangeState *state;
};

struct pm_ProcessLists {
  pm_Process *lists[3];             /* by level */
};

/* ---- Node operations shared by every kind --------------------------------
 * `node` parameters typed void* take any record. Name getters return a copy
 * (tk_HeapFree). GetList returns the names in list order (tk_StringListDelete),
 * null for an empty list. Find* return the node or null. GetNumber gives the
 * length of the node's list, GetPosition its 1-based place. Remove unlinks
 * and returns the first element of what remains. SetName refuses a name that
 * any node of the list (the node itself included) already bears. */
PM_API pm_NodeKind pm_NodeGetType(const void *node);

PM_API char *pm_ProjectGetName(pm_Project *project);
PM_API char *pm_TileGetName(pm_Tile *tile);
PM_API char *pm_SampleGetName(pm_Sample *sample);
PM_API char *pm_PFAFileGetName(pm_PFAFile *pfa);
PM_API char *pm_ProcessGetName(pm_Process *process);
PM_API char *pm_ArgumentGetName(pm_Argument *argument);
PM_API char *pm_FileGetType(pm_File *file);

PM_API tk_StringList *pm_TileGetList(pm_Tile *list, tk_ErrorReport **slot);
PM_API tk_StringList *pm_SampleGetList(pm_Sample *list, tk_ErrorReport **slot);
PM_API tk_StringList *pm_FileGetList(pm_File *list, tk_ErrorReport **slot);
PM_API tk_StringList *pm_PFAFileGetList(pm_PFAFile *list, tk_ErrorReport **slot);

PM_API pm_Tile *pm_TileFind(pm_Tile *list, const char *name);
PM_API pm_Sample *pm_SampleFind(pm_Sample *list, const char *name);
PM_API pm_File *pm_FileFind(pm_File *list, const char *type);
PM_API pm_PFAFile *pm_PFAFileFind(pm_PFAFile *list, const char *name);
PM_API pm_Process *pm_ProcessFind(pm_Process *list, const char *name);
PM_API pm_Argument *pm_ArgumentFind(pm_Argument *list, const char *name);

PM_API pm_Tile *pm_TileFindByNumber(pm_Tile *list, int number);
PM_API pm_Sample *pm_SampleFindByNumber(pm_Sample *list, int number);
PM_API pm_File *pm_FileFindByNumber(pm_File *list, int number);
PM_API pm_PFAFile *pm_PFAFileFindByNumber(pm_PFAFile *list, int number);
PM_API pm_Process *pm_ProcessFindByNumber(pm_Process *list, int number);
PM_API pm_Argument *pm_ArgumentFindByNumber(pm_Argument *list, int number);

PM_API int pm_TileGetNumber(pm_Tile *node);
PM_API int pm_SampleGetNumber(pm_Sample *node);
PM_API int pm_FileGetNumber(pm_File *node);
PM_API int pm_PFAFileGetNumber(pm_PFAFile *node);
PM_API int pm_ProcessGetNumber(pm_Process *node);
PM_API int pm_ArgumentGetNumber(pm_Argument *node);

PM_API int pm_TileGetPosition(pm_Tile *node);
PM_API int pm_SampleGetPosition(pm_Sample *node);
PM_API int pm_FileGetPosition(pm_File *node);
PM_API int pm_PFAFileGetPosition(pm_PFAFile *node);
PM_API int pm_ProcessGetPosition(pm_Process *node);
PM_API int pm_ArgumentGetPosition(pm_Argument *node);

/* Stable bubble sort by name (nameless first); marks each node moved back
 * changed; stores and returns the new first element. Null gives null. */
PM_API pm_Tile *pm_ProjectSortTiles(pm_Project *project);
PM_API pm_Sample *pm_TileSortSamples(pm_Tile *tile);

/* Tile, sample and file removal marks the parent changed and updates the
 * parent's list pointer. */
PM_API pm_Tile *pm_TileRemove(pm_Tile *node);
PM_API pm_Sample *pm_SampleRemove(pm_Sample *node);
PM_API pm_File *pm_FileRemove(pm_File *node);
PM_API pm_PFAFile *pm_PFAFileRemove(pm_PFAFile *node);
PM_API pm_Process *pm_ProcessRemove(pm_Process *node);
PM_API pm_Argument *pm_ArgumentRemove(pm_Argument *node);

/* Rename: 1 when changed; 0 with "Error changing ... to %s" over
 * "Name "%s" already in use, please use another name". */
PM_API int pm_TileSetName(pm_Tile *tile, const char *name, tk_ErrorReport **slot);
PM_API int pm_SampleSetName(pm_Sample *sample, const char *name, tk_ErrorReport **slot);
PM_API int pm_PFAFileSetName(pm_PFAFile *pfa, const char *name, tk_ErrorReport **slot);
PM_API int pm_ProcessSetName(pm_Process *process, const char *name, tk_ErrorReport **slot);
PM_API int pm_ArgumentSetName(pm_Argument *argument, const char *name, tk_ErrorReport **slot);
PM_API int pm_FileSetType(pm_File *file, const char *type, tk_ErrorReport **slot);

/* ---- Change tracking --------------------------------------------------------
 * Dirty: 1 when changed and not saved. Changed: {1,0}. Unchanged: {0,0}.
 * Saved: saved = 1. List forms walk from the first element. */
PM_API int pm_TileDirty(pm_Tile *node);
PM_API int pm_SampleDirty(pm_Sample *node);
PM_API int pm_FileDirty(pm_File *node);
PM_API int pm_PFAFileDirty(pm_PFAFile *node);
PM_API int pm_ProcessDirty(pm_Process *node);
PM_API int pm_ArgumentDirty(pm_Argument *node);

PM_API void pm_ProjectChanged(pm_Project *node);
PM_API void pm_TileChanged(pm_Tile *node);
PM_API void pm_SampleChanged(pm_Sample *node);
PM_API void pm_FileChanged(pm_File *node);
PM_API void pm_PFAFileChanged(pm_PFAFile *node);
PM_API void pm_ProcessChanged(pm_Process *node);
PM_API void pm_ArgumentChanged(pm_Argument *node);

PM_API void pm_TileUnchanged(pm_Tile *node);
PM_API void pm_SampleUnchanged(pm_Sample *node);
PM_API void pm_FileUnchanged(pm_File *node);
PM_API void pm_PFAFileUnchanged(pm_PFAFile *node);
PM_API void pm_ProcessUnchanged(pm_Process *node);
PM_API void pm_ArgumentUnchanged(pm_Argument *node);

PM_API void pm_TileSaved(pm_Tile *node);
PM_API void pm_SampleSaved(pm_Sample *node);
PM_API void pm_FileSaved(pm_File *node);
PM_API void pm_PFAFileSaved(pm_PFAFile *node);
PM_API void pm_ArgumentSaved(pm_Argument *node);
PM_API void pm_ProcessSaved(pm_Process *process);   /* and every argument */
PM_API void pm_ProjectSaved(pm_Project *project);   /* and its PFA root, nothing else */

PM_API int pm_TileListDirty(pm_Tile *list);
PM_API int pm_SampleListDirty(pm_Sample *list);
PM_API int pm_FileListDirty(pm_File *list);
PM_API int pm_PFAFileListDirty(pm_PFAFile *list);
PM_API int pm_ProcessListDirty(pm_Process *list);
PM_API int pm_ArgumentListDirty(pm_Argument *list);

PM_API void pm_TileListUnchanged(pm_Tile *list);
PM_API void pm_SampleListUnchanged(pm_Sample *list);
PM_API void pm_FileListUnchanged(pm_File *list);
PM_API void pm_PFAFileListUnchanged(pm_PFAFile *list);
PM_API void pm_ProcessListUnchanged(pm_Process *list);
PM_API void pm_ArgumentListUnchanged(pm_Argument *list);

PM_API int pm_ProcessListsDirty(pm_ProcessLists *lists);
PM_API void pm_ProcessListsUnchanged(pm_ProcessLists *lists);
PM_API void pm_ProcFilesChanged(pm_ProcFiles *root);
PM_API void pm_ProcFilesSaved(pm_ProcFiles *root);
/* 1 only when the root's own record is dirty and a level list holds a dirty
 * PFA file. */
PM_API int pm_ProcFilesDirty(pm_ProcFiles *root);
PM_API void pm_ProcFilesUnchanged(pm_ProcFiles *root);
/* Whether anything of the project needs saving. */
PM_API int pm_ProjectDirty(pm_Project *project);
PM_API void pm_ProjectUnchanged(pm_Project *project);

/* ---- Project, tiles, samples --------------------------------------------- */
/* A new empty project with its PFA root and process lists; destroy with
 * pm_ProjectDestroy. */
PM_API pm_Project *pm_ProjectCreate(void);
PM_API void pm_ProjectInitialize(pm_Project *project);
PM_API void pm_ProjectClear(pm_Project *project);
PM_API void pm_ProjectDestroy(pm_Project *project);
PM_API pm_Tile *pm_TileCreate(const char *name);
PM_API void pm_TileInitialize(pm_Tile *tile);
PM_API void pm_TileClear(pm_Tile *tile);
PM_API pm_Tile *pm_TileDestroy(pm_Tile *tile);
PM_API pm_Tile *pm_TileDestroyList(pm_Tile *list); /* returns null */
PM_API pm_Sample *pm_SampleCreate(const char *name);
PM_API void pm_SampleInitialize(pm_Sample *sample);
PM_API void pm_SampleClear(pm_Sample *sample);
PM_API pm_Sample *pm_SampleDestroy(pm_Sample *sample);
PM_API pm_Sample *pm_SampleDestroyList(pm_Sample *list);

/* Appends take over the node on success; on refusal (name in use) the node
 * stays detached and the caller still owns it. */
PM_API void pm_ProjectAppendTile(pm_Project *project, pm_Tile *tile, tk_ErrorReport **slot);
PM_API void pm_TileAppendSample(pm_Tile *tile, pm_Sample *sample, tk_ErrorReport **slot);
PM_API void pm_ProjectAppendFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
PM_API void pm_TileAppendFile(pm_Tile *tile, pm_File *file, tk_ErrorReport **slot);
PM_API void pm_SampleAppendFile(pm_Sample *sample, pm_File *file, tk_ErrorReport **slot);
/* 0 on success, non-zero on failure (a parent that is no project, tile or
 * sample is refused without a report). */
PM_API int pm_ParentAppendFile(void *parent, pm_File *file, tk_ErrorReport **slot);

PM_API char *pm_ProjectGetNewTileName(pm_Project *project, const char *base, tk_ErrorReport **slot);
PM_API char *pm_TileGetNewSampleName(pm_Tile *tile, const char *base, tk_ErrorReport **slot);

PM_API pm_ProjectType pm_ProjectGetType(pm_Project *project);
PM_API int pm_ProjectSetType(pm_Project *project, pm_ProjectType value);
PM_API pm_AnalysisSwitch pm_ProjectGetUseDotGrid(pm_Project *project);
PM_API int pm_ProjectSetUseDotGrid(pm_Project *project, pm_AnalysisSwitch value);
PM_API pm_AnalysisSwitch pm_ProjectGetUsePolyTool(pm_Project *project);
PM_API int pm_ProjectSetUsePolyTool(pm_Project *project, pm_AnalysisSwitch value);
PM_API pm_Selection pm_TileGetAutomatic(pm_Tile *tile);
PM_API void pm_TileSetAutomatic(pm_Tile *tile, pm_Selection value);   /* marks nothing */
PM_API pm_Selection pm_SampleGetAutomatic(pm_Sample *sample);
PM_API void pm_SampleSetAutomatic(pm_Sample *sample, pm_Selection value);

PM_API int pm_ProjectGetTotalNodes(pm_Project *project);   /* project + tiles + samples */
PM_API int pm_ProjectGetTotalSamples(pm_Project *project);

/* Replaces the project's PFA root and process lists, taking ownership of the
 * given ones; passing the containers the project already holds keeps them. */
PM_API void pm_ProjectTypesApply(pm_Project *project, pm_ProcFiles *root, pm_ProcessLists *lists);
/* First element of the level's list (null for an empty list or a level
 * other than 0, 1, 2); owned by the project. */
PM_API pm_Process *pm_ProcessListGetByType(pm_Project *project, pm_Level level);
PM_API pm_PFAFile *pm_PFAFileListGetByType(pm_Project *project, pm_Level level);

/* ---- Data files ---------------------------------------------------------------- */
PM_API pm_File *pm_FileCreate(const char *type, const char *descriptor, double time,
                              const char *verified, const char *comment);
PM_API void pm_FileInitialize(pm_File *file);
PM_API void pm_FileClear(pm_File *file);
PM_API pm_File *pm_FileDestroy(pm_File *file);
PM_API pm_File *pm_FileDestroyList(pm_File *list);
PM_API char *pm_FileGetDescriptor(pm_File *file);
PM_API int pm_FileSetDescriptor(pm_File *file, const char *descriptor);
PM_API double pm_FileGetDate(pm_File *file);
PM_API int pm_FileSetDate(pm_File *file, double time);
PM_API char *pm_FileGetVerified(pm_File *file);
PM_API int pm_FileSetVerified(pm_File *file, const char *text);
PM_API char *pm_FileGetComment(pm_File *file);
PM_API int pm_FileSetComment(pm_File *file, const char *text);
/* Kind of the file's parent; "No file to check" / "No parent to check"
 * leave -1. */
PM_API pm_NodeKind pm_FileGetParentType(pm_File *file, tk_ErrorReport **slot);
/* Non-zero when the descriptor names an existing file. */
PM_API int pm_FileDescriptorExists(pm_File *file, tk_ErrorReport **slot);

/* ---- Associations and list rebuilds ------------------------------------------ */
PM_API void pm_SetFileListFromPFA(pm_PFAFile *pfa_list, void *node, tk_ErrorReport **slot);
PM_API pm_PFAFile *pm_PFAFileFindFromFile(pm_Project *project, pm_File *file, tk_ErrorReport **slot);
/* Makes the tile (sample) list exactly the named nodes in order; a null
 * entry ends the names early. */
PM_API void pm_ProjectSetTileList(pm_Project *project, int count, const char *const *names,
                                  tk_ErrorReport **slot);
PM_API void pm_TileSetSampleList(pm_Tile *tile, int count, const char *const *names,
                                 tk_ErrorReport **slot);

/* ---- Processes and arguments ------------------------------------------------- */
PM_API pm_Process *pm_ProcessCreate(const char *name, const char *title, const char *params,
                                    const char *labels, const char *suffix, pm_ProcessOutput output);
/* After the slot: groups of (const char *name, const char *value, int type,
 * int mode, int hide), ended by a null name. Parameter and label file are
 * joined to `directory` (which is created when missing). */
PM_API pm_Process *pm_ProcessVaCreate(const char *name, const char *title, const char *directory,
                                      const char *params, const char *labels, const char *suffix,
                                      pm_ProcessOutput output, tk_ErrorReport **slot, ...);
PM_API void pm_ProcessInitialize(pm_Process *process);
PM_API void pm_ProcessClear(pm_Process *process);
PM_API pm_Process *pm_ProcessDestroy(pm_Process *process);
PM_API pm_Process *pm_ProcessDestroyList(pm_Process *list);
PM_API pm_Argument *pm_ArgumentCreate(const char *name, const char *value, pm_PFAType type,
                                      pm_ArgumentMode mode, pm_ArgumentHide hide);
PM_API void pm_ArgumentInitialize(pm_Argument *argument);
PM_API void pm_ArgumentClear(pm_Argument *argument);
PM_API pm_Argument *pm_ArgumentDestroy(pm_Argument *argument); /* marks its process changed */
PM_API pm_Argument *pm_ArgumentDestroyList(pm_Argument *list);
PM_API void pm_ProcessAppendArgument(pm_Process *process, pm_Argument *argument, tk_ErrorReport **slot);
/* Appends to a process list the host holds; store the returned list. */
PM_API pm_Process *pm_ProcessAppend(pm_Process *list, pm_Process *process, tk_ErrorReport **slot);
PM_API pm_Argument *pm_ArgumentCopy(pm_Argument *argument);
PM_API pm_Argument *pm_ArgumentCopyList(pm_Argument *list, tk_ErrorReport **slot);
PM_API pm_Process *pm_ProcessCopy(pm_Process *process, tk_ErrorReport **slot);
PM_API pm_Process *pm_ProcessCopyList(pm_Process *list, tk_ErrorReport **slot);
/* First argument over all processes of the list whose value equals `value`. */
PM_API pm_Argument *pm_ArgumentFindByValue(pm_Process *list, const char *value);

PM_API char *pm_ProcessGetTitle(pm_Process *process);
PM_API int pm_ProcessSetTitle(pm_Process *process, const char *text);
PM_API char *pm_ProcessGetParams(pm_Process *process);
PM_API int pm_ProcessSetParams(pm_Process *process, const char *text);
PM_API char *pm_ProcessGetLabels(pm_Process *process);
PM_API int pm_ProcessSetLabels(pm_Process *process, const char *text);
PM_API char *pm_ProcessGetSuffix(pm_Process *process);
PM_API int pm_ProcessSetSuffix(pm_Process *process, const char *text);
PM_API pm_ProcessOutput pm_ProcessGetOutput(pm_Process *process);
PM_API int pm_ProcessSetOutput(pm_Process *process, pm_ProcessOutput value);
PM_API char *pm_ArgumentGetValue(pm_Argument *argument);
PM_API int pm_ArgumentSetValue(pm_Argument *argument, const char *value);
PM_API pm_PFAType pm_ArgumentGetType(pm_Argument *argument);
PM_API int pm_ArgumentSetType(pm_Argument *argument, pm_PFAType value);
PM_API pm_ArgumentMode pm_ArgumentGetMode(pm_Argument *argument);
PM_API int pm_ArgumentSetMode(pm_Argument *argument, pm_ArgumentMode value);
PM_API pm_ArgumentHide pm_ArgumentGetHide(pm_Argument *argument);
PM_API int pm_ArgumentSetHide(pm_Argument *argument, pm_ArgumentHide value);

/* ---- Levels and PFA files ------------------------------------------------------ */
PM_API pm_ProcFiles *pm_ProcFilesCreate(void);
PM_API void pm_ProcFilesInitialize(pm_ProcFiles *root);
PM_API void pm_ProcFilesClear(pm_ProcFiles *root);
PM_API void pm_ProcFilesDestroy(pm_ProcFiles *root);
PM_API pm_ProcessLists *pm_ProcessListsCreate(void);
PM_API void pm_ProcessListsInitialize(pm_ProcessLists *lists);
PM_API void pm_ProcessListsClear(pm_ProcessLists *lists);
PM_API void pm_ProcessListsDestroy(pm_ProcessLists *lists);
PM_API pm_PFAFile *pm_PFAFileCreate(const char *name, pm_PFAType type);
PM_API void pm_PFAFileInitialize(pm_PFAFile *pfa);
PM_API void pm_PFAFileClear(pm_PFAFile *pfa);
PM_API pm_PFAFile *pm_PFAFileDestroy(pm_PFAFile *pfa);
PM_API pm_PFAFile *pm_PFAFileDestroyList(pm_PFAFile *list);
PM_API pm_PFAFile *pm_PFAFileAppend(pm_PFAFile *list, pm_PFAFile *pfa, tk_ErrorReport **slot);
PM_API pm_PFAType pm_PFAFileGetType(pm_PFAFile *pfa);
PM_API int pm_PFAFileSetType(pm_PFAFile *pfa, pm_PFAType type);
/* One-element list with "RASTER" ... "AOI"; null for a type outside 0..4. */
PM_API tk_StringList *pm_PFAFileGetTypeString(pm_PFAFile *pfa, tk_ErrorReport **slot);
/* Exact upper-case name to type; 4 with a report when nothing matches. */
PM_API pm_PFAType pm_PFATypeEvaluate(const char *text, tk_ErrorReport **slot);
/* Appends to `list` (null starts one) the names of the PFA files of `type`. */
PM_API tk_StringList *pm_PFAFileGetListByType(tk_StringList *list, pm_PFAFile *pfa_list,
                                              pm_PFAType type, tk_ErrorReport **slot);
PM_API pm_PFAFile *pm_PFAListCopy(pm_PFAFile *list, tk_ErrorReport **slot);
/* The lowest level whose PFA list names the argument's value; -1 with
 * "Cannot find file type in any level" when none does. */
PM_API pm_Level pm_PFAFileFindLevel(pm_Argument *argument, pm_ProcFiles *root, tk_ErrorReport **slot);

/* ---- Readiness and command lines ------------------------------------------------ */
/* 1 when the process may run at the node (project, tile or sample); 0 when
 * not (slot empty) or on error (report). */
PM_API int pm_IsProcessReady(pm_Project *project, pm_Process *process, void *node, tk_ErrorReport **slot);
/* The argument part of the command line ("in $image out $result"). */
PM_API char *pm_ProcessCommandLine(pm_Process *process, tk_ErrorReport **slot);
/* The data file of the node that the argument stands for; not a copy. */
PM_API pm_File *pm_FileGetFromProcessArg(pm_Project *project, pm_Level level, const char *process_name,
                                         const char *argument_name, void *node, tk_ErrorReport **slot);
PM_API char *pm_LabelFileGetFromProcess(pm_Project *project, pm_Level level, const char *process_name,
                                        tk_ErrorReport **slot);

/* ---- Paths ------------------------------------------------------------------------ */
/* Checks the directory (variables expanded) and creates it when missing. */
PM_API void pm_DirectoryCreate(const char *directory, tk_ErrorReport **slot);
PM_API char *pm_DirectoryCat(const char *directory, const char *name, tk_ErrorReport **slot);
PM_API char *pm_DescriptorStringCat(const char *directory, const char *name, const char *suffix,
                                    pm_PFAType type, tk_ErrorReport **slot);
/* "$PROJECT/rest" for a name under the directory; other names unchanged. */
PM_API char *pm_FilenameLocalise(const char *directory, const char *filename, tk_ErrorReport **slot);
PM_API char *pm_FilenameExpand(const char *directory, const char *filename, tk_ErrorReport **slot);

/* ---- Project file name -------------------------------------------------------------- */
PM_API int pm_ProjectSetFilename(pm_Project *project, const char *filename, tk_ErrorReport **slot);
PM_API char *pm_ProjectGetFilename(pm_Project *project);
PM_API char *pm_ProjectGetDirname(pm_Project *project);
PM_API char *pm_ProjectGetBasename(pm_Project *project);

/* ---- Load and save -------------------------------------------------------------------- */
/* `access` is handed to the toolkit unchanged (pass 0). */
PM_API pm_Project *pm_ProjectLoad(const char *filename, int32_t access, tk_ErrorReport **slot);
PM_API void pm_ProjectSave(pm_Project *project, int32_t access, tk_ErrorReport **slot);
PM_API void pm_ProjectSaveAs(pm_Project *project, const char *filename, int32_t access,
                             tk_ErrorReport **slot);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_H */
