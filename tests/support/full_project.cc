// Builds the full test project described in the header, through the public
// interface only, the way a host would.
#include "project_builder.h"

#include <string>

namespace kestrum_test {
namespace {

std::string number_name(const std::string &stem, int variant, int i) {
  return stem + std::to_string(variant) + "-" + std::to_string(i);
}

// File types per level; PFA files of the level carry the same names, so the
// project's associations match its data files.
std::string file_type(int level, int k) {
  static const char *const kinds[] = {"Raster", "Vector", "Text", "Annotation", "AOI"};
  return std::string(kinds[k % 5]) + (level == 0 ? " root" : level == 1 ? " tile" : " sample") +
         (k >= 5 ? std::to_string(k) : "");
}

// Texts that catch formatting and quoting mistakes on their way to disk.
const char *odd_text(int i) {
  static const char *const texts[] = {
      "checked", "", "100% \"done\" %s %n", "line one\nline two", "caf\xc3\xa9 \xe2\x9c\x93", nullptr};
  return texts[i % 6];
}

// Hands `node` to `append` (which takes a report slot). On refusal the node
// is still the caller's: it is destroyed and false returned.
template <typename T, typename Append>
bool adopt(T *node, Append append, T *(*destroy)(T *)) {
  tk_ErrorReport *report = nullptr;
  if (node != nullptr) append(node, &report);
  if (node != nullptr && report == nullptr) return true;
  tk_ErrorReportDelete(&report);
  destroy(node);
  return false;
}

bool attach_files(void *owner, int level, const std::string &place, const std::string &dir,
                  const FullShape &shape) {
  bool ok = true;
  for (int k = 0; ok && k < shape.files; ++k) {
    int seed = static_cast<int>(place.size()) * 7 + k + shape.variant;
    // Every other descriptor lies outside the project directory and must
    // come back unchanged instead of in "$PROJECT" form.
    std::string descriptor = (k % 2 == 0 ? dir + "/data/" : std::string("/elsewhere/data/")) + place +
                             "-" + std::to_string(k) + ".img";
    pm_File *file = pm_FileCreate(file_type(level, k).c_str(), k == 3 ? nullptr : descriptor.c_str(),
                                  1234.5678 + seed * 0.001 - (k == 1 ? 9999.25 : 0.0), odd_text(seed),
                                  odd_text(seed + 1));
    ok = adopt(file, [&](pm_File *f, tk_ErrorReport **slot) {
      if (pm_ParentAppendFile(owner, f, slot) != 0 && *slot == nullptr)
        *slot = tk_ErrorReportCreate("BuildFullProject", __LINE__, 1, nullptr, "%s", "refused file");
    }, pm_FileDestroy);
  }
  return ok;
}

pm_Project *fill(pm_Project *project, const std::string &dir, const FullShape &shape) {
  const int v = shape.variant;
  pm_ProjectSetType(project, v % 2);
  pm_ProjectSetUseDotGrid(project, (v + 1) % 2);
  pm_ProjectSetUsePolyTool(project, v == 3 ? 7 : 1);  // out of range survives too

  bool ok = attach_files(project, 0, "project", dir, shape);
  int tiles = shape.tiles + (v % 2 == 0 ? 1 : 0);
  for (int i = 0; ok && i < tiles; ++i) {
    pm_Tile *tile = pm_TileCreate(number_name("tile ", v, i).c_str());
    pm_TileSetAutomatic(tile, (i + v) % 2);
    ok = adopt(tile, [&](pm_Tile *t, tk_ErrorReport **slot) { pm_ProjectAppendTile(project, t, slot); },
               pm_TileDestroy) &&
         attach_files(tile, 1, number_name("t", v, i), dir, shape);
    int samples = shape.samples + (i % 2);
    for (int j = 0; ok && j < samples; ++j) {
      pm_Sample *sample = pm_SampleCreate(number_name("sample ", v, j).c_str());
      pm_SampleSetAutomatic(sample, j % 2);
      ok = adopt(sample, [&](pm_Sample *s, tk_ErrorReport **slot) { pm_TileAppendSample(tile, s, slot); },
                 pm_SampleDestroy) &&
           attach_files(sample, 2, number_name("t", v, i) + "s" + std::to_string(j), dir, shape);
    }
  }

  pm_ProcFiles *root = pm_ProcFilesCreate();
  pm_ProcessLists *lists = pm_ProcessListsCreate();
  for (int level = 0; ok && level < 3; ++level) {
    pm_PFAFile *&pfas = root->lists[level];
    for (int k = 0; ok && k < shape.files; ++k) {
      ok = adopt(pm_PFAFileCreate(file_type(level, k).c_str(), k % 5),
                 [&](pm_PFAFile *pfa, tk_ErrorReport **slot) { pfas = pm_PFAFileAppend(pfas, pfa, slot); },
                 pm_PFAFileDestroy);
    }
    pm_Process *&processes = lists->lists[level];
    for (int p = 0; ok && p < shape.processes; ++p) {
      std::string name = number_name("proc L", v, level * 10 + p);
      std::string params = (p % 2 == 0 ? dir + "/params/" : std::string("/opt/params/")) + name + ".par";
      std::string labels = dir + "/labels/" + name + ".lbl";
      pm_Process *process = pm_ProcessCreate(name.c_str(), odd_text(p + level), params.c_str(),
                                             p == 1 ? nullptr : labels.c_str(), ".out", (p + v) % 2);
      for (int a = 0; ok && a < shape.arguments; ++a) {
        pm_Argument *argument = pm_ArgumentCreate(
            number_name("arg", v, a).c_str(),
            shape.files > 0 ? file_type(level, a % shape.files).c_str() : nullptr, a % 5, a % 5,
            a == 2 ? 9 : a % 2);  // hide 9: an out-of-range value is kept as given
        ok = adopt(argument,
                   [&](pm_Argument *arg, tk_ErrorReport **slot) { pm_ProcessAppendArgument(process, arg, slot); },
                   pm_ArgumentDestroy);
      }
      bool appended = adopt(
          process, [&](pm_Process *proc, tk_ErrorReport **slot) { processes = pm_ProcessAppend(processes, proc, slot); },
          pm_ProcessDestroy);
      ok = ok && appended;
    }
  }
  pm_ProjectTypesApply(project, root, lists);
  if (!ok) {
    pm_ProjectDestroy(project);
    return nullptr;
  }
  return project;
}

}  // namespace

pm_Project *BuildFullProject(const std::string &filename, const FullShape &shape) {
  pm_Project *project = pm_ProjectCreate();
  tk_ErrorReport *report = nullptr;
  if (project == nullptr || pm_ProjectSetFilename(project, filename.c_str(), &report) != 1 ||
      report != nullptr) {
    tk_ErrorReportDelete(&report);
    pm_ProjectDestroy(project);
    return nullptr;
  }
  char *dir = pm_ProjectGetDirname(project);
  std::string directory = dir != nullptr ? dir : "";
  tk_HeapFree(dir);
  return fill(project, directory, shape);
}

pm_Project *BuildUnboundFullProject(const std::string &directory, const FullShape &shape) {
  pm_Project *project = pm_ProjectCreate();
  if (project == nullptr) return nullptr;
  return fill(project, directory, shape);
}

}  // namespace kestrum_test
