// One walk of each directory tree, keeping only the names asked for (see
// search_trees in relink.h).
//
// The walk keeps the identity (device, inode) of every directory it entered
// and enters none twice. That is what makes links safe to follow: a link to
// an ancestor, two links to each other, or two search roots of which one
// holds the other all end at a directory already seen, so the walk ends
// and no file is found twice. Only the wanted names are kept, which holds
// the memory to what the missing files need however big the tree is.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "relink.h"

namespace kcli {

namespace {

std::string joined(const std::string &directory, const char *name) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

class TreeWalk {
 public:
  TreeWalk(const std::vector<std::string> &wanted, SearchResult &result) : result_(result) {
    for (const std::string &name : wanted) wanted_.insert(name);
  }

  // Walks one root; throws when the root itself cannot be searched.
  void walk(const std::string &root) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
      throw Failure("cannot search " + root + ": " +
                    (errno == ENOTDIR ? std::string("not a directory") : std::strerror(errno)));
    pending_.clear();
    enter(root, fd);
    while (!pending_.empty()) {
      const std::string directory = std::move(pending_.back());
      pending_.pop_back();
      const int next = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) {
        result_.warnings.push_back("cannot read " + directory + ": " + std::strerror(errno));
        continue;
      }
      enter(directory, next);
    }
  }

 private:
  // Reads the directory open as `fd` (and closes it): wanted names are
  // recorded, directories below are queued.
  void enter(const std::string &directory, int fd) {
    struct stat self {};
    if (::fstat(fd, &self) != 0) {
      result_.warnings.push_back("cannot read " + directory + ": " + std::strerror(errno));
      ::close(fd);
      return;
    }
    if (!seen_.emplace(self.st_dev, self.st_ino).second) {
      result_.warnings.push_back(directory + ": searched already (a link or another search directory leads there)");
      ::close(fd);
      return;
    }
    DIR *stream = ::fdopendir(fd);
    if (!stream) {
      result_.warnings.push_back("cannot read " + directory + ": " + std::strerror(errno));
      ::close(fd);
      return;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(stream)) {
      const char *name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      bool directory_entry = entry->d_type == DT_DIR;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        // A link is taken for what it names; one that names nothing is no candidate.
        struct stat target {};
        if (::fstatat(::dirfd(stream), name, &target, 0) != 0) continue;
        directory_entry = S_ISDIR(target.st_mode);
      }
      const auto wanted = wanted_.find(std::string_view(name));
      if (wanted != wanted_.end()) result_.found[std::string(*wanted)].push_back(joined(directory, name));
      if (directory_entry) pending_.push_back(joined(directory, name));
      errno = 0;
    }
    if (errno != 0) result_.warnings.push_back("cannot read all of " + directory + ": " + std::strerror(errno));
    ::closedir(stream);
  }

  SearchResult &result_;
  std::unordered_set<std::string_view> wanted_;  // views of the caller's names
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::vector<std::string> pending_;
};

}  // namespace

SearchResult search_trees(const std::vector<std::string> &roots, const std::vector<std::string> &wanted) {
  SearchResult result;
  TreeWalk walk(wanted, result);
  for (const std::string &root : roots) {
    std::string absolute = std::filesystem::absolute(root).lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
    walk.walk(absolute);
  }
  // The file system's order of entries is its own: sorted, the outcome is
  // the same on every machine.
  for (auto &[name, places] : result.found) std::sort(places.begin(), places.end());
  return result;
}

}  // namespace kcli
