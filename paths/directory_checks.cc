#include "paths/directory_checks.h"

#include <cstring>

#include "node/slow_paths.h"

namespace pm {

namespace {
thread_local DirectoryCheckScope *t_current = nullptr;
}  // namespace

DirectoryCheckScope::DirectoryCheckScope(Mode mode) noexcept : outer_(t_current), mode_(mode) { t_current = this; }

DirectoryCheckScope::~DirectoryCheckScope() { t_current = outer_; }

bool DirectoryCheckScope::verified(const char *directory) noexcept {
  if (!t_current || !directory || slow_paths()) return false;
  try {
    DirectoryCheckScope &scope = *t_current;
    // One comparison, with no length taken first: every join of a load or
    // save asks this of the same directory.
    if (!scope.last_.empty() && std::strcmp(scope.last_.c_str(), directory) == 0) return true;
    if (scope.verified_.count(directory) == 0) return false;
    scope.last_ = directory;
    return true;
  } catch (...) {
    return false;
  }
}

void DirectoryCheckScope::remember(const char *directory) noexcept {
  if (!t_current || !directory) return;
  try {
    t_current->verified_.insert(directory);
  } catch (...) {
    // Out of memory: the next join simply checks again.
  }
}

std::string *DirectoryCheckScope::scratch() noexcept { return t_current ? &t_current->scratch_ : nullptr; }

bool DirectoryCheckScope::may_create() noexcept { return !t_current || t_current->mode_ == Mode::may_create; }

DirectoryCheckScope::RealDirectory::RealDirectory(const char *directory) noexcept
    : scope_(t_current), outer_(t_current ? t_current->real_ : nullptr) {
  if (scope_) scope_->real_ = directory;
}

DirectoryCheckScope::RealDirectory::~RealDirectory() {
  if (scope_) scope_->real_ = outer_;
}

bool DirectoryCheckScope::literal(const char *directory) noexcept {
  return t_current && t_current->real_ && directory && std::strcmp(t_current->real_, directory) == 0;
}

}  // namespace pm
