/**
 * \file toolkit.h
 * \brief The platform toolkit that kestrum runs on (libkestrum-toolkit).
 *
 * Memory, doubly linked lists, strings and string lists, error reports,
 * file-system tests, file-name and node-path parts, variable expansion, and
 * the tree file (a file of named, typed records with a dictionary of record
 * designs). Everything here is plain C; the library exports only tk_ names.
 * It is installed as include/kestrum/toolkit.h, and kestrum.h includes it.
 *
 * Conventions that hold for every function (individual comments say only
 * what differs):
 *  1. Every string or string list handed out is a new allocation from the
 *     toolkit heap: free strings with tk_HeapFree, string lists with
 *     tk_StringListDelete. Texts that point into a file or a dictionary say
 *     so and are not freed.
 *  2. A function that can fail takes a report slot (tk_ErrorReport **) last.
 *     It sets the slot to null on entry without freeing what was there, so
 *     free a report before the slot is used again. On failure it leaves one
 *     new report chain there; the caller owns it and frees the whole chain
 *     with tk_ErrorReportDelete. A null slot is allowed: the report is then
 *     discarded. The reports named below are the outermost one's message.
 *  3. Null pointers are accepted everywhere and give the natural 0 or null.
 */
#ifndef KESTRUM_TOOLKIT_H
#define KESTRUM_TOOLKIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(TK_BUILDING_TOOLKIT)
#define TK_API __attribute__((visibility("default")))
#else
/** Marks an exported function (empty for users of the header). */
#define TK_API
#endif

#if defined(__GNUC__) || defined(__clang__)
#define TK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
/** Lets the compiler check the arguments of a printf-style function. */
#define TK_PRINTF(fmt, args)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Error reports ------------------------------------------------------ */
/** A report: one message with the name of the function that made it, a
 *  source line, a severity (1 error, 2 serious error) and an optional cause,
 *  the report of the inner call that failed. The outermost report of a chain
 *  owns every cause beneath it. Opaque; read it through the getters. */
typedef struct tk_ErrorReport tk_ErrorReport;
#define TK_SEVERITY_ERROR 1   /**< a report's severity: an error */
#define TK_SEVERITY_SERIOUS 2 /**< a report's severity: a serious error */

/** New report on top of `cause`.
 *  \param function name of the reporting function (null gives "")
 *  \param line source line, kept for the reader
 *  \param severity TK_SEVERITY_ERROR or TK_SEVERITY_SERIOUS
 *  \param cause the inner report, taken over (freed with the new one); may be null
 *  \param format printf format of the message (null gives ""); never pass data as the format
 *  \param ... the format's arguments
 *  \return the new report, owned by the caller (tk_ErrorReportDelete); never null: when memory
 *          runs out it is `cause` itself, or, without a cause, a shared report "Out of memory" that
 *          tk_ErrorReportDelete knows not to free, so that a failure never goes unreported */
TK_API tk_ErrorReport *tk_ErrorReportCreate(const char *function, int line, int severity,
                                            tk_ErrorReport *cause, const char *format, ...)
    TK_PRINTF(5, 6);
/** Frees the whole chain held in a slot and sets the slot to null.
 *  \param slot the slot; a null slot or an empty one is ignored */
TK_API void tk_ErrorReportDelete(tk_ErrorReport **slot);
/** The report's message.
 *  \param report the report, or null
 *  \return the message, owned by the report (not freed); null for null */
TK_API const char *tk_ErrorReportGetMessage(const tk_ErrorReport *report);
/** The name of the function that made the report.
 *  \param report the report, or null
 *  \return the name, owned by the report (not freed); null for null */
TK_API const char *tk_ErrorReportGetFunction(const tk_ErrorReport *report);
/** The report's severity.
 *  \param report the report, or null
 *  \return 1 error, 2 serious error; 0 for null */
TK_API int tk_ErrorReportGetSeverity(const tk_ErrorReport *report);
/** The source line given when the report was made.
 *  \param report the report, or null
 *  \return the line (0 when none was given); 0 for null */
TK_API int tk_ErrorReportGetLine(const tk_ErrorReport *report);
/** The next report of the chain.
 *  \param report the report, or null
 *  \return its cause, owned by the chain (not freed); null at the end of the chain and for null */
TK_API const tk_ErrorReport *tk_ErrorReportGetCause(const tk_ErrorReport *report);
/** The whole chain as text, outermost first: "function: message" lines joined by "\n".
 *  \param report the outermost report, or null
 *  \return a new text (tk_HeapFree); null for null or when memory runs out */
TK_API char *tk_ErrorReportFormatChain(const tk_ErrorReport *report);

/* ---- Memory -------------------------------------------------------------- */
/** Zero-filled memory from the toolkit heap, from which every handed-out text comes.
 *  \param size bytes wanted
 *  \return the memory (tk_HeapFree); null for size 0 or when none is left */
TK_API void *tk_HeapMalloc(size_t size);
/** Frees memory of the toolkit heap: every text the toolkit or the library hands out.
 *  \param pointer the memory, or null (ignored) */
TK_API void tk_HeapFree(void *pointer);

/* ---- Lists ---------------------------------------------------------------
 * Doubly linked lists whose elements begin with two link words, next then
 * previous. An element in no list has both links null. A list is held by a
 * pointer to its first element, which the caller keeps up to date from
 * what tk_ListAdd and tk_ListDelete return. */
#define TK_LIST_AFTER 1  /**< tk_ListAdd: insert right after the reference */
#define TK_LIST_APPEND 3 /**< tk_ListAdd: append at the end of the reference's list */
/** The first element of the list an element is in.
 *  \param element any element, or null
 *  \return the first element (the element itself when it has no predecessor); null for null */
TK_API void *tk_ListStart(void *element);
/** Counts elements from one to the end of its list.
 *  \param element the element to start from (pass the first for the whole list), or null
 *  \return how many elements follow the links from `element` on, it included; 0 for null */
TK_API int tk_ListCount(void *element);
/** Links a detached element into a list.
 *  \param reference an element of the list, or null (TK_LIST_APPEND then starts a one-element list)
 *  \param where TK_LIST_APPEND (at the end of the reference's list) or TK_LIST_AFTER (right after
 *         the reference); any other value, or TK_LIST_AFTER with a null reference, links nothing
 *  \param element the element to link, with both links null; null links nothing
 *  \return the first element of the list; store it */
TK_API void *tk_ListAdd(void *reference, int where, void *element);
/** Unlinks an element from its list; its own links are left as they were.
 *  \param element the element, or null
 *  \return the first element of what remains; null when nothing remains and for null */
TK_API void *tk_ListDelete(void *element);

/* ---- Strings -------------------------------------------------------------- */
/** A list of texts, made by tk_StringListAppend and freed with tk_StringListDelete. */
typedef struct tk_StringList {
  int count;      /**< how many entries `strings` holds */
  char **strings; /**< the entries; an entry is null where a null was appended */
} tk_StringList;

/** A copy of a text.
 *  \param text the text, or null
 *  \return a new text (tk_HeapFree); null for null or when memory runs out */
TK_API char *tk_StrDuplicate(const char *text);
/** printf-style formatting into a new text.
 *  \param flags reserved; pass 0
 *  \param format the printf format; never pass data as the format
 *  \param slot report slot: "No format given" for a null format, "Cannot format string" when the
 *         format is bad or memory runs out
 *  \param ... the format's arguments
 *  \return a new text (tk_HeapFree); null with a report on failure */
TK_API char *tk_Sprintf(int flags, const char *format, tk_ErrorReport **slot, ...) TK_PRINTF(2, 4);
/** Appends a copy of a text to a string list.
 *  \param list the list; null starts a new one
 *  \param text the text; null is kept as a null entry
 *  \param slot report slot: "Out of memory for a string list"
 *  \return the list (tk_StringListDelete); on failure the list as it was (null when it was a new one),
 *          with a report */
TK_API tk_StringList *tk_StringListAppend(tk_StringList *list, const char *text, tk_ErrorReport **slot);
/** Frees a string list with all its texts.
 *  \param list the list, or null (ignored)
 *  \param slot report slot; cleared, never filled */
TK_API void tk_StringListDelete(tk_StringList *list, tk_ErrorReport **slot);
/** Compares two texts ignoring ASCII case.
 *  \param a first text, or null
 *  \param b second text, or null
 *  \return nonzero when equal ignoring ASCII case (two nulls are equal, a null equals no text), else 0 */
TK_API int tk_StrEqualNoCase(const char *a, const char *b);
/** Byte-wise ordering of two texts; null sorts before every text and equals null.
 *  \param a first text, or null
 *  \param b second text, or null
 *  \return less than, equal to or greater than 0 as `a` sorts before, with or after `b` */
TK_API int tk_TextCompare(const char *a, const char *b);
/** tk_TextCompare over at most the first `n` bytes.
 *  \param a first text, or null
 *  \param b second text, or null
 *  \param n most bytes compared
 *  \return less than, equal to or greater than 0 as `a` sorts before, with or after `b` */
TK_API int tk_TextCompareN(const char *a, const char *b, size_t n);
/** Length of a text in bytes.
 *  \param text the text, or null
 *  \return its length without the terminating NUL; 0 for null */
TK_API size_t tk_TextLength(const char *text);

/** Expands environment variables in a text.
 *  "$NAME" and "${NAME}" are replaced by the value of the environment
 *  variable NAME (letters, digits and '_'); the name after a bare "$" is as
 *  long as it can be. "$$" gives one "$"; a "$" that starts no name stays as
 *  it is; an unclosed "${" or a bad name in braces is an error. The variable
 *  PROJECT is reserved: "$PROJECT" marks a project-relative name and always
 *  expands to "." (the current directory), whatever the environment says,
 *  so that checking it never creates anything. Any other variable that is
 *  not defined makes the expansion fail, so a path is never silently
 *  rewritten to a different place.
 *  \param text the text to expand
 *  \param slot report slot: "No text given", "Variable NAME is not defined (expanding ...)",
 *         "Missing "}" after "${" in ...", "Invalid variable name ...", "Out of memory"
 *  \return the expanded text (tk_HeapFree); null with a report on failure */
TK_API char *tk_StringExpand(const char *text, tk_ErrorReport **slot);
/** An absolute, tidied copy of a path.
 *  A relative path is taken against the current directory; "." components
 *  and repeated "/" are dropped and ".." removes the component before it
 *  (never above the root). Symbolic links are not resolved. No variables
 *  are expanded: `path` names a real place, and a "$" in it is a character
 *  like any other.
 *  \param path the path, or null
 *  \param flags unused; pass 0
 *  \param reserved unused; pass 0
 *  \return the absolute path (tk_HeapFree); null for null, when memory runs out, and for a relative
 *          path when the current directory cannot be had (no report) */
TK_API char *tk_PathExpand(const char *path, int flags, int reserved);

/* ---- File system ---------------------------------------------------------
 * Every file-system call of the toolkit goes through one internal layer
 * (see tk_FaultInject below). */
/** Whether anything exists at a path (links followed; a dangling link is absent).
 *  \param path the path, or null (absent)
 *  \param slot report slot: "Cannot check existence of PATH" over the report of
 *         tk_PathExistsAsFileOrDir when that cannot tell
 *  \return nonzero when something exists there; 0 when not, or with a report when it cannot be told */
TK_API int tk_FileExists(const char *path, tk_ErrorReport **slot);
/** What tk_PathExistsAsFileOrDir finds at a path. */
typedef enum tk_PathKind {
  TK_PATH_UNKNOWN = -1, /**< undeterminable */
  TK_PATH_ABSENT = 0,   /**< nothing there */
  TK_PATH_DIR = 1,      /**< a directory */
  TK_PATH_FILE = 2      /**< a plain file, or anything else that is not a directory */
} tk_PathKind;
/** What lies at a path. Links are followed; a missing component on the way
 *  (ENOENT, ENOTDIR) means absent.
 *  \param path the path, or null (absent)
 *  \param slot report slot: "Cannot determine the status of PATH: <system message>"
 *  \return a tk_PathKind: TK_PATH_ABSENT, TK_PATH_DIR, TK_PATH_FILE (a plain file, or anything
 *          else that is not a directory), TK_PATH_UNKNOWN (undeterminable, with a report) */
TK_API int tk_PathExistsAsFileOrDir(const char *path, tk_ErrorReport **slot);
#define TK_MODE_ALL 0777 /**< tk_MakeDir: read, write and search for everyone, less the umask */
/** Creates one directory (not its parents).
 *  \param path the directory
 *  \param mode permission bits; 0 means TK_MODE_ALL (less the umask)
 *  \param slot report slot: "No directory name given", "Cannot create directory PATH: <system message>"
 *  \return 1 on success, also when a directory of that name already exists; 0 with a report */
TK_API int tk_MakeDir(const char *path, int mode, tk_ErrorReport **slot);

/* ---- Names ---------------------------------------------------------------
 * tk_FileNamePart selects parts of a file path with these bits:
 *   TK_PART_DRIVE 1  (always empty here: there are no drive letters)
 *   TK_PART_DIR   2  the directory part without its final "/" ("/" for a
 *                    file in the root, "." for a bare name)
 *   TK_PART_DIRSEP 4 with TK_PART_DIR and a name part: one "/" between
 *                    the directory and the name (no effect on its own; part
 *                    of the directory selector TK_PART_DIRECTORY, 7)
 *   TK_PART_BASE  8  the name without directory and extension
 *   TK_PART_EXT  16  the extension, with its "."
 * so 7 gives the directory in which the file lies, 8 the base name and 24
 * the name with its extension. Other combinations concatenate the parts.
 * The name is what follows the last "/" (empty for a path ending in "/"); its
 * extension starts at its last "." unless that is its first character
 * (".profile" has none) or the name is "..". A null path or unknown selector
 * bits give null with a report. */
#define TK_PART_DRIVE 1  /**< tk_FileNamePart: the drive (always empty) */
#define TK_PART_DIR 2    /**< tk_FileNamePart: the directory without its final "/" */
#define TK_PART_DIRSEP 4 /**< tk_FileNamePart: one "/" between directory and name */
#define TK_PART_BASE 8   /**< tk_FileNamePart: the name without extension */
#define TK_PART_EXT 16   /**< tk_FileNamePart: the extension with its "." */
/** tk_FileNamePart: the directory in which the file lies */
#define TK_PART_DIRECTORY (TK_PART_DRIVE | TK_PART_DIR | TK_PART_DIRSEP)
/** Parts of a file path, as described above.
 *  \param path the path
 *  \param selector TK_PART_* bits
 *  \param reserved unused; pass 0
 *  \param slot report slot: "No path given", "Invalid file name part selector N for PATH",
 *         "Out of memory"
 *  \return the selected parts concatenated (tk_HeapFree), possibly empty; null with a report */
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
#define TK_NODE_NAME 256   /**< tk_NodePathPart: the last name of the path */
#define TK_NODE_PARENT 192 /**< tk_NodePathPart: the parent part of the path */
/** Parts of a tree-file node path, as described above.
 *  \param path the node path
 *  \param selector TK_NODE_NAME, TK_NODE_PARENT or both
 *  \param reserved unused; pass 0
 *  \param slot report slot: "No node path given", "Invalid node path part selector N for PATH",
 *         "Node path "PATH" does not end in a node name", "Out of memory"
 *  \return the selected part (tk_HeapFree); null with a report */
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
 * the rest of the file.
 *
 * Tree-file reports name the file and the node: "No node PATH in FILE",
 * "Bad node path "PATH"", "FILE is open for reading only", "Node NAME
 * already exists under PARENT", "Node NAME under PARENT is damaged: ...",
 * "Node NAME under PARENT holds a D record, not a E record", "No design D in
 * FILE", "Out of memory" and the like; the functions below list their own. */
/** An open tree file (opaque); from tk_TreeFileCreate or tk_TreeFileOpen, freed by tk_TreeFileClose
 *  or tk_TreeFileAbandon. */
typedef struct tk_TreeFile tk_TreeFile;
/** A dictionary of designs (opaque): a file's own, or one of tk_DictionaryCreate. */
typedef struct tk_Dictionary tk_Dictionary;
/** A record design (opaque), owned by its dictionary. */
typedef struct tk_Design tk_Design;

/* Item kinds of a design and their in-memory form inside a record, laid out
 * in item order with the platform's natural alignment: */
#define TK_ITEM_END 0          /**< ends the item list of tk_DesignCreate */
#define TK_ITEM_ENUM 3         /**< operands: name, value names..., NULL; in a record an int32_t index */
#define TK_ITEM_TIME 14        /**< operand: name; in a record a double */
#define TK_ITEM_RECORD_LIST 513 /**< operands: name, element design; in a record a tk_RecordList */
#define TK_ITEM_STRING 520     /**< operand: name; in a record a tk_StringItem */

/** A text item inside a record. */
typedef struct tk_StringItem {
  int32_t count; /**< length + 1 for a present text, 0 for an absent one */
  char *text;    /**< the text; reads back as null when count is 0 */
} tk_StringItem;

/** A record-list item inside a record. */
typedef struct tk_RecordList {
  int32_t count;  /**< how many element records follow `elements` */
  void *elements; /**< count element records laid out by the element design */
} tk_RecordList;

/* Constants of the calls. */
#define TK_SEEK_ROOT 0     /**< tk_TreeEntrySeek: the root */
#define TK_SEEK_PATH 8     /**< tk_TreeEntrySeek: the node at a path */
#define TK_WRITE_NEW 4     /**< tk_TreeObjectWrite flags: a new node (the only way of writing) */
#define TK_READ_RECORD 12  /**< tk_TreeObjectRead flags: read the record (the only way of reading) */
#define TK_DELETE_TREE 17  /**< tk_TreeObjectDelete flags: the node with its subtree (always so) */
#define TK_LIST_CHILDREN 1 /**< tk_TreeObjectList flags: children only, not every depth */

/** Starts a new tree file in memory; it replaces any file at `path` only at tk_TreeFileClose.
 *  \param path where the file goes; its directory must exist
 *  \param access unused (the file takes the umask's permissions, or the replaced file's)
 *  \param slot report slot: "No file name given", "Cannot create PATH: ..." (the directory is
 *         missing or no directory, PATH is a directory or not a regular file, "... is in use by
 *         another writer")
 *  \return the handle, the file's one writer (tk_TreeFileClose or tk_TreeFileAbandon); null with a
 *          report */
TK_API tk_TreeFile *tk_TreeFileCreate(const char *path, int32_t access, tk_ErrorReport **slot);
/** Reads a whole tree file into memory and checks it.
 *  \param path the file
 *  \param mode "rb" reads; "rb+" opens for update (refused while another handle holds the file for
 *         update or creation)
 *  \param access unused; pass 0
 *  \param slot report slot: "No file name given", "Cannot open PATH: unsupported mode ...",
 *         "PATH does not exist", "Cannot open PATH: <system message>", "... is in use by another
 *         writer", and for a file that is no tree file or is damaged "PATH: not a project file",
 *         "unsupported version N" (": written by a newer kestrum ..." when N is newer), "checksum
 *         mismatch", "damaged at offset N"; with "rb+", "PATH: written by a newer kestrum (write
 *         version N) ..." for a file whose write version is newer (see tk_TreeFileVersions)
 *         ("Cannot open PATH: unsupported flags N with mode "rb"" for flags a read cannot take)
 *  \param flags 0, or with "rb" TK_OPEN_CHECK_RECORDS_ON_READ (below), or with "rb+" TK_OPEN_CHECK_RECORDS_LATER, for a writer that is about to delete
 *         most of the file and write it anew: the checksum and every node's place, name and design are
 *         checked at once, the records only by tk_TreeFileCheckRecords, so that records deleted before
 *         it are never decoded. Reading a record checks it as always, and closing checks whatever is
 *         still unchecked before it writes anything.
 *  \return the handle (tk_TreeFileClose or tk_TreeFileAbandon); null with a report */
TK_API tk_TreeFile *tk_TreeFileOpen(const char *path, const char *mode, int32_t access,
                                    tk_ErrorReport **slot, int flags);
/** tk_TreeFileOpen flag: leave the records' checks to tk_TreeFileCheckRecords (with "rb+" only). */
#define TK_OPEN_CHECK_RECORDS_LATER 1
/** tk_TreeFileOpen flag: with "rb" only, for a reader about to read most records: the checksum and every
 *  node's place, name and design are checked at once, each record when it is read (a damaged one fails
 *  its read), and those never read by tk_TreeFileCheckRecords, which then decodes no record twice. */
#define TK_OPEN_CHECK_RECORDS_ON_READ 2
/** Checks the records that opening left unchecked (TK_OPEN_CHECK_RECORDS_LATER) of the nodes the file
 *  still holds, in file order, as opening would have.
 *  \param file the handle
 *  \param slot report slot: "PATH: damaged at offset N: ..." for the first damaged record
 *  \return 1 when they are sound or none is left unchecked; 0 with a report */
TK_API int tk_TreeFileCheckRecords(tk_TreeFile *file, tk_ErrorReport **slot);
/** Writes a created or changed updated file to disk (see above) and frees the handle in every case.
 *  \param file the handle, or null
 *  \param slot report slot: "Cannot write PATH: <step>: <system message>", or "Cannot write PATH:
 *         damaged at offset N: ..." for a record left unchecked at opening that is damaged
 *  \return 1 on success (also for a file opened for reading, which is never written); 0 for null,
 *          or with a report when writing failed, the old file untouched */
TK_API int tk_TreeFileClose(tk_TreeFile *file, tk_ErrorReport **slot);
/** Frees the handle without writing anything; the file on disk stays as it was.
 *  \param file the handle, or null (ignored) */
TK_API void tk_TreeFileAbandon(tk_TreeFile *file);
/** The versions in the file's header. A reader opens every file whose read version it knows; one
 *  whose write version is newer than this toolkit's it only reads ("rb+" refuses it with "PATH: written
 *  by a newer kestrum ..."), since a newer writer may have stored what this one would lose.
 *  \param file the handle, or null
 *  \param read set to the read version (1 for every file this toolkit opens); may be null
 *  \param write set to the write version (1 for a file this toolkit wrote); may be null
 *  \return 1 when this toolkit may save into such a file; 0 when not, and for null */
TK_API int tk_TreeFileVersions(const tk_TreeFile *file, uint32_t *read, uint32_t *write);
/** The file's own dictionary of designs.
 *  \param file the handle, or null
 *  \return the dictionary, owned by the file (tk_DictionaryDelete ignores it); null for null */
TK_API tk_Dictionary *tk_TreeFileGetDictionary(tk_TreeFile *file);
/** Makes the root or the node at a path the file's current node: a way to check that a node
 *  exists. Reads and writes name their nodes themselves; the current node changes none of them.
 *  \param file the handle
 *  \param how TK_SEEK_ROOT or TK_SEEK_PATH
 *  \param node the node path for TK_SEEK_PATH (ignored for TK_SEEK_ROOT)
 *  \param slot report slot: "No file given", "Unknown way of seeking N", "No node path given",
 *         "No node PATH in FILE", "Bad node path ..."
 *  \return 1 when found; 0 with a report */
TK_API int tk_TreeEntrySeek(tk_TreeFile *file, int how, const char *node, tk_ErrorReport **slot);
/** Writes a record as a new node.
 *  \param file a handle that creates or updates its file
 *  \param parent path of the parent node (":" for the root)
 *  \param name the new node's name; no sibling may bear it
 *  \param design_name name of the record's design in the file's dictionary (may be null when
 *         `design` is given)
 *  \param flags unused (TK_WRITE_NEW)
 *  \param record the record, laid out by the design
 *  \param design the record's design: the file's, or an equal one of another dictionary; null to
 *         take `design_name`
 *  \param slot report slot: "No file given", "FILE is open for reading only", "Node NAME already
 *         exists under PARENT", "Cannot write node NAME under PARENT: ..." (bad name, nesting over
 *         255 deep, no record, too large), design mismatches, "Out of memory"
 *  \return 1 on success; 0 with a report */
TK_API int tk_TreeObjectWrite(tk_TreeFile *file, const char *parent, const char *name,
                              const char *design_name, int flags, const void *record,
                              tk_Design *design, tk_ErrorReport **slot);
/** Reads a node's record.
 *  \param file the handle
 *  \param parent path of the parent node
 *  \param name the node's name
 *  \param flags unused (TK_READ_RECORD)
 *  \param record filled with the record (tk_DesignRecordSize bytes); its texts and element arrays
 *         are new allocations the caller takes over (tk_DesignRecordRelease frees them all)
 *  \param design the design to read by: the node's, an equal one, or one of the same name whose every
 *         item the node's design holds by name, of the same kind and enumeration values (the items the
 *         node's design has beyond it, what a newer writer added, are skipped)
 *  \param slot report slot: "No file given", "No node NAME under PARENT in FILE", "Node NAME under
 *         PARENT holds a D record, not a E record", "Node NAME under PARENT is damaged: ...",
 *         "Out of memory"
 *  \return 1 on success; 0 with a report, `record` untouched */
TK_API int tk_TreeObjectRead(tk_TreeFile *file, const char *parent, const char *name, int flags,
                             void *record, tk_Design *design, tk_ErrorReport **slot);
/** Paths of the nodes beneath a node, in the order they were written.
 *  \param file the handle
 *  \param path the node to list beneath (":" for the root)
 *  \param flags TK_LIST_CHILDREN for its children only, 0 for every depth
 *  \param design_name only nodes holding a record of this design; null lists every node
 *  \param slot report slot: "No file given", "No node PATH in FILE", "Bad node path ...",
 *         "Out of memory"
 *  \return the paths (tk_StringListDelete), an empty list (never null) when there are none; null
 *          with a report */
TK_API tk_StringList *tk_TreeObjectList(tk_TreeFile *file, const char *path, int flags,
                                        const char *design_name, tk_ErrorReport **slot);
/* Nodes by number, for visiting every node of a large file without a path
 * per node: the root is 0, a number stays valid until a node is deleted,
 * and -1 stands for no node. FirstChild and NextSibling give the next node
 * in written order holding a record of `design_name` (any, when null). */
/** The number of the node at a path.
 *  \param file the handle, or null
 *  \param path the node path (":" for the root, 0)
 *  \return the node's number; -1 when there is none, for a bad path and for null */
TK_API int64_t tk_TreeNodeFind(tk_TreeFile *file, const char *path);
/** The first child of a node, in written order, holding a record of a design.
 *  \param file the handle, or null
 *  \param node the parent's number (0 for the root)
 *  \param design_name the design to look for; null for any
 *  \return the child's number; -1 when there is none and for a number that is no node */
TK_API int64_t tk_TreeNodeFirstChild(tk_TreeFile *file, int64_t node, const char *design_name);
/** The next sibling of a node, in written order, holding a record of a design.
 *  \param file the handle, or null
 *  \param node the node's number
 *  \param design_name the design to look for; null for any
 *  \return the sibling's number; -1 when there is none, for the root and for a number that is no node */
TK_API int64_t tk_TreeNodeNextSibling(tk_TreeFile *file, int64_t node, const char *design_name);
/** The name of a node by number.
 *  \param file the handle, or null
 *  \param node the node's number
 *  \param length set to the name's length in bytes (0 when there is no name); may be null
 *  \return the name's bytes in place, not NUL-terminated and not freed, valid until the file
 *          changes or closes; null for the root and for a number that is no node */
TK_API const char *tk_TreeNodeName(tk_TreeFile *file, int64_t node, size_t *length);
/** tk_TreeObjectRead for a node by number.
 *  \param file the handle
 *  \param node the node's number
 *  \param record filled as by tk_TreeObjectRead
 *  \param design the design to read by
 *  \param slot report slot: "No node numbered N" and the reports of tk_TreeObjectRead
 *  \return 1 on success; 0 with a report */
TK_API int tk_TreeNodeRead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design, tk_ErrorReport **slot);
/** Where tk_ListCursorRead takes the next elements of a record list from.
 *  tk_TreeObjectReadHead and tk_TreeNodeReadHead read a record whose record
 *  list may be too long to hold decoded at once as tk_TreeObjectRead and
 *  tk_TreeNodeRead do (same checks, same reports), except that the elements
 *  of the design's first record-list item stay in the file: that item reads
 *  back with its count and null elements, and the cursor is set to take them
 *  in order. A design without a record list gives a cursor with nothing
 *  left. The cursor holds no memory of its own and is valid while the file
 *  is not changed. */
typedef struct tk_ListCursor {
  tk_TreeFile *file;        /**< the file read from */
  int64_t node;             /**< the number of the node whose record is read */
  const tk_Design *element; /**< the element design */
  uint64_t offset;          /**< where the next element starts in the record */
  int32_t left;             /**< elements not yet taken */
  const tk_Design *wanted;  /**< the element design of the caller's buffer: `element`, or one it reads by item name */
} tk_ListCursor;
/** tk_TreeObjectRead that leaves the elements of the first record list in the file (see tk_ListCursor).
 *  \param file the handle
 *  \param parent path of the parent node
 *  \param name the node's name
 *  \param record filled as by tk_TreeObjectRead, the first record list with its count and null elements
 *  \param design the design to read by
 *  \param cursor set to take the elements with tk_ListCursorRead
 *  \param slot report slot: "No file given", "No cursor given" and the reports of tk_TreeObjectRead
 *  \return 1 on success; 0 with a report */
TK_API int tk_TreeObjectReadHead(tk_TreeFile *file, const char *parent, const char *name, void *record,
                                 tk_Design *design, tk_ListCursor *cursor, tk_ErrorReport **slot);
/** tk_TreeObjectReadHead for a node by number.
 *  \param file the handle
 *  \param node the node's number
 *  \param record filled as by tk_TreeObjectReadHead
 *  \param design the design to read by
 *  \param cursor set to take the elements with tk_ListCursorRead
 *  \param slot report slot: "No cursor given", "No node numbered N" and the reports of tk_TreeObjectRead
 *  \return 1 on success; 0 with a report */
TK_API int tk_TreeNodeReadHead(tk_TreeFile *file, int64_t node, void *record, tk_Design *design,
                               tk_ListCursor *cursor, tk_ErrorReport **slot);
/** Decodes the next elements of a record list and moves the cursor past them.
 *  \param cursor a cursor set by a ReadHead call
 *  \param elements room for `max` element records; their texts are new allocations the caller
 *         takes over
 *  \param max most elements to take
 *  \param slot report slot: "No cursor given", "No element buffer given", "The node of the list is
 *         gone", "Node NAME under PARENT is damaged: ...", "Out of memory"
 *  \return how many were taken, 0 when none are left; -1 with a report, with nothing allocated left
 *          in `elements` */
TK_API int32_t tk_ListCursorRead(tk_ListCursor *cursor, void *elements, int32_t max, tk_ErrorReport **slot);
/** tk_TreeObjectWrite under a parent by number.
 *  \param file a handle that creates or updates its file
 *  \param parent the parent's number (0 for the root)
 *  \param name the new node's name
 *  \param design_name name of the record's design (may be null when `design` is given)
 *  \param record the record
 *  \param design the record's design, or null to take `design_name`
 *  \param slot report slot: "No node numbered N" and the reports of tk_TreeObjectWrite
 *  \return the new node's number; -1 with a report */
TK_API int64_t tk_TreeNodeWrite(tk_TreeFile *file, int64_t parent, const char *name, const char *design_name,
                                const void *record, tk_Design *design, tk_ErrorReport **slot);
/** Deletes a node and everything beneath it.
 *  \param file a handle that creates or updates its file
 *  \param root path under which a `path` without a leading ':' is taken; null for the root
 *  \param path the node
 *  \param flags unused (TK_DELETE_TREE)
 *  \param slot report slot: "No file given", "FILE is open for reading only", "No node PATH in
 *         FILE", "Bad node path ...", "The root node of FILE cannot be deleted"
 *  \return 1 on success; 0 with a report */
TK_API int tk_TreeObjectDelete(tk_TreeFile *file, const char *root, const char *path, int flags,
                               tk_ErrorReport **slot);
/** Registers a design in a dictionary.
 *  \param dictionary a dictionary: a writable file's or one of tk_DictionaryCreate
 *  \param name the design's name
 *  \param slot report slot: "No dictionary given", "Cannot add design NAME: the file is open for
 *         reading only", "Cannot create design NAME: <reason>" (a name already taken by another
 *         design, a bad item, too many items or designs, out of memory)
 *  \param ... item entries (kind, name, operands; see TK_ITEM_*) ending with TK_ITEM_END
 *  \return the design, owned by the dictionary; null with a report */
TK_API tk_Design *tk_DesignCreate(tk_Dictionary *dictionary, const char *name, tk_ErrorReport **slot, ...);
/** The design of a name.
 *  \param dictionary the dictionary, or null
 *  \param name the design's name, or null
 *  \param slot report slot; cleared, never filled
 *  \return the design, owned by the dictionary; null when there is none */
TK_API tk_Design *tk_DictionarySearchByName(tk_Dictionary *dictionary, const char *name,
                                            tk_ErrorReport **slot);
/** The size of a record of a design.
 *  \param design the design, or null
 *  \return the size in bytes of the records tk_TreeObjectRead fills; 0 for null */
TK_API size_t tk_DesignRecordSize(const tk_Design *design);
/** A dictionary of its own, outside any file: a reader registers the designs
 *  it expects there and compares them with a file's (tk_DesignEqual) before
 *  reading records into buffers of its own size.
 *  \return the dictionary (tk_DictionaryDelete); null when memory runs out */
TK_API tk_Dictionary *tk_DictionaryCreate(void);
/** Frees a dictionary of tk_DictionaryCreate with its designs.
 *  \param dictionary the dictionary; null and a file's own dictionary are ignored */
TK_API void tk_DictionaryDelete(tk_Dictionary *dictionary);
/** Whether two designs are the same: the same name and the same items (names,
 *  kinds, order, enumeration value names, element designs, recursively).
 *  \param a first design, or null
 *  \param b second design, or null
 *  \return nonzero when they are the same; 0 when not, or when either is null */
TK_API int tk_DesignEqual(const tk_Design *a, const tk_Design *b);

/** Whether records of a file's design read into records of another design by item name (see
 *  tk_TreeObjectRead): the same name, and every item of `wanted` in `stored` under its name, of its kind,
 *  with its enumeration values; `stored` may have more items.
 *  \param stored the design a file holds, or null
 *  \param wanted the design a reader lays its records out by, or null
 *  \return nonzero when they read so (equal designs do); 0 when not, or when either is null */
TK_API int tk_DesignReads(const tk_Design *stored, const tk_Design *wanted);

/* Designs as a file holds them, for a reader that takes them as they are
 * instead of comparing them with its own (a dump of an unknown or damaged
 * file): the designs of a dictionary by position, the items of a design,
 * and the design of a node's record. Names may hold any bytes, so they come
 * with their length and are not NUL-terminated. What these calls return
 * points into the dictionary and stays valid while the dictionary does. */
/** One item of a design, as tk_DesignItemGet describes it. */
typedef struct tk_DesignItem {
  int kind;                 /**< TK_ITEM_STRING, TK_ITEM_ENUM, TK_ITEM_TIME or TK_ITEM_RECORD_LIST */
  const char *name;         /**< the item's name, not NUL-terminated */
  size_t name_length;       /**< the name's length in bytes */
  size_t offset;            /**< where the item's value lies in a record of the design */
  size_t value_count;       /**< enumeration: how many value names it has */
  const tk_Design *element; /**< record list: the design of its elements */
} tk_DesignItem;
/** How many designs a dictionary holds.
 *  \param dictionary the dictionary, or null
 *  \return the count; 0 for null */
TK_API size_t tk_DictionaryDesignCount(const tk_Dictionary *dictionary);
/** The design at a position (the order of registration).
 *  \param dictionary the dictionary, or null
 *  \param position 0-based position
 *  \return the design, owned by the dictionary; null past the end and for null */
TK_API tk_Design *tk_DictionaryDesignAt(tk_Dictionary *dictionary, size_t position);
/** A design's name.
 *  \param design the design, or null
 *  \param length set to the name's length in bytes (0 for null); may be null
 *  \return the name's bytes in the dictionary, not NUL-terminated and not freed; null for null */
TK_API const char *tk_DesignName(const tk_Design *design, size_t *length);
/** How many items a design has.
 *  \param design the design, or null
 *  \return the count; 0 for null */
TK_API size_t tk_DesignItemCount(const tk_Design *design);
/** Describes one item of a design.
 *  \param design the design, or null
 *  \param index 0-based item number
 *  \param item filled with the item (zeroed when there is none); may be null to test for the item
 *  \return 1 when the design has that item; 0 when not */
TK_API int tk_DesignItemGet(const tk_Design *design, size_t index, tk_DesignItem *item);
/** The name of one value of an enumeration item.
 *  \param design the design, or null
 *  \param index 0-based item number
 *  \param value 0-based value number
 *  \param length set to the name's length in bytes (0 when there is none); may be null
 *  \return the name's bytes in the dictionary, not NUL-terminated and not freed; null when there is
 *          no such item or value */
TK_API const char *tk_DesignItemValue(const tk_Design *design, size_t index, size_t value, size_t *length);
/** The design of a node's record in the file's dictionary.
 *  \param file the handle, or null
 *  \param node the node's number
 *  \return the design, owned by the file's dictionary; null for the root and for a number that is
 *          no node */
TK_API tk_Design *tk_TreeNodeDesign(tk_TreeFile *file, int64_t node);
/** Frees what a read left in a record (texts and element arrays, at every depth) and zeroes it.
 *  \param design the record's design; null does nothing
 *  \param record a record of `design` as tk_TreeObjectRead or tk_TreeNodeRead filled it, or zeroed
 *         memory; null does nothing */
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
#define TK_FAULT_SHORT_WRITE (-1) /**< tk_FaultInject: make a write write half its buffer */
/** Arms (or disarms) an injected file-system fault; see above.
 *  \param nth which operation fails, 1-based and counted from this call; 0 disarms
 *  \param error the errno value it fails with (0 means EIO), or TK_FAULT_SHORT_WRITE
 *  \param persistent nonzero: every operation from the nth on fails, not only the nth
 *  \return the number of operations counted since the last call; -1 in a build without fault
 *          injection */
TK_API long tk_FaultInject(long nth, int error, int persistent);

/* Allocation faults work the same way over the toolkit heap: every block that
 * tk_HeapMalloc, tk_StrDuplicate and the toolkit's own strings take counts as
 * one allocation, and tk_FaultInjectAllocation makes allocation number `nth`
 * (counted from this call) fail, once or, with `persistent`, from then on, as
 * an exhausted heap would (a null block). A test that replaces the C++
 * operator new calls tk_FaultNextAllocation from it, so that the C++
 * allocations of both libraries count and fail in the same sequence. Without
 * fault injection compiled in nothing counts or fails. */
/** Arms (or, with nth 0, disarms) an injected allocation failure; see above.
 *  \param nth which allocation fails, 1-based and counted from this call; 0 disarms
 *  \param persistent nonzero: every allocation from the nth on fails, not only the nth
 *  \return the number of allocations counted since the last call; -1 in a build without fault
 *          injection */
TK_API long tk_FaultInjectAllocation(long nth, int persistent);
/** Counts one allocation for tk_FaultInjectAllocation.
 *  \return nonzero when this allocation must fail; always 0 in a build without fault injection */
TK_API int tk_FaultNextAllocation(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUM_TOOLKIT_H */
