// Directory checks and path joins. Every join first makes sure its directory
// exists (creating one missing level), so a path handed out by these
// functions can be written to at once; only inside a project load, which
// must leave the disk as it found it, a missing directory is left missing.
#include "node/report.h"
#include "node/text.h"
#include "paths/directory_checks.h"

namespace {

bool ends_with_separator(const char *text) noexcept {
  size_t length = tk_TextLength(text);
  return length > 0 && text[length - 1] == '/';
}

// The extension that a data file of the given type carries; "" for a type
// without one.
const char *extension_of(pm_PFAType type) noexcept {
  switch (type) {
    case PM_RASTER: return ".img";
    case PM_VECTOR: return ".shp";
    case PM_TEXT: return ".txt";
    case PM_ANNOTATION: return ".ovr";
    case PM_AOI: return ".aoi";
    default: return "";
  }
}

// The check of pm_DirectoryCreate, reported as that function. Variables in
// the directory are expanded unless `expand` is false (the directory is a
// real path); a missing directory is created only when `create` is true.
void check_directory(const char *directory, bool expand, bool create, tk_ErrorReport **slot) noexcept {
  pm::Reporter r("pm_DirectoryCreate", slot);
  pm::InnerSlot inner;
  char *expanded = expand ? tk_StringExpand(directory, &inner) : tk_StrDuplicate(directory);
  if (inner || !expanded) {
    tk_HeapFree(expanded);
    r.push_severity(TK_SEVERITY_SERIOUS, inner.take(), "Error expanding project manager directory name.");
    return;
  }
  int status = tk_PathExistsAsFileOrDir(expanded, &inner);
  if (inner) {
    r.push(inner.take(), "Error determining status of project manager directory %s", expanded);
  } else if (status == TK_PATH_UNKNOWN) {
    r.push(nullptr, "Unknown error");
  } else if (status == TK_PATH_ABSENT && create) {
    int made = tk_MakeDir(expanded, TK_MODE_ALL, &inner);
    if (inner || !made) r.push(inner.take(), "Cannot create project manager directory: %s", expanded);
  } else if (status == TK_PATH_FILE) {
    r.push(nullptr, "Project Manager directory %s exists as a file", expanded);
  }
  tk_HeapFree(expanded);
}

// Checks `directory` for a join; on failure leaves "Error verifying
// directory" over the check's report and returns false. Inside a load or
// save the scope says whether the directory is a real path and whether a
// missing one may be made.
bool verify_directory(pm::Reporter &r, const char *directory) noexcept {
  // Inside one load or save a directory that passed is not checked again.
  if (pm::DirectoryCheckScope::verified(directory)) return true;
  pm::InnerSlot check;
  check_directory(directory, !pm::DirectoryCheckScope::literal(directory), pm::DirectoryCheckScope::may_create(),
                  &check);
  if (!check) {
    pm::DirectoryCheckScope::remember(directory);
    return true;
  }
  r.push(check.take(), "Error verifying directory");
  return false;
}

}  // namespace

namespace pm {

char *join_directory(const char *directory, const char *name) noexcept {
  return join_parts(directory, name, [](std::initializer_list<std::string_view> parts) { return concat(parts); });
}

}  // namespace pm

extern "C" {

// The outcome is only in the slot: the directory (after variable expansion)
// exists as a directory afterwards exactly when no report is left.
PM_API void pm_DirectoryCreate(const char *directory, tk_ErrorReport **slot) {
  check_directory(directory, true, true, slot);
}

// Exactly one "/" ends up between the two parts; the directory's text is used
// as given (only the check expands it).
PM_API char *pm_DirectoryCat(const char *directory, const char *name, tk_ErrorReport **slot) {
  pm::Reporter r("pm_DirectoryCat", slot);
  if (!directory || !name) return nullptr;
  if (!verify_directory(r, directory)) return nullptr;
  char *joined = pm::join_directory(directory, name);
  if (!joined) r.push(nullptr, "Error creating directory name");
  return joined;
}

// Unlike pm_DirectoryCat, the name is taken whole: a leading "/" of the name
// is kept, since data file names are built from parts the host chose.
PM_API char *pm_DescriptorStringCat(const char *directory, const char *name, const char *suffix,
                                    pm_PFAType type, tk_ErrorReport **slot) {
  pm::Reporter r("pm_DescriptorStringCat", slot);
  if (!directory || !name || !suffix) return nullptr;
  if (!verify_directory(r, directory)) return nullptr;
  const char *extension = extension_of(type);
  return pm::concat({directory, ends_with_separator(directory) ? "" : "/", name, suffix, extension});
}

}  // extern "C"
