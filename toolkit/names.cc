// Parts of file paths ('/' separated) and of tree-file node paths (':'
// separated). Pure string work: nothing here touches the file system.
#include <string>
#include <string_view>

#include "toolkit.h"
#include "toolkit_internal.h"

namespace {

constexpr int kFileParts = TK_PART_DRIVE | TK_PART_DIR | TK_PART_DIRSEP | TK_PART_BASE | TK_PART_EXT;
constexpr int kNodeParts = TK_NODE_NAME | TK_NODE_PARENT;

struct FileParts {
  std::string_view dir;   // never empty: "/" in the root, "." for a bare name
  std::string_view base;
  std::string_view ext;   // "" or starting with '.'
};

// The name is what follows the last '/', so a path ending in '/' has an empty
// name. The extension starts at the name's last '.' unless that is its first
// character (".profile" has none) or the name is "." or "..".
FileParts split_file_path(std::string_view path) {
  FileParts parts;
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (slash == std::string_view::npos) {
    parts.dir = ".";
  } else {
    std::string_view dir = path.substr(0, slash);
    while (!dir.empty() && dir.back() == '/') dir.remove_suffix(1);
    parts.dir = dir.empty() ? std::string_view("/") : dir;
  }
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name == "..") {
    parts.base = name;
  } else {
    parts.base = name.substr(0, dot);
    parts.ext = name.substr(dot);
  }
  return parts;
}

char *file_name_part(const char *path, int selector, tk_ErrorReport **slot) {
  constexpr const char *kFunction = "tk_FileNamePart";
  if (!path) {
    tk::report(slot, kFunction, "No path given");
    return nullptr;
  }
  if (selector & ~kFileParts) {
    tk::report(slot, kFunction, "Invalid file name part selector %d for %s", selector, path);
    return nullptr;
  }
  FileParts parts = split_file_path(path);
  bool want_name = selector & (TK_PART_BASE | TK_PART_EXT);
  std::string text;
  if (selector & TK_PART_DIR) {
    text += parts.dir;
    if ((selector & TK_PART_DIRSEP) && want_name && text.back() != '/') text += '/';
  }
  if (selector & TK_PART_BASE) text += parts.base;
  if (selector & TK_PART_EXT) text += parts.ext;
  return tk::hand_out(text, kFunction, slot);
}

// Node paths are taken from the root: leading ':'s are dropped ("::T" and the
// bare "T" both mean ":T"). What remains must be names separated by single
// ':'s, so the root itself, a trailing ':' and "::" inside are refused.
char *node_path_part(const char *path, int selector, tk_ErrorReport **slot) {
  constexpr const char *kFunction = "tk_NodePathPart";
  if (!path) {
    tk::report(slot, kFunction, "No node path given");
    return nullptr;
  }
  int parent_bits = selector & TK_NODE_PARENT;
  if (selector == 0 || (selector & ~kNodeParts) || (parent_bits && parent_bits != TK_NODE_PARENT)) {
    tk::report(slot, kFunction, "Invalid node path part selector %d for %s", selector, path);
    return nullptr;
  }
  std::string_view rest = path;
  while (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
  if (rest.empty() || rest.back() == ':' || rest.find("::") != std::string_view::npos) {
    tk::report(slot, kFunction, "Node path \"%s\" does not end in a node name", path);
    return nullptr;
  }
  size_t colon = rest.rfind(':');
  std::string text;
  if (parent_bits) {
    text += ':';
    if (colon != std::string_view::npos) text += rest.substr(0, colon + 1);
  }
  if (selector & TK_NODE_NAME)
    text += colon == std::string_view::npos ? rest : rest.substr(colon + 1);
  return tk::hand_out(text, kFunction, slot);
}

}  // namespace

extern "C" {

TK_API char *tk_FileNamePart(const char *path, int selector, int reserved, tk_ErrorReport **slot) {
  (void)reserved;
  if (slot) *slot = nullptr;
  return tk::guarded("tk_FileNamePart", slot, [&] { return file_name_part(path, selector, slot); });
}

TK_API char *tk_NodePathPart(const char *path, int selector, int reserved, tk_ErrorReport **slot) {
  (void)reserved;
  if (slot) *slot = nullptr;
  return tk::guarded("tk_NodePathPart", slot, [&] { return node_path_part(path, selector, slot); });
}

}  // extern "C"
