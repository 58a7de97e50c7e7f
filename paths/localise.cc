// Project-relative file names. A name inside the project manager directory is
// stored as "$PROJECT" followed by the rest of the name, so a project keeps
// its files when the whole directory moves; expanding puts the directory of
// the moment back in front.
//
// "$PROJECT" is a marker, not a place: it counts only as a whole path
// component ("$PROJECT" alone or followed by "/"), and a name belongs to a
// directory only when the directory's text ends at a component boundary of
// the name. So with the directory /data/proj, /data/project2/a.img stays as
// it is, and localising then expanding with the same directory always gives
// back the name it started from.
#include "node/report.h"
#include "node/slow_paths.h"
#include "paths/directory_checks.h"
#include "paths/localise.h"

namespace {

constexpr char kMarker[] = "$PROJECT";
constexpr size_t kMarkerLength = sizeof(kMarker) - 1;

// Length of `directory` without its trailing "/" characters ("/data/proj/"
// and "/data/proj" both give 10; "/" gives 0).
size_t length_without_separators(const char *directory) noexcept {
  size_t length = tk_TextLength(directory);
  while (length > 0 && directory[length - 1] == '/') --length;
  return length;
}

// The part of `filename` after `directory` when the file lies in it (or is
// the directory itself); null when it does not.
const char *rest_under(const char *directory, const char *filename) noexcept {
  if (tk_TextLength(directory) == 0) return nullptr;
  size_t length = length_without_separators(directory);
  if (tk_TextCompareN(filename, directory, length) != 0) return nullptr;
  const char *rest = filename + length;
  if (rest[0] == '/') return rest;
  // The directory itself; the root directory has no such name.
  return rest[0] == '\0' && length > 0 ? rest : nullptr;
}

// Takes the separators a join leaves at the end off again when `rest` is
// empty: the rest then names the directory itself, so "$PROJECT" and
// "/data/proj" map onto each other whichever way the directory was written.
size_t trimmed_length(const char *joined, size_t length, const char *rest) noexcept {
  if (rest[0] == '\0')
    while (length > 1 && joined[length - 1] == '/') --length;
  return length;
}

// Joins `base` and `rest` as pm_DirectoryCat does (which checks `base`).
char *join_rest(pm::Reporter &r, const char *base, const char *rest) noexcept {
  // A base already checked in this load or save needs the join alone; any
  // other case, a failed join included, goes through pm_DirectoryCat with
  // its check and its reports.
  char *joined = pm::DirectoryCheckScope::verified(base) ? pm::join_directory(base, rest) : nullptr;
  pm::InnerSlot inner;
  if (!joined) joined = pm_DirectoryCat(base, rest, &inner);
  if (inner) r.push(inner.take(), "Error creating local name");
  // Only a join with an empty rest can end in separators to take off.
  if (joined && rest[0] == '\0') joined[trimmed_length(joined, tk_TextLength(joined), rest)] = '\0';
  return joined;
}

// A copy of `filename` as the result of a call; null for null, and null with
// a report when memory runs out (never a null that reads as "no name").
char *copy_result(pm::Reporter &r, const char *filename) noexcept {
  char *copy = tk_StrDuplicate(filename);
  if (!copy && filename) r.push(nullptr, "Out of memory copying %s", filename);
  return copy;
}

}  // namespace

namespace pm {

bool localise_into(const char *directory, const char *filename, std::string &out) noexcept {
  if (!filename || slow_paths()) return false;
  const char *rest = directory ? rest_under(directory, filename) : nullptr;
  try {
    if (!rest) {
      out.assign(filename);
      return true;
    }
    if (!DirectoryCheckScope::verified(kMarker)) return false;
    join_parts(kMarker, rest, [&](std::initializer_list<std::string_view> parts) {
      out.clear();
      for (std::string_view part : parts) out.append(part);
    });
    out.resize(trimmed_length(out.data(), out.size(), rest));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace pm

extern "C" {

PM_API char *pm_FilenameLocalise(const char *directory, const char *filename, tk_ErrorReport **slot) {
  pm::Reporter r("pm_FilenameLocalise", slot);
  if (!directory || !filename) return copy_result(r, filename);
  const char *rest = rest_under(directory, filename);
  if (!rest) return copy_result(r, filename);
  return join_rest(r, kMarker, rest);
}

PM_API char *pm_FilenameExpand(const char *directory, const char *filename, tk_ErrorReport **slot) {
  pm::Reporter r("pm_FilenameExpand", slot);
  if (!filename) return nullptr;
  bool marked = tk_TextCompareN(filename, kMarker, kMarkerLength) == 0 &&
                (filename[kMarkerLength] == '\0' || filename[kMarkerLength] == '/');
  if (!marked) return copy_result(r, filename);
  if (!directory) return nullptr;
  return join_rest(r, directory, filename + kMarkerLength);
}

}  // extern "C"
