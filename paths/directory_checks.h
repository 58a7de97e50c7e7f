// One check per directory and call: while a DirectoryCheckScope lives (for
// the length of one project load or save), a directory that a path join has
// verified is not checked again. Without a scope every join checks its
// directory, as before. The answer differs only if the file system changes
// during the call. The scope is per thread and lives on the caller's stack;
// nothing outlasts the call.
#ifndef KESTRUM_PATHS_DIRECTORY_CHECKS_H
#define KESTRUM_PATHS_DIRECTORY_CHECKS_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>

namespace pm {

class DirectoryCheckScope {
 public:
  DirectoryCheckScope() noexcept;
  ~DirectoryCheckScope();
  DirectoryCheckScope(const DirectoryCheckScope &) = delete;
  DirectoryCheckScope &operator=(const DirectoryCheckScope &) = delete;

  // Whether `directory` was verified in the innermost live scope.
  static bool verified(const char *directory) noexcept;
  // Records a successful check (ignored outside a scope or out of memory).
  static void remember(const char *directory) noexcept;

 private:
  DirectoryCheckScope *outer_;
  std::unordered_set<std::string> verified_;
  // The directory last found verified: a load or save asks about the same
  // one for every name, and comparing with it costs no allocation.
  std::string last_;
};

// The join pm_DirectoryCat makes, without its check: calls emit with the
// parts (an initializer list of string views) that put exactly one "/"
// between `directory` and `name`, and returns what emit returns.
template <typename Emit>
auto join_parts(const char *directory, const char *name, Emit emit) {
  std::string_view dir(directory);
  bool dir_sep = !dir.empty() && dir.back() == '/';
  bool name_sep = name[0] == '/';
  if (dir_sep && name_sep) return emit({dir, std::string_view(name + 1)});
  if (dir_sep || name_sep) return emit({dir, std::string_view(name)});
  return emit({dir, std::string_view("/"), std::string_view(name)});
}

// That join as a new string on the toolkit heap; null when memory runs out.
char *join_directory(const char *directory, const char *name) noexcept;

}  // namespace pm

#endif
