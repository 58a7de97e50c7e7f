// The toolkit's one seam to the operating system's file calls.
//
// Every file-system call of the toolkit goes through these functions. They
// behave like the POSIX calls they are named after (return values and errno).
// In builds with TK_FAULT_INJECTION each call counts as one operation and
// tk_FaultInject can make the Nth of them fail with a chosen errno (or, for
// write, succeed short); release builds call the system directly.
#ifndef KESTRUM_TOOLKIT_IO_H
#define KESTRUM_TOOLKIT_IO_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "toolkit.h"

namespace tk::io {

int open(const char *path, int flags, mode_t mode);
// read and write repeat until the whole buffer has moved (read stops early at
// the end of the file) and retry EINTR; an error gives -1 even when part of
// the buffer has already moved.
ssize_t read(int fd, void *buffer, size_t size);    // 0 at the end of the file
ssize_t write(int fd, const void *buffer, size_t size);
off_t seek(int fd, off_t offset);                 // from the start of the file
int fsync(int fd);
int close(int fd);
int rename(const char *from, const char *to);
int unlink(const char *path);
int mkdir(const char *path, mode_t mode);
int stat(const char *path, struct stat *out);     // follows links
int lstat(const char *path, struct stat *out);
int fstat(int fd, struct stat *out);
int fchmod(int fd, mode_t mode);
int fchown(int fd, uid_t owner, gid_t group);
int fsync_dir(const char *directory);             // opens, fsyncs and closes it
ssize_t readlink(const char *path, char *buffer, size_t size);
int flock(int fd, int operation);                 // LOCK_EX | LOCK_NB etc.
char *getcwd(char *buffer, size_t size);
// The names in a directory (without "." and ".."), as one operation.
int list_directory(const char *directory, std::vector<std::string> &names);

// The OS message for errno `error`, for reports.
const char *message(int error);

// The toolkit's texts of OS failures, all made here so that they read alike.
// A text is written as a clause, "cannot <action> <path>: <OS message for
// error>" ("cannot <action>: ..." for an empty path), so that it can stand
// as the reason of a larger one ("cannot write P: cannot examine D: ...");
// a report makes a sentence of it.
std::string failure_text(const char *action, const std::string &path, int error);
// The same with a reason of the toolkit's own: "cannot <action> <path>: <reason>".
std::string failure_text(const char *action, const std::string &path, const std::string &reason);

// Leaves `text` (a clause, as above) as the report of the toolkit function
// `function` in `slot`, its first letter capitalised (a report already there
// becomes its cause).
void report_text(tk_ErrorReport **slot, const char *function, const std::string &text) noexcept;

// Leaves the report "Cannot <action> <path>: out of memory" from `function`
// in `slot`. It builds no C++ string, so that a handler of std::bad_alloc can
// call it without throwing again.
void report_out_of_memory(tk_ErrorReport **slot, const char *function, const char *action,
                          const char *path) noexcept;

// Leaves the report "Cannot <action> <path>: <OS message for error>" from
// `function` in `slot`. (These are defined with the file-system tests, so
// that this seam itself needs nothing else.)
void report_failure(tk_ErrorReport **slot, const char *function, const char *action,
                    const char *path, int error);

}  // namespace tk::io

#endif
