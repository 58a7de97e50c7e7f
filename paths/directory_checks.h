// One check per directory and call: while a DirectoryCheckScope lives (for
// the length of one project load or save), a directory that a path join has
// verified is not checked again. Without a scope every join checks its
// directory, as before. The answer differs only if the file system changes
// during the call. The scope is per thread and lives on the caller's stack;
// nothing outlasts the call.
//
// The rule for the cache: a directory counts as verified only after a check
// of the same text, under the same scope, passed, so a join that skips the
// check gives the name and reports a check would have given, as long as the
// file system holds still. With slow_paths() nothing counts as verified and
// every join checks (the scope still says may_create and literal).
//
// The scope also says two things about the call it covers:
// - Whether checks may create what is missing. A load only reads: inside a
//   read-only scope a missing directory is left missing (the join still
//   gives its name) and nothing is made on disk.
// - Which directory is a real path. The directory of the project file comes
//   from where the file lies, not from a name someone wrote with variables,
//   so a "$" in it is a character like any other: checks of that directory
//   take its text as it is instead of expanding it. Directories written
//   with variables ("$PROJECT") are expanded as always.
#ifndef KESTRUM_PATHS_DIRECTORY_CHECKS_H
#define KESTRUM_PATHS_DIRECTORY_CHECKS_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>

namespace pm {

class DirectoryCheckScope {
 public:
  enum class Mode { may_create, read_only };
  explicit DirectoryCheckScope(Mode mode) noexcept;
  ~DirectoryCheckScope();
  DirectoryCheckScope(const DirectoryCheckScope &) = delete;
  DirectoryCheckScope &operator=(const DirectoryCheckScope &) = delete;

  // Whether `directory` was verified in the innermost live scope.
  static bool verified(const char *directory) noexcept;
  // Records a successful check (ignored outside a scope or out of memory).
  static void remember(const char *directory) noexcept;
  // Whether checks may create a missing directory: false only inside a
  // read-only scope.
  static bool may_create() noexcept;
  // Whether `directory` is the text that a live RealDirectory named.
  static bool literal(const char *directory) noexcept;
  // A string that lives as long as the innermost scope, for the names a
  // load or save builds one at a time; null outside a scope. It belongs to
  // the call's stack, not to the thread, so its first use registers nothing
  // that could fail for want of memory.
  static std::string *scratch() noexcept;

  // Names `directory` the real directory of the innermost scope for as long
  // as it lives (nothing outside a scope). The text is not copied: it must
  // outlive the guard.
  class RealDirectory {
   public:
    explicit RealDirectory(const char *directory) noexcept;
    ~RealDirectory();
    RealDirectory(const RealDirectory &) = delete;
    RealDirectory &operator=(const RealDirectory &) = delete;

   private:
    DirectoryCheckScope *scope_;
    const char *outer_;
  };

 private:
  DirectoryCheckScope *outer_;
  Mode mode_;
  const char *real_ = nullptr;
  std::unordered_set<std::string> verified_;
  // The directory last found verified: a load or save asks about the same
  // one for every name, and comparing with it costs no allocation.
  std::string last_;
  std::string scratch_;
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
