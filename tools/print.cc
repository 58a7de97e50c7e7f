// The tree as `kestrum show` and `kestrum demo` print it. Every name and
// text from the project goes through printable() on its way out.
#include <algorithm>
#include <iomanip>

#include "cli.h"
#include "persist/schema.h"

namespace kcli {

namespace {

const char *const kLevelNames[3] = {"project", "tiles", "samples"};

// An enumeration value by name, or its number when it has no name.
std::string named(Names names, int value) {
  const std::string name = value_name(names, value);
  return name.empty() ? std::to_string(value) : name;
}

std::string quoted(const std::optional<std::string> &text) {
  return text ? printable(*text, '"') : std::string("(none)");
}

// A text that may be absent, printable, "(none)" when absent.
std::string shown(const std::optional<std::string> &text) {
  return text ? printable(*text) : std::string("(none)");
}

void print_files(std::ostream &out, pm_Project *project, pm_File *list, const std::string &indent) {
  const std::vector<pm_File *> files = files_of(list);
  if (files.empty()) {
    out << indent << "(no data files)\n";
    return;
  }
  std::size_t width = 0;
  for (pm_File *file : files) width = std::max(width, printable(take(pm_FileGetType(file))).size());
  for (pm_File *file : files) {
    const std::optional<std::string> descriptor = take_optional(pm_FileGetDescriptor(file));
    const FileCheck check = check_data_file(file);
    const char *const states[] = {"no file", "present", "missing", "error"};
    out << indent << std::left << std::setw(8) << states[static_cast<int>(check.state)]
        << std::setw(static_cast<int>(width) + 2) << printable(take(pm_FileGetType(file)))
        << (descriptor ? printable(shortened(project_relative(project, *descriptor))) : "") << "\n";
    if (check.state == FileState::kUntestable) out << indent << "        cannot be tested: " << printable(check.reason) << "\n";
    const double time = pm_FileGetDate(file);
    const std::optional<std::string> verified = take_optional(pm_FileGetVerified(file));
    const std::optional<std::string> comment = take_optional(pm_FileGetComment(file));
    if (time != 0.0 || verified || comment) {
      out << indent << "        time " << time;
      if (verified) out << ", verified " << quoted(verified);
      if (comment) out << ", comment " << quoted(comment);
      out << "\n";
    }
  }
}

void print_process(std::ostream &out, pm_Project *project, pm_Process *process) {
  auto relative = [&](char *text) {
    const std::optional<std::string> path = take_optional(text);
    return path ? printable(project_relative(project, *path)) : std::string("(none)");
  };
  out << "    process " << printable(take(pm_ProcessGetName(process))) << "  "
      << quoted(take_optional(pm_ProcessGetTitle(process))) << ", "
      << named(pm::kOutputNames, pm_ProcessGetOutput(process))
      << ", suffix " << quoted(take_optional(pm_ProcessGetSuffix(process))) << "\n";
  out << "      parameter file " << relative(pm_ProcessGetParams(process)) << "\n";
  out << "      label file     " << relative(pm_ProcessGetLabels(process)) << "\n";
  for (pm_Argument *argument = process->arguments; argument;
       argument = reinterpret_cast<pm_Argument *>(argument->node.next)) {
    const std::optional<std::string> name = take_optional(pm_ArgumentGetName(argument));
    const std::optional<std::string> value = take_optional(pm_ArgumentGetValue(argument));
    out << "      argument " << std::left << std::setw(8) << shown(name) << " = "
        << std::setw(10) << shown(value) << " "
        << named(pm::kPFATypeNames, pm_ArgumentGetType(argument)) << ", "
        << named(pm::kModeNames, pm_ArgumentGetMode(argument)) << ", "
        << named(pm::kHideNames, pm_ArgumentGetHide(argument)) << "\n";
  }
}

}  // namespace

void print_tree(std::ostream &out, pm_Project *project) {
  const std::optional<std::string> file = take_optional(pm_ProjectGetFilename(project));
  out << "Project " << printable(take(pm_ProjectGetName(project)));
  if (file) out << "  (" << printable(*file) << ")";
  out << "\n";
  out << "  settings: type "
      << named(pm::kProjectTypeNames, pm_ProjectGetType(project))
      << ", dot grid "
      << named(pm::kSwitchNames, pm_ProjectGetUseDotGrid(project))
      << ", poly tool "
      << named(pm::kSwitchNames, pm_ProjectGetUsePolyTool(project))
      << "\n";
  out << "  tiles: " << (pm_ProjectGetTotalNodes(project) - 1 - pm_ProjectGetTotalSamples(project))
      << ", samples: " << pm_ProjectGetTotalSamples(project) << "\n";
  out << "  files of the project:\n";
  print_files(out, project, project->files, "    ");
  for (const NodeRef &node : all_nodes(project)) {
    if (node.level == kLevelProject) continue;
    const std::string indent(2 * static_cast<std::size_t>(node.level), ' ');
    const int selection = node.level == kLevelTile ? pm_TileGetAutomatic(static_cast<pm_Tile *>(node.node))
                                          : pm_SampleGetAutomatic(static_cast<pm_Sample *>(node.node));
    out << indent << (node.level == kLevelTile ? "tile " : "sample ") << printable(node.path) << " ("
        << named(pm::kSelectionNames, selection) << ")\n";
    print_files(out, project, node.files, indent + "  ");
  }
  out << "Processing\n";
  for (pm_Level level = kLevelProject; level < kLevelCount; ++level) {
    out << "  level " << level << " (" << kLevelNames[level] << ")\n";
    out << "    PFA files:";
    pm_PFAFile *pfa = pm_PFAFileListGetByType(project, level);
    if (!pfa) out << " (none)";
    for (; pfa; pfa = reinterpret_cast<pm_PFAFile *>(pfa->node.next))
      out << " " << printable(take(pm_PFAFileGetName(pfa))) << " ("
          << named(pm::kPFATypeNames, pm_PFAFileGetType(pfa)) << ")";
    out << "\n";
    pm_Process *process = pm_ProcessListGetByType(project, level);
    if (!process) out << "    (no processes)\n";
    for (; process; process = reinterpret_cast<pm_Process *>(process->node.next))
      print_process(out, project, process);
  }
}

}  // namespace kcli
