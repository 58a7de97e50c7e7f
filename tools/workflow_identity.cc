// Which file a path of a plan names. Two jobs must never be planned to
// write one file, however its path is spelled: "out/x", "out/./x",
// "out//x", "in/../out/x", "$PROJECT/out/x" and a symbolic link to it.
// Spellings are first made lexically normal; where the file exists its
// device and inode decide, and where only a directory on its way exists,
// that directory's, so that a link to a directory counts too.
#include <sys/stat.h>

#include <filesystem>

#include "workflow.h"

namespace kcli::workflow {

namespace {

std::string device_and_inode(const struct stat &status) {
  return "@" + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

}  // namespace

FileIdentity::Identity FileIdentity::of(const std::string &path) {
  Identity identity;
  identity.path = std::filesystem::absolute(path).lexically_normal().string();
  struct stat status {};
  if (::stat(identity.path.c_str(), &status) == 0) {
    identity.exists = true;
    identity.key = device_and_inode(status);
    return identity;
  }
  const std::size_t slash = identity.path.find_last_of('/');
  if (slash == std::string::npos) {
    identity.key = identity.path;
    return identity;
  }
  identity.key = directory_key(identity.path.substr(0, slash)) + identity.path.substr(slash);
  return identity;
}

// A directory's key: its device and inode, or its parent's and its name
// when it does not exist. "" is the root.
std::string FileIdentity::directory_key(const std::string &normal) {
  const auto found = directories_.find(normal);
  if (found != directories_.end()) return found->second;
  std::string key;
  struct stat status {};
  if (::stat(normal.empty() ? "/" : normal.c_str(), &status) == 0) {
    key = device_and_inode(status);
  } else {
    const std::size_t slash = normal.find_last_of('/');
    key = slash == std::string::npos ? normal : directory_key(normal.substr(0, slash)) + normal.substr(slash);
  }
  directories_.emplace(normal, key);
  return key;
}

}  // namespace kcli::workflow
