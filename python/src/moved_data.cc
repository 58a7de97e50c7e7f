// kestrum._kestrum: data that moved (see moved_data.h).
#include "moved_data.h"

#include "relink.h"
#include "values.h"

namespace kpy {

namespace {

// A str, bytes or os.PathLike argument as it was given: unlike a path
// argument a relative one stays relative, for the relink to refuse.
std::string raw_path(const py::handle &value, const char *what) {
  py::object text = py::module_::import("os").attr("fspath")(value);
  if (py::isinstance<py::bytes>(text)) return text.cast<std::string>();
  return encode(text, what);
}

py::list file_handles(const CorePtr &core, const std::vector<kcli::DataFile> &files) {
  // Stamped before any Python object is made (see handles.h).
  std::vector<File> handles;
  for (const kcli::DataFile &file : files) handles.push_back(handle<File>(core, file.file));
  py::list out;
  for (const File &file : handles) out.append(py::cast(file));
  return out;
}

py::object relink_project(const Project &self, const py::object &prefixes, const py::iterable &search, bool write, bool all) {
  pm_Project *project = self.get();
  std::vector<std::pair<std::string, std::string>> given;
  for (const py::handle &item : prefixes.attr("items")()) {
    const py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
    given.emplace_back(raw_path(pair[0], "prefix"), raw_path(pair[1], "prefix"));
  }
  kcli::RelinkOptions options;
  try {
    options.rules = kcli::prefix_rules(project, given);
  } catch (const kcli::UsageError &error) {
    throw_value_error(error.what());
  }
  for (const py::handle &directory : search) options.search.push_back(encode_path(directory));
  options.all = all;
  const kcli::RelinkPlan plan = kcli::plan_relink(project, options);
  if (write && !plan.changes.empty()) {
    kcli::apply_relink(plan);
    kcli::Report report;
    pm_ProjectSave(project, 0, report.slot());
    const std::string filename = kcli::text_of(project->filename);
    if (filename.empty()) raise_if(report);
    raise_if(report, filename, true);
  }

  std::vector<File> changed, ambiguous;
  for (const kcli::Change &change : plan.changes) changed.push_back(handle<File>(self.core, change.file.file));
  for (const kcli::Ambiguity &open : plan.ambiguous) ambiguous.push_back(handle<File>(self.core, open.file.file));
  py::list not_found = file_handles(self.core, plan.not_found);
  py::module_ results = py::module_::import("kestrum._results");
  py::object path = py::module_::import("pathlib").attr("Path");
  py::list relinked;
  for (std::size_t i = 0; i < plan.changes.size(); ++i) {
    const kcli::Change &change = plan.changes[i];
    relinked.append(results.attr("Relinked")(py::cast(changed[i]), decode(change.file.stored), decode(change.to),
                                             change.found));
  }
  py::list open;
  for (std::size_t i = 0; i < plan.ambiguous.size(); ++i) {
    py::list candidates;
    for (const std::string &candidate : plan.ambiguous[i].candidates) candidates.append(path(decode(candidate)));
    open.append(results.attr("Ambiguous")(py::cast(ambiguous[i]), candidates, plan.ambiguous[i].count));
  }
  py::list warnings;
  for (const std::string &warning : plan.warnings) warnings.append(decode_display(warning));
  return results.attr("RelinkReport")(relinked, open, not_found, write && !plan.changes.empty(), warnings);
}

py::object pack_file(const py::object &path, const py::object &out, bool force, bool link) {
  const std::string name = encode_path(path);
  kcli::PackOptions options;
  options.out = encode_path(out);
  options.force = force;
  options.link = link;
  kcli::ProjectPtr project = kcli::load_project(name);
  const kcli::PackResult result = kcli::pack_project(project.get(), options);
  py::module_ results = py::module_::import("kestrum._results");
  py::list missing, skipped;
  for (const kcli::DataFile &file : result.missing) missing.append(decode(file.stored));
  for (const kcli::DataFile &file : result.skipped) skipped.append(decode(file.stored));
  return results.attr("PackReport")(py::module_::import("pathlib").attr("Path")(decode(result.project_file)),
                                    result.copied, result.linked, result.bytes, missing, skipped);
}

}  // namespace

void bind_relink(py::class_<Project> &project, py::module_ &m) {
  project.def("missing_files", [](const Project &self) { return file_handles(self.core, kcli::missing_files(self.get())); },
              "The data files whose descriptor names no file (those without a descriptor too), in tree\n"
              "order: what `kestrum check` lists.");
  project.def("relink", &relink_project, py::arg("prefixes"), py::kw_only(), py::arg("search") = py::tuple(),
              py::arg("write") = false, py::arg("all") = false,
              "Points descriptors that name no file at where the files are now, as `kestrum relink` does:\n"
              "prefixes maps an old directory (absolute or \"$PROJECT/...\") to its new one, search names\n"
              "directories to look in by file name. Without write nothing changes; with it the changes are\n"
              "made and the project saved to its own file (not when there are none). all lets the prefixes\n"
              "rewrite descriptors of existing files too. Returns a kestrum.RelinkReport; ValueError for a\n"
              "relative old directory or one mapped onto itself, kestrum.Error when a search directory\n"
              "cannot be read.");
  m.def("pack", &pack_file, py::arg("path"), py::arg("out"), py::kw_only(), py::arg("force") = false,
        py::arg("link") = false,
        "Copies the project file at path and every data file it names that exists into the directory\n"
        "out, as `kestrum pack` does; returns a kestrum.PackReport.");
}

}  // namespace kpy
