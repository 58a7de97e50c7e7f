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

namespace tk::io {

int open(const char *path, int flags, mode_t mode);
ssize_t read(int fd, void *buffer, size_t size);    // loops over short reads; 0 at end
ssize_t write(int fd, const void *buffer, size_t size); // loops over short writes
int fsync(int fd);
int close(int fd);
int rename(const char *from, const char *to);
int unlink(const char *path);
int mkdir(const char *path, mode_t mode);
int stat(const char *path, struct stat *out);     // follows links
int lstat(const char *path, struct stat *out);
int fstat(int fd, struct stat *out);
int fchmod(int fd, mode_t mode);
int fsync_dir(const char *directory);             // opens, fsyncs and closes it
ssize_t readlink(const char *path, char *buffer, size_t size);
int flock(int fd, int operation);                 // LOCK_EX | LOCK_NB etc.
char *getcwd(char *buffer, size_t size);

// The OS message for errno `error`, for reports.
const char *message(int error);

}  // namespace tk::io

#endif
