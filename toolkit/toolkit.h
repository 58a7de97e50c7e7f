/*
 * toolkit.h: the platform toolkit that kestrum runs on.
 *
 * Memory, doubly linked lists, strings and string lists, error reports,
 * file-system tests, file-name and node-path parts, variable expansion, and
 * the tree file (a file of named, typed records with a dictionary of record
 * designs). Everything here is plain C; the library exports only tk_ names.
 *
 * Conventions that hold for every function:
 *  1. Every string or string list handed out is a new allocation from the
 *     toolkit heap: free strings with tk_HeapFree, string lists with
 *     tk_StringListDelete.
 *  2. A function that can fail takes a report slot (tk_ErrorReport **) last.
 *     On failure it leaves a new report there; the caller owns it and frees
 *     the whole chain with tk_ErrorReportDelete. A null slot is allowed: the
 *     report is then discarded.
 *  3. Null pointers are accepted everywhere and give the natural 0 or null.
 */
#ifndef KESTRUM_TOOLKIT_H
#define KESTRUM_TOOLKIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(TK_BUILDING_TOOLKIT)
#define TK_API __attribute__((visibility("default")))
#else
#define TK_API
#endif

#if defined(__GNUC__) || defined(__clang__)
#define TK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TK_PRINTF(fmt, args)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error reports ------------------------------------------------------
 * A report is one message with the name of the function that made it, a
 * source line, a severity (1 error, 2 serious error) and an optional cause:
 * the report of the inner call that failed. The outermost report of a chain
 * owns every cause beneath it. */
typedef struct tk_ErrorReport tk_ErrorReport;

/* New report chaining `cause` (taken over; may be null). The message is
 * formatted from `format` and the arguments; never pass data as the format.
 * Returns null only when memory runs out, in which case `cause` is freed. */
TK_API tk_ErrorReport *tk_ErrorReportCreate(const char *function, int line, int severity,
                                            tk_ErrorReport *cause, const char *format, ...)
    TK_PRINTF(5, 6);
/* Frees the whole chain in *slot and sets *slot to null. Null is ignored. */
TK_API void tk_ErrorReportDelete(tk_ErrorReport **slot);
TK_API const char *tk_ErrorReportGetMessage(const tk_ErrorReport *report);
TK_API const char *tk_ErrorReportGetFunction(const tk_ErrorReport *report);
TK_API int tk_ErrorReportGetSeverity(const tk_ErrorReport *report);
TK_API int tk_ErrorReportGetLine(const tk_ErrorReport *report);
TK_API const tk_ErrorReport *tk_ErrorReportGetCause(const tk_ErrorReport *report);
/* The whole chain, outermost first, one line per report:
 * "function: message" lines joined by "\n". Free with tk_HeapFree. */
TK_API char *tk_ErrorReportFormatChain(const tk_ErrorReport *report);

/* ---- Memory --------------------------------------------------------------
 * tk_HeapMalloc returns zero-filled memory, or null when none is left (or
 * for size 0). */
TK_API void *tk_HeapMalloc(size_t size);
TK_API void tk_HeapFree(void *pointer);

/* ---- Lists ---------------------------------------------------------------
 * Doubly linked lists whose elements begin with two link words, next then
 * previous. An element in no list has both links null. */
#define TK_LIST_AFTER 1  /* tk_ListAdd: insert right after the reference */
#define TK_LIST_APPEND 3 /* tk_ListAdd: append at the end of the reference's list */
TK_API void *tk_ListStart(void *element);          /* first element; null for null */
TK_API int tk_ListCount(void *element);            /* elements from here to the end */
/* Links a detached element in and returns the list's first element. With
 * TK_LIST_APPEND and a null reference the element becomes a one-element
 * list. Any other `where` links nothing and returns the reference's list. */
TK_API void *tk_ListAdd(void *reference, int where, void *element);
/* Unlinks the element (its own links are left as they were) and returns the
 * first element of what remains, null when nothing remains. */
TK_API void *tk_ListDelete(void *element);

/* ---- Strings -------------------------------------------------------------- */
typedef struct tk_StringList {
  int count;
  char **strings; /* count strings; an entry is null where a null was appended */
} tk_StringList;

TK_API char *tk_StrDuplicate(const char *text); /* null for null */
/* printf-style formatting into a new string. `flags` is reserved (pass 0).
 * On failure returns null and leaves a report. */
TK_API char *tk_Sprintf(int flags, const char *format, tk_ErrorReport **slot, ...) TK_PRINTF(2, 4);
/* Appends a copy of `text` (null is kept as a null entry). A null list starts
 * a new one. Returns the list; on failure the list as it was, with a report. */
TK_API tk_StringList *tk_StringListAppend(tk_StringList *list, const char *text, tk_ErrorReport **slot);
TK_API void tk_StringListDelete(tk_StringList *list, tk_ErrorReport **slot);
TK_API int tk_StrEqualNoCase(const char *a, const char *b); /* nonzero when equal ignoring ASCII case */
/* Byte-wise ordering; null sorts before every string and equals null. */
TK_API int tk_TextCompare(const char *a, const char *b);
TK_API int tk_TextCompareN(const char *a, const char *b, size_t n);
TK_API size_t tk_TextLength(const char *text); /* 0 for null */

/* Variable expansion. "$NAME" and "${NAME}" are replaced by the value of the
 * environment variable NAME (letters, digits and '_'); the name after a bare
 * "$" is as long as it can be. "$$" gives one "$"; a "$" that starts no name
 * stays as it is; an unclosed "${" or a bad name in braces is an error.
 * The variable PROJECT is reserved: "$PROJECT" marks a project-relative name
 * and always expands to "." (the current directory), whatever the
 * environment says, so that checking it never creates anything. Any other
 * variable that is not defined makes the expansion fail with a report, so a
 * path is never silently rewritten to a different place. */
TK_API char *tk_StringExpand(const char *text, tk_ErrorReport **slot);
/* An absolute copy of `path`: a relative path is taken against the current
 * directory; "." components and repeated "/" are dropped and ".." removes the
 * component before it (never above the root). Symbolic links are not
 * resolved. No variables are expanded: `path` names a real place, and a "$"
 * in it is a character like any other. `flags` and `reserved` are unused
 * (pass 0). Null for null, and for a relative path when the current
 * directory cannot be had. */
TK_API char *tk_PathExpand(const char *path, int flags, int reserved);

/* ---- File system ---------------------------------------------------------
 * Every file-system call of the toolkit goes through one internal layer
 * (see tk_FaultInject below). */
TK_API int tk_FileExists(const char *path, tk_ErrorReport **slot); /* nonzero when something exists there */
/* 0 absent, 1 a directory, 2 a plain file (or anything else that is not a
 * directory), -1 undeterminable (with a report). Links are followed; a
 * missing component on the way (ENOENT, ENOTDIR) means absent. */
TK_API int tk_PathExistsAsFileOrDir(const char *path, tk_ErrorReport **slot);
/* Creates one directory; mode 0 means 0777 (less the umask). Returns 1 on
 * success, also when a directory of that name already exists; 0 with a report
 * (path and OS message) on failure. */
TK_API int tk_MakeDir(const char *path, int mode, tk_ErrorReport **slot);

/* ---- Names ---------------------------------------------------------------
 * tk_FileNamePart selects parts of a file path with these bits:
 *   TK_PART_DRIVE 1  (always empty here: there are no drive letters)
 *   TK_PART_DIR   2  the directory part without its final "/" ("/" for a
 *                    file in the root, "." for a bare name)
 *   TK_PART_DIRSEP 4 with TK_PART_DIR and a name part: one "/" between
 *                    the directory and the name (no effect on its own; part
 *                    of the directory selector 7)
 *   TK_PART_BASE  8  the name without directory and extension
 *   TK_PART_EXT  16  the extension, with its "."
 * so 7 gives the directory in which the file lies, 8 the base name and 24
 * the name with its extension. Other combinations concatenate the parts.
 * The name is what follows the last "/" (empty for a path ending in "/"); its
 * extension starts at its last "." unless that is its first character
 * (".profile" has none) or the name is "..". A null path or unknown selector
 * bits give null with a report. */
#define TK_PART_DRIVE 1
#define TK_PART_DIR 2
#define TK_PART_DIRSEP 4
#define TK_PART_BASE 8
#define TK_PART_EXT 16
TK_API char *tk_FileNamePart(const char *path, int selector, int reserved, tk_ErrorReport **slot);
/* tk_NodePathPart splits a tree-file node path (separator ':'):
 *   TK_NODE_NAME   256 the last name of the path
 *   TK_NODE_PARENT 192 the parent part: ":" for a child of the root,
 *                      otherwise the path up to and including the ':' that
 *                      precedes the last name
 * (both together give the whole path). Paths are taken from the root:
 * "::T" and the bare "T" mean ":T". A path without a last name (":", "", a
 * trailing ':' or an empty name inside), a null path or another selector
 * gives null with a report. */
#define TK_NODE_NAME 256
#define TK_NODE_PARENT 192
TK_API char *tk_NodePathPart(const char *path, int selector, int reserved, tk_ErrorReport **slot);

/* ---- Tree file -------------------------------------------------------------
 * A file of named nodes in a tree. Each node holds one record of a design
 * registered in the file's dictionary. Paths use ':' as separator: ":" is the
 * root; a child of the root is ":NAME" (or the bare "NAME" when given as a
 * parent path); its child ":NAME:CHILD"; "::NAME" is accepted for ":NAME".
 *
 * Changes are made in memory and reach the disk only at tk_TreeFileClose,
 * which writes a new file beside the old one, flushes it, renames it over
 * the old one (keeping its permissions, its owner and group where the
 * process may set them, and any symbolic link) and flushes the directory.
 * Only a regular file is replaced: creating or closing over a device, a
 * pipe or a socket (after links) is refused. tk_TreeFileAbandon drops the
 * changes; the file on disk stays as it was. A handle that creates or
 * updates a file is its one writer until it is closed or abandoned, also
 * while the file does not exist yet; another is refused with "... is in use
 * by another writer". Opening reads and checks the 16-byte header before
 * the rest of the file. */
typedef struct tk_TreeFile tk_TreeFile;
typedef struct tk_Dictionary tk_Dictionary;
typedef struct tk_Design tk_Design;

/* Item kinds of a design and their in-memory form inside a record, laid out
 * in item order with the platform's natural alignment: */
#define TK_ITEM_END 0          /* ends the item list */
#define TK_ITEM_ENUM 3         /* name, value names..., NULL  -> int32_t index */
#define TK_ITEM_TIME 14        /* name                        -> double */
#define TK_ITEM_RECORD_LIST 513 /* name, element design       -> tk_RecordList */
#define TK_ITEM_STRING 520     /* name                        -> tk_StringItem */

typedef struct tk_StringItem {
  int32_t count; /* length + 1 for a present text, 0 for an absent one */
  char *text;    /* reads back as null when count is 0 */
} tk_StringItem;

typedef struct tk_RecordList {
  int32_t count;
  void *elements; /* count element records laid out by the element design */
} tk_RecordList;

/* Constants of the calls. */
#define TK_SEEK_ROOT 0
#define TK_SEEK_PATH 8
#define TK_WRITE_NEW 4
#define TK_READ_RECORD 12
#define TK_DELETE_TREE 17
#define TK_LIST_CHILDREN 1

TK_API tk_TreeFile *tk_TreeFileCreate(const char *path, int32_t access, tk_ErrorReport **slot);
/* mode "rb" reads; "rb+" opens for update (refused while another handle
 * holds the file for update or creation). `flags` is 0, or with "rb+"
 * TK_OPEN_CHECK_RECORDS_LATER, for a writer that is about to delete most of
 * the file and write it anew: the checksum and every node's place, name and
 * design are checked at once, the records only by tk_TreeFileCheckRecords,
 * so that records deleted before it are never decoded. Reading a record
 * checks it as always, and closing checks whatever is still unchecked
 * before it writes anything. */
#define TK_OPEN_CHECK_RECORDS_LATER 1
TK_API tk_TreeFile *tk_TreeFileOpen(const char *path, const char *mode, int32_t access,
                                    tk_ErrorReport **slot, int flags);
/* Checks the records that opening left unchecked (see above) of the nodes
 * the file still holds. 1 when they are sound or there are none; 0 with
 * the report opening gives for a damaged record ("PATH: damaged at offset
 * N: ...") otherwise. */
TK_API int tk_TreeFileCheckRecords(tk_TreeFile *file, tk_ErrorReport **slot);
/* Writes a created or updated file to disk (see above) and frees the handle.
 * Returns 1 on success; on failure 0 with a report, the old file untouched. */
TK_API int tk_TreeFileClose(tk_TreeFile *file, tk_ErrorReport **slot);
/* Frees the handle without writing anything. */
TK_API void tk_TreeFileAbandon(tk_TreeFile *file);
TK_API tk_Dictionary *tk_TreeFileGetDictionary(tk_TreeFile *file);
TK_API int tk_TreeEntrySeek(tk_TreeFile *file, int how, const char *node, tk_ErrorReport **slot);
TK_API int tk_TreeObjectWrite(tk_TreeFile *file, const char *parent, const char *name,
                              const char *design_name, int flags, const void *record,
                              tk_Design *design, tk_ErrorReport **slot);
/* Fills `record` (of tk_DesignRecordSize bytes); strings and element arrays
 * are new allocations that the caller takes over (free with tk_HeapFree). */
TK_API int tk_TreeObjectRead(tk_TreeFile *file, const char *parent, const char *name, int flags,
                             void *record, tk_Design *design, tk_ErrorReport **slot);
/* Paths of the nodes of that design beneath `path` (at any depth, or only
 * its children with TK_LIST_CHILDREN in `flags`), in the order they were
 * written; an empty list (never null) when there are none. */
TK_API tk_StringList *tk_TreeObjectList(tk_TreeFile *file, const char *path, int flags,
                                        const char *design_name, tk_ErrorReport **slot);
/* Nodes by number, for visiting every node of a large file without a path
 * per node: the root is 0, a number stays valid until a node is deleted,
 * and -1 stands for no node. FirstChild and NextSibling give the next node
 * in written order holding a record of `design_name` (any, when null).
 * tk_TreeNodeName gives the name's bytes in place (not NUL-terminated) and
 * its length, valid until the file changes or closes. */
TK_API int64_t tk_TreeNodeFind(tk_TreeFile *file, const char *path);
TK_API int64_t tk_TreeNodeFirstChild(tk_TreeFile *file, int64_t node, const char *design_name);
TK_API int64_t tk_TreeNodeNextSibling(tk_TreeFile *file, int64_t node, const char *design_name);
TK_API const char *tk_TreeNodeName(tk_TreeFile *file, int64_t node, size_t *length);
/* tk_TreeObjectRead for a node by number. */
TK_API int tk_TreeNodeRead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design, tk_ErrorReport **slot);
/* A record whose record list may be too long to hold decoded at once:
 * tk_TreeObjectReadHead and tk_TreeNodeReadHead read it as tk_TreeObjectRead
 * and tk_TreeNodeRead do (same checks, same reports), except that the
 * elements of the design's first record-list item stay in the file: that
 * item reads back with its count and null elements, and `cursor` is set to
 * take them in order with tk_ListCursorRead. A design without a record list
 * gives a cursor with nothing left. The cursor holds no memory of its own
 * and is valid while the file is not changed. */
typedef struct tk_ListCursor {
  tk_TreeFile *file;
  int64_t node;
  const tk_Design *element; /* the element design */
  uint64_t offset;          /* where the next element starts in the record */
  int32_t left;             /* elements not yet taken */
} tk_ListCursor;
TK_API int tk_TreeObjectReadHead(tk_TreeFile *file, const char *parent, const char *name, void *record,
                                 tk_Design *design, tk_ListCursor *cursor, tk_ErrorReport **slot);
TK_API int tk_TreeNodeReadHead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design,
                               tk_ListCursor *cursor, tk_ErrorReport **slot);
/* Decodes the next elements, at most `max`, into `elements` (room for `max`
 * element records; texts are new allocations the caller takes over) and
 * moves the cursor past them. Returns how many, 0 when none are left; -1
 * with a report when an element is damaged or memory runs out, with nothing
 * allocated left in `elements`. */
TK_API int32_t tk_ListCursorRead(tk_ListCursor *cursor, void *elements, int32_t max, tk_ErrorReport **slot);
/* tk_TreeObjectWrite under a parent by number: the new node's number, or
 * -1 with a report. */
TK_API int64_t tk_TreeNodeWrite(tk_TreeFile *file, int64_t parent, const char *name, const char *design_name,
                                const void *record, tk_Design *design, tk_ErrorReport **slot);
/* Deletes the node and everything beneath it. */
TK_API int tk_TreeObjectDelete(tk_TreeFile *file, const char *root, const char *path, int flags,
                               tk_ErrorReport **slot);
/* Registers a design: after the slot come item entries (kind, name, operands)
 * ending with TK_ITEM_END. */
TK_API tk_Design *tk_DesignCreate(tk_Dictionary *dictionary, const char *name, tk_ErrorReport **slot, ...);
/* The design of that name, or null without a report when there is none. */
TK_API tk_Design *tk_DictionarySearchByName(tk_Dictionary *dictionary, const char *name,
                                            tk_ErrorReport **slot);
TK_API size_t tk_DesignRecordSize(const tk_Design *design);
/* A dictionary of its own, outside any file: a reader registers the designs
 * it expects there and compares them with a file's (tk_DesignEqual) before
 * reading records into buffers of its own size. */
TK_API tk_Dictionary *tk_DictionaryCreate(void);
TK_API void tk_DictionaryDelete(tk_Dictionary *dictionary);
/* Nonzero when both designs have the same name and the same items (names,
 * kinds, order, enumeration value names, element designs, recursively). */
TK_API int tk_DesignEqual(const tk_Design *a, const tk_Design *b);

/* Designs as a file holds them, for a reader that takes them as they are
 * instead of comparing them with its own (a dump of an unknown or damaged
 * file): the designs of a dictionary by position, the items of a design,
 * and the design of a node's record. Names may hold any bytes, so they come
 * with their length and are not NUL-terminated. What these calls return
 * points into the dictionary and stays valid while the dictionary does. */
typedef struct tk_DesignItem {
  int kind;                 /* TK_ITEM_STRING, TK_ITEM_ENUM, TK_ITEM_TIME or TK_ITEM_RECORD_LIST */
  const char *name;
  size_t name_length;
  size_t offset;            /* where the item's value lies in a record of the design */
  size_t value_count;       /* enumeration: how many value names it has */
  const tk_Design *element; /* record list: the design of its elements */
} tk_DesignItem;
TK_API size_t tk_DictionaryDesignCount(const tk_Dictionary *dictionary);
/* The design at that position (the order of registration); null past the end. */
TK_API tk_Design *tk_DictionaryDesignAt(tk_Dictionary *dictionary, size_t position);
TK_API const char *tk_DesignName(const tk_Design *design, size_t *length);
TK_API size_t tk_DesignItemCount(const tk_Design *design);
/* Fills `item` and returns 1; 0 (item zeroed) when there is no such item. */
TK_API int tk_DesignItemGet(const tk_Design *design, size_t index, tk_DesignItem *item);
/* The name of value `value` of enumeration item `index`; null when there is none. */
TK_API const char *tk_DesignItemValue(const tk_Design *design, size_t index, size_t value, size_t *length);
/* The design of the node's record in the file's dictionary; null for the
 * root and for a number that is no node. */
TK_API tk_Design *tk_TreeNodeDesign(tk_TreeFile *file, int64_t node);
/* Frees what a read left in `record` (texts and element arrays, at every
 * depth) and zeroes the record. `record` must be a record of `design` as
 * tk_TreeObjectRead or tk_TreeNodeRead filled it, or zeroed memory. */
TK_API void tk_DesignRecordRelease(const tk_Design *design, void *record);

/* ---- Fault injection (test builds) ----------------------------------------
 * In builds with TK_FAULT_INJECTION every file-system call counts as one
 * operation; tk_FaultInject makes operation number `nth` (1-based, counted
 * from this call) fail with `error` (an errno value; TK_FAULT_SHORT_WRITE for
 * a short write), once or, with `persistent`, from then on. nth 0 disarms.
 * A failing call does nothing (a short write writes half its buffer first)
 * and returns -1 with errno `error`; ENOSPC for TK_FAULT_SHORT_WRITE on any
 * call, EIO for error 0. A failing close still releases the descriptor.
 * Returns the number of operations counted since the last call. Fault
 * injection is compiled in only when the build asks for it
 * (KESTRUM_FAULT_INJECTION, which the test builds set); otherwise the symbol
 * stays, so that the export list is the same, but it does nothing and
 * returns -1, and file calls go straight to the system. */
#define TK_FAULT_SHORT_WRITE (-1)
TK_API long tk_FaultInject(long nth, int error, int persistent);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_TOOLKIT_H */
