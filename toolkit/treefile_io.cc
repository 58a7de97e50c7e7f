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
// A writer (a handle opened for update, or created over an existing file)
// holds an exclusive flock on the file from open to close, so a second
// writer is turned away at once instead of silently losing one of the two
// sets of changes. Readers take no lock: they only ever see whole files.
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <csignal>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "io.h"
#include "toolkit_internal.h"
#include "treefile.h"

namespace {

using Mode = tk_TreeFile::Mode;

std::string os_error(int error) { return tk::io::message(error); }

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
      error = "cannot find the current directory: " + os_error(errno);
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
        error = "Cannot open " + path + ": " + os_error(errno);
      }
      return -1;
    }
    if (tk::io::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      tk::io::close(fd);
      error = e == EWOULDBLOCK ? path + " is in use by another writer"
                               : "Cannot lock " + path + ": " + os_error(e);
      return -1;
    }
    // A writer that was closing between our open and our lock has renamed a
    // new file over the one we locked; the lock must be on the file that the
    // path names now, or its changes would be lost.
    struct stat held, named;
    if (tk::io::fstat(fd, &held) != 0) {
      error = "Cannot examine " + path + ": " + os_error(errno);
      tk::io::close(fd);
      return -1;
    }
    if (tk::io::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
      return fd;
    tk::io::close(fd);
  }
  error = "Cannot open " + path + ": it keeps being replaced while it is opened";
  return -1;
}

// Reads the whole file on `fd` with one read and loads it into `file`.
bool load(int fd, tk_TreeFile &file, std::string &error) {
  struct stat st;
  if (tk::io::fstat(fd, &st) != 0) {
    error = "Cannot read " + file.path + ": " + os_error(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = file.path + ": not a project file";
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  std::unique_ptr<char[]> image(new (std::nothrow) char[size ? size : 1]);
  if (!image) {
    error = "Cannot read " + file.path + ": it is too large for the memory left";
    return false;
  }
  ssize_t got = tk::io::read(fd, image.get(), size);
  if (got < 0) {
    error = "Cannot read " + file.path + ": " + os_error(errno);
    return false;
  }
  if (static_cast<size_t>(got) != size) {
    error = "Cannot read " + file.path + ": it shrank while it was read";
    return false;
  }
  std::string reason;
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
      error = "cannot examine " + p + ": " + os_error(errno);
      return false;
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (hops == 40) {
      error = "too many levels of symbolic links";
      return false;
    }
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = tk::io::readlink(p.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      error = "cannot read link " + p + ": " + os_error(errno);
      return false;
    }
    std::string link(buffer.data(), static_cast<size_t>(n));
    p = link[0] == '/' ? link : directory_of(p) + "/" + link;
  }
  target = p;
  return true;
}

// The temporary file a writer makes beside `base` in its directory.
std::string temporary_prefix(const std::string &base) { return "." + base + ".tmp-"; }

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
    size_t at = prefix.size();
    long pid = 0;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < 100000000) pid = pid * 10 + (name[at++] - '0');
    if (pid <= 0 || at >= name.size() || name[at] != '-' || pid == static_cast<long>(getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
    tk::io::unlink((directory + "/" + name).c_str());
  }
}

// Replaces the file at `path` by one holding the image of `file` (see the
// top of this file). On failure `error` says which step failed; unless it
// was the flush of the directory after the rename, the old file is as it
// was and no temporary file remains.
bool replace_file(const std::string &path, const tk_TreeFile &file, std::string &error) {
  std::string target;
  if (!resolve_links(path, target, error)) return false;
  std::string directory = directory_of(target);
  struct stat old;
  bool has_old = tk::io::stat(target.c_str(), &old) == 0;
  if (!has_old && errno != ENOENT) {
    error = "cannot examine " + target + ": " + os_error(errno);
    return false;
  }
  if (has_old) remove_stale_temporaries(directory, base_of(target));
  static unsigned long counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = directory + "/" + temporary_prefix(base_of(target)) + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fd = tk::io::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      error = "cannot create a temporary file in " + directory + ": " + os_error(errno);
      return false;
    }
  }
  auto fail = [&](const char *step, int e) {
    if (fd >= 0) tk::io::close(fd);
    tk::io::unlink(temp.c_str());
    error = std::string(step) + ": " + os_error(e);
    return false;
  };
  if (has_old && tk::io::fchmod(fd, old.st_mode & 07777) != 0) return fail("cannot keep the permissions", errno);
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
  if (!complete) return fail("cannot write the new file", write_error ? write_error : EIO);
  if (tk::io::fsync(fd) != 0) return fail("cannot flush the new file", errno);
  int closed = tk::io::close(fd);
  fd = -1;
  if (closed != 0) return fail("cannot close the new file", errno);
  if (tk::io::rename(temp.c_str(), target.c_str()) != 0) return fail("cannot put the new file in place", errno);
  if (tk::io::fsync_dir(directory.c_str()) != 0) {
    error = "the new file is in place, but its directory could not be flushed: " + os_error(errno);
    return false;
  }
  return true;
}

void destroy(tk_TreeFile *file) {
  if (file->lock_fd >= 0) tk::io::close(file->lock_fd);  // releases the writer's lock
  delete file;
}

tk_TreeFile *new_handle(const char *path, Mode mode, std::string &error) {
  auto file = std::make_unique<tk_TreeFile>();
  file->mode = mode;
  file->dictionary.owned_by_file = true;
  file->dictionary.read_only = mode == Mode::read;
  if (!absolute_path(path, file->path, error)) return nullptr;
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
  tk_TreeFile *file = nullptr;
  try {
    file = new_handle(path, Mode::create, error);
    if (file) {
      std::string directory = directory_of(file->path);
      struct stat st;
      bool missing = false;
      if (tk::io::stat(directory.c_str(), &st) != 0) {
        error = "Cannot create " + file->path + ": directory " + directory + ": " + os_error(errno);
      } else if (!S_ISDIR(st.st_mode)) {
        error = "Cannot create " + file->path + ": " + directory + " is not a directory";
      } else if (tk::io::stat(file->path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "Cannot create " + file->path + ": it is a directory";
      } else {
        // An existing file is replaced at close; until then it is held like
        // a file opened for update.
        file->lock_fd = open_locked(file->path, &missing, error);  // no file yet: nothing to hold
      }
      file->changed = true;
    }
  } catch (const std::bad_alloc &) {
    error = "Cannot create " + std::string(path) + ": out of memory";
  }
  if (!error.empty()) {
    if (file) destroy(file);
    tk::report(slot, "tk_TreeFileCreate", "%s", error.c_str());
    return nullptr;
  }
  return file;
}

TK_API tk_TreeFile *tk_TreeFileOpen(const char *path, const char *mode, int32_t access, tk_ErrorReport **slot,
                                    int reserved) {
  (void)access;
  (void)reserved;
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
  std::string error;
  tk_TreeFile *file = nullptr;
  int fd = -1;
  try {
    file = new_handle(path, how, error);
    if (file) {
      bool missing = false;
      if (how == Mode::read) {
        // Non-blocking, so that a named pipe is refused as no project file
        // instead of waiting for a writer; regular files ignore the flag.
        fd = tk::io::open(file->path.c_str(), O_RDONLY | O_NONBLOCK, 0);
        missing = fd < 0 && errno == ENOENT;
        if (fd < 0 && !missing) error = "Cannot open " + file->path + ": " + os_error(errno);
      } else {
        fd = file->lock_fd = open_locked(file->path, &missing, error);
      }
      if (missing) error = file->path + " does not exist";
      if (fd >= 0) load(fd, *file, error);
    }
  } catch (const std::bad_alloc &) {
    error = "Cannot open " + std::string(path) + ": out of memory";
  }
  if (how == Mode::read && fd >= 0) tk::io::close(fd);  // everything is in memory now
  if (!error.empty()) {
    if (file) destroy(file);
    tk::report(slot, "tk_TreeFileOpen", "%s", error.c_str());
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
  if (write) {
    try {
      if (!replace_file(file->path, *file, error)) error = "Cannot write " + file->path + ": " + error;
    } catch (const std::bad_alloc &) {
      error = "Cannot write " + file->path + ": out of memory";
    }
  }
  destroy(file);
  if (!error.empty()) {
    tk::report(slot, "tk_TreeFileClose", "%s", error.c_str());
    return 0;
  }
  return 1;
}

TK_API void tk_TreeFileAbandon(tk_TreeFile *file) {
  if (file) destroy(file);
}

TK_API tk_Dictionary *tk_TreeFileGetDictionary(tk_TreeFile *file) { return file ? &file->dictionary : nullptr; }

}  // extern "C"
