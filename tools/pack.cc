// Packing a project with its data into one directory (see pack_project in
// relink.h).
//
// Files inside the project's directory keep their place relative to it;
// the others go under external/ by their whole absolute name, which cannot
// collide with each other. The name of that directory is chosen so that it
// collides with no file of the first kind either. Every data file is in
// place (and flushed) before the project file that names them is saved, so
// a pack that fails half-way leaves no project file that would name files
// that are not there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "copy_data_file.h"
#include "relink.h"

namespace kcli {

namespace {

namespace fs = std::filesystem;

const std::string kMarker = "$PROJECT/";

// The place of a data file in the copy, relative to its directory.
struct Placement {
  DataFile file;
  std::string source;  // absolute
  std::string place;   // relative to the output directory
  bool internal = false;
  bool copy = false;   // present and a regular file
};

std::string relative_inside(const std::string &stored) {
  if (stored.compare(0, kMarker.size(), kMarker) != 0) return {};
  const std::string rest = fs::path(stored.substr(kMarker.size())).lexically_normal().string();
  // "$PROJECT/../x" is not inside, and "$PROJECT/" is the directory itself.
  if (rest.empty() || rest == "." || rest == ".." || rest.compare(0, 3, "../") == 0 || rest.front() == '/') return {};
  return rest;
}

void prepare_output(const std::string &out, bool force, const std::string &project_directory) {
  std::error_code error;
  const fs::file_status status = fs::status(out, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw Failure(out + " exists and is not a directory");
    if (!fs::is_empty(out, error) && !force) throw Failure(out + " is not empty (use --force to write into it)");
    if (error) throw Failure("cannot read " + out + ": " + error.message());
    if (!project_directory.empty() && fs::equivalent(out, project_directory, error))
      throw Failure(out + " is the project's own directory");
  } else {
    fs::create_directories(out, error);
    if (error) throw Failure("cannot create " + out + ": " + error.message());
  }
}

void sync_tree(const std::string &directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

}  // namespace

PackResult pack_project(pm_Project *project, const PackOptions &options) {
  std::string out = fs::absolute(options.out).lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  const std::string project_file = take(pm_ProjectGetFilename(project));
  if (project_file.empty()) throw Failure("the project has no file to pack");
  const std::string project_name = fs::path(project_file).filename().string();
  prepare_output(out, options.force, take(pm_ProjectGetDirname(project)));

  PackResult result;
  result.project_file = out + "/" + project_name;
  std::vector<Placement> placements;
  std::set<std::string> inside;  // places of the files inside the project's directory
  for_each_data_file(project, [&](DataFile &&file) {
    if (file.descriptor.empty()) return;
    Placement placement;
    placement.place = relative_inside(file.stored);
    placement.internal = !placement.place.empty();
    placement.source = fs::absolute(file.descriptor).lexically_normal().string();
    if (placement.internal) inside.insert(placement.place);
    placement.file = std::move(file);
    placements.push_back(std::move(placement));
  });
  std::string external = "external";
  for (int n = 2;; ++n) {
    const auto clash = inside.lower_bound(external);
    if (clash == inside.end() || (*clash != external && clash->compare(0, external.size() + 1, external + "/") != 0))
      break;
    external = "external-" + std::to_string(n);
  }

  std::set<std::string> copied;  // sources done: a file named twice is copied once
  std::vector<std::pair<pm_File *, std::string>> descriptors;
  for (Placement &placement : placements) {
    if (!placement.internal) placement.place = external + placement.source;
    if (placement.place == project_name)
      throw Failure("the data file " + placement.source + " would take the place of the project file");
    if (!placement.file.present) {
      result.missing.push_back(placement.file);
      // A missing file inside keeps its place, so it is found once it is put there.
      if (placement.internal) descriptors.emplace_back(placement.file.file, out + "/" + placement.place);
      continue;
    }
    struct stat status {};
    if (::stat(placement.source.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
      result.skipped.push_back(placement.file);
      continue;
    }
    placement.copy = true;
    descriptors.emplace_back(placement.file.file, out + "/" + placement.place);
  }

  {
    Progress progress("packing data files", placements.size());
    for (const Placement &placement : placements) {
      progress.step();
      if (!placement.copy || !copied.insert(placement.source).second) continue;
      const std::string target = out + "/" + placement.place;
      std::error_code error;
      fs::create_directories(fs::path(target).parent_path(), error);
      if (error) throw Failure("cannot create " + fs::path(target).parent_path().string() + ": " + error.message());
      const CopiedFile done = copy_data_file(placement.source, target, options.link);
      ++result.copied;
      result.linked += done.linked ? 1 : 0;
      result.bytes += done.bytes;
    }
  }
  sync_tree(out);
  for (const auto &[file, descriptor] : descriptors)
    if (!pm_FileSetDescriptor(file, descriptor.c_str())) throw Failure("cannot set a data file's descriptor");
  save_project(project, result.project_file);
  return result;
}

}  // namespace kcli
