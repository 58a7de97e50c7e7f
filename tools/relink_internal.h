// What planning a relink (relink.cc) and its search (relink_search.cc)
// share: names compared as bytes, one directory name at a time, and the
// search's entry point.
#ifndef KESTRUM_TOOLS_RELINK_INTERNAL_H
#define KESTRUM_TOOLS_RELINK_INTERNAL_H

#include <string>
#include <vector>

#include "relink.h"

namespace kcli {

namespace relink_names {

extern const std::string kMarker;  // "$PROJECT"
// Whether `name` is "$PROJECT" or begins with "$PROJECT/".
bool marked(const std::string &name);
// `path` with "." and ".." resolved by name and no trailing "/".
std::string normal(const std::string &path);
// Whether `name` is `prefix` or lies beneath it, whole directory names only.
bool beneath(const std::string &name, const std::string &prefix);
// `name` (beneath `from`) with `from` replaced by `to`.
std::string moved(const std::string &name, const std::string &from, const std::string &to);
// Whether the name is there (a link followed).
bool exists(const std::string &path);
// The last name of a path, trailing "/" ignored.
std::string last_name(std::string path);
// The names of a path, empty ones (leading, doubled or trailing "/") left out.
std::vector<std::string> components(const std::string &path);
// How many names two paths share at their ends, the file names aside.
std::size_t shared_tail(const std::vector<std::string> &a, const std::vector<std::string> &b);
// `path` without its last `count` names ("/" when none are left).
std::string without_tail(const std::vector<std::string> &parts, std::size_t count);
// A prefix in stored form; the project's directory itself is "$PROJECT".
std::string stored_prefix(pm_Project *project, const std::string &directory, const std::string &prefix);

}  // namespace relink_names

// Looks for the missing files `sought` under `roots` and adds to the plan
// what it decides for each: a change, an ambiguity or not found, and the
// warnings of the walk. `descriptors` are those of every data file of the
// project, so that a found file another data file owns is no candidate.
void relink_by_search(pm_Project *project, const std::vector<std::string> &roots, std::vector<DataFile> sought,
                      const std::vector<std::string> &descriptors, RelinkPlan &plan);

}  // namespace kcli

#endif
