#include "paths/directory_checks.h"

namespace pm {

namespace {
thread_local DirectoryCheckScope *t_current = nullptr;
}  // namespace

DirectoryCheckScope::DirectoryCheckScope() noexcept : outer_(t_current) { t_current = this; }

DirectoryCheckScope::~DirectoryCheckScope() { t_current = outer_; }

bool DirectoryCheckScope::verified(const char *directory) noexcept {
  if (!t_current || !directory) return false;
  try {
    DirectoryCheckScope &scope = *t_current;
    if (!scope.last_.empty() && scope.last_ == directory) return true;
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

}  // namespace pm
