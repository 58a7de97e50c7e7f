// kestrum._kestrum: what the project file cannot mean (see validation.h).
#include "validation.h"

#include <vector>

#include "cli.h"
#include "values.h"

namespace kpy {

namespace {

// The file's own nodes beside the tiles and the project's data files.
constexpr const char *kReservedNames[] = {"Project", "Root Files", "Primary Files", "Secondary Files"};
// The tree file's longest node name.
constexpr std::size_t kMaxNameSize = 4096;

std::string in_quotes(std::string_view name) { return "'" + std::string(name) + "'"; }

template <class Node>
Node *next(Node *node) {
  return reinterpret_cast<Node *>(node->node.next);
}

// Where a clash with a sibling of another list under the project file's top
// level (`tile` null) or under a tile would stop the save: a data file (by
// type, `is_file`) against the tiles or samples, a tile or sample against
// the data files; the top level's own nodes against both. A name taken in
// its own list is the library's to refuse.
std::string clash(pm_Project *project, pm_Tile *tile, std::string_view name, bool is_file) {
  bool taken = false;
  if (!tile) {
    for (const char *reserved : kReservedNames) taken = taken || name == reserved;
    if (is_file)
      for (pm_Tile *t = project->tiles; t && !taken; t = next(t)) taken = node_name(t) == name;
    else
      for (pm_File *f = project->files; f && !taken; f = next(f)) taken = node_name(f) == name;
  } else if (is_file) {
    for (pm_Sample *s = tile->samples; s && !taken; s = next(s)) taken = node_name(s) == name;
  } else {
    for (pm_File *f = tile->files; f && !taken; f = next(f)) taken = node_name(f) == name;
  }
  if (!taken) return {};
  return "Node " + std::string(name) + " already exists under " + (tile ? "::" + node_name(tile) : ":");
}

// What the PFA files of a level define: "photo, mask", or empty.
std::string defined_types(pm_Project *project, int level) {
  std::string names;
  for (pm_PFAFile *p = pm_PFAFileListGetByType(project, level); p; p = next(p))
    names += (names.empty() ? "" : ", ") + node_name(p);
  return names;
}

std::string undefined_type(pm_Project *project, int level, const std::string &type) {
  if (pm_PFAFileFind(pm_PFAFileListGetByType(project, level), type.c_str())) return {};
  const std::string defined = defined_types(project, level);
  return "no PFA file of level " + std::to_string(level) + " defines the file type " + in_quotes(type) + "; " +
         (defined.empty() ? "level " + std::to_string(level) + " defines none" : "it defines " + defined);
}

std::string relative_path(const char *what, char *stored) {
  const std::string path = kcli::take(stored);
  if (path.empty() || path.front() == '/' || path.front() == '$') return {};
  return std::string(what) + " " + in_quotes(path) + " is relative: it would be read against whatever directory a "
         "host runs in";
}

[[noreturn]] void refuse(const char *what, const std::string &name, const std::string &fault) {
  throw_value_error(std::string(what) + " " + in_quotes(name) + ": " + fault);
}

void check_name(const char *what, const std::string &name) {
  const std::string fault = node_name_fault(name);
  if (!fault.empty()) refuse(what, name, fault);
}

void *owner_tile(void *owner) { return pm_NodeGetType(owner) == PM_KIND_TILE ? owner : nullptr; }

// ---- project.validate() ----------------------------------------------------

enum class Kind { kProject, kTile, kSample, kFile, kPFAFile, kProcess, kArgument };

struct Problem {
  Kind kind;
  Handle node;  // stamped as the walk meets it, before any Python object is made
  std::string place;
  std::string message;
};

class Checker {
 public:
  explicit Checker(const CorePtr &core) : core_(core), project_(core->project) {}

  std::vector<Problem> run() {
    add_enum(Kind::kProject, project_, "the project", kProjectType, pm_ProjectGetType(project_), "Project.type");
    add_enum(Kind::kProject, project_, "the project", kSwitch, pm_ProjectGetUseDotGrid(project_), "Project.use_dot_grid");
    add_enum(Kind::kProject, project_, "the project", kSwitch, pm_ProjectGetUsePolyTool(project_), "Project.use_poly_tool");
    for (pm_Tile *tile = project_->tiles; tile; tile = next(tile)) {
      const std::string place = "tile " + in_quotes(node_name(tile));
      add_name(Kind::kTile, tile, place, node_name(tile), clash(project_, nullptr, node_name(tile), false));
      add_enum(Kind::kTile, tile, place, kSelection, pm_TileGetAutomatic(tile), "Tile.automatic");
      for (pm_Sample *sample = tile->samples; sample; sample = next(sample)) {
        const std::string at = "sample " + in_quotes(node_name(tile) + "/" + node_name(sample));
        add_name(Kind::kSample, sample, at, node_name(sample), {});
        add_enum(Kind::kSample, sample, at, kSelection, pm_SampleGetAutomatic(sample), "Sample.automatic");
        files(sample->files, 2, at, nullptr);
      }
      files(tile->files, 1, place, tile);
    }
    files(project_->files, 0, "the project", nullptr);
    for (int level = 0; level < kcli::kLevelCount; ++level) {
      const std::string of_level = " of level " + std::to_string(level);
      for (pm_PFAFile *pfa = pm_PFAFileListGetByType(project_, level); pfa; pfa = next(pfa)) {
        const std::string place = "PFA file " + in_quotes(node_name(pfa)) + of_level;
        add_name(Kind::kPFAFile, pfa, place, node_name(pfa), {});
        add_enum(Kind::kPFAFile, pfa, place, kFormat, pm_PFAFileGetType(pfa), "PFAFile.format");
      }
      for (pm_Process *process = pm_ProcessListGetByType(project_, level); process; process = next(process)) {
        const std::string place = "process " + in_quotes(node_name(process)) + of_level;
        add_name(Kind::kProcess, process, place, node_name(process), {});
        add_enum(Kind::kProcess, process, place, kOutput, pm_ProcessGetOutput(process), "Process.output");
        add(Kind::kProcess, process, place, relative_path("the parameter file", pm_ProcessGetParams(process)));
        add(Kind::kProcess, process, place, relative_path("the label file", pm_ProcessGetLabels(process)));
        for (pm_Argument *argument = process->arguments; argument; argument = next(argument)) {
          const std::string at = "argument " + in_quotes(node_name(argument)) + " of " + place;
          add_enum(Kind::kArgument, argument, at, kFormat, pm_ArgumentGetType(argument), "Argument.format");
          add_enum(Kind::kArgument, argument, at, kMode, pm_ArgumentGetMode(argument), "Argument.mode");
          add_enum(Kind::kArgument, argument, at, kHide, pm_ArgumentGetHide(argument), "Argument.hide");
          add(Kind::kArgument, argument, at, unknown_value(argument));
        }
      }
    }
    return std::move(problems_);
  }

 private:
  void add(Kind kind, void *node, const std::string &place, const std::string &message) {
    if (!message.empty()) problems_.push_back({kind, handle<Handle>(core_, node), place, message});
  }
  void add_enum(Kind kind, void *node, const std::string &place, EnumKind which, int32_t value, const char *field) {
    add(kind, node, place, enum_fault(which, value, field));
  }
  void add_name(Kind kind, void *node, const std::string &place, const std::string &name, const std::string &clashed) {
    const std::string fault = node_name_fault(name);
    add(kind, node, place, fault.empty() ? clashed : fault);
  }
  // The data files of a node of `level`; `tile` when they are a tile's,
  // whose samples they share the tile's node with.
  void files(pm_File *list, int level, const std::string &owner, pm_Tile *tile) {
    for (pm_File *file = list; file; file = next(file)) {
      const std::string type = node_name(file);
      const std::string place = "data file " + in_quotes(type) + " of " + owner;
      std::string clashed;
      if (level == 0) clashed = clash(project_, nullptr, type, true);
      if (tile) clashed = clash(project_, tile, type, true);
      add_name(Kind::kFile, file, place, type, clashed);
      add(Kind::kFile, file, place, undefined_type(project_, level, type));
      add(Kind::kFile, file, place, relative_path("the descriptor", pm_FileGetDescriptor(file)));
    }
  }
  // An argument that stands for a PFA file no level defines.
  std::string unknown_value(pm_Argument *argument) {
    const std::optional<std::string> value = kcli::optional_text(argument->value);
    if (!value) return {};
    for (int level = 0; level < kcli::kLevelCount; ++level)
      if (pm_PFAFileFind(pm_PFAFileListGetByType(project_, level), value->c_str())) return {};
    return "it stands for " + in_quotes(*value) + ", which no PFA file of any level defines";
  }

  const CorePtr &core_;
  pm_Project *project_;
  std::vector<Problem> problems_;
};

py::object problem_node(const CorePtr &core, const Problem &problem) {
  const Handle &h = problem.node;
  switch (problem.kind) {
    case Kind::kProject: return py::cast(Project{core});
    case Kind::kTile: return py::cast(Tile{h});
    case Kind::kSample: return py::cast(Sample{h});
    case Kind::kFile: return py::cast(File{h});
    case Kind::kPFAFile: return py::cast(PFAFile{h});
    case Kind::kProcess: return py::cast(Process{h});
    case Kind::kArgument: return py::cast(Argument{h});
  }
  return py::none();
}

}  // namespace

std::string node_name_fault(std::string_view name) {
  if (name.empty()) return "a node name may not be empty";
  if (name.size() > kMaxNameSize) return "a node name may not be longer than 4096 bytes";
  if (name.find(':') != std::string_view::npos) return "a node name may not contain ':'";
  return {};
}

void check_tile_name(pm_Project *project, pm_Tile *, const std::string &name) {
  check_name("tile name", name);
  const std::string clashed = clash(project, nullptr, name, false);
  if (!clashed.empty()) refuse("tile name", name, clashed);
}

void check_sample_name(pm_Tile *tile, pm_Sample *, const std::string &name) {
  check_name("sample name", name);
  if (!tile) return;
  const std::string clashed = clash(nullptr, tile, name, false);
  if (!clashed.empty()) refuse("sample name", name, clashed);
}

void check_process_name(const std::string &name) { check_name("process name", name); }

void check_pfa_name(const std::string &name) { check_name("PFA file name", name); }

void check_file_type(pm_Project *project, void *owner, pm_File *, const std::string &type, bool strict) {
  check_name("file type", type);
  const int level = pm_NodeGetType(owner);
  if (level != PM_KIND_SAMPLE) {
    const std::string clashed = clash(project, static_cast<pm_Tile *>(owner_tile(owner)), type, true);
    if (!clashed.empty()) refuse("file type", type, clashed);
  }
  if (strict) {
    const std::string undefined = undefined_type(project, level, type);
    if (!undefined.empty()) throw_value_error(undefined);
  }
}

void bind_validation(py::class_<Project> &project) {
  project.def(
      "validate",
      [](const Project &self) {
        const std::vector<Problem> problems = Checker(self.core).run();
        py::object make = py::module_::import("kestrum._results").attr("Problem");
        py::list found;
        for (const Problem &problem : problems)
          found.append(make(decode_display(problem.place), problem_node(self.core, problem),
                            decode_display(problem.message)));
        return found;
      },
      "What the project holds that its file cannot mean or a host would misread: names the file\n"
      "cannot hold, data files of a type no PFA file of their level defines, enumerated values\n"
      "the enum has no member for, relative paths, arguments standing for no PFA file. A list of\n"
      "kestrum.Problem (place, node, message); empty when there is nothing to report.");
}

}  // namespace kpy
