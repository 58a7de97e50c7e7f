// Opening, creating, closing and abandoning tree files: the part of the tree
// file that touches the disk, always through tk::io.
//
// A file is read whole at open and written whole at close. Closing a
// created or changed file never writes into the old one: the new image goes
// to a temporary file in the same directory (so the rename cannot cross file
// systems), is flushed, takes the old file's permission bits, and is renamed
// over it; then the directory is flushed. A reader therefore sees the old
// file or the new one, never a mixture, and a failure at any step before the
// rename removes the temporary file and leaves the old one as it was.
//
// The new file takes the old one's permission bits and, where the process
// may set them, its owner and group. Only a regular file is replaced.
//
// A writer (a handle opened for update, or created) holds an exclusive
// flock from open to close, so a second writer is turned away at once
// instead of silently losing one of the two sets of changes: on the file
// itself when it exists, else on a hidden lock file beside it, which goes
// again once the new file is in place. Readers take no lock: they only ever
// see whole files.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <csignal>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "io.h"
#include "toolkit_internal.h"
#include "treefile.h"

namespace {

using Mode = tk_TreeFile::Mode;

using tk::io::failure_text;

// The text of a writer's lock that could not be taken on `fd` (errno `e`).
std::string lock_failure(const std::string &path, int e) {
  return e == EWOULDBLOCK ? path + " is in use by another writer" : failure_text("lock", path, e);
}

// `path` made absolute against the current directory (links are not
// resolved), so that a later change of directory cannot redirect the close.
bool absolute_path(const char *path, std::string &out, std::string &error) {
  if (path[0] == '/') {
    out = path;
    return true;
  }
  std::vector<char> buffer(PATH_MAX);
  while (!tk::io::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) {
      error = failure_text("find", "the current directory", errno);
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
  out = buffer.data();
  if (out.empty() || out.back() != '/') out += '/';
  out += path;
  return true;
}

std::string directory_of(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens an existing file for a writer and takes the writer's lock. Returns
// the descriptor, or -1 with `*missing` set when there is no file, or -1
// with `error` set.
int open_locked(const std::string &path, bool *missing, std::string &error) {
  *missing = false;
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = tk::io::open(path.c_str(), O_RDWR, 0);
    if (fd < 0) {
      if (errno == ENOENT) {
        *missing = true;
      } else {
        error = failure_text("open", path, errno);
      }
      return -1;
    }
    if (tk::io::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      tk::io::close(fd);
      error = lock_failure(path, e);
      return -1;
    }
    // A writer that was closing between our open and our lock has renamed a
    // new file over the one we locked; the lock must be on the file that the
    // path names now, or its changes would be lost.
    struct stat held, named;
    if (tk::io::fstat(fd, &held) != 0) {
      error = failure_text("examine", path, errno);
      tk::io::close(fd);
      return -1;
    }
    if (tk::io::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
      return fd;
    tk::io::close(fd);
  }
  error = failure_text("open", path, "it keeps being replaced while it is opened");
  return -1;
}

// Files above this size are checked in a first pass before any of them is
// held (see check_streamed); smaller ones are read whole at once.
constexpr size_t kStreamCheckAbove = size_t{64} << 20;
constexpr size_t kStreamPiece = size_t{1} << 20;

// Reads the whole file on `fd` once, a piece at a time, and checks it
// (tk::tree::StreamCheck): a damaged large file is refused in about the time
// of one read and in the memory of one piece, and one whose first count
// cannot fit its size after the first piece. Leaves `fd` at the start of the
// body when the file is sound.
bool check_streamed(int fd, const tk_TreeFile &file, size_t size, const unsigned char *head, std::string &error) {
  std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kStreamPiece]);
  if (!piece) {
    error = failure_text("read", file.path, "it is too large for the memory left");
    return false;
  }
  tk::tree::StreamCheck check(size);
  std::memcpy(piece.get(), head, tk::tree::kHeaderSize);
  size_t have = tk::tree::kHeaderSize;  // bytes of this piece already read
  std::string reason;
  for (size_t at = 0; at < size;) {
    const size_t want = std::min(kStreamPiece, size - at) - have;
    const ssize_t got = tk::io::read(fd, piece.get() + have, want);
    if (got < 0) {
      error = failure_text("read", file.path, errno);
      return false;
    }
    if (static_cast<size_t>(got) != want) {
      error = failure_text("read", file.path, "it shrank while it was read");
      return false;
    }
    if (!check.take(piece.get(), have + want, reason)) {
      error = file.path + ": " + reason;
      return false;
    }
    at += have + want;
    have = 0;
  }
  if (!check.finish(reason)) {
    error = file.path + ": " + reason;
    return false;
  }
  if (tk::io::seek(fd, static_cast<off_t>(tk::tree::kHeaderSize)) < 0) {
    error = failure_text("read", file.path, errno);
    return false;
  }
  return true;
}

// Reads the file on `fd` and loads it into `file`. The header is read and
// checked first, so that something that is no tree file (however large) is
// refused after 16 bytes; a large file is then checked as it is read once
// (check_streamed); then the whole file is read with one read.
bool load(int fd, tk_TreeFile &file, std::string &error) {
  struct stat st;
  if (tk::io::fstat(fd, &st) != 0) {
    error = failure_text("examine", file.path, errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = file.path + ": not a project file";
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  unsigned char head[tk::tree::kHeaderSize];
  ssize_t got = tk::io::read(fd, head, std::min(size, sizeof head));
  if (got < 0) {
    error = failure_text("read", file.path, errno);
    return false;
  }
  std::string reason;
  if (!tk::tree::check_header(head, static_cast<size_t>(got), size, reason)) {
    error = file.path + ": " + reason;
    return false;
  }
  file.read_version = tk::tree::read_version(head);
  file.write_version = tk::tree::write_version(head);
  // A newer writer may keep things in the file that this one would lose by
  // rewriting it: such a file is read, never updated.
  if (file.mode != tk_TreeFile::Mode::read && file.write_version > tk::tree::kWriteVersion) {
    error = file.path + ": written by a newer kestrum (write version " + std::to_string(file.write_version) +
            "); this one reads it but does not save into it";
    return false;
  }
  if (size > kStreamCheckAbove && !check_streamed(fd, file, size, head, error)) return false;
  std::unique_ptr<char[]> image(new (std::nothrow) char[size]);
  if (!image) {
    error = failure_text("read", file.path, "it is too large for the memory left");
    return false;
  }
  std::memcpy(image.get(), head, sizeof head);
  got = tk::io::read(fd, image.get() + sizeof head, size - sizeof head);
  if (got < 0) {
    error = failure_text("read", file.path, errno);
    return false;
  }
  if (static_cast<size_t>(got) != size - sizeof head) {
    error = failure_text("read", file.path, "it shrank while it was read");
    return false;
  }
  if (!tk::tree::parse(std::move(image), size, file, reason)) {
    error = file.path + ": " + reason;
    return false;
  }
  return true;
}

// The file that `path` finally names, following symbolic links, so that
// replacing it keeps the links. A path that names nothing is its own target.
bool resolve_links(const std::string &path, std::string &target, std::string &error) {
  std::string p = path;
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (tk::io::lstat(p.c_str(), &st) != 0) {
      if (errno == ENOENT) break;
      error = failure_text("examine", p, errno);
      return false;
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (hops == 40) {
      error = failure_text("follow the links of", path, ELOOP);
      return false;
    }
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = tk::io::readlink(p.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      error = failure_text("read link", p, errno);
      return false;
    }
    std::string link(buffer.data(), static_cast<size_t>(n));
    p = link[0] == '/' ? link : directory_of(p) + "/" + link;
  }
  target = p;
  return true;
}

// The hidden names a writer makes beside the file `base` in its directory:
// its temporaries ".BASE.tmp-PID-N" and, while it makes a file that did not
// exist, the lock file ".BASE.tmp-lock". They must fit the 255 bytes that
// file systems allow a name, whatever the length of `base` (which fits them
// itself): a long base is cut and tagged with its checksum, so that two long
// names that begin alike still get names of their own.
constexpr size_t kNameMax = 255;
constexpr size_t kTemporaryExtra = 1 + 5 + 10 + 1 + 20;  // ".", ".tmp-", pid, "-", counter

std::string temporary_prefix(const std::string &base) {
  if (base.size() + kTemporaryExtra <= kNameMax) return "." + base + ".tmp-";
  char tag[16];
  std::snprintf(tag, sizeof tag, "~%08x", static_cast<unsigned>(tk::tree::crc32c(base.data(), base.size())));
  return "." + base.substr(0, kNameMax - kTemporaryExtra - 9) + tag + ".tmp-";
}

std::string lock_name(const std::string &base) { return temporary_prefix(base) + "lock"; }

// Removes the lock file a writer of a new file holds, while it still holds
// it (so that no other writer can be holding that very file). Best effort:
// a lock file left behind holds nobody back, and the next writer removes it.
void release_creation_lock(tk_TreeFile &file) {
  if (file.creation_lock.empty()) return;
  tk::io::unlink(file.creation_lock.c_str());
  file.creation_lock.clear();
}

// Takes the writer's lock for a file that is to be created: the lock of the
// file itself when it exists (open_locked), or else that of its lock file,
// made beside the file that the path finally names. Two writers making the
// same new file then meet at the lock file, and the second is turned away
// as when the file exists. The lock counts only while the lock file is the
// one under that name (a writer that finished removed it) and the file
// still does not exist (it may have been made meanwhile). Returns the
// descriptor that holds the lock, or -1 with `error` set.
int lock_for_create(tk_TreeFile &file, std::string &error) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    bool missing = false;
    int fd = open_locked(file.path, &missing, error);
    if (!missing) return fd;
    std::string target;
    if (!resolve_links(file.path, target, error)) {
      error = failure_text("create", file.path, error);
      return -1;
    }
    std::string lock = directory_of(target) + "/" + lock_name(base_of(target));
    fd = tk::io::open(lock.c_str(), O_RDONLY | O_CREAT, 0666);
    if (fd < 0) {
      error = failure_text("create", file.path, failure_text("create", lock, errno));
      return -1;
    }
    if (tk::io::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      tk::io::close(fd);
      error = lock_failure(file.path, e);
      return -1;
    }
    struct stat held, named, made;
    if (tk::io::fstat(fd, &held) == 0 && tk::io::stat(lock.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
      if (tk::io::stat(target.c_str(), &made) != 0 && errno == ENOENT) {
        // Moved, not copied: a copy could fail for want of memory with the
        // lock file made and held, and leave it behind.
        file.creation_lock = std::move(lock);
        return fd;
      }
      tk::io::unlink(lock.c_str());  // held, so ours to remove
    }
    tk::io::close(fd);
  }
  error = failure_text("create", file.path, "it keeps being replaced while it is opened");
  return -1;
}

// A lock file left by a writer of a new file that was killed (or could not
// remove it) is removed by a later writer, once nobody holds it.
void remove_unheld_lock(const std::string &lock) {
  int fd = tk::io::open(lock.c_str(), O_RDONLY, 0);
  if (fd < 0) return;
  if (tk::io::flock(fd, LOCK_EX | LOCK_NB) == 0) tk::io::unlink(lock.c_str());
  tk::io::close(fd);
}

// A writer killed between creating its temporary file and renaming it over
// the project leaves the temporary behind. The next writer, which holds the
// writer's lock, removes those of processes that no longer exist. Best
// effort: whatever fails here is left for a later writer.
void remove_stale_temporaries(const std::string &directory, const std::string &base) {
  std::vector<std::string> names;
  if (tk::io::list_directory(directory.c_str(), names) != 0) return;
  const std::string prefix = temporary_prefix(base);
  for (const std::string &name : names) {
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name == lock_name(base)) {
      remove_unheld_lock(directory + "/" + name);
      continue;
    }
    size_t at = prefix.size();
    long pid = 0;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < 100000000) pid = pid * 10 + (name[at++] - '0');
    if (pid <= 0 || at >= name.size() || name[at] != '-' || pid == static_cast<long>(getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
    tk::io::unlink((directory + "/" + name).c_str());
  }
}

// Gives the new file on `fd` the owner and group of the file it replaces,
// as far as the process may: the superuser any, an owner a group it belongs
// to; what it may not give stays as the new file has it.
bool keep_owner(int fd, const struct stat &old) {
  if (old.st_uid == geteuid() && old.st_gid == getegid()) return true;
  if (tk::io::fchown(fd, old.st_uid, old.st_gid) == 0) return true;
  if (errno != EPERM) return false;
  return tk::io::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0 || errno == EPERM;
}

// Replaces the file at `path` by one holding the image of `file` (see the
// top of this file). On failure `error` says which step failed; unless it
// was the flush of the directory after the rename, the old file is as it
// was and no temporary file remains. Only a regular file is replaced: a
// device, a pipe or a socket under that name (after links) is no project
// file, and renaming over it would destroy it.
bool replace_file(const std::string &path, tk_TreeFile &file, std::string &error) {
  std::string target;
  if (!resolve_links(path, target, error)) return false;
  std::string directory = directory_of(target);
  struct stat old;
  bool has_old = tk::io::stat(target.c_str(), &old) == 0;
  if (!has_old && errno != ENOENT) {
    error = failure_text("examine", target, errno);
    return false;
  }
  if (has_old && !S_ISREG(old.st_mode)) {
    error = target + " is not a regular file";
    return false;
  }
  if (has_old) remove_stale_temporaries(directory, base_of(target));
  // Threads saving different projects into one directory each take their
  // own numbers: names within one process differ by the counter alone.
  static std::atomic<unsigned long> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = directory + "/" + temporary_prefix(base_of(target)) + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1, std::memory_order_relaxed) + 1);
    fd = tk::io::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      error = failure_text("create a temporary file in", directory, errno);
      return false;
    }
  }
  auto fail = [&](const char *step, int e) {
    if (fd >= 0) tk::io::close(fd);
    tk::io::unlink(temp.c_str());
    error = failure_text(step, "", e);
    return false;
  };
  // The owner first: changing it clears the set-user-ID and set-group-ID bits.
  if (has_old && !keep_owner(fd, old)) return fail("keep the owner", errno);
  if (has_old && tk::io::fchmod(fd, old.st_mode & 07777) != 0) return fail("keep the permissions", errno);
  int write_error = 0;
  bool complete = false;
  try {
    complete = tk::tree::serialize(file, [&](const char *data, size_t size) {
      ssize_t written = tk::io::write(fd, data, size);
      if (written >= 0 && static_cast<size_t>(written) == size) return true;
      write_error = written < 0 ? errno : ENOSPC;
      return false;
    });
  } catch (const std::bad_alloc &) {
    write_error = ENOMEM;
  }
  if (!complete) return fail("write the new file", write_error ? write_error : EIO);
  if (tk::io::fsync(fd) != 0) return fail("flush the new file", errno);
  int closed = tk::io::close(fd);
  fd = -1;
  if (closed != 0) return fail("close the new file", errno);
  if (tk::io::rename(temp.c_str(), target.c_str()) != 0) return fail("put the new file in place", errno);
  release_creation_lock(file);  // the file exists now and its own lock takes over
  if (tk::io::fsync_dir(directory.c_str()) != 0) {
    error = "the new file is in place, but " + failure_text("flush", directory, errno);
    return false;
  }
  return true;
}

void destroy(tk_TreeFile *file) {
  release_creation_lock(*file);
  if (file->lock_fd >= 0) tk::io::close(file->lock_fd);  // releases the writer's lock
  delete file;
}

tk_TreeFile *new_handle(const char *path, Mode mode, std::string &error) {
  auto file = std::make_unique<tk_TreeFile>();
  file->mode = mode;
  file->dictionary.owned_by_file = true;
  file->dictionary.read_only = mode == Mode::read;
  if (!absolute_path(path, file->path, error)) {
    error = failure_text(mode == Mode::create ? "create" : "open", path, error);
    return nullptr;
  }
  return file.release();
}

}  // namespace

extern "C" {

TK_API tk_TreeFile *tk_TreeFileCreate(const char *path, int32_t access, tk_ErrorReport **slot) {
  (void)access;  // accepted for the callers' sake; files take the umask's permissions
  if (slot) *slot = nullptr;
  if (!path || !*path) {
    tk::report(slot, "tk_TreeFileCreate", "No file name given");
    return nullptr;
  }
  std::string error;
  bool out_of_memory = false;  // then `error` may hold anything
  tk_TreeFile *file = nullptr;
  try {
    file = new_handle(path, Mode::create, error);
    if (file) {
      std::string directory = directory_of(file->path);
      struct stat st, existing;
      bool exists = false;
      if (tk::io::stat(directory.c_str(), &st) != 0) {
        error = failure_text("create", file->path, failure_text("examine", directory, errno));
      } else if (!S_ISDIR(st.st_mode)) {
        error = failure_text("create", file->path, directory + " is not a directory");
      } else if ((exists = tk::io::stat(file->path.c_str(), &existing) == 0) && S_ISDIR(existing.st_mode)) {
        error = failure_text("create", file->path, "it is a directory");
      } else if (exists && !S_ISREG(existing.st_mode)) {
        // A device, a pipe or a socket (links followed): replacing it would
        // destroy it.
        error = failure_text("create", file->path, "it is not a regular file");
      } else {
        // An existing file is replaced at close; until then it is held like
        // a file opened for update. A new one is held through its lock file.
        file->lock_fd = lock_for_create(*file, error);
      }
      file->changed = true;
    }
  } catch (const std::bad_alloc &) {
    out_of_memory = true;
  }
  if (out_of_memory || !error.empty()) {
    if (file) destroy(file);
    if (out_of_memory)
      tk::io::report_out_of_memory(slot, "tk_TreeFileCreate", "create", path);
    else
      tk::io::report_text(slot, "tk_TreeFileCreate", error);
    return nullptr;
  }
  return file;
}

TK_API tk_TreeFile *tk_TreeFileOpen(const char *path, const char *mode, int32_t access, tk_ErrorReport **slot,
                                    int flags) {
  (void)access;
  if (slot) *slot = nullptr;
  if (!path || !*path) {
    tk::report(slot, "tk_TreeFileOpen", "No file name given");
    return nullptr;
  }
  std::string m = mode ? mode : "";
  Mode how;
  if (m == "rb" || m == "r") {
    how = Mode::read;
  } else if (m == "rb+" || m == "r+b" || m == "r+") {
    how = Mode::update;
  } else {
    tk::report(slot, "tk_TreeFileOpen", "Cannot open %s: unsupported mode \"%s\"", path, m.c_str());
    return nullptr;
  }
  // Records are left unchecked for a writer, whose close checks them, or
  // for a reader that reads most of them, each read checking its record.
  const bool later = flags == TK_OPEN_CHECK_RECORDS_LATER && how == Mode::update;
  const bool on_read = flags == TK_OPEN_CHECK_RECORDS_ON_READ && how == Mode::read;
  if (flags != 0 && !later && !on_read) {
    tk::report(slot, "tk_TreeFileOpen", "Cannot open %s: unsupported flags %d with mode \"%s\"", path, flags,
               m.c_str());
    return nullptr;
  }
  std::string error;
  bool out_of_memory = false;  // then `error` may hold anything
  tk_TreeFile *file = nullptr;
  int fd = -1;
  try {
    file = new_handle(path, how, error);
    if (file) {
      file->records_unchecked = flags != 0;
      bool missing = false;
      if (how == Mode::read) {
        // Non-blocking, so that a named pipe is refused as no project file
        // instead of waiting for a writer; regular files ignore the flag.
        fd = tk::io::open(file->path.c_str(), O_RDONLY | O_NONBLOCK, 0);
        missing = fd < 0 && errno == ENOENT;
        if (fd < 0 && !missing) error = failure_text("open", file->path, errno);
      } else {
        fd = file->lock_fd = open_locked(file->path, &missing, error);
      }
      if (missing) error = file->path + " does not exist";
      if (fd >= 0) load(fd, *file, error);
    }
  } catch (const std::bad_alloc &) {
    out_of_memory = true;
  }
  if (how == Mode::read && fd >= 0) tk::io::close(fd);  // everything is in memory now
  if (out_of_memory || !error.empty()) {
    if (file) destroy(file);
    if (out_of_memory)
      tk::io::report_out_of_memory(slot, "tk_TreeFileOpen", "open", path);
    else
      tk::io::report_text(slot, "tk_TreeFileOpen", error);
    return nullptr;
  }
  return file;
}

TK_API int tk_TreeFileClose(tk_TreeFile *file, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!file) return 0;
  bool write = file->mode == Mode::create ||
               (file->mode == Mode::update && (file->changed || file->dictionary.changed));
  std::string error;
  bool out_of_memory = false;  // then `error` may hold anything
  if (write) {
    try {
      // A record nobody checked never reaches a new file.
      if (!tk::tree::check_records(*file, error) || !replace_file(file->path, *file, error))
        error = failure_text("write", file->path, error);
    } catch (const std::bad_alloc &) {
      out_of_memory = true;
      tk::io::report_out_of_memory(slot, "tk_TreeFileClose", "write", file->path.c_str());
    }
  }
  destroy(file);
  if (out_of_memory) return 0;
  if (!error.empty()) {
    tk::io::report_text(slot, "tk_TreeFileClose", error);
    return 0;
  }
  return 1;
}

TK_API int tk_TreeFileCheckRecords(tk_TreeFile *file, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!file) {
    tk::report(slot, "tk_TreeFileCheckRecords", "No file given");
    return 0;
  }
  std::string error;
  try {
    if (tk::tree::check_records(*file, error)) return 1;
    tk::report(slot, "tk_TreeFileCheckRecords", "%s: %s", file->path.c_str(), error.c_str());
  } catch (const std::bad_alloc &) {
    tk::report(slot, "tk_TreeFileCheckRecords", "Out of memory");
  }
  return 0;
}

TK_API void tk_TreeFileAbandon(tk_TreeFile *file) {
  if (file) destroy(file);
}

TK_API tk_Dictionary *tk_TreeFileGetDictionary(tk_TreeFile *file) { return file ? &file->dictionary : nullptr; }

TK_API int tk_TreeFileVersions(const tk_TreeFile *file, uint32_t *read, uint32_t *write) {
  if (!file) return 0;
  if (read) *read = file->read_version;
  if (write) *write = file->write_version;
  return file->write_version <= tk::tree::kWriteVersion ? 1 : 0;
}

}  // extern "C"
