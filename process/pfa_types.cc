// PFA file types as text, lists of PFA file names by type, copies of PFA
// lists, and the level whose PFA list defines a name.
#include <string_view>

#include "node/value_names.h"
#include "process/process_internal.h"

namespace {

constexpr int kTypeCount = static_cast<int>(std::size(pm::kPFATypeNames));

// The file schema's type names in upper case, indexed by PFAType: the form
// in which callers spell PFA types.
struct UpperNames {
  static constexpr std::size_t kLongest = 16;
  char text[kTypeCount][kLongest];
};

constexpr bool type_names_fit() {
  for (const char *name : pm::kPFATypeNames)
    if (std::string_view(name).size() >= UpperNames::kLongest) return false;
  return true;
}
static_assert(type_names_fit(), "a PFA type name longer than UpperNames holds");

constexpr UpperNames upper_type_names() {
  UpperNames names{};
  for (int type = 0; type < kTypeCount; ++type) {
    const char *name = pm::kPFATypeNames[type];
    for (std::size_t i = 0; name[i]; ++i)
      names.text[type][i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
  }
  return names;
}

constexpr UpperNames kTypeNames = upper_type_names();

pm_PFAFile *copy_pfa(pm_PFAFile *pfa, tk_ErrorReport **) noexcept {
  return pm_PFAFileCreate(pfa->node.name, pfa->type);
}

}  // namespace

extern "C" {

// Exact, case-sensitive match; a name that matches none gives AOI with a
// report, so callers must test the slot to tell AOI from no match.
PM_API pm_PFAType pm_PFATypeEvaluate(const char *text, tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFATypeEvaluate", slot);
  for (int type = 0; type < kTypeCount; ++type)
    if (pm::names_equal(text, kTypeNames.text[type])) return type;
  r.push(nullptr, "Cannot match type string\"%s\"", pm::text_or_null(text));
  return PM_AOI;
}

PM_API tk_StringList *pm_PFAFileGetTypeString(pm_PFAFile *pfa, tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFAFileGetTypeString", slot);
  pm_PFAType type = pm_PFAFileGetType(pfa);
  if (type < 0 || type >= kTypeCount) return nullptr;
  pm::InnerSlot inner;
  tk_StringList *list = tk_StringListAppend(nullptr, kTypeNames.text[type], &inner);
  if (inner || !list) {
    r.push(inner.take(), "Error converting PFA File type for \"%s\" to a string",
           pm::text_or_null(pfa ? pfa->node.name : nullptr));
  }
  return list;
}

PM_API tk_StringList *pm_PFAFileGetListByType(tk_StringList *list, pm_PFAFile *pfa_list, pm_PFAType type,
                                              tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFAFileGetListByType", slot);
  for (auto *pfa = pm::as_kind<pm_PFAFile>(pm::list_first(pm::as_node(pfa_list))); pfa; pfa = pm::next_of(pfa)) {
    if (pfa->type != type) continue;
    pm::InnerSlot inner;
    list = tk_StringListAppend(list, pfa->node.name, &inner);
    if (inner) {
      r.push(inner.take(), "Error creating PFA type list");
      break;
    }
  }
  return list;
}

PM_API pm_PFAFile *pm_PFAListCopy(pm_PFAFile *list, tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFAListCopy", slot);
  const pm::NameText failed = "Cannot append PFA file to list";
  return pm::copy_list(r, list, copy_pfa, pm_PFAFileAppend, pm_PFAFileDestroy, failed, failed);
}

// A name defined on several levels belongs to the lowest of them. -1 (not a
// level) with a report when no level defines it, or when there is no
// argument or container to search.
PM_API pm_Level pm_PFAFileFindLevel(pm_Argument *argument, pm_ProcFiles *root, tk_ErrorReport **slot) {
  pm::Reporter r("pm_PFAFileFindLevel", slot);
  if (argument && root) {
    for (pm_Level level = pm::kLevelProject; level < pm::kLevelCount; ++level)
      if (pm::node_find(pm::as_node(root->lists[level]), argument->value)) return level;
  }
  r.push(nullptr, "Cannot find file type in any level");
  return -1;
}

}  // extern "C"
