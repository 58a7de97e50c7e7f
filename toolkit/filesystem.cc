// File-system tests and directory creation. Every call reaches the system
// through tk::io, so fault injection covers them too.
#include <cerrno>
#include <new>
#include <string>
#include <sys/stat.h>

#include "io.h"
#include "toolkit.h"
#include "toolkit_internal.h"

namespace tk::io {

std::string failure_text(const char *action, const std::string &path, const std::string &reason) {
  std::string text = std::string("cannot ") + action;
  if (!path.empty()) text += " " + path;
  return text + ": " + reason;
}

std::string failure_text(const char *action, const std::string &path, int error) {
  return failure_text(action, path, std::string(message(error)));
}

// Copies nothing, so that it cannot throw: the tree file's exports call it
// outside their handlers.
void report_text(tk_ErrorReport **slot, const char *function, const std::string &text) noexcept {
  if (text.empty()) return tk::report(slot, function, "%s", "");
  char first = text[0] >= 'a' && text[0] <= 'z' ? static_cast<char>(text[0] - 'a' + 'A') : text[0];
  tk::report(slot, function, "%c%s", first, text.c_str() + 1);
}

void report_out_of_memory(tk_ErrorReport **slot, const char *function, const char *action,
                          const char *path) noexcept {
  tk::report(slot, function, "Cannot %s %s: out of memory", action, path ? path : "(null)");
}

// Building the text may throw; the report then says only that memory ran out.
void report_failure(tk_ErrorReport **slot, const char *function, const char *action,
                    const char *path, int error) {
  try {
    report_text(slot, function, failure_text(action, path ? path : "(null)", error));
  } catch (const std::bad_alloc &) {
    report_out_of_memory(slot, function, action, path);
  }
}

}  // namespace tk::io

extern "C" {

// Links are followed: a dangling link counts as absent. A missing component
// on the way (ENOENT, ENOTDIR) means absent too; any other failure of the
// test (no permission, a loop, a name too long) is undeterminable.
TK_API int tk_PathExistsAsFileOrDir(const char *path, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!path) return TK_PATH_ABSENT;
  struct stat info;
  if (tk::io::stat(path, &info) != 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) return TK_PATH_ABSENT;
    tk::io::report_failure(slot, "tk_PathExistsAsFileOrDir", "determine the status of", path, error);
    return TK_PATH_UNKNOWN;
  }
  return S_ISDIR(info.st_mode) ? TK_PATH_DIR : TK_PATH_FILE;
}

TK_API int tk_FileExists(const char *path, tk_ErrorReport **slot) {
  int status = tk_PathExistsAsFileOrDir(path, slot);
  if (status == TK_PATH_UNKNOWN) {
    tk::report(slot, "tk_FileExists", "Cannot check existence of %s", path);
    return 0;
  }
  return status != TK_PATH_ABSENT;
}

// An existing directory of that name counts as created, so that two callers
// racing to create the same directory both succeed.
TK_API int tk_MakeDir(const char *path, int mode, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  if (!path) {
    tk::report(slot, "tk_MakeDir", "No directory name given");
    return 0;
  }
  mode_t bits = mode == 0 ? TK_MODE_ALL : static_cast<mode_t>(mode) & 07777;
  if (tk::io::mkdir(path, bits) == 0) return 1;
  int error = errno;
  struct stat info;
  if (error == EEXIST && tk::io::stat(path, &info) == 0 && S_ISDIR(info.st_mode)) return 1;
  tk::io::report_failure(slot, "tk_MakeDir", "create directory", path, error);
  return 0;
}

}  // extern "C"
