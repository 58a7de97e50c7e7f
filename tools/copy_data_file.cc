// Copying one data file (see copy_data_file.h).
#include "copy_data_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "cli.h"

namespace kcli {

namespace {

// Closes on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close (a late write error) is seen.
  int close() {
    const int status = ::close(fd_);
    fd_ = -1;
    return status;
  }

 private:
  int fd_;
};

// The new name beside the target, removed unless it was given the target's.
class Staged {
 public:
  explicit Staged(const std::string &target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    name_ = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".kestrum-" + std::to_string(::getpid()) +
            "-" + std::to_string(counter++);
  }
  ~Staged() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  Staged(const Staged &) = delete;
  Staged &operator=(const Staged &) = delete;
  const std::string &name() const { return name_; }
  void place(const std::string &target) {
    if (::rename(name_.c_str(), target.c_str()) != 0)
      throw Failure("cannot write " + target + ": " + std::strerror(errno));
    name_.clear();
  }

 private:
  std::string name_;
};

[[noreturn]] void fail(const std::string &what, const std::string &path, int error) {
  throw Failure("cannot " + what + " " + path + ": " + std::strerror(error));
}

// Whether a failure of link() means only "not here": copy instead.
bool link_unavailable(int error) {
  return error == EXDEV || error == EPERM || error == EMLINK || error == EOPNOTSUPP || error == ENOSYS ||
         error == EACCES;
}

// Whether a failure of copy_file_range means the kernel or the file systems
// cannot do it: plain reads and writes then.
bool range_unavailable(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

void copy_by_reading(int from, int to, const std::string &source, const std::string &target, off_t done) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = ::pread(from, buffer.data(), buffer.size(), done);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail("read", source, errno);
    }
    if (got == 0) return;
    for (ssize_t put = 0; put < got;) {
      const ssize_t wrote = ::pwrite(to, buffer.data() + put, static_cast<std::size_t>(got - put), done + put);
      if (wrote < 0) {
        if (errno == EINTR) continue;
        fail("write", target, errno);
      }
      put += wrote;
    }
    done += got;
  }
}

void copy_contents(int from, int to, const struct stat &status, const std::string &source, const std::string &target) {
  // A clone shares the blocks (copy-on-write file systems): no data moves.
  if (::ioctl(to, FICLONE, from) == 0) return;
  off_t done = 0;
  while (done < status.st_size) {
    const ssize_t moved = ::copy_file_range(from, &done, to, nullptr, static_cast<std::size_t>(status.st_size - done), 0);
    if (moved < 0) {
      if (errno == EINTR) continue;
      if (!range_unavailable(errno)) fail("copy", source, errno);
      break;
    }
    if (moved == 0) break;  // the source is shorter than it was: the size check tells
  }
  // What copy_file_range left (all of it where it is not offered, or a
  // source that grew) goes by reads and writes.
  if (::ftruncate(to, done) != 0) fail("write", target, errno);
  copy_by_reading(from, to, source, target, done);
}

}  // namespace

CopiedFile copy_data_file(const std::string &source, const std::string &target, bool link) {
  Staged staged(target);
  if (link) {
    // The file a link names, not the link: another link to a link would
    // break where the copy goes.
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, staged.name().c_str(), AT_SYMLINK_FOLLOW) == 0) {
      struct stat status {};
      if (::stat(staged.name().c_str(), &status) != 0) fail("read", target, errno);
      staged.place(target);
      return {static_cast<std::uint64_t>(status.st_size), true};
    }
    if (!link_unavailable(errno)) fail("link", source, errno);
  }
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (from.get() < 0) fail("read", source, errno);
  struct stat status {};
  if (::fstat(from.get(), &status) != 0) fail("read", source, errno);
  if (!S_ISREG(status.st_mode)) throw Failure("cannot copy " + source + ": not a regular file");
  Descriptor to(::open(staged.name().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777));
  if (to.get() < 0) fail("write", target, errno);
  copy_contents(from.get(), to.get(), status, source, target);
  struct stat written {};
  if (::fstat(to.get(), &written) != 0) fail("write", target, errno);
  if (written.st_size != status.st_size)
    throw Failure("cannot copy " + source + ": the copy has " + std::to_string(written.st_size) + " bytes, not " +
                  std::to_string(status.st_size) + " (did the file change while it was copied?)");
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  ::futimens(to.get(), times);
  if (to.close() != 0) fail("write", target, errno);
  staged.place(target);
  return {static_cast<std::uint64_t>(status.st_size), false};
}

}  // namespace kcli
