// One check per directory and call: while a DirectoryCheckScope lives (for
// the length of one project load or save), a directory that a path join has
// verified is not checked again. Without a scope every join checks its
// directory, as before. The answer differs only if the file system changes
// during the call. The scope is per thread and lives on the caller's stack;
// nothing outlasts the call.
#ifndef KESTRUM_PATHS_DIRECTORY_CHECKS_H
#define KESTRUM_PATHS_DIRECTORY_CHECKS_H

#include <string>
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

}  // namespace pm

#endif
