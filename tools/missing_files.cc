// Which data files name no file, and where they were expected (see relink.h).
#include "relink.h"

namespace kcli {

void for_each_data_file(pm_Project *project, const std::function<void(DataFile &&)> &visit) {
  const std::vector<NodeRef> nodes = all_nodes(project);
  Progress progress("checking data files", nodes.size());
  for (const NodeRef &node : nodes) {
    for (pm_File *file : files_of(node.files)) {
      DataFile entry;
      entry.node = node.path;
      entry.file = file;
      entry.type = take(pm_FileGetType(file));
      const std::optional<std::string> descriptor = take_optional(pm_FileGetDescriptor(file));
      entry.unset = !descriptor;
      entry.descriptor = descriptor.value_or(std::string());
      entry.stored = project_relative(project, entry.descriptor);
      // An empty descriptor names nothing, whatever the file system says of
      // ""; a descriptor that cannot be tested is a problem, not an error.
      entry.check = check_data_file(file);
      entry.present = entry.check.state == FileState::kPresent;
      visit(std::move(entry));
    }
    progress.step();
  }
}

std::vector<DataFile> missing_files(pm_Project *project) {
  std::vector<DataFile> missing;
  for_each_data_file(project, [&](DataFile &&file) {
    if (!file.present) missing.push_back(std::move(file));
  });
  return missing;
}

std::string directory_of(const std::string &stored) {
  const std::size_t slash = stored.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return stored.substr(0, slash);
}

std::map<std::string, std::size_t> missing_by_directory(const std::vector<DataFile> &missing) {
  std::map<std::string, std::size_t> counts;
  for (const DataFile &file : missing)
    if (!file.descriptor.empty()) ++counts[directory_of(file.stored)];
  return counts;
}

std::size_t RelinkPlan::remaining() const {
  std::size_t left = ambiguous.size() + not_found.size();
  for (const Change &change : changes)
    if (!change.file.present && !change.found) ++left;
  return left;
}

}  // namespace kcli
