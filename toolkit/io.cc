// The toolkit's seam to the operating system's file calls, and the fault
// injection that test builds put into it.
//
// With TK_FAULT_INJECTION every wrapper first counts one operation; an armed
// fault makes the chosen operation fail before it reaches the system (or, for
// a short write, after part of the buffer has been written). Without it the
// check is a constant and the wrappers are plain calls to the system.
#include "io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "toolkit.h"

#ifdef TK_FAULT_INJECTION
#include <mutex>
#endif

namespace {

#ifdef TK_FAULT_INJECTION
struct FaultState {
  std::mutex mutex;
  long counted = 0;    // operations since the last tk_FaultInject
  long armed_at = 0;   // operation number that fails; 0 when disarmed
  int error = 0;       // errno to fail with, or TK_FAULT_SHORT_WRITE
  bool persistent = false;
};

FaultState &fault_state() {
  static FaultState state;
  return state;
}

// Counts one operation. Returns the errno (or TK_FAULT_SHORT_WRITE) that this
// operation must fail with, 0 when it must go ahead.
int next_fault() {
  FaultState &s = fault_state();
  std::lock_guard lock(s.mutex);
  ++s.counted;
  if (s.armed_at == 0 || s.counted < s.armed_at) return 0;
  int error = s.error;
  if (!s.persistent) s.armed_at = 0;
  return error;
}
#else
constexpr int next_fault() { return 0; }
#endif

// Sets errno for an injected failure and returns -1. A short-write fault on
// an operation that cannot be short fails it as a full disk would.
int fail(int fault) {
  errno = fault == TK_FAULT_SHORT_WRITE ? ENOSPC : fault;
  return -1;
}

template <typename Call>
auto retry_eintr(Call call) {
  for (;;) {
    auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// Repeats `transfer` (::read or ::write) over the rest of the buffer until
// all `size` bytes have moved or a call moves none (the end of a file).
// Gives the bytes moved, or -1 with errno when the system refuses, even after
// part of the buffer has moved.
template <typename Byte, typename Transfer>
ssize_t transfer_all(int fd, Byte *buffer, size_t size, Transfer transfer) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = transfer(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

ssize_t write_all(int fd, const void *buffer, size_t size) {
  return transfer_all(fd, static_cast<const char *>(buffer), size, ::write);
}

// strerror_r comes in two flavours (XSI returns int, GNU returns a pointer).
[[maybe_unused]] const char *strerror_result(int rc, const char *buffer) {
  return rc == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char *strerror_result(const char *text, const char *) { return text; }

}  // namespace

namespace tk::io {

// Descriptors are opened close-on-exec: the library must not leak them into
// programs its host starts.
int open(const char *path, int flags, mode_t mode) {
  if (int f = next_fault()) return fail(f);
  return retry_eintr([&] { return ::open(path, flags | O_CLOEXEC, mode); });
}

// Reads until `size` bytes or the end of the file; an error, even after part
// of the buffer was filled, gives -1.
ssize_t read(int fd, void *buffer, size_t size) {
  if (int f = next_fault()) return fail(f);
  return transfer_all(fd, static_cast<char *>(buffer), size, ::read);
}

ssize_t write(int fd, const void *buffer, size_t size) {
  if (int f = next_fault()) {
    if (f == TK_FAULT_SHORT_WRITE && write_all(fd, buffer, size / 2) < 0) return -1;
    return fail(f);
  }
  return write_all(fd, buffer, size);
}

off_t seek(int fd, off_t offset) {
  if (int f = next_fault()) return fail(f);
  return ::lseek(fd, offset, SEEK_SET);
}

int fsync(int fd) {
  if (int f = next_fault()) return fail(f);
  return retry_eintr([&] { return ::fsync(fd); });
}

// Not retried on EINTR: on Linux the descriptor is gone either way.
int close(int fd) {
  if (int f = next_fault()) {
    ::close(fd);  // an injected failure must not leak the descriptor
    return fail(f);
  }
  return ::close(fd);
}

int rename(const char *from, const char *to) {
  if (int f = next_fault()) return fail(f);
  return ::rename(from, to);
}

int unlink(const char *path) {
  if (int f = next_fault()) return fail(f);
  return ::unlink(path);
}

int mkdir(const char *path, mode_t mode) {
  if (int f = next_fault()) return fail(f);
  return ::mkdir(path, mode);
}

int stat(const char *path, struct stat *out) {
  if (int f = next_fault()) return fail(f);
  return ::stat(path, out);
}

int lstat(const char *path, struct stat *out) {
  if (int f = next_fault()) return fail(f);
  return ::lstat(path, out);
}

int fstat(int fd, struct stat *out) {
  if (int f = next_fault()) return fail(f);
  return ::fstat(fd, out);
}

int fchmod(int fd, mode_t mode) {
  if (int f = next_fault()) return fail(f);
  return ::fchmod(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
  if (int f = next_fault()) return fail(f);
  return ::fchown(fd, owner, group);
}

// One operation: the open, fsync and close inside it are not counted apart.
int fsync_dir(const char *directory) {
  if (int f = next_fault()) return fail(f);
  int fd = retry_eintr([&] { return ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return -1;
  int rc = retry_eintr([&] { return ::fsync(fd); });
  int saved = errno;
  ::close(fd);
  errno = saved;
  return rc;
}

ssize_t readlink(const char *path, char *buffer, size_t size) {
  if (int f = next_fault()) return fail(f);
  return ::readlink(path, buffer, size);
}

int flock(int fd, int operation) {
  if (int f = next_fault()) return fail(f);
  return retry_eintr([&] { return ::flock(fd, operation); });
}

char *getcwd(char *buffer, size_t size) {
  if (int f = next_fault()) {
    fail(f);
    return nullptr;
  }
  return ::getcwd(buffer, size);
}

int list_directory(const char *directory, std::vector<std::string> &names) {
  if (int f = next_fault()) return fail(f);
  DIR *dir = ::opendir(directory);
  if (!dir) return -1;
  try {
    while (const dirent *entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
    }
  } catch (...) {
    ::closedir(dir);
    errno = ENOMEM;
    return -1;
  }
  ::closedir(dir);
  return 0;
}

const char *message(int error) {
  thread_local char buffer[256];
  return strerror_result(strerror_r(error, buffer, sizeof buffer), buffer);
}

}  // namespace tk::io

extern "C" {

TK_API long tk_FaultInject(long nth, int error, int persistent) {
#ifdef TK_FAULT_INJECTION
  FaultState &s = fault_state();
  std::lock_guard lock(s.mutex);
  long counted = s.counted;
  s.counted = 0;
  s.armed_at = nth > 0 ? nth : 0;
  s.error = error != 0 ? error : EIO;  // errno 0 would read as "no fault"
  s.persistent = persistent != 0;
  return counted;
#else
  (void)nth;
  (void)error;
  (void)persistent;
  return -1;
#endif
}

}  // extern "C"
