// Names compared as bytes, for relink.cc and relink_search.cc (see
// relink_internal.h).
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "relink_internal.h"

namespace kcli::relink_names {

const std::string kMarker = "$PROJECT";

bool marked(const std::string &name) {
  return name == kMarker || name.compare(0, kMarker.size() + 1, kMarker + "/") == 0;
}

std::string normal(const std::string &path) {
  std::string out = std::filesystem::path(path).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool beneath(const std::string &name, const std::string &prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  return name.size() == prefix.size() || prefix == "/" || name[prefix.size()] == '/';
}

std::string moved(const std::string &name, const std::string &from, const std::string &to) {
  const std::string rest = from == "/" ? name : name.substr(from.size());
  std::string out = (to == "/" ? std::string() : to) + rest;
  return out.empty() ? "/" : out;
}

bool exists(const std::string &path) {
  struct stat status {};
  return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

std::string last_name(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> components(const std::string &path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    if (slash > at) parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

std::size_t shared_tail(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  std::size_t shared = 0;
  while (shared + 1 < a.size() && shared + 1 < b.size() &&
         a[a.size() - 2 - shared] == b[b.size() - 2 - shared])
    ++shared;
  return shared;
}

std::string without_tail(const std::vector<std::string> &parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i + count < parts.size(); ++i) out += "/" + parts[i];
  return out.empty() ? "/" : out;
}

std::string stored_prefix(pm_Project *project, const std::string &directory, const std::string &prefix) {
  return prefix == directory ? kMarker : project_relative(project, prefix);
}

}  // namespace kcli::relink_names
